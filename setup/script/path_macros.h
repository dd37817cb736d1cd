// Path macros in script strings and the installed path of a file. A macro is a target's name
// between percent signs: %NAME% gives the target's path in short (8.3) form, %NAME%[i] the
// character at position i of the long path, %NAME%[i,n] at most n characters of it from i
// (n < 0: the rest), %% one percent sign. Portable: the short form of a path and the message
// about an unknown target come from the platform file.
#pragma once

#include <cstddef>
#include <string>

#include "setup/script/install_script.h"

constexpr size_t MAX_MACRO_NAME_CHARS = 51;

// True when two names are equal ignoring the case of ASCII letters.
bool SameName(const std::string& a, const std::string& b);

// Index of the first target whose name equals `name` ignoring case, or -1. Silent (the
// directories dialog uses it for aliases).
int FindTargetIndex(const InstallScript& script, const std::string& name);

// The same lookup; a name that matches no target is reported with ReportUnknownTarget.
int FindTarget(const InstallScript& script, const std::string& name);

// Expands every macro of `source` into `result`. False, with `result` unusable, when a macro
// names no target (reported once), when a bracket form has no closing bracket, or when the
// result would pass MAX_PATH_CHARS characters. A macro name of more than MAX_MACRO_NAME_CHARS
// characters names no target. Positions outside the path give no characters.
bool ExpandTargetMacros(const InstallScript& script, const std::string& source, std::string& result);

// Where `file` lands under the directory `base`: "base\name", or "base\subdir\name" with the
// subdirectory of `target` at the file's subdirIndex. No length limit: callers that need a
// 259-character path check it.
std::string InstallPathIn(const std::string& base, const TargetDir& target, const InstallFile& file);

// The installed path of `file`: InstallPathIn with its target's path.
std::string InstallPathOf(const InstallScript& script, const InstallFile& file);

// Platform file. The short (8.3) form of `path`; false when the system gives none (for example
// for a directory that does not exist), and the long path is used instead.
bool ShortPathOf(const std::string& path, std::string& shortPath);

// Tells the user that a macro names no target: "There is no file target called "NAME"" with
// caption "Internal Error" and the exclamation icon, owned by the window with the focus.
void ReportUnknownTarget(const std::string& name);
