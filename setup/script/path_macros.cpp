// Expansion of path macros in script strings, target lookup by name and installed paths.
#include "setup/script/path_macros.h"

#include <cctype>
#include <climits>
#include <cstdlib>

namespace {

// A decimal number as C's atoi reads it (optional sign, digits), clamped to the int range, at
// `at`; `at` moves past it.
long ReadNumber(const std::string& text, size_t& at) {
  bool negative = false;
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
  long value = 0;
  for (; at < text.size() && isdigit(static_cast<unsigned char>(text[at])); ++at)
    if (value < INT_MAX) value = value * 10 + (text[at] - '0');
  if (value > INT_MAX) value = INT_MAX;
  return negative ? -value : value;
}

// Appends `count` characters of `path` from `start` (count < 0: all the rest); a start outside
// the path appends nothing.
void AppendPart(std::string& result, const std::string& path, long start, long count) {
  if (start < 0 || static_cast<size_t>(start) >= path.size()) return;
  size_t left = path.size() - static_cast<size_t>(start);
  size_t take = count < 0 || static_cast<size_t>(count) > left ? left : static_cast<size_t>(count);
  result.append(path, static_cast<size_t>(start), take);
}

}  // namespace

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x < 128) x = static_cast<unsigned char>(tolower(x));
    if (y < 128) y = static_cast<unsigned char>(tolower(y));
    if (x != y) return false;
  }
  return true;
}

int FindTargetIndex(const InstallScript& script, const std::string& name) {
  for (size_t i = 0; i < script.targets.size(); ++i)
    if (SameName(script.targets[i].name, name)) return static_cast<int>(i);
  return -1;
}

int FindTarget(const InstallScript& script, const std::string& name) {
  int index = FindTargetIndex(script, name);
  if (index < 0) ReportUnknownTarget(name);
  return index;
}

bool ExpandTargetMacros(const InstallScript& script, const std::string& source, std::string& result) {
  result.clear();
  size_t at = 0;
  while (at < source.size()) {
    if (source[at] != '%') {
      result += source[at++];
    } else if (at + 1 < source.size() && source[at + 1] == '%') {
      result += '%';
      at += 2;
    } else {
      // The name runs to the next percent sign or the end of the string.
      size_t close = source.find('%', at + 1);
      std::string name = source.substr(at + 1, close == std::string::npos ? std::string::npos : close - at - 1);
      at = close == std::string::npos ? source.size() : close + 1;
      int index = name.size() <= MAX_MACRO_NAME_CHARS ? FindTargetIndex(script, name) : -1;
      if (index < 0) {
        ReportUnknownTarget(name);
        return false;
      }
      const std::string& path = script.targets[static_cast<size_t>(index)].path;
      if (at >= source.size() || source[at] != '[') {
        std::string shortPath;
        result += ShortPathOf(path, shortPath) ? shortPath : path;
      } else {
        size_t closeBracket = source.find(']', at);
        if (closeBracket == std::string::npos) return false;  // the builder never writes this
        size_t numberAt = at + 1;
        long start = ReadNumber(source, numberAt);
        size_t comma = source.find(',', at + 1);
        if (comma != std::string::npos && comma < closeBracket) {
          size_t countAt = comma + 1;
          AppendPart(result, path, start, ReadNumber(source, countAt));
        } else {
          AppendPart(result, path, start, 1);
        }
        at = closeBracket + 1;
      }
    }
    if (result.size() > MAX_PATH_CHARS) return false;
  }
  return true;
}

std::string InstallPathIn(const std::string& base, const TargetDir& target, const InstallFile& file) {
  if (file.subdirIndex < 0 || static_cast<size_t>(file.subdirIndex) >= target.subdirs.size())
    return base + "\\" + file.name;
  return base + "\\" + target.subdirs[static_cast<size_t>(file.subdirIndex)] + "\\" + file.name;
}

std::string InstallPathOf(const InstallScript& script, const InstallFile& file) {
  const TargetDir& target = script.targets.at(static_cast<size_t>(file.targetIndex));
  return InstallPathIn(target.path, target, file);
}
