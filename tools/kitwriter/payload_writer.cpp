// Encodes payload entries and the trailer, and writes a single-file setup.
#include "payload_writer.h"

KitBytes EncodeTrailer(std::uint32_t entryCount, std::uint32_t payloadLength, const std::string& magic) {
  KitBytes out;
  for (std::size_t i = 0; i < 8; ++i) out.push_back(i < magic.size() ? static_cast<std::uint8_t>(magic[i]) : 0);
  PutU32(out, entryCount);
  PutU32(out, payloadLength);
  return out;
}

KitBytes EncodePayload(const std::vector<PayloadItem>& items, const PayloadOptions& options) {
  KitBytes out;
  for (const PayloadItem& item : items) {
    PutBytes(out, item.name);
    if (!item.omitNameNul) PutU8(out, 0);
    PutU32(out, item.sizeField.value_or(static_cast<std::uint32_t>(item.data.size())));
    PutBytes(out, item.data);
  }
  if (options.writeTrailer) {
    const auto length = static_cast<std::uint32_t>(out.size());
    PutBytes(out, EncodeTrailer(options.entryCount.value_or(static_cast<std::uint32_t>(items.size())),
                                options.payloadLength.value_or(length), options.magic));
  }
  return out;
}

bool WriteSingleFileSetup(const std::string& setupExePath, const std::vector<PayloadItem>& items,
                          const std::string& outPath, const PayloadOptions& options, std::string* error) {
  KitBytes image;
  if (!ReadWholeFile(setupExePath, image)) {
    if (error) *error = "cannot read " + setupExePath;
    return false;
  }
  PutBytes(image, EncodePayload(items, options));
  if (!WriteWholeFile(outPath, image)) {
    if (error) *error = "cannot write " + outPath;
    return false;
  }
  return true;
}
