// Reading "SETUP.DAT" (format 5): primitive readers, the eight section readers and the checks
// that keep every string inside its slot and every index inside its list.
#include "setup/script/script_reader.h"

#include <new>
#include <utility>

#include "setup/driver/payload_format.h"

namespace {

// Reads `width` bytes little-endian into an unsigned value; false if the file ends first.
bool ReadLittleEndian(ScriptStream& in, int width, uint32_t& value) {
  unsigned char bytes[4] = {0, 0, 0, 0};
  value = 0;
  if (fread(bytes, 1, width, in.file) != static_cast<size_t>(width)) {
    in.pastEnd = true;
    return false;
  }
  for (int i = width - 1; i >= 0; --i) value = (value << 8) | bytes[i];
  return true;
}

// A u32 count is compared as a signed number: zero or negative means "none".
bool ReadCount(ScriptStream& in, int32_t& count) {
  uint32_t raw = 0;
  if (!ReadU32(in, raw)) return false;
  count = static_cast<int32_t>(raw);
  if (count < 0) count = 0;
  return true;
}

// Reads one string into `text`; maps the two failures onto read results.
ScriptReadResult ReadField(ScriptStream& in, std::string& text, size_t maxChars = MAX_STRING_CHARS) {
  bool tooLong = false;
  if (ReadString(in, text, maxChars, tooLong)) return SCRIPT_OK;
  return tooLong ? SCRIPT_OVER_LIMIT : SCRIPT_TRUNCATED;
}

#define READ_OR_FAIL(expr)                    \
  do {                                        \
    ScriptReadResult result_ = (expr);        \
    if (result_ != SCRIPT_OK) return result_; \
  } while (0)

#define READ_FIXED_OR_FAIL(expr) \
  do {                           \
    if (!(expr)) return SCRIPT_TRUNCATED; \
  } while (0)

ScriptReadResult ReadTarget(ScriptStream& in, TargetDir& target) {
  READ_OR_FAIL(ReadField(in, target.name));
  READ_OR_FAIL(ReadField(in, target.descriptor));
  int16_t subdirCount = 0;
  READ_FIXED_OR_FAIL(ReadI16(in, subdirCount));
  for (int i = 0; i < subdirCount; ++i) {  // negative: no subdirectories
    std::string subdir;
    READ_OR_FAIL(ReadField(in, subdir));
    target.subdirs.push_back(std::move(subdir));
  }
  return SCRIPT_OK;
}

ScriptReadResult ReadFileRecord(ScriptStream& in, InstallFile& file) {
  READ_OR_FAIL(ReadField(in, file.name));
  READ_FIXED_OR_FAIL(ReadI16(in, file.archiveIndex));
  READ_FIXED_OR_FAIL(ReadU32(in, file.size));
  READ_FIXED_OR_FAIL(ReadI16(in, file.targetIndex));
  READ_FIXED_OR_FAIL(ReadI16(in, file.subdirIndex));
  READ_FIXED_OR_FAIL(ReadU8(in, file.platforms));
  READ_FIXED_OR_FAIL(ReadU8(in, file.flags));
  file.flags &= static_cast<uint8_t>(~FILE_DONE);  // run-time bit, never taken from the file
  file.displayName = file.name;
  return SCRIPT_OK;
}

ScriptReadResult ReadArchive(ScriptStream& in, SourceArchive& archive) {
  READ_OR_FAIL(ReadField(in, archive.name));
  uint8_t reserved8 = 0;
  int16_t reserved16 = 0;
  READ_FIXED_OR_FAIL(ReadU8(in, reserved8));
  READ_FIXED_OR_FAIL(ReadI16(in, reserved16));
  READ_FIXED_OR_FAIL(ReadU32(in, archive.size));
  return SCRIPT_OK;
}

}  // namespace

ScriptReadResult CheckRecordNames(const InstallScript& script) {
  auto plain = [](const std::string& name) {
    const EntryNameCheck check = CheckEntryName(name, 0);
    return check == ENTRY_NAME_OK || check == ENTRY_NAME_TOO_LONG;  // lengths are checked where paths are made
  };
  for (const InstallFile& file : script.files)
    if (!plain(file.name)) return SCRIPT_BAD_NAME;
  for (const SourceArchive& archive : script.archives)
    if (!plain(archive.name)) return SCRIPT_BAD_NAME;
  return SCRIPT_OK;
}

ScriptReadResult CheckFileIndexes(const InstallScript& script) {
  for (const InstallFile& file : script.files) {
    if (file.targetIndex < 0 || static_cast<size_t>(file.targetIndex) >= script.targets.size())
      return SCRIPT_BAD_INDEX;
    const TargetDir& target = script.targets[file.targetIndex];
    if (file.subdirIndex >= 0 && static_cast<size_t>(file.subdirIndex) >= target.subdirs.size())
      return SCRIPT_BAD_INDEX;
    if ((file.flags & FILE_PACKED) &&
        (file.archiveIndex < 0 || static_cast<size_t>(file.archiveIndex) >= script.archives.size()))
      return SCRIPT_BAD_INDEX;
  }
  return SCRIPT_OK;
}

bool ReadU8(ScriptStream& in, uint8_t& value) {
  uint32_t raw = 0;
  bool ok = ReadLittleEndian(in, 1, raw);
  value = static_cast<uint8_t>(raw);
  return ok;
}

bool ReadI16(ScriptStream& in, int16_t& value) {
  uint32_t raw = 0;
  bool ok = ReadLittleEndian(in, 2, raw);
  value = static_cast<int16_t>(static_cast<uint16_t>(raw));
  return ok;
}

bool ReadU32(ScriptStream& in, uint32_t& value) { return ReadLittleEndian(in, 4, value); }

bool ReadString(ScriptStream& in, std::string& text, size_t maxChars, bool& tooLong) {
  text.clear();
  tooLong = false;
  for (;;) {
    int c = getc(in.file);
    if (c == EOF) {  // the string ends where the file ended
      in.pastEnd = true;
      return false;
    }
    if (c == 0) return !tooLong;
    if (text.size() < maxChars)
      text.push_back(static_cast<char>(c));
    else
      tooLong = true;  // never stored: skip to the NUL so the reader stays in step
  }
}

ScriptReadResult ReadSetupFile(ScriptStream& in, InstallScript& script) {
  uint32_t diskCount = 0, formatVersion = 0, reserved = 0;
  READ_FIXED_OR_FAIL(ReadU32(in, diskCount));
  READ_FIXED_OR_FAIL(ReadU32(in, formatVersion));
  if (static_cast<int32_t>(formatVersion) != SCRIPT_FORMAT_VERSION) return SCRIPT_BAD_VERSION;
  script.diskCount = static_cast<int32_t>(diskCount);
  READ_FIXED_OR_FAIL(ReadU32(in, reserved));
  READ_FIXED_OR_FAIL(ReadU8(in, script.platforms));
  READ_OR_FAIL(ReadField(in, script.title, MAX_TITLE_CHARS));
  std::string ignored;
  READ_OR_FAIL(ReadField(in, ignored));

  int32_t contactCount = 0;
  READ_FIXED_OR_FAIL(ReadCount(in, contactCount));
  if (contactCount > MAX_CONTACT_LINES) return SCRIPT_OVER_LIMIT;
  for (int32_t i = 0; i < contactCount; ++i) {
    std::string line;
    READ_OR_FAIL(ReadField(in, line, MAX_CONTACT_CHARS));
    script.contactLines.push_back(std::move(line));
  }

  int32_t count = 0;
  READ_FIXED_OR_FAIL(ReadCount(in, count));
  if (count > MAX_TARGETS) return SCRIPT_OVER_LIMIT;
  for (int32_t i = 0; i < count; ++i) {
    TargetDir target;
    READ_OR_FAIL(ReadTarget(in, target));
    script.targets.push_back(std::move(target));
  }

  READ_FIXED_OR_FAIL(ReadCount(in, count));
  // Records are appended one by one as they are read, so a huge count in a short file ends
  // at the end of the file instead of reserving memory for it.
  for (int32_t i = 0; i < count; ++i) {
    InstallFile file;
    READ_OR_FAIL(ReadFileRecord(in, file));
    script.files.push_back(std::move(file));
  }

  READ_FIXED_OR_FAIL(ReadCount(in, count));
  for (int32_t i = 0; i < count; ++i) {
    SourceArchive archive;
    READ_OR_FAIL(ReadArchive(in, archive));
    script.archives.push_back(std::move(archive));
  }
  return SCRIPT_OK;
}

ScriptReadResult ReadProgramGroups(ScriptStream& in, InstallScript& script) {
  int32_t count = 0;
  READ_FIXED_OR_FAIL(ReadCount(in, count));
  for (int32_t i = 0; i < count; ++i) {
    ProgramGroup group;
    READ_OR_FAIL(ReadField(in, group.name, MAX_GROUP_NAME_CHARS));
    int32_t itemCount = 0;
    READ_FIXED_OR_FAIL(ReadCount(in, itemCount));
    for (int32_t j = 0; j < itemCount; ++j) {
      ProgramItem item;
      READ_OR_FAIL(ReadField(in, item.title));
      READ_OR_FAIL(ReadField(in, item.command));
      READ_OR_FAIL(ReadField(in, item.arguments));
      READ_OR_FAIL(ReadField(in, item.workDir));
      group.items.push_back(std::move(item));
    }
    script.groups.push_back(std::move(group));
  }
  return SCRIPT_OK;
}

ScriptReadResult ReadFileAssociations(ScriptStream& in, InstallScript& script) {
  int32_t count = 0;
  READ_FIXED_OR_FAIL(ReadCount(in, count));
  for (int32_t i = 0; i < count; ++i) {
    FileAssociation association;
    READ_OR_FAIL(ReadField(in, association.extension));
    READ_OR_FAIL(ReadField(in, association.typeName));
    READ_OR_FAIL(ReadField(in, association.program));
    READ_OR_FAIL(ReadField(in, association.arguments));
    script.associations.push_back(std::move(association));
  }
  return SCRIPT_OK;
}

ScriptReadResult ReadEnvSettings(ScriptStream& in, InstallScript& script) {
  int32_t count = 0;
  READ_FIXED_OR_FAIL(ReadCount(in, count));
  for (int32_t i = 0; i < count; ++i) {
    EnvSetting setting;
    READ_OR_FAIL(ReadField(in, setting.name));
    READ_OR_FAIL(ReadField(in, setting.value));
    script.envSettings.push_back(std::move(setting));
  }
  return SCRIPT_OK;
}

ScriptReadResult ReadIniSettings(ScriptStream& in, InstallScript& script) {
  int32_t count = 0;
  READ_FIXED_OR_FAIL(ReadCount(in, count));
  for (int32_t i = 0; i < count; ++i) {
    IniSetting setting;
    READ_OR_FAIL(ReadField(in, setting.file));
    READ_OR_FAIL(ReadField(in, setting.section));
    READ_OR_FAIL(ReadField(in, setting.key));
    READ_OR_FAIL(ReadField(in, setting.value));
    READ_FIXED_OR_FAIL(ReadU8(in, setting.platforms));
    script.iniSettings.push_back(std::move(setting));
  }
  return SCRIPT_OK;
}

ScriptReadResult ReadInstallScript(FILE* file, PlatformMask currentPlatform, InstallScript& script) {
  try {
    ScriptStream in;
    in.file = file;
    InstallScript read;
    READ_OR_FAIL(ReadSetupFile(in, read));
    // The platform comes first: an install set for another system says so even when its
    // file records are broken too.
    if (!AppliesTo(read.platforms, currentPlatform)) return SCRIPT_WRONG_PLATFORM;
    READ_OR_FAIL(CheckFileIndexes(read));
    READ_OR_FAIL(CheckRecordNames(read));
    READ_OR_FAIL(ReadProgramGroups(in, read));
    READ_OR_FAIL(ReadFileAssociations(in, read));
    READ_OR_FAIL(ReadEnvSettings(in, read));
    READ_OR_FAIL(ReadIniSettings(in, read));
    // Bytes after section 8 are not read.
    script = std::move(read);
    return SCRIPT_OK;
  } catch (const std::bad_alloc&) {
    return SCRIPT_NO_MEMORY;
  }
}

const char* DescribeScriptResult(ScriptReadResult result) {
  switch (result) {
    case SCRIPT_OK: return "ok";
    case SCRIPT_BAD_VERSION: return "incompatible format version";
    case SCRIPT_WRONG_PLATFORM: return "install set does not support this system";
    case SCRIPT_TRUNCATED: return "ReadSetupFile() failed: end of file inside a record";
    case SCRIPT_OVER_LIMIT: return "ReadSetupFile() failed: string or list over its limit";
    case SCRIPT_BAD_INDEX: return "ReadSetupFile() failed: file index outside its list";
    case SCRIPT_BAD_NAME: return "ReadSetupFile() failed: a file or archive name that is not a plain file name";
    case SCRIPT_NO_MEMORY: return "ReadSetupFile() failed: out of memory";
  }
  return "unknown";
}
