// The Windows side of the path macros: short paths from GetShortPathNameA and the message
// about a macro that names no target.
#include <windows.h>

#include "setup/script/path_macros.h"

bool ShortPathOf(const std::string& path, std::string& shortPath) {
  char buffer[PATH_BUFFER_SIZE];
  DWORD length = GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
  if (length == 0 || length >= sizeof buffer) return false;
  shortPath.assign(buffer, length);
  return true;
}

void ReportUnknownTarget(const std::string& name) {
  std::string text = "There is no file target called \"" + name + "\"";
  MessageBoxA(GetFocus(), text.c_str(), "Internal Error", MB_ICONEXCLAMATION);
}
