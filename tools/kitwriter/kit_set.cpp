// Assembles the files of an install set for the payload or for a disk directory.
#include "kit_set.h"

#include "disk_label.h"

std::vector<PayloadItem> InstallSetItems(const InstallSet& set) {
  std::vector<PayloadItem> items;
  items.push_back({DiskLabelName(1), DiskLabelContent(set.script.title, 1), {}, false});
  for (const KitFile& archive : set.archives) items.push_back({archive.name, archive.data, {}, false});
  items.push_back({"SETUP.DAT", EncodeSetupFile(set.script, set.scriptOptions), {}, false});
  if (!set.library.empty()) items.push_back({"KOMPAK32.DLL", set.library, {}, false});
  return items;
}

bool WriteInstallSetDirectory(const std::string& directory, const InstallSet& set) {
  std::string prefix = directory;
  if (!prefix.empty() && prefix.back() != '/' && prefix.back() != '\\') prefix += '/';
  for (const PayloadItem& item : InstallSetItems(set))
    if (!WriteWholeFile(prefix + item.name, item.data)) return false;
  return true;
}
