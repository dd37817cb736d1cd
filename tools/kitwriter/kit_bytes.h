// Little-endian byte encoding shared by the kit writer: the primitive field kinds of
// SETUP.DAT and of the payload (u8, i16, u32, NUL-terminated strings) appended to a buffer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using KitBytes = std::vector<std::uint8_t>;

void PutU8(KitBytes& out, std::uint8_t value);
void PutI16(KitBytes& out, std::int16_t value);
void PutU32(KitBytes& out, std::uint32_t value);
// The string's bytes followed by one NUL byte; an embedded NUL is written as is.
void PutString(KitBytes& out, const std::string& text);
void PutBytes(KitBytes& out, const KitBytes& bytes);
void PutBytes(KitBytes& out, const std::string& bytes);

// Reads and writes whole files in binary mode; false when the file cannot be opened or
// not every byte was transferred.
bool ReadWholeFile(const std::string& path, KitBytes& out);
bool WriteWholeFile(const std::string& path, const KitBytes& bytes);
