// Unit tests of the payload trailer (magic, counts, where the entries start) and of the
// entry-name checks that keep extracted files inside the temporary directory.
#include "setup/driver/payload_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "setup/script/install_script.h"

namespace {

PayloadTrailer Trailer(const char magic[8], uint32_t entryCount, uint32_t payloadLength) {
  unsigned char bytes[PAYLOAD_TRAILER_SIZE];
  memcpy(bytes, magic, 8);
  for (int i = 0; i < 4; ++i) {
    bytes[8 + i] = static_cast<unsigned char>(entryCount >> (8 * i));
    bytes[12 + i] = static_cast<unsigned char>(payloadLength >> (8 * i));
  }
  return DecodeTrailer(bytes);
}

TEST(PayloadTrailer, DecodesLittleEndianCounts) {
  PayloadTrailer t = Trailer("IMBR549", 0x01020304, 0xA0B0C0D0);
  EXPECT_EQ(t.entryCount, 0x01020304u);
  EXPECT_EQ(t.payloadLength, 0xA0B0C0D0u);
  EXPECT_TRUE(TrailerHasPayload(t));
}

TEST(PayloadTrailer, WrongMagicOrNoEntriesMeansNoPayload) {
  EXPECT_FALSE(TrailerHasPayload(Trailer("IMBR549", 0, 10)));
  EXPECT_FALSE(TrailerHasPayload(Trailer("IMBR548", 4, 10)));
  const char noNul[8] = {'I', 'M', 'B', 'R', '5', '4', '9', 'X'};  // eighth byte must be NUL
  EXPECT_FALSE(TrailerHasPayload(Trailer(noNul, 4, 10)));
}

TEST(PayloadTrailer, FirstEntryOffsetNeverPointsBeforeTheFile) {
  EXPECT_EQ(FirstEntryOffset(1000, Trailer("IMBR549", 1, 84)), 900);
  EXPECT_EQ(FirstEntryOffset(1000, Trailer("IMBR549", 1, 984)), 0);
  EXPECT_EQ(FirstEntryOffset(1000, Trailer("IMBR549", 1, 985)), -1);
  // Near 2^32 a 32-bit sum would wrap round to a small offset inside the file.
  EXPECT_EQ(FirstEntryOffset(1000, Trailer("IMBR549", 1, 0xFFFFFFF0u)), -1);
}

TEST(EntryName, PlainNamesPass) {
  for (const char* name : {"SETUP.DAT", "KOMPAK32.DLL", "DISK1.ID", "MAIN", "a b.c", "CONFIG.SYS", "COM10"})
    EXPECT_EQ(CheckEntryName(name, 10), ENTRY_NAME_OK) << name;
}

TEST(EntryName, DirectoryPartsAndDirectoriesAreRefused) {
  for (const char* name : {".", "..", "...", ". .", "..\\evil.dll", "sub/x", "C:x", "x\\", "\\x", ":"})
    EXPECT_EQ(CheckEntryName(name, 10), ENTRY_NAME_DIRECTORY) << name;
  EXPECT_EQ(CheckEntryName("", 10), ENTRY_NAME_EMPTY);
}

TEST(EntryName, DeviceNamesAreRefusedWithOrWithoutExtension) {
  for (const char* name : {"CON", "con", "NUL.txt", "aux.dat", "PRN", "COM1", "lpt9.x", "CLOCK$"})
    EXPECT_EQ(CheckEntryName(name, 10), ENTRY_NAME_DEVICE) << name;
}

TEST(EntryName, OutputPathMustFitTwoHundredFiftyNineCharacters) {
  const size_t directory = 20;  // e.g. "C:\windows\temp\" plus some
  std::string fits(MAX_PATH_CHARS - directory, 'x');
  EXPECT_EQ(CheckEntryName(fits, directory), ENTRY_NAME_OK);
  EXPECT_EQ(CheckEntryName(fits + "x", directory), ENTRY_NAME_TOO_LONG);
}

}  // namespace
