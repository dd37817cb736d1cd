// Fuzz target for the SETUP.DAT reader: any input is either refused or gives a script whose
// strings, lists and InstallFile indexes all lie within their limits, for every platform bit.
#include <cstdio>
#include <cstdlib>

#include "setup/script/script_reader.h"

namespace {

void Require(bool condition) {
  if (!condition) abort();
}

void CheckLimits(const InstallScript& script) {
  Require(script.title.size() <= MAX_TITLE_CHARS);
  Require(script.contactLines.size() <= static_cast<size_t>(MAX_CONTACT_LINES));
  for (const std::string& line : script.contactLines) Require(line.size() <= MAX_CONTACT_CHARS);
  Require(script.targets.size() <= static_cast<size_t>(MAX_TARGETS));
  for (const TargetDir& target : script.targets) {
    Require(target.name.size() <= MAX_STRING_CHARS && target.descriptor.size() <= MAX_STRING_CHARS);
    for (const std::string& subdir : target.subdirs) Require(subdir.size() <= MAX_STRING_CHARS);
  }
  for (const InstallFile& file : script.files) {
    Require((file.flags & FILE_DONE) == 0);
    Require(file.targetIndex >= 0 && static_cast<size_t>(file.targetIndex) < script.targets.size());
    Require(file.subdirIndex < 0 ||
            static_cast<size_t>(file.subdirIndex) < script.targets[file.targetIndex].subdirs.size());
    Require(!(file.flags & FILE_PACKED) ||
            (file.archiveIndex >= 0 && static_cast<size_t>(file.archiveIndex) < script.archives.size()));
    Require(file.name == file.displayName && file.name.size() <= MAX_STRING_CHARS);
  }
  for (const ProgramGroup& group : script.groups) Require(group.name.size() <= MAX_GROUP_NAME_CHARS);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  for (PlatformMask current : {PLATFORM_WIN32S, PLATFORM_WIN95, PLATFORM_WINNT}) {
    // An in-memory stream (the empty input through a temporary file, which fmemopen refuses).
    FILE* file = size ? fmemopen(const_cast<unsigned char*>(data), size, "rb") : tmpfile();
    if (!file) return 0;
    InstallScript script;
    ScriptReadResult result = ReadInstallScript(file, current, script);
    fclose(file);
    if (result == SCRIPT_OK) {
      Require(size >= MIN_SCRIPT_SIZE);
      Require(AppliesTo(script.platforms, current));
      CheckLimits(script);
    } else {
      Require(script.title.empty() && script.files.empty());  // untouched on failure
    }
  }
  return 0;
}
