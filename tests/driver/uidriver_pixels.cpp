// uidriver_pixels: capturing the screen (BitBlt from the screen DC into a DIB), reading and
// awaiting pixels, and PNG screenshots under the bench's shots directory.
#include "uidriver_internal.h"

#include <cstdio>
#include <cstdlib>

#include "png_writer.h"

namespace {

std::string Sanitize(std::string name) {
    for (char& c : name) {
        if (!isalnum((unsigned char)c) && c != '.' && c != '-' && c != '_') c = '_';
    }
    return name;
}

std::string CurrentTestName() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    if (!info) return "driver";
    return std::string(info->test_suite_name()) + "." + info->name();
}

}  // namespace

std::string ColourName(COLORREF colour) {
    char text[32];
    std::snprintf(text, sizeof text, "RGB(%d,%d,%d)", GetRValue(colour), GetGValue(colour),
                  GetBValue(colour));
    return text;
}

::testing::AssertionResult CaptureScreen(const RECT& screenRect, PixelImage* image) {
    int width = screenRect.right - screenRect.left;
    int height = screenRect.bottom - screenRect.top;
    if (width <= 0 || height <= 0) {
        return ::testing::AssertionFailure() << "empty rectangle " << width << "x" << height;
    }
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
    bmi.bmiHeader.biWidth = width;
    bmi.bmiHeader.biHeight = -height;  // top-down rows
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (memory && bitmap && bits) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, width, height, screen, screenRect.left, screenRect.top,
                    SRCCOPY) != FALSE;
        GdiFlush();
        SelectObject(memory, old);
    }
    if (ok) {
        image->width = width;
        image->height = height;
        image->pixels.resize(size_t(width) * size_t(height));
        const DWORD* source = static_cast<const DWORD*>(bits);
        for (size_t i = 0; i < image->pixels.size(); ++i) {
            DWORD p = source[i];  // 0x00RRGGBB in a 32-bit DIB
            image->pixels[i] = RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
        }
    }
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (!ok) return ::testing::AssertionFailure() << "capturing the screen failed";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult CaptureClient(HWND window, PixelImage* image) {
    RECT rect;
    auto found = GetClientScreenRect(window, &rect);
    if (!found) return found;
    return CaptureScreen(rect, image);
}

::testing::AssertionResult CaptureWindow(HWND window, PixelImage* image) {
    RECT rect;
    auto found = GetWindowScreenRect(window, &rect);
    if (!found) return found;
    return CaptureScreen(rect, image);
}

::testing::AssertionResult ReadScreenPixel(int x, int y, COLORREF* colour) {
    PixelImage image;
    RECT rect = {x, y, x + 1, y + 1};
    auto captured = CaptureScreen(rect, &image);
    if (!captured) return captured;
    *colour = image.pixels[0];
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult ReadClientPixel(HWND window, int x, int y, COLORREF* colour) {
    RECT client;
    auto found = GetClientScreenRect(window, &client);
    if (!found) return found;
    if (x < 0 || y < 0 || x >= client.right - client.left || y >= client.bottom - client.top) {
        return ::testing::AssertionFailure()
               << "pixel " << x << "," << y << " lies outside the client area "
               << client.right - client.left << "x" << client.bottom - client.top;
    }
    return ReadScreenPixel(client.left + x, client.top + y, colour);
}

::testing::AssertionResult WaitForPixel(HWND window, int x, int y, COLORREF expected,
                                        DWORD timeoutMs) {
    DWORD limit = EffectiveTimeout(timeoutMs);
    DWORD start = GetTickCount();
    COLORREF actual = 0;
    for (;;) {
        auto read = window ? ReadClientPixel(window, x, y, &actual) : ReadScreenPixel(x, y, &actual);
        if (!read) return read;
        if (actual == expected) return ::testing::AssertionSuccess();
        if (Elapsed(start) >= limit) {
            return FailAndClean("pixel " + std::to_string(x) + "," + std::to_string(y) +
                                (window ? " of window " + HandleName(window) : " of the screen") +
                                " is " + ColourName(actual) + ", expected " +
                                ColourName(expected) + " (waited " + std::to_string(limit) +
                                " ms)");
        }
        Sleep(20);
    }
}

::testing::AssertionResult WaitForClientImage(HWND window, const ImageCheck& check,
                                              DWORD timeoutMs) {
    DWORD limit = EffectiveTimeout(timeoutMs);
    DWORD start = GetTickCount();
    for (;;) {
        PixelImage image;
        auto captured = CaptureClient(window, &image);
        if (!captured) return captured;
        std::string why;
        if (check(image, &why)) return ::testing::AssertionSuccess();
        if (Elapsed(start) >= limit) {
            return FailAndClean("the client area of " + HandleName(window) +
                                " did not show what was expected within " +
                                std::to_string(limit) + " ms: " + why);
        }
        Sleep(20);
    }
}

bool WritePng(const std::string& path, const PixelImage& image) {
    if (image.width <= 0 || image.height <= 0) return false;
    return WritePngFile(path, image.width, image.height,
                        reinterpret_cast<const uint32_t*>(image.pixels.data()));
}

std::string ShotsDirectory() {
    char buffer[MAX_PATH] = {};
    std::string dir;
    DWORD n = GetEnvironmentVariableA("WINEBENCH_SHOTS", buffer, sizeof buffer);
    if (n > 0 && n < sizeof buffer) {
        dir = buffer;
    } else {
        GetCurrentDirectoryA(sizeof buffer, buffer);
        dir = buffer;
    }
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

std::string SaveScreenshot(const std::string& label) {
    RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    PixelImage image;
    if (!CaptureScreen(screen, &image)) return "";
    std::string path = ShotsDirectory() + "\\" + Sanitize(CurrentTestName() + "-" + label) + ".png";
    return WritePng(path, image) ? path : "";
}
