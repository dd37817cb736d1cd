// The host side of kitmaker on Linux and on Windows.
#include "host.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#include <io.h>
#else
#include <dirent.h>
#include <unistd.h>
#endif

bool StatPath(const std::string& path, FileFacts& facts) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return false;
  facts.size = static_cast<uint64_t>(info.st_size);
  facts.modified = info.st_mtime;
  facts.regular = S_ISREG(info.st_mode);
  return true;
}

bool IsDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsAbsolutePath(const std::string& path) {
#ifdef _WIN32
  return (path.size() > 1 && path[1] == ':') || (!path.empty() && (path[0] == '\\' || path[0] == '/'));
#else
  return !path.empty() && path[0] == '/';
#endif
}

std::vector<std::string> DirectoryNames(const std::string& path) {
  std::vector<std::string> names;
#ifdef _WIN32
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
#else
  if (DIR* dir = opendir(path.c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
  }
#endif
  std::sort(names.begin(), names.end());
  return names;
}

bool MakeDirectory(const std::string& path) {
#ifdef _WIN32
  return CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
#else
  return mkdir(path.c_str(), 0777) == 0 || IsDirectory(path);
#endif
}

bool MakeScratchDirectory(std::string& path) {
#ifdef _WIN32
  char temp[MAX_PATH];
  if (!GetTempPathA(sizeof temp, temp)) return false;
  for (unsigned n = 0; n < 1000; ++n) {
    path = std::string(temp) + "kitmaker" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(n);
    if (CreateDirectoryA(path.c_str(), nullptr)) return true;
  }
  return false;
#else
  char name[] = "/tmp/kitmaker.XXXXXX";
  if (!mkdtemp(name)) return false;
  path = name;
  return true;
#endif
}

void RemoveScratchDirectory(const std::string& path) {
  for (const std::string& name : DirectoryNames(path)) std::remove((path + "/" + name).c_str());
#ifdef _WIN32
  RemoveDirectoryA(path.c_str());
#else
  rmdir(path.c_str());
#endif
}

std::tm LocalTime(std::time_t moment) {
  std::tm local = {};
#ifdef _WIN32
  if (const std::tm* t = std::localtime(&moment)) local = *t;
#else
  localtime_r(&moment, &local);
#endif
  return local;
}

bool StderrIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(fileno(stderr)) != 0;
#endif
}
