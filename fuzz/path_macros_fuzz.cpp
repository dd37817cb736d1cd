// Fuzz target for the path macros: three targets whose names and paths come from the input,
// then a text to expand. Whatever the input, an expansion that succeeds is at most 259
// characters, and a text without a percent sign expands to itself when it fits.
#include <cstdlib>
#include <string>

#include "setup/script/path_macros.h"

namespace {

void Require(bool condition) {
  if (!condition) abort();
}

// The next line of the input (without its "\n"), or what is left.
std::string NextLine(const std::string& input, size_t& at) {
  const size_t end = input.find('\n', at);
  std::string line = input.substr(at, end == std::string::npos ? std::string::npos : end - at);
  at = end == std::string::npos ? input.size() : end + 1;
  return line;
}

}  // namespace

// The short form of a path: the path in upper case, or none for an empty path (the platform's
// answer for a directory that does not exist).
bool ShortPathOf(const std::string& path, std::string& shortPath) {
  if (path.empty()) return false;
  shortPath = path;
  for (char& c : shortPath)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return true;
}

void ReportUnknownTarget(const std::string&) {}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  size_t at = 0;
  InstallScript script;
  script.targets.resize(3);
  for (TargetDir& target : script.targets) {
    target.name = NextLine(input, at);
    target.path = NextLine(input, at);
  }
  const std::string text = input.substr(at);
  std::string result;
  const bool expanded = ExpandTargetMacros(script, text, result);
  if (expanded) Require(result.size() <= MAX_PATH_CHARS);
  if (text.find('%') == std::string::npos) {
    Require(expanded == (text.size() <= MAX_PATH_CHARS));
    if (expanded) Require(result == text);
  }
  return 0;
}
