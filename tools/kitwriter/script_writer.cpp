// Encodes the eight sections of SETUP.DAT, with optional damage for reader tests.
#include "script_writer.h"

namespace {

std::uint32_t CountFor(const ScriptWriteOptions& options, int section, std::size_t actual) {
  const auto it = options.sectionCounts.find(section);
  return it != options.sectionCounts.end() ? it->second : static_cast<std::uint32_t>(actual);
}

void PutHeader(KitBytes& out, const InstallScript& script, const ScriptWriteOptions& options) {
  PutU32(out, static_cast<std::uint32_t>(script.diskCount));
  PutU32(out, options.formatVersion);
  PutU32(out, options.reserved);
  PutU8(out, script.platforms);
  PutString(out, script.title);
  PutString(out, options.ignoredString);
  PutU32(out, options.contactCount.value_or(static_cast<std::uint32_t>(script.contactLines.size())));
  for (const std::string& line : script.contactLines) PutString(out, line);
}

void PutTargets(KitBytes& out, const InstallScript& script, const ScriptWriteOptions& options) {
  PutU32(out, CountFor(options, SECTION_TARGETS, script.targets.size()));
  for (std::size_t i = 0; i < script.targets.size(); ++i) {
    const TargetDir& target = script.targets[i];
    PutString(out, target.name);
    PutString(out, target.descriptor);
    const auto count = options.subdirCounts.find(i);
    PutI16(out, count != options.subdirCounts.end() ? count->second
                                                      : static_cast<std::int16_t>(target.subdirs.size()));
    for (const std::string& subdir : target.subdirs) PutString(out, subdir);
  }
}

void PutFiles(KitBytes& out, const InstallScript& script, const ScriptWriteOptions& options) {
  PutU32(out, CountFor(options, SECTION_FILES, script.files.size()));
  for (const InstallFile& file : script.files) {
    PutString(out, file.name);
    PutI16(out, file.archiveIndex);
    PutU32(out, file.size);
    PutI16(out, file.targetIndex);
    PutI16(out, file.subdirIndex);
    PutU8(out, file.platforms);
    PutU8(out, file.flags);
  }
}

void PutArchives(KitBytes& out, const InstallScript& script, const ScriptWriteOptions& options) {
  PutU32(out, CountFor(options, SECTION_ARCHIVES, script.archives.size()));
  for (const SourceArchive& archive : script.archives) {
    PutString(out, archive.name);
    PutU8(out, options.archiveReservedU8);
    PutI16(out, options.archiveReservedI16);
    PutU32(out, archive.size);
  }
}

void PutGroups(KitBytes& out, const InstallScript& script, const ScriptWriteOptions& options) {
  PutU32(out, CountFor(options, SECTION_GROUPS, script.groups.size()));
  for (std::size_t i = 0; i < script.groups.size(); ++i) {
    const ProgramGroup& group = script.groups[i];
    PutString(out, group.name);
    const auto count = options.itemCounts.find(i);
    PutU32(out, count != options.itemCounts.end() ? count->second : static_cast<std::uint32_t>(group.items.size()));
    for (const ProgramItem& item : group.items) {
      PutString(out, item.title);
      PutString(out, item.command);
      PutString(out, item.arguments);
      PutString(out, item.workDir);
    }
  }
}

void PutAssociations(KitBytes& out, const InstallScript& script, const ScriptWriteOptions& options) {
  PutU32(out, CountFor(options, SECTION_ASSOCIATIONS, script.associations.size()));
  for (const FileAssociation& association : script.associations) {
    PutString(out, association.extension);
    PutString(out, association.typeName);
    PutString(out, association.program);
    PutString(out, association.arguments);
  }
}

void PutEnvironment(KitBytes& out, const InstallScript& script, const ScriptWriteOptions& options) {
  PutU32(out, CountFor(options, SECTION_ENVIRONMENT, script.envSettings.size()));
  for (const EnvSetting& setting : script.envSettings) {
    PutString(out, setting.name);
    PutString(out, setting.value);
  }
}

void PutIni(KitBytes& out, const InstallScript& script, const ScriptWriteOptions& options) {
  PutU32(out, CountFor(options, SECTION_INI, script.iniSettings.size()));
  for (const IniSetting& setting : script.iniSettings) {
    PutString(out, setting.file);
    PutString(out, setting.section);
    PutString(out, setting.key);
    PutString(out, setting.value);
    PutU8(out, setting.platforms);
  }
}

}  // namespace

KitBytes EncodeSetupFile(const InstallScript& script, const ScriptWriteOptions& options, ScriptLayout* layout) {
  using Writer = void (*)(KitBytes&, const InstallScript&, const ScriptWriteOptions&);
  static const Writer writers[SECTION_COUNT] = {PutHeader, PutTargets,      PutFiles,       PutArchives,
                                                PutGroups, PutAssociations, PutEnvironment, PutIni};
  KitBytes out;
  ScriptLayout local;
  for (int section = SECTION_HEADER; section <= SECTION_COUNT; ++section) {
    local.sectionStart[section] = out.size();
    writers[section - 1](out, script, options);
  }
  local.sectionStart[SECTION_COUNT + 1] = out.size();
  PutBytes(out, options.trailing);
  if (options.truncateAt && *options.truncateAt < out.size()) out.resize(*options.truncateAt);
  if (layout) *layout = local;
  return out;
}

bool WriteSetupFile(const std::string& directory, const InstallScript& script, const ScriptWriteOptions& options) {
  std::string path = directory;
  if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
  return WriteWholeFile(path + "SETUP.DAT", EncodeSetupFile(script, options));
}
