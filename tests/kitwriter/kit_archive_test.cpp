// Archives packed for kits, read back member by member through the archive library.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "kit_archive.h"
#include "kompak32.h"

namespace {

struct Listing {
  std::string dir;
  std::vector<std::string> names;
  std::vector<uint32_t> sizes;
};

// The callback's user value is 32 bits wide, too narrow for a pointer in a 64-bit build: it
// selects one of these listings instead.
Listing* listings[1];

int LZH_CALL ExtractEach(MemberInfo* info, int32_t user) {
  Listing& listing = *listings[user];
  listing.names.push_back(info->name);
  listing.sizes.push_back(info->originalSize);
  const std::string out = listing.dir + "/" + std::to_string(listing.names.size());
  std::snprintf(info->name, sizeof info->name, "%s", out.c_str());
  info->action = ACTION_EXTRACT;
  return 1;
}

TEST(KitArchive, MembersComeBackInOrderAndByteForByte) {
  const auto dir = std::filesystem::temp_directory_path() / ("kitarchive-" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);

  std::string text;
  for (int i = 0; i < 2000; ++i) text += "line " + std::to_string(i % 37) + " of the sample readme\r\n";
  KitBytes noise(5000);
  for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
  const std::vector<KitFile> files = {
      {"readme.txt", KitBytes(text.begin(), text.end())}, {"Noise.bin", noise}, {"EMPTY.DAT", {}}};

  KitBytes archive;
  std::string error;
  ASSERT_TRUE(MakeArchive(files, dir.string(), archive, &error)) << error;
  EXPECT_LT(archive.size(), text.size());  // the text was packed
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 0) << "staged files left behind";

  const std::string path = (dir / "copy.lzh").string();
  ASSERT_TRUE(WriteWholeFile(path, archive));
  std::vector<char> pathBuffer(path.begin(), path.end());
  pathBuffer.push_back('\0');
  ArchiveHandle* handle = LZH_Open(pathBuffer.data());
  ASSERT_NE(handle, nullptr);
  Listing listing;
  listing.dir = dir.string();
  listings[0] = &listing;
  EXPECT_EQ(LZH_Enum(handle, ExtractEach, 0), 1);
  LZH_Close(handle);

  EXPECT_EQ(listing.names, (std::vector<std::string>{"README.TXT", "NOISE.BIN", "EMPTY.DAT"}));
  ASSERT_EQ(listing.sizes.size(), files.size());
  for (std::size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(listing.sizes[i], files[i].data.size());
    KitBytes extracted;
    ASSERT_TRUE(ReadWholeFile(listing.dir + "/" + std::to_string(i + 1), extracted));
    EXPECT_EQ(extracted, files[i].data) << files[i].name;
  }

  EXPECT_FALSE(MakeArchive(files, (dir / "missing").string(), archive, &error));
  EXPECT_FALSE(error.empty());
  std::filesystem::remove_all(dir);
}

}  // namespace
