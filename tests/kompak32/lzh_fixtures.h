// Test fixtures for kompak32: files and temporary directories, members laid out by hand,
// -lh5- members from an independent encoder (jlha) re-wrapped into plain level-1 headers,
// extraction by the peer archivers, and capture of the library's stderr messages.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "hand_members.h"

namespace fx {

Bytes ReadFile(const std::string &path);
void WriteFile(const std::string &path, const Bytes &bytes);
bool FileExists(const std::string &path);

// A fresh directory under /tmp, removed with its contents when the object goes.
struct TempDir {
    std::string path;
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    std::string operator/(const std::string &name) const { return path + "/" + name; }
};

// Compresses each (name, bytes) with jlha into level-1 members and re-wraps them into
// this library's headers (no extended headers). Members keep jlha's method, sizes, CRC
// and stamp.
std::vector<HandMember> PeerMembers(const std::vector<std::pair<std::string, Bytes>> &files);

// Extracts member name of the archive at path with a peer: "lha" (lhasa), "7z" or "bsdtar".
Bytes PeerExtract(const std::string &tool, const std::string &archivePath,
                  const std::string &name);

// Deterministic test data: text-like, binary-like, random.
Bytes TextData(std::size_t size, uint32_t seed);
Bytes RandomData(std::size_t size, uint32_t seed);
Bytes FileOrText(const std::string &path, std::size_t size);

// Collects what the library writes to standard error (its message boxes) while alive.
struct StderrCapture {
    StderrCapture();
    ~StderrCapture();
    std::string Finish(); // restores stderr and returns the text
  private:
    int savedFd;
    std::string path;
    bool done = false;
};

} // namespace fx
