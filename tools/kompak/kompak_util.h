// The kompak command-line archiver: shared helpers for its commands (names, paths,
// temporary files, the progress bar, the member list read from the headers).
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "kompak32.h"

namespace kompak {

// Exit statuses.
constexpr int EXIT_OK = 0;
constexpr int EXIT_MEMBER_FAILED = 1; // some member could not be handled or was not found
constexpr int EXIT_USAGE = 2;         // bad command line, or the archive cannot be used

constexpr std::size_t PATH_LIMIT = 259; // longest path the installer's platform accepts

// What the header of one member says (read with the library's header codec).
struct MemberEntry {
    std::string name;
    std::string method; // "-lh5-" or "-lh0-"
    uint32_t compressedSize;
    uint32_t originalSize;
    uint16_t dosTime, dosDate;
    uint16_t dataCrc;
};

// Reads the member headers of an archive one after the other, holding only the file and
// the place of the next header, so that an archive of many members costs no more memory
// than one of a few.
struct MemberCursor {
    std::FILE *file = nullptr;
    int32_t next = 0; // offset of the next header; -1 once a header could not be read
    MemberCursor() = default;
    MemberCursor(const MemberCursor &) = delete;
    MemberCursor &operator=(const MemberCursor &) = delete;
    ~MemberCursor();
};

// Opens the archive for a cursor; false when it cannot be opened.
bool OpenMemberCursor(MemberCursor &cursor, const std::string &archivePath);

// The next member's header; false after the last (or at a header that cannot be read).
bool NextMember(MemberCursor &cursor, MemberEntry *entry);

// ASCII case-insensitive comparison, as member names are compared.
bool SameName(const std::string &a, const std::string &b);

// True when name can be used as a file name inside the output directory: not empty, no
// directory part, no drive, not "." or "..".
bool IsSafeMemberName(const std::string &name);

// dir + separator + name.
std::string JoinPath(const std::string &dir, const std::string &name);

// A new empty file in the temporary directory; "" on failure.
std::string MakeTempFile();
void RemoveFile(const std::string &path);

// Shows a progress bar on standard error while a member of at least minSize bytes is
// extracted, if standard error is a terminal.
void BeginProgress(const std::string &label, uint32_t size);
void EndProgress();

std::string FormatStamp(uint16_t dosTime, uint16_t dosDate);

} // namespace kompak
