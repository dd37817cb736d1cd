// The payload of a single-file setup: entries (name, NUL, u32 size, data) followed by the
// 16-byte trailer ("IMBR549", NUL, entryCount, payloadLength), appended to a copy of setup.exe.
// Options produce deliberately damaged payloads for tests of the extraction.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kit_bytes.h"
#include "setup/driver/payload_format.h"  // PAYLOAD_TRAILER_SIZE: the format setup reads

// One file of the install set as it is stored in the payload.
struct PayloadItem {
  std::string name;  // written as is, so hostile names ("..", "a\\b", "") are possible
  KitBytes data;
  std::optional<std::uint32_t> sizeField;  // damage: the size written instead of data.size()
  bool omitNameNul = false;                // damage: the name's terminating NUL is left out
};

// The trailer as written; every field can be set to a wrong value on purpose.
struct PayloadOptions {
  std::optional<std::uint32_t> entryCount;     // default: the number of items
  std::optional<std::uint32_t> payloadLength;  // default: the byte length of all entries
  std::string magic = std::string("IMBR549\0", 8);  // first 8 bytes; shorter is NUL padded, longer cut
  bool writeTrailer = true;                    // false: entries without a trailer
};

// Encodes the entries of `items` in order, then the trailer.
KitBytes EncodePayload(const std::vector<PayloadItem>& items, const PayloadOptions& options = {});

// Writes the 16-byte trailer alone.
KitBytes EncodeTrailer(std::uint32_t entryCount, std::uint32_t payloadLength,
                       const std::string& magic = std::string("IMBR549\0", 8));

// Writes outPath = the bytes of setupExePath followed by the encoded payload. False (with a
// reason in *error when given) when the program cannot be read or the output not written.
bool WriteSingleFileSetup(const std::string& setupExePath, const std::vector<PayloadItem>& items,
                          const std::string& outPath, const PayloadOptions& options = {},
                          std::string* error = nullptr);
