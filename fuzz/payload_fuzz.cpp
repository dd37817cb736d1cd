// Fuzz target for the payload reader: any bytes as the end of setup.exe give entries whose
// names are plain file names that fit the temporary directory's paths and whose data lies
// inside the payload, or an error; the reader never reads into the trailer.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "setup/driver/payload_format.h"
#include "setup/script/install_script.h"

namespace {

void Require(bool condition) {
  if (!condition) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  if (size < PAYLOAD_TRAILER_SIZE + 1) return 0;
  // The first byte chooses the temporary directory's length (with its backslash).
  size_t directoryLength = 3 + data[0] % (MAX_PATH_CHARS - 2);
  const unsigned char* file = data + 1;
  size_t fileSize = size - 1;
  PayloadTrailer trailer = DecodeTrailer(file + fileSize - PAYLOAD_TRAILER_SIZE);
  if (!TrailerHasPayload(trailer)) return 0;
  int64_t position = FirstEntryOffset(static_cast<int64_t>(fileSize), trailer);
  if (position < 0) return 0;
  const int64_t payloadEnd = static_cast<int64_t>(fileSize - PAYLOAD_TRAILER_SIZE);
  FILE* f = fmemopen(const_cast<unsigned char*>(file), fileSize, "rb");
  if (!f) return 0;
  Require(fseek(f, static_cast<long>(position), SEEK_SET) == 0);
  for (uint32_t i = 0; i < trailer.entryCount; ++i) {
    EntryHeader header;
    EntryHeaderResult result = ReadEntryHeader(f, &position, payloadEnd, directoryLength, &header);
    Require(position <= payloadEnd && ftell(f) == position);
    if (result != ENTRY_HEADER_OK) {
      Require(result != ENTRY_HEADER_BAD_NAME || header.nameCheck != ENTRY_NAME_OK);
      break;
    }
    const std::string& name = header.name;
    Require(!name.empty() && directoryLength + name.size() <= MAX_PATH_CHARS);
    Require(name.find_first_of("\\/:") == std::string::npos && name.find('\0') == std::string::npos);
    Require(name.find_first_not_of(". ") != std::string::npos);
    Require(static_cast<int64_t>(header.size) <= payloadEnd - position);
    position += header.size;  // the data is skipped, as extraction reads it
    Require(fseek(f, static_cast<long>(position), SEEK_SET) == 0);
  }
  fclose(f);
  return 0;
}
