// File helpers: times, existence, ReplaceWithBackup, ExpandMacrosInFile, whole text files and
// CopyWholeFile.
#include "setup/install/file_helpers.h"

#include <cstdio>
#include <cstring>

#include "setup/driver/setup_state.h"
#include "setup/driver/trace.h"
#include "setup/driver/window_helpers.h"
#include "setup/install/path_names.h"
#include "setup/script/path_macros.h"
#include "setup/system/text_rewrite.h"

namespace {

HANDLE OpenExclusively(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void ShowError(const std::string& text) {
  Trace("%s (error %lu)", text.c_str(), static_cast<unsigned long>(GetLastError()));
  ShowMessage(nullptr, text.c_str(), "Error", MB_ICONEXCLAMATION);
}

struct FileCloser {
  FILE* file;
  ~FileCloser() {
    if (file) fclose(file);
  }
};

}  // namespace

bool GetLocalWriteTime(const std::string& path, SYSTEMTIME& time) {
  memset(&time, 0, sizeof time);
  HANDLE file = OpenExclusively(path);
  if (file == INVALID_HANDLE_VALUE) return false;
  FILETIME written, local;
  bool ok = GetFileTime(file, nullptr, nullptr, &written) && FileTimeToLocalFileTime(&written, &local) &&
            FileTimeToSystemTime(&local, &time);
  CloseHandle(file);
  if (!ok) memset(&time, 0, sizeof time);
  return ok;
}

bool FileExists(const std::string& path) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

bool CanOpenForReading(const std::string& path) {
  HANDLE file = OpenExclusively(path);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

bool IsDirectory(const std::string& path) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool MoveFileReplacing(const std::string& from, const std::string& to) {
  // Looked up, as Windows 95 and Win32s need not carry it (Windows 95 has it as a stub that fails).
  typedef BOOL(WINAPI * MoveFileExFn)(LPCSTR, LPCSTR, DWORD);
  static MoveFileExFn moveFileEx = nullptr;
  static bool looked = false;
  if (!looked) {
    looked = true;
    HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
    if (kernel)
      moveFileEx = reinterpret_cast<MoveFileExFn>(reinterpret_cast<void (*)()>(GetProcAddress(kernel, "MoveFileExA")));
  }
  return moveFileEx && moveFileEx(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING);
}

bool ReplaceInOneStep(const std::string& target, const std::string& newFile, const std::string& backup) {
  if (!backup.empty() && !CopyWholeFile(target, backup, false, true)) {
    Trace("%s cannot be copied to %s", target.c_str(), backup.c_str());
    DeleteFileA(backup.c_str());
    return false;
  }
  if (MoveFileReplacing(newFile, target)) return true;
  Trace("%s cannot replace %s in one rename (error %lu)", newFile.c_str(), target.c_str(),
        static_cast<unsigned long>(GetLastError()));
  if (!backup.empty()) DeleteFileA(backup.c_str());
  return false;
}

bool ReplaceWithBackup(const std::string& target, const std::string& newFile,
                       const std::string& backupExtension) {
  std::string backup = target;
  if (!SetExtension(backup, backupExtension.empty() ? "000" : backupExtension)) {
    ShowError("Cannot rename " + target);  // no backup name fits: nothing is changed
    return false;
  }
  if (FileExists(backup) && !DeleteFileA(backup.c_str())) {
    ShowError("Cannot delete old backup " + backup);
    return false;
  }
  if (ReplaceInOneStep(target, newFile, backupExtension.empty() ? std::string() : backup)) return true;
  // Without a replacing rename the target lies under the backup name between two renames.
  if (!MoveFileA(target.c_str(), backup.c_str())) {
    ShowError("Cannot rename " + target);
    return false;
  }
  if (MoveFileA(newFile.c_str(), target.c_str())) {
    if (backupExtension.empty()) DeleteFileA(backup.c_str());
    return true;
  }
  if (MoveFileA(backup.c_str(), target.c_str())) {
    std::string newName = newFile, targetName = target;
    ShowError("Cannot replace " + FileNamePart(newName) + " with " + FileNamePart(targetName));
  } else {
    ShowError("System is corrupted.\nYou must rename\n" + backup + "\nto " + target + " yourself!");
  }
  return false;
}

bool ExpandMacrosInFile(const std::string& path) {
  std::string temporary;
  for (int n = 0;; ++n) {
    if (n == 100) return false;
    temporary = path;
    if (!SetExtension(temporary, "t" + std::to_string(n))) return false;
    if (!FileExists(temporary)) break;
  }
  FileCloser in{fopen(path.c_str(), "rt")};
  if (!in.file) return false;
  FileCloser out{fopen(temporary.c_str(), "wt")};
  if (!out.file) return false;
  // A line is read whole: a line longer than 259 characters (its line end included) would be
  // cut by the line buffer and a macro across the cut corrupted, so such a file is refused.
  char buffer[PATH_BUFFER_SIZE];
  std::string expanded;
  bool complete = true;
  while (fgets(buffer, sizeof buffer, in.file)) {
    const size_t length = strlen(buffer);
    if (length == MAX_PATH_CHARS && buffer[length - 1] != '\n' && fgetc(in.file) != EOF) {
      Trace("%s: a line of more than %u characters; the file is left unexpanded", path.c_str(),
            static_cast<unsigned>(MAX_PATH_CHARS));
      complete = false;
      break;
    }
    if (!ExpandTargetMacros(Script, buffer, expanded)) {
      complete = false;
      break;
    }
    if (fputs(expanded.c_str(), out.file) < 0) {
      complete = false;
      break;
    }
  }
  if (ferror(in.file)) complete = false;
  fclose(in.file);
  in.file = nullptr;
  if (!CloseWrittenFile(out.file)) complete = false;
  out.file = nullptr;
  // After a failure the installed file stays as extracted, the partly written temporary too.
  return complete && ReplaceWithBackup(path, temporary, "");
}

bool ReadTextFile(const std::string& path, std::string& text) {
  text.clear();
  FileCloser in{fopen(path.c_str(), "rb")};  // binary: a text-mode read would end at a Ctrl-Z
  if (!in.file) return false;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, in.file)) > 0) {
    for (size_t i = 0; i < n; ++i) {
      if (buffer[i] == '\n' && !text.empty() && text.back() == '\r') text.back() = '\n';
      else text += buffer[i];
    }
  }
  return !ferror(in.file);
}

bool WriteTextFile(const std::string& path, const std::string& text) {
  FileCloser out{fopen(path.c_str(), "wb")};
  if (!out.file) return false;
  std::string bytes;
  bytes.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') bytes += '\r';
    bytes += c;
  }
  const bool written = fwrite(bytes.data(), 1, bytes.size(), out.file) == bytes.size();
  FILE* file = out.file;
  out.file = nullptr;
  return CloseWrittenFile(file) && written;
}

bool CloseWrittenFile(FILE* file) {
  const bool flushed = fflush(file) == 0 && !ferror(file);
  return fclose(file) == 0 && flushed;
}

bool CopyWholeFile(const std::string& source, const std::string& destination, bool failIfExists,
                   bool forceLoop) {
  if (currentPlatform != PLATFORM_WIN32S && !forceLoop)
    return CopyFileA(source.c_str(), destination.c_str(), failIfExists) != FALSE;
  static char buffer[32768];
  FileCloser in{fopen(source.c_str(), "rb")};
  if (!in.file) return false;
  FileCloser out{fopen(destination.c_str(), "wb")};
  if (!out.file) return false;
  long length = fseek(in.file, 0, SEEK_END) == 0 ? ftell(in.file) : -1;
  if (length < 0 || fseek(in.file, 0, SEEK_SET) != 0) return false;
  long written = 0;
  for (;;) {
    size_t got = fread(buffer, 1, sizeof buffer, in.file);
    if (got == 0) break;
    size_t put = fwrite(buffer, 1, got, out.file);
    written += static_cast<long>(put);
    if (put < got) break;
  }
  const bool closed = CloseWrittenFile(out.file);
  out.file = nullptr;
  return closed && written == length;
}

std::string AsStored(const std::string& path) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return path;
  FindClose(search);
  const size_t slash = path.rfind('\\');
  return slash == std::string::npos ? path : path.substr(0, slash + 1) + found.cFileName;
}

bool WriteProfileValue(const std::string& section, const std::string& key, const std::string& value,
                       const std::string& iniPath) {
  const std::string ini = AsStored(iniPath);
  std::string work = ini, before, after;
  if (!SetExtension(work, "new")) return false;
  DeleteFileA(work.c_str());
  const bool exists = FileExists(ini);
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, ini.c_str());  // the system's cached copy to disk
  bool written = (!exists || (ReadTextFile(ini, before) && CopyWholeFile(ini, work, false, true))) &&
                 WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), work.c_str());
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, work.c_str());
  written = written && ReadTextFile(work, after) && IniRewrittenWith(before, after, section, key, value);
  if (!written) {
    Trace("%s: the value %s=%s of [%s] could not be written whole", ini.c_str(), key.c_str(), value.c_str(),
          section.c_str());
    DeleteFileA(work.c_str());
    return false;
  }
  if (!exists) return MoveFileA(work.c_str(), ini.c_str()) != FALSE;
  return ReplaceWithBackup(ini, work, "");
}
