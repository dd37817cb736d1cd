// The line logic of the two text files setup rewrites itself: the "device" lines of SYSTEM.INI
// and the variable lines of c:\autoexec.bat; and the check of an INI file that the profile
// functions rewrote. Portable: the files are read and written whole
// by the callers, as text with "\n" line ends. Lines are taken whole, however long: a line is
// never split or merged.
#pragma once

#include <string>
#include <vector>

#include "setup/script/install_script.h"

// True when `list`, split at semicolons, holds a piece equal to `directory` ignoring case.
bool PathListHolds(const std::string& list, const std::string& directory);

// Adds "key=value" right after the header line of `section` (a line whose first characters
// equal "[section]", ignoring case) and drops the section's older lines with the same key
// (ignoring case, no trimming) for a file of the same name as the value's, in any directory
// and any case. Everything else is kept as it was. False, `out` unusable, when the file has no
// such section.
bool AddDeviceLineTo(const std::string& ini, const std::string& section, const std::string& key,
                     const std::string& value, std::string& out);

// A variable of the batch file: its name, the value to give it and whether a line of the
// file already names it.
struct BatchVariable {
  std::string name;
  std::string newValue;
  bool seen = false;
};

// The batch file's lines with the variables' lines updated, and the variables named marked
// seen. A SET line of a variable other than PATH gets the new value; a PATH line (PATH=, PATH
// followed by a space, or SET PATH) keeps its directories and gets ";value" appended unless it
// holds it already. Lines that name no variable are kept, SET and PATH lines without their
// leading spaces.
std::string UpdateBatchLines(const std::string& batch, std::vector<BatchVariable>& variables);

// A "SET name=value" line for every variable not yet seen, in order; marks them seen. These
// lines go on top of the updated batch file.
std::string NewVariableLines(std::vector<BatchVariable>& variables);

// True when `rewritten` holds the same settings as `before` except that `key` of `section` has
// `value` (added when it was missing): every "key=value" line of every section, keys and
// section names ignoring case, keys and values without their surrounding spaces; lines without
// "=" (comments, empty lines) and the order do not count. This is how a copy that the profile
// functions rewrote is known to be whole: they report success even when the disk filled.
bool IniRewrittenWith(const std::string& before, const std::string& rewritten, const std::string& section,
                      const std::string& key, const std::string& value);
