// Reading a built install set back: the payload of a single-file setup or the files of a disk
// set, its script in readable form and the members of each archive.
#pragma once

#include <cstdio>
#include <string>

#include "kit_bytes.h"
#include "setup/script/script_reader.h"

// Reads SETUP.DAT bytes with setup's own reader (any platform accepted), through a file in
// `scratch`.
ScriptReadResult ReadScriptBytes(const KitBytes& bytes, const std::string& scratch, InstallScript& script);

// Prints what the set at `path` holds (a single-file setup, one disk's folder, or the folder
// of a disk set with DISK1, DISK2, ...). False, with the reason on stderr, when it is no set.
bool ShowSet(const std::string& path, std::FILE* out);
