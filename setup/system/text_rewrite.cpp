// SYSTEM.INI device lines and c:\autoexec.bat variable lines.
#include "setup/system/text_rewrite.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "setup/install/path_names.h"
#include "setup/script/path_macros.h"

namespace {

// The text's lines, each without its "\n"; a last line without one counts as a line, an
// empty text has none. `ended` tells whether the last line had its "\n".
std::vector<std::string> SplitLines(const std::string& text, bool* ended) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      *ended = false;
      return lines;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  *ended = true;
  return lines;
}

bool StartsWithIgnoringCase(const std::string& text, size_t at, const char* prefix) {
  const size_t length = strlen(prefix);
  return text.size() - at >= length && SameName(text.substr(at, length), prefix);
}

// The line up to its first carriage return or line feed.
std::string CutAtLineEnd(const std::string& line) { return line.substr(0, line.find_first_of("\r\n")); }

size_t SkipSpaces(const std::string& text, size_t at) {
  while (at < text.size() && text[at] == ' ') ++at;
  return at;
}

}  // namespace

bool PathListHolds(const std::string& list, const std::string& directory) {
  size_t start = 0;
  for (;;) {
    const size_t end = list.find(';', start);
    if (SameName(list.substr(start, end == std::string::npos ? std::string::npos : end - start), directory))
      return true;
    if (end == std::string::npos) return false;
    start = end + 1;
  }
}

bool AddDeviceLineTo(const std::string& ini, const std::string& section, const std::string& key,
                     const std::string& value, std::string& out) {
  bool ended = true;
  const std::vector<std::string> lines = SplitLines(ini, &ended);
  const std::string header = "[" + section + "]";
  out.clear();
  auto write = [&](size_t i) {
    out += lines[i];
    if (i + 1 < lines.size() || ended) out += '\n';
  };
  size_t i = 0;
  for (; i < lines.size(); ++i) {
    write(i);
    if (StartsWithIgnoringCase(lines[i], 0, header.c_str())) break;
  }
  if (i == lines.size()) return false;  // the section must exist
  if (!out.empty() && out.back() != '\n') out += '\n';  // the header was the last line, without a line end
  out += key + "=" + value + "\n";

  std::string newValue = value;
  const std::string newFile = FileNamePart(newValue);
  for (++i; i < lines.size() && lines[i].compare(0, 1, "[") != 0; ++i) {
    std::string copy = CutAtLineEnd(lines[i]);
    while (!copy.empty() && copy.back() == ' ') copy.pop_back();
    const size_t equals = copy.find('=');
    if (equals != std::string::npos) {
      std::string oldValue = copy.substr(equals + 1);
      if (SameName(copy.substr(0, equals), key) && SameName(FileNamePart(oldValue), newFile))
        continue;  // an older line for the same driver file
    }
    write(i);
  }
  for (; i < lines.size(); ++i) write(i);
  return true;
}

std::string UpdateBatchLines(const std::string& batch, std::vector<BatchVariable>& variables) {
  bool ended = true;
  std::string updated;
  for (const std::string& whole : SplitLines(batch, &ended)) {
    const std::string line = CutAtLineEnd(whole);
    const std::string p = line.substr(SkipSpaces(line, 0));
    if (!StartsWithIgnoringCase(p, 0, "SET ") && !StartsWithIgnoringCase(p, 0, "PATH=") &&
        !StartsWithIgnoringCase(p, 0, "PATH ")) {
      updated += line + "\n";
      continue;
    }
    const size_t nameStart = StartsWithIgnoringCase(p, 0, "SET ") ? SkipSpaces(p, 4) : 0;
    const size_t nameEnd = nameStart < p.size() ? p.find_first_of(" =", nameStart + 1) : std::string::npos;
    BatchVariable* match = nullptr;
    if (nameEnd != std::string::npos) {
      for (BatchVariable& variable : variables) {
        if (SameName(p.substr(nameStart, nameEnd - nameStart), variable.name)) {
          match = &variable;
          break;
        }
      }
    }
    if (!match) {
      updated += p + "\n";
      continue;
    }
    match->seen = true;
    if (!SameName(match->name, "PATH")) {
      updated += "SET " + match->name + "=" + match->newValue + "\n";
      continue;
    }
    size_t listStart = SkipSpaces(p, nameEnd);
    if (listStart == p.size()) {
      updated += "SET " + match->name + "=" + match->newValue + "\n";
      continue;
    }
    if (p[listStart] == '=') ++listStart;
    if (PathListHolds(p.substr(listStart), match->newValue))
      updated += p + "\n";
    else
      updated += p + ";" + match->newValue + "\n";
  }
  return updated;
}

std::string NewVariableLines(std::vector<BatchVariable>& variables) {
  std::string result;
  for (BatchVariable& variable : variables) {
    if (variable.seen) continue;
    result += "SET " + variable.name + "=" + variable.newValue + "\n";
    variable.seen = true;
  }
  return result;
}

namespace {

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") + 1 - first);
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return text;
}

// One "section\nkey\nvalue" string per setting line, section and key in lower case, sorted.
std::vector<std::string> IniEntries(const std::string& text) {
  bool ended = true;
  std::vector<std::string> entries;
  std::string section;
  for (const std::string& whole : SplitLines(text, &ended)) {
    const std::string line = Trimmed(CutAtLineEnd(whole));
    if (!line.empty() && line[0] == '[') {
      const size_t close = line.rfind(']');  // a section name may hold "]" itself
      section = Lower(Trimmed(line.substr(1, close == std::string::npos || close == 0 ? std::string::npos : close - 1)));
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    entries.push_back(section + "\n" + Lower(Trimmed(line.substr(0, equals))) + "\n" + Trimmed(line.substr(equals + 1)));
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

}  // namespace

bool IniRewrittenWith(const std::string& before, const std::string& rewritten, const std::string& section,
                      const std::string& key, const std::string& value) {
  // Lines of the key itself are left out on both sides (a second line of the same key keeps
  // its old value); the new value must be there.
  const std::string name = Lower(Trimmed(section)) + "\n" + Lower(Trimmed(key)) + "\n";
  auto others = [&](const std::vector<std::string>& entries) {
    std::vector<std::string> kept;
    for (const std::string& entry : entries)
      if (entry.compare(0, name.size(), name) != 0) kept.push_back(entry);
    return kept;
  };
  const std::vector<std::string> after = IniEntries(rewritten);
  return others(IniEntries(before)) == others(after) &&
         std::find(after.begin(), after.end(), name + Trimmed(value)) != after.end();
}
