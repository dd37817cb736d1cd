// A whole install set from its parts: the payload items of a single-file setup in the usual
// order ("DISK1.ID", the archives, "SETUP.DAT", "KOMPAK32.DLL"), or the same files written
// side by side into a directory, as on a first disk.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "lzh_dostime.h"

#include "payload_writer.h"
#include "script_writer.h"

struct KitFile {
  std::string name;
  KitBytes data;
  // The member's local time stamp (even seconds); empty: the time it is packed at.
  std::optional<CalendarTime> stamp = std::nullopt;
};

struct InstallSet {
  InstallScript script;
  ScriptWriteOptions scriptOptions;
  std::vector<KitFile> archives;  // named as script.archives names them
  KitBytes library;               // "KOMPAK32.DLL"; left out when empty
};

// The payload items of the set's first disk.
std::vector<PayloadItem> InstallSetItems(const InstallSet& set);

// Writes the set's first-disk files into `directory`; false when a file cannot be written.
bool WriteInstallSetDirectory(const std::string& directory, const InstallSet& set);
