// Helpers of the writing-side tests: scratch directories, files, archives built around
// given member data, extraction through this library and through the peer tools.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// A fresh directory under the system's temporary directory, removed with its contents.
struct TempDir {
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    std::string Path(const std::string &name) const;
    std::string root;
};

std::vector<uint8_t> ReadWholeFile(const std::string &path);
void WriteWholeFile(const std::string &path, const std::vector<uint8_t> &data);

// Writes an archive holding one member with the given method and data, whose header
// carries the size and CRC-16 of original.
void WriteSingleMemberArchive(const std::string &archive, const std::string &memberName,
                              const char *method, const std::vector<uint8_t> &data,
                              const std::vector<uint8_t> &original);

// Extracts every member through LZH_Enum with ACTION_EXTRACT into files of dir and returns
// their contents in archive order; a failed walk fails the calling test.
std::vector<std::vector<uint8_t>> ExtractWithLibrary(const std::string &archive,
                                                     const TempDir &dir);

// True when the peer tool (lhasa, 7z, bsdtar) is installed; always false on Windows.
bool HavePeer(const char *tool);

// Extracts archive with the peer tool into a fresh subdirectory of dir and returns the
// bytes of memberName; a failing tool or a missing file fails the calling test.
std::vector<uint8_t> ExtractWithPeer(const char *tool, const std::string &archive,
                                     const TempDir &dir, const std::string &memberName);

// Deterministic test data.
std::vector<uint8_t> RandomBytes(std::size_t count, uint32_t seed);
std::vector<uint8_t> TextLike(std::size_t count, uint32_t seed);
std::vector<uint8_t> SameByte(std::size_t count, uint8_t value);
