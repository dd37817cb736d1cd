// The small file operations the installation shares: a file's local last-write time, whether
// a file exists or can be opened, replacing a file through a backup, expanding path macros in
// an installed text file, text files read and written whole, and copying a whole file.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

// The file's last-write time as local calendar time; false (and `time` zeroed) when the file
// cannot be opened or a conversion fails.
bool GetLocalWriteTime(const std::string& path, SYSTEMTIME& time);

// A directory search finds the path (a directory counts too).
bool FileExists(const std::string& path);

// The file opens for reading with no sharing (the handle is closed at once).
bool CanOpenForReading(const std::string& path);

// Puts `newFile` in the place of `target`, keeping the previous target under the backup
// extension (`backupExtension`, or "000" when empty, which is removed after success). Shows
// its message ("Error", exclamation) and returns false when a step fails; the previous file is
// then where the message says. Where the system replaces a file in one rename, the backup is a
// copy and the target's name is never empty; elsewhere the target is renamed to the backup.
bool ReplaceWithBackup(const std::string& target, const std::string& newFile,
                       const std::string& backupExtension);

// The path names a directory (a directory search finds it with that attribute).
bool IsDirectory(const std::string& path);

// Renames `from` to `to`, replacing a file of that name in the same step (MoveFileExA, looked
// up at run time). False where the system has no such rename, or when it fails.
bool MoveFileReplacing(const std::string& from, const std::string& to);

// Replaces `target` by `newFile` in one rename (MoveFileExA), first copying the target to
// `backup` unless that is empty. False when the system cannot (Windows 95 and Win32s have no
// such rename) or the copy fails; nothing has changed then.
bool ReplaceInOneStep(const std::string& target, const std::string& newFile, const std::string& backup);

// Expands the path macros of every line of the text file at `path` through a temporary file
// "t0".."t99" beside it. False when no temporary name is free, a file cannot be opened, a line
// (with its line end) has more than 259 characters, or a line's expansion fails; the file then
// stays as it was.
bool ExpandMacrosInFile(const std::string& path);

// A text file whole, its line ends as "\n" (a "\r\n" becomes "\n"; nothing else changes, a
// Ctrl-Z included). False when the file cannot be opened or read to its end.
bool ReadTextFile(const std::string& path, std::string& text);

// Creates or truncates the file and writes `text` with "\r\n" line ends. False when a byte
// could not be written; the file may then hold part of the text.
bool WriteTextFile(const std::string& path, const std::string& text);

// Sets `key` of `section` to `value` in the INI file at `iniPath` (a full path) through the
// profile functions, which rewrite the whole file in place and report success even when the
// disk filled meanwhile (measured under Wine: the file is left cut off). They therefore work on
// a copy with the extension "new", which takes the file's place only when it reads back with
// every setting of the file and the new value. False, the file as it was, otherwise.
bool WriteProfileValue(const std::string& section, const std::string& key, const std::string& value,
                       const std::string& iniPath);

// The path with its file name spelt as the directory holds it (the path itself when the file
// is missing): a file replaced by renames keeps the letter case of its name.
std::string AsStored(const std::string& path);

// Closes a file that was written; true when every byte reached the disk. The runtime's fclose
// does not report a last buffer that could not be written (a full disk, measured under Wine),
// so the buffer is flushed and checked first.
bool CloseWrittenFile(FILE* file);

// Copies `source` to `destination`: with CopyFileA, or on Win32s and with `forceLoop`
// through a 32,768-byte buffer, checking that every byte arrived.
bool CopyWholeFile(const std::string& source, const std::string& destination, bool failIfExists,
                   bool forceLoop);
