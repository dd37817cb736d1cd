// SetExtension and FileNamePart.
#include "setup/install/path_names.h"

#include "setup/script/install_script.h"

bool SetExtension(std::string& path, const std::string& extension) {
  const size_t nameStart = path.rfind('\\') == std::string::npos ? 0 : path.rfind('\\') + 1;
  const size_t dot = path.rfind('.');
  std::string changed = dot != std::string::npos && dot >= nameStart
                            ? path.substr(0, dot + 1) + extension
                            : path + "." + extension;
  if (changed.size() > MAX_PATH_CHARS) return false;
  path = changed;
  return true;
}

std::string FileNamePart(std::string& path) {
  for (char& c : path)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  size_t cut = path.rfind('\\');
  if (cut == std::string::npos) cut = path.rfind(':');
  return cut == std::string::npos ? path : path.substr(cut + 1);
}
