// SETUP.LOG: created with its header once the directories are confirmed, one line per
// installed or skipped file, and the failed files at the end. It lies in the first target
// after the system directory where it can be opened (in the system directory only when that
// is the only target).
#pragma once

#include <cstdio>
#include <string>

// Full path of SETUP.LOG as last built by OpenSetupLog, upper case; empty until then.
extern std::string SetupLogPath;

// Opens SETUP.LOG with `mode` ("wt", "at") by the search above; null when no target takes it
// (or the script has no target).
FILE* OpenSetupLog(const char* mode);

// Creates SETUP.LOG with its header: title line, creation time, contact lines, the chosen
// directories. Nothing happens when no target takes it.
void WriteLogHeader();

// Appends "text\n" to SETUP.LOG; nothing when it cannot be opened.
void AppendLogLine(const std::string& text);
