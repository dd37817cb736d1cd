// png_writer_test: screenshots must open in ordinary image tools, so each written PNG is read
// back pixel by pixel with ImageMagick (a single stored block and a file of several blocks).
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "png_writer.h"

namespace {

// ImageMagick's text dump: one "x,y: (r,g,b)" line per pixel.
std::vector<uint32_t> ReadBack(const std::string& path, int width, int height) {
    std::string command = "convert '" + path + "' -depth 8 rgb:-";
    std::FILE* pipe = popen(command.c_str(), "r");
    std::vector<uint32_t> pixels;
    if (!pipe) return pixels;
    unsigned char rgb[3];
    while (std::fread(rgb, 1, 3, pipe) == 3) {
        pixels.push_back(uint32_t(rgb[0]) | uint32_t(rgb[1]) << 8 | uint32_t(rgb[2]) << 16);
    }
    pclose(pipe);
    if (pixels.size() != size_t(width) * size_t(height)) pixels.clear();
    return pixels;
}

std::vector<uint32_t> Pattern(int width, int height) {
    std::vector<uint32_t> pixels;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            pixels.push_back(uint32_t((x * 7) & 0xFF) | uint32_t((y * 13) & 0xFF) << 8 |
                             uint32_t((x ^ y) & 0xFF) << 16);
        }
    }
    return pixels;
}

void RoundTrip(int width, int height) {
    std::string path = ::testing::TempDir() + "png_writer_test_" + std::to_string(width) + "x" +
                       std::to_string(height) + ".png";
    std::vector<uint32_t> pixels = Pattern(width, height);
    ASSERT_TRUE(WritePngFile(path, width, height, pixels.data()));
    std::vector<uint32_t> back = ReadBack(path, width, height);
    ASSERT_EQ(pixels.size(), back.size()) << "ImageMagick could not read " << path;
    for (size_t i = 0; i < pixels.size(); ++i) {
        ASSERT_EQ(pixels[i], back[i]) << "pixel " << i % size_t(width) << "," << i / size_t(width);
    }
    std::remove(path.c_str());
}

TEST(PngWriter, SmallImageReadsBackExactly) { RoundTrip(3, 2); }

TEST(PngWriter, ImageOfSeveralStoredBlocksReadsBackExactly) {
    RoundTrip(300, 100);  // 90,100 bytes of scan lines: two stored blocks
}

TEST(PngWriter, RejectsEmptyImages) {
    EXPECT_TRUE(EncodePng(0, 5, nullptr).empty());
    EXPECT_FALSE(WritePngFile(::testing::TempDir() + "png_writer_empty.png", 4, 0, nullptr));
}

}  // namespace
