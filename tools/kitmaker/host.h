// What kitmaker needs of the system it runs on (Linux or Windows): file facts, a scratch
// directory and whether output goes to a terminal.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

struct FileFacts {
  uint64_t size = 0;
  std::time_t modified = 0;
  bool regular = false;
};

// False when the path does not exist.
bool StatPath(const std::string& path, FileFacts& facts);
bool IsDirectory(const std::string& path);
bool IsAbsolutePath(const std::string& path);
// A new empty directory for scratch files, and its removal (with what it holds).
bool MakeScratchDirectory(std::string& path);
void RemoveScratchDirectory(const std::string& path);
bool MakeDirectory(const std::string& path);
// The names in a directory, sorted.
std::vector<std::string> DirectoryNames(const std::string& path);
// The local time of a moment, broken down.
std::tm LocalTime(std::time_t moment);
bool StderrIsTerminal();
