// Little-endian byte encoding and whole-file I/O for the kit writer.
#include "kit_bytes.h"

#include <cstdio>
#include <memory>

void PutU8(KitBytes& out, std::uint8_t value) { out.push_back(value); }

void PutI16(KitBytes& out, std::int16_t value) {
  const auto bits = static_cast<std::uint16_t>(value);
  out.push_back(static_cast<std::uint8_t>(bits & 0xFF));
  out.push_back(static_cast<std::uint8_t>(bits >> 8));
}

void PutU32(KitBytes& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void PutString(KitBytes& out, const std::string& text) {
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
}

void PutBytes(KitBytes& out, const KitBytes& bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }

void PutBytes(KitBytes& out, const std::string& bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }

namespace {
struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;
}  // namespace

bool ReadWholeFile(const std::string& path, KitBytes& out) {
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) return false;
  out.clear();
  std::uint8_t chunk[65536];
  for (;;) {
    const std::size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
    out.insert(out.end(), chunk, chunk + got);
    if (got < sizeof chunk) break;
  }
  return std::ferror(file.get()) == 0;
}

bool WriteWholeFile(const std::string& path, const KitBytes& bytes) {
  FilePtr file(std::fopen(path.c_str(), "wb"));
  if (!file) return false;
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) return false;
  return std::fclose(file.release()) == 0;
}
