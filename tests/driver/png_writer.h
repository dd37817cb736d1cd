// png_writer: writes 24-bit RGB PNG files with stored (uncompressed) deflate blocks; portable,
// so that screenshots need no image library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// pixels: width*height values 0x00BBGGRR (the Win32 COLORREF layout), rows top to bottom.
// Returns the complete PNG file contents.
std::vector<uint8_t> EncodePng(int width, int height, const uint32_t* pixels);

// Writes EncodePng's result to path (a native path of the running system); false on any error.
bool WritePngFile(const std::string& path, int width, int height, const uint32_t* pixels);
