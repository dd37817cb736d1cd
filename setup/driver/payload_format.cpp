// The payload trailer and the entry-name checks that keep extraction inside the temporary
// directory.
#include "setup/driver/payload_format.h"

#include <cctype>
#include <cstring>

#include "setup/script/install_script.h"

PayloadTrailer DecodeTrailer(const unsigned char bytes[PAYLOAD_TRAILER_SIZE]) {
  PayloadTrailer trailer;
  memcpy(trailer.magic, bytes, 8);
  trailer.entryCount = bytes[8] | bytes[9] << 8 | bytes[10] << 16 | static_cast<uint32_t>(bytes[11]) << 24;
  trailer.payloadLength = bytes[12] | bytes[13] << 8 | bytes[14] << 16 | static_cast<uint32_t>(bytes[15]) << 24;
  return trailer;
}

bool TrailerHasPayload(const PayloadTrailer& trailer) {
  // Compared as a NUL-terminated string, so the eighth byte must be the NUL.
  return memcmp(trailer.magic, PAYLOAD_MAGIC, sizeof PAYLOAD_MAGIC) == 0 && trailer.entryCount != 0;
}

int64_t FirstEntryOffset(int64_t fileSize, const PayloadTrailer& trailer) {
  // 64-bit arithmetic: a payloadLength near 2^32 must not wrap round into the file.
  int64_t offset = fileSize - static_cast<int64_t>(PAYLOAD_TRAILER_SIZE) - trailer.payloadLength;
  return offset < 0 ? -1 : offset;
}

namespace {

// The part of a name before its first dot, upper-cased, compared with the device names that
// Windows resolves in every directory.
bool IsDeviceName(const std::string& name) {
  std::string base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  static const char* const devices[] = {"CON", "PRN", "AUX", "NUL", "CLOCK$", "CONIN$", "CONOUT$"};
  for (const char* device : devices)
    if (base == device) return true;
  if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
      base[3] >= '1' && base[3] <= '9')
    return true;
  return false;
}

}  // namespace

EntryNameCheck CheckEntryName(const std::string& name, size_t directoryLength) {
  if (name.empty()) return ENTRY_NAME_EMPTY;
  // "." and ".." name directories; so does any name of dots and spaces only, since Windows
  // drops trailing dots and spaces from a file name.
  if (name.find_first_not_of(". ") == std::string::npos || name.find_first_of("\\/:") != std::string::npos)
    return ENTRY_NAME_DIRECTORY;
  if (IsDeviceName(name)) return ENTRY_NAME_DEVICE;
  if (directoryLength + name.size() > MAX_PATH_CHARS) return ENTRY_NAME_TOO_LONG;
  return ENTRY_NAME_OK;
}

EntryHeaderResult ReadEntryHeader(FILE* f, int64_t* position, int64_t payloadEnd,
                                  size_t directoryLength, EntryHeader* header) {
  // The name, up to its NUL; more than a path's worth of it is not kept (it fails below).
  header->name.clear();
  bool ended = false;
  while (*position < payloadEnd) {
    int c = getc(f);
    if (c == EOF) break;
    ++*position;
    if (c == 0) {
      ended = true;
      break;
    }
    if (header->name.size() <= MAX_PATH_CHARS) header->name.push_back(static_cast<char>(c));
  }
  if (!ended) return ENTRY_HEADER_CUT;  // the name ran into the end, so no size can follow
  header->nameCheck = CheckEntryName(header->name, directoryLength);
  if (header->nameCheck != ENTRY_NAME_OK) return ENTRY_HEADER_BAD_NAME;
  unsigned char sizeBytes[4];
  if (payloadEnd - *position < 4 || fread(sizeBytes, 1, 4, f) != 4) return ENTRY_HEADER_CUT;
  *position += 4;
  header->size = sizeBytes[0] | sizeBytes[1] << 8 | sizeBytes[2] << 16 |
                 static_cast<uint32_t>(sizeBytes[3]) << 24;
  if (static_cast<int64_t>(header->size) > payloadEnd - *position) return ENTRY_HEADER_TOO_LARGE;
  return ENTRY_HEADER_OK;
}
