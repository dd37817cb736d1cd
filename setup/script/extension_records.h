// The TargetDir and InstallFile lists as a setup extension DLL sees them: contiguous arrays of
// packed records (byte alignment, 32-bit pointers on the i686 build, NUL-terminated strings),
// built from the InstallScript before the call and read back after it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "setup/script/install_script.h"

#pragma pack(push, 1)
struct PackedTargetDir {
  PackedTargetDir* aliasOf;  // the target whose path this one shares, or null
  uint8_t managed;
  char* name;
  char* descriptor;
  char* path;                // a PATH_BUFFER_SIZE buffer: an extension may write a path into it
  int16_t subdirCount;
  int16_t unused;            // left zero
  char** subdirs;            // subdirCount string pointers
};

struct PackedInstallFile {
  char* name;
  char* displayName;
  uint32_t size;
  uint8_t platforms;
  int16_t targetIndex;
  int16_t subdirIndex;
  int16_t archiveIndex;
  uint8_t flags;
};
#pragma pack(pop)

// The record layout is the extension interface of the i686 setup.exe. An x86_64 build (the
// test twin) packs the same fields around 8-byte pointers, as an x86_64 extension built from
// this header expects.
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(PackedTargetDir) == 25, "an extension sees 25-byte TargetDir records");
static_assert(sizeof(PackedInstallFile) == 20, "an extension sees 20-byte InstallFile records");
static_assert(offsetof(PackedTargetDir, managed) == 4 && offsetof(PackedTargetDir, name) == 5 &&
                  offsetof(PackedTargetDir, descriptor) == 9 && offsetof(PackedTargetDir, path) == 13 &&
                  offsetof(PackedTargetDir, subdirCount) == 17 && offsetof(PackedTargetDir, subdirs) == 21,
              "TargetDir fields where an extension reads them");
static_assert(offsetof(PackedInstallFile, displayName) == 4 && offsetof(PackedInstallFile, size) == 8 &&
                  offsetof(PackedInstallFile, platforms) == 12 && offsetof(PackedInstallFile, targetIndex) == 13 &&
                  offsetof(PackedInstallFile, subdirIndex) == 15 && offsetof(PackedInstallFile, archiveIndex) == 17 &&
                  offsetof(PackedInstallFile, flags) == 19,
              "InstallFile fields where an extension reads them");
#elif defined(_WIN64)
static_assert(sizeof(PackedTargetDir) == 45 && sizeof(PackedInstallFile) == 28,
              "the twin's records: the same fields with 8-byte pointers");
#endif

// The arrays handed to an extension and the storage their pointers point into.
struct ExtensionRecords {
  std::vector<PackedTargetDir> targets;
  std::vector<PackedInstallFile> files;
  std::vector<std::unique_ptr<char[]>> strings;
  std::vector<std::unique_ptr<char*[]>> subdirArrays;  // one per target
  std::vector<size_t> subdirCounts;                      // the length of each of those arrays
};

// Builds the packed arrays from the script's targets and files.
void PackExtensionRecords(const InstallScript& script, ExtensionRecords& records);

// Copies the records back into the script after the extension has run: every field an
// extension may change, strings followed through their (possibly replaced) pointers, a null
// string read as empty, strings cut at MAX_PATH_CHARS (path) or MAX_STRING_CHARS (others), and
// an aliasOf that points outside the target array read as none. A file handled before stays
// FILE_DONE; a subdirCount raised over the array setup gave is read no further than that
// array. The numbers of targets and files never change. Indexes are not checked here: see
// CheckFileIndexes.
void UnpackExtensionRecords(const ExtensionRecords& records, InstallScript& script);
