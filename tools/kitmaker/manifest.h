// The kitmaker manifest: a TOML file that describes a product's install set (its title and
// contact lines, target directories, files and the archives they go to, program groups,
// associations, environment and INI settings). Reading it checks every limit that setup's
// reader enforces, so that a manifest that reads without errors gives a set setup accepts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kit_set.h"

// A file of the product on the build machine and where it goes.
struct ManifestFile {
  std::string source;  // path on the build machine (relative paths: from the manifest's folder)
  size_t record;       // index of its InstallFile record in the script
};

// The set to build: the script (with every size still 0) and the files of each archive in
// order.
struct Manifest {
  std::string path;
  InstallScript script;
  std::vector<std::vector<ManifestFile>> archiveFiles;  // by index of script.archives
  bool disks = false;       // [set] layout = "disks": a disk set rather than a single file
  uint32_t diskSize = 0;    // [set] disk_size; 0: not given
};

// One error: "FILE:LINE: KEY: what is wrong".
struct ManifestError {
  std::string text;
};

// Reads and checks the manifest at `path`. Every error found is added to `errors` (reading
// goes on where it can, so that one run reports them all); true when there was none.
bool ReadManifest(const std::string& path, Manifest& manifest, std::vector<ManifestError>& errors);
