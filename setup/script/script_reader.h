// Reading "SETUP.DAT" (format 5) into an InstallScript. Portable C++ over a stdio stream; the
// message boxes that some results call for are shown by the loading step of the program.
#pragma once

#include <cstdio>

#include "setup/script/install_script.h"

// Outcome of reading a script. Only SCRIPT_OK means the records may be used.
enum ScriptReadResult {
  SCRIPT_OK = 0,
  SCRIPT_BAD_VERSION,     // formatVersion is not 5 ("incompatible KITMAKER.EXE version")
  SCRIPT_WRONG_PLATFORM,  // the set does not support the running system
  SCRIPT_TRUNCATED,       // a count, field or string ran past the end of the file
  SCRIPT_OVER_LIMIT,      // a string longer than its slot, > 10 contact lines or > 6 targets
  SCRIPT_BAD_INDEX,       // an InstallFile index outside its list
  SCRIPT_BAD_NAME,        // an InstallFile or archive name that is not a plain file name
  SCRIPT_NO_MEMORY,       // allocation failed while reading
};

// A read position in the script. pastEnd becomes true once any read has run past the end of
// the file; a file that ends exactly after its last record never sets it.
struct ScriptStream {
  FILE* file = nullptr;
  bool pastEnd = false;
};

// Primitive readers (little-endian, one read each). False when the value could not be read
// in full; the value is then left zero and pastEnd is set.
bool ReadU8(ScriptStream& in, uint8_t& value);
bool ReadI16(ScriptStream& in, int16_t& value);
bool ReadU32(ScriptStream& in, uint32_t& value);

// Reads a NUL-terminated string of at most maxChars characters. A string cut off by the end
// of the file ends there and the result is false with pastEnd set; a longer string is never
// stored beyond maxChars: the rest is skipped up to its NUL and the result is false with
// `tooLong` set.
bool ReadString(ScriptStream& in, std::string& text, size_t maxChars, bool& tooLong);

// Sections 1 to 4: header, targets, files and archives, and the checks that make every
// InstallFile index safe to use. Returns SCRIPT_BAD_VERSION right after formatVersion when it
// is not 5, before anything else is read.
ScriptReadResult ReadSetupFile(ScriptStream& in, InstallScript& script);

// SCRIPT_BAD_INDEX unless every InstallFile's targetIndex, subdirIndex (when not negative) and,
// for FILE_PACKED files, archiveIndex lies inside its list; SCRIPT_OK otherwise. Run by
// ReadSetupFile, and again whenever something else has changed the records.
ScriptReadResult CheckFileIndexes(const InstallScript& script);

// SCRIPT_BAD_NAME when an InstallFile or SourceArchive name is empty, "." or "..", holds '\',
// '/' or ':', or is a device name such as CON or LPT1: such a name would reach outside its
// target directory or the current directory.
ScriptReadResult CheckRecordNames(const InstallScript& script);

// Sections 5 to 8, one reader each, in this order.
ScriptReadResult ReadProgramGroups(ScriptStream& in, InstallScript& script);
ScriptReadResult ReadFileAssociations(ScriptStream& in, InstallScript& script);
ScriptReadResult ReadEnvSettings(ScriptStream& in, InstallScript& script);
ScriptReadResult ReadIniSettings(ScriptStream& in, InstallScript& script);

// The whole script from an open binary stream: sections 1 to 4, the platform check against
// `currentPlatform`, then sections 5 to 8. `script` is replaced only when the result is
// SCRIPT_OK; on any failure it is left as it was.
ScriptReadResult ReadInstallScript(FILE* file, PlatformMask currentPlatform, InstallScript& script);

// A short diagnostic text for a result (for Trace).
const char* DescribeScriptResult(ScriptReadResult result);
