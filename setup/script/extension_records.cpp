// Packing the TargetDir and InstallFile lists into the records an extension DLL reads and
// changes, and reading them back into the InstallScript.
#include "setup/script/extension_records.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace {

// A NUL-terminated copy of `text` in a buffer of at least `minimumSize` bytes.
char* KeepString(ExtensionRecords& records, const std::string& text, size_t minimumSize = 0) {
  size_t size = text.size() + 1 > minimumSize ? text.size() + 1 : minimumSize;
  std::unique_ptr<char[]> buffer(new char[size]());
  memcpy(buffer.get(), text.c_str(), text.size() + 1);
  records.strings.push_back(std::move(buffer));
  return records.strings.back().get();
}

// At most `limit` characters of the string at `text`; empty for null.
std::string ReadBack(const char* text, size_t limit) {
  if (!text) return std::string();
  size_t length = 0;
  while (length < limit && text[length] != '\0') ++length;
  return std::string(text, length);
}

}  // namespace

void PackExtensionRecords(const InstallScript& script, ExtensionRecords& records) {
  records = ExtensionRecords();
  records.targets.resize(script.targets.size());
  for (size_t i = 0; i < script.targets.size(); ++i) {
    const TargetDir& from = script.targets[i];
    PackedTargetDir& to = records.targets[i];
    to = PackedTargetDir();
    to.managed = from.managed;
    to.name = KeepString(records, from.name);
    to.descriptor = KeepString(records, from.descriptor);
    to.path = KeepString(records, from.path, PATH_BUFFER_SIZE);
    to.subdirCount = static_cast<int16_t>(from.subdirs.size());
    std::unique_ptr<char*[]> subdirs(new char*[from.subdirs.size() + 1]());
    for (size_t j = 0; j < from.subdirs.size(); ++j) subdirs[j] = KeepString(records, from.subdirs[j]);
    to.subdirs = subdirs.get();
    records.subdirArrays.push_back(std::move(subdirs));
    records.subdirCounts.push_back(from.subdirs.size());
  }
  // Pointers into the array are taken once it has its final size.
  for (size_t i = 0; i < script.targets.size(); ++i) {
    int alias = script.targets[i].aliasOf;
    records.targets[i].aliasOf =
        alias >= 0 && static_cast<size_t>(alias) < records.targets.size() ? &records.targets[alias] : nullptr;
  }
  records.files.resize(script.files.size());
  for (size_t i = 0; i < script.files.size(); ++i) {
    const InstallFile& from = script.files[i];
    PackedInstallFile& to = records.files[i];
    to.name = KeepString(records, from.name);
    to.displayName = KeepString(records, from.displayName, PATH_BUFFER_SIZE);
    to.size = from.size;
    to.platforms = from.platforms;
    to.targetIndex = from.targetIndex;
    to.subdirIndex = from.subdirIndex;
    to.archiveIndex = from.archiveIndex;
    to.flags = static_cast<uint8_t>(from.flags | (to.flags & FILE_DONE));  // a handled file stays handled
  }
}

void UnpackExtensionRecords(const ExtensionRecords& records, InstallScript& script) {
  // aliasOf counts only when it points at the start of a record of the array.
  const uintptr_t first = reinterpret_cast<uintptr_t>(records.targets.data());
  const uintptr_t bytes = records.targets.size() * sizeof(PackedTargetDir);
  for (size_t i = 0; i < script.targets.size() && i < records.targets.size(); ++i) {
    const PackedTargetDir& from = records.targets[i];
    TargetDir& to = script.targets[i];
    uintptr_t alias = reinterpret_cast<uintptr_t>(from.aliasOf);
    to.aliasOf = alias >= first && alias - first < bytes && (alias - first) % sizeof(PackedTargetDir) == 0
                     ? static_cast<int>((alias - first) / sizeof(PackedTargetDir))
                     : -1;
    to.managed = from.managed;
    to.name = ReadBack(from.name, MAX_STRING_CHARS);
    to.descriptor = ReadBack(from.descriptor, MAX_STRING_CHARS);
    to.path = ReadBack(from.path, MAX_PATH_CHARS);
    // A count raised over setup's own array reads no further than that array.
    size_t count = from.subdirCount > 0 ? static_cast<size_t>(from.subdirCount) : 0;
    if (i < records.subdirArrays.size() && from.subdirs == records.subdirArrays[i].get() &&
        count > records.subdirCounts[i])
      count = records.subdirCounts[i];
    std::vector<std::string> subdirs;
    for (size_t j = 0; from.subdirs && j < count; ++j) subdirs.push_back(ReadBack(from.subdirs[j], MAX_STRING_CHARS));
    to.subdirs = std::move(subdirs);
  }
  for (size_t i = 0; i < script.files.size() && i < records.files.size(); ++i) {
    const PackedInstallFile& from = records.files[i];
    InstallFile& to = script.files[i];
    to.name = ReadBack(from.name, MAX_STRING_CHARS);
    to.displayName = ReadBack(from.displayName, MAX_PATH_CHARS);
    to.size = from.size;
    to.platforms = from.platforms;
    to.targetIndex = from.targetIndex;
    to.subdirIndex = from.subdirIndex;
    to.archiveIndex = from.archiveIndex;
    to.flags = static_cast<uint8_t>(from.flags | (to.flags & FILE_DONE));  // a handled file stays handled
  }
}
