// Writes "SETUP.DAT" (format 5) from the install-script records: the 13 fixed header bytes,
// the header strings and contact lines, then sections 2 to 8, each a u32 count and its
// records. Options write deliberately broken scripts for tests of the reader.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "setup/script/install_script.h"
#include "kit_bytes.h"

// Section numbers as they appear in the file (1 is the header).
enum ScriptSection {
  SECTION_HEADER = 1,
  SECTION_TARGETS,
  SECTION_FILES,
  SECTION_ARCHIVES,
  SECTION_GROUPS,
  SECTION_ASSOCIATIONS,
  SECTION_ENVIRONMENT,
  SECTION_INI,
  SECTION_COUNT = SECTION_INI
};

struct ScriptWriteOptions {
  std::uint32_t formatVersion = SCRIPT_FORMAT_VERSION;
  std::uint32_t reserved = 0;       // header u32 that setup reads and ignores
  std::string ignoredString;        // header string that setup reads and ignores
  std::uint8_t archiveReservedU8 = 0;   // per archive, read and not used
  std::int16_t archiveReservedI16 = 0;  // per archive, read and not used

  // Counts written instead of the true ones. contactCount is the header's count of contact
  // lines; sectionCounts[SECTION_TARGETS..SECTION_INI] the count that opens a section.
  std::optional<std::uint32_t> contactCount;
  std::map<int, std::uint32_t> sectionCounts;
  std::map<std::size_t, std::int16_t> subdirCounts;  // by target index, instead of subdirs.size()
  std::map<std::size_t, std::uint32_t> itemCounts;   // by group index, instead of items.size()

  std::optional<std::size_t> truncateAt;  // keep only the first n bytes
  KitBytes trailing;                      // bytes after section 8 (setup never reads them)
};

// Where each part of the encoded file begins: sectionStart[s] is the offset of section s
// (for s >= 2 the offset of its count), sectionStart[SECTION_COUNT + 1] the end of section 8.
struct ScriptLayout {
  std::array<std::size_t, SECTION_COUNT + 2> sectionStart{};
};

// Encodes `script`. Records are written exactly as held: strings of any length, flags with
// every bit (FILE_DONE included), indexes unchecked. The in-memory run-time fields (aliasOf,
// managed, label, path, displayName) are not part of the file.
KitBytes EncodeSetupFile(const InstallScript& script, const ScriptWriteOptions& options = {},
                         ScriptLayout* layout = nullptr);

// EncodeSetupFile into directory/SETUP.DAT ('/' joins the parts).
bool WriteSetupFile(const std::string& directory, const InstallScript& script,
                    const ScriptWriteOptions& options = {});
