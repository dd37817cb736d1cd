// The payload appended to setup.exe: the 16-byte trailer and the checks on entry names and
// lengths. Portable C++, so that it has native unit tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// The last 16 bytes of setup.exe: "IMBR549" and a NUL, entryCount, payloadLength (both u32 LE).
constexpr size_t PAYLOAD_TRAILER_SIZE = 16;
constexpr char PAYLOAD_MAGIC[] = "IMBR549";

struct PayloadTrailer {
  char magic[8];
  uint32_t entryCount;
  uint32_t payloadLength;  // bytes of all entries, up to the byte before the trailer
};

// Decodes the 16 trailer bytes.
PayloadTrailer DecodeTrailer(const unsigned char bytes[PAYLOAD_TRAILER_SIZE]);

// True when the magic is "IMBR549" followed by a NUL and entryCount is not 0.
bool TrailerHasPayload(const PayloadTrailer& trailer);

// File offset of the first entry for a file of `fileSize` bytes, or -1 when payloadLength
// points before the start of the file.
int64_t FirstEntryOffset(int64_t fileSize, const PayloadTrailer& trailer);

// Why an entry name cannot be extracted, or ENTRY_NAME_OK.
enum EntryNameCheck {
  ENTRY_NAME_OK = 0,
  ENTRY_NAME_EMPTY,
  ENTRY_NAME_DIRECTORY,  // ".", ".." or a name holding '\', '/' or ':'
  ENTRY_NAME_DEVICE,     // a reserved device name such as CON, NUL, COM1 or LPT1
  ENTRY_NAME_TOO_LONG,   // directory + name would not fit a 259-character path
};

// Checks one entry name before it is appended to a directory of `directoryLength` characters
// (its trailing backslash included). Only plain file names inside that directory pass.
EntryNameCheck CheckEntryName(const std::string& name, size_t directoryLength);

// What reading an entry's header found.
enum EntryHeaderResult {
  ENTRY_HEADER_OK = 0,
  ENTRY_HEADER_CUT,        // the name or the size runs into the end of the entries
  ENTRY_HEADER_BAD_NAME,   // the name is not a plain file name that fits (see nameCheck)
  ENTRY_HEADER_TOO_LARGE,  // the data would run past the end of the entries
};

struct EntryHeader {
  std::string name;
  uint32_t size = 0;
  EntryNameCheck nameCheck = ENTRY_NAME_OK;
};

// Reads the header of the entry at *position of f (the stream stands there): its name up to
// the NUL, then its size (u32 LE). Never reads at or beyond payloadEnd; *position follows
// what was read. On ENTRY_HEADER_OK the entry's data follows and lies before payloadEnd, and
// directoryLength + the name's length fits a 259-character path.
EntryHeaderResult ReadEntryHeader(FILE* f, int64_t* position, int64_t payloadEnd,
                                  size_t directoryLength, EntryHeader* header);
