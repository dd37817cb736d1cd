// Test fixtures for kompak32: files and temporary directories, members laid out by hand,
// -lh5- members from an independent encoder (jlha) re-wrapped into plain level-1 headers,
// extraction by the peer archivers, and capture of the library's stderr messages.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace fx {

using Bytes = std::vector<uint8_t>;

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

// One member as the format lays it out, built byte by byte.
struct HandMember {
    std::string name;
    std::string method = "-lh0-";
    Bytes data;                 // member data as stored (compressed for -lh5-)
    uint32_t originalSize = 0;  // for -lh0- set from data when 0 and data is not empty
    uint16_t dataCrc = 0;
    uint16_t dosTime = 0;
    uint16_t dosDate = 0;
};

// A stored member of the given bytes, CRC and stamp filled in.
HandMember StoredMember(const std::string &name, const Bytes &data, uint16_t dosTime = 0x6000,
                        uint16_t dosDate = 0x5A21);

// Header (with checksum) and data of one member.
Bytes MemberBytes(const HandMember &m);

// The members followed by the end mark.
Bytes ArchiveBytes(const std::vector<HandMember> &members);

// CRC-16/ARC computed bit by bit (independent of the library's table).
uint16_t ReferenceCrc16(const Bytes &data);

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
