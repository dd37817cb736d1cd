// Fuzz target for the SYSTEM.INI device rewrite and the autoexec.bat rewrite. The input is a
// file text; its first line gives the device line's value and the variables. Whatever the text,
// neither rewrite may lose a line it has no reason to drop:
// - the device rewrite keeps every line except the section's older lines for the same driver
//   file, in order, and adds exactly one line;
// - the batch rewrite gives exactly one line for every line of the file, and each line that
//   names no variable comes out as it went in (up to a carriage return and leading spaces).
#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "setup/system/text_rewrite.h"

namespace {

void Require(bool condition) {
  if (!condition) abort();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

bool StartsWithIgnoringCase(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t k = 0; k < prefix.size(); ++k)
    if (toupper(static_cast<unsigned char>(text[k])) != toupper(static_cast<unsigned char>(prefix[k]))) return false;
  return true;
}

// The upper-case file name of a device value (after its last backslash or colon).
std::string DriverFile(const std::string& value) {
  const size_t cut = value.find_last_of("\\:");
  std::string name = cut == std::string::npos ? value : value.substr(cut + 1);
  for (char& c : name) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return name;
}

// An old line's value as the rewrite compares it: up to a carriage return or line feed, without
// trailing spaces.
std::string WithoutLineEnd(std::string value) {
  value = value.substr(0, value.find_first_of("\r\n"));
  while (!value.empty() && value.back() == ' ') value.pop_back();
  return value;
}

// True when `kept` is `whole` with some lines left out, and every line left out is a device
// line ("device=..." in any case) for the driver file `driver`.
bool KeptAllButOlderDeviceLines(const std::vector<std::string>& kept, const std::vector<std::string>& whole,
                                const std::string& driver) {
  size_t i = 0;
  for (const std::string& line : whole) {
    if (i < kept.size() && kept[i] == line)
      ++i;
    else if (!StartsWithIgnoringCase(line, "device=") || DriverFile(WithoutLineEnd(line.substr(7))) != driver)
      return false;
  }
  return i == kept.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t firstEnd = input.find('\n');
  const std::string head = input.substr(0, firstEnd);
  const std::string file = firstEnd == std::string::npos ? "" : input.substr(firstEnd + 1);
  const std::string value = head.substr(0, head.find(';'));

  // Device lines: the output without the added line is the input with some lines dropped, and
  // lines outside the section are all kept.
  std::string out;
  if (AddDeviceLineTo(file, "386Enh", "device", value, out)) {
    std::vector<std::string> outLines = Lines(out), inLines = Lines(file);
    // The new line stands right after the first header of the section.
    size_t header = 0;
    while (header < outLines.size() && !StartsWithIgnoringCase(outLines[header], "[386Enh]")) ++header;
    Require(header + 1 < outLines.size() && outLines[header + 1] == "device=" + value);
    outLines.erase(outLines.begin() + static_cast<long>(header + 1));
    Require(KeptAllButOlderDeviceLines(outLines, inLines, DriverFile(value)));
  }

  // Batch lines: one line out for every line in.
  std::vector<BatchVariable> variables = {{"PATH", value}, {"APPDIR", head}, {"NEW", "1"}};
  const std::string updated = UpdateBatchLines(file, variables);
  const std::vector<std::string> inLines = Lines(file), outLines = Lines(updated);
  Require(inLines.size() == outLines.size());
  for (size_t i = 0; i < inLines.size(); ++i) {
    const std::string line = inLines[i].substr(0, inLines[i].find_first_of("\r\n"));
    if (outLines[i] != line) {
      // Only SET and PATH lines change: the line, without leading spaces, starts with one.
      const std::string p = line.substr(line.find_first_not_of(' ') == std::string::npos ? line.size()
                                                                                        : line.find_first_not_of(' '));
      Require(StartsWithIgnoringCase(p, "SET ") || StartsWithIgnoringCase(p, "PATH=") ||
              StartsWithIgnoringCase(p, "PATH "));
    }
  }
  const std::string top = NewVariableLines(variables);
  Require(Lines(top).size() <= variables.size());
  return 0;
}
