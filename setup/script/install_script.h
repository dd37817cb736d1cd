// The in-memory install script: every record kind of "SETUP.DAT" (format 5), its flags and the
// limits its strings and lists obey. Portable C++; read once by ReadSetupFile, then shared by
// every step of the installation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Bit set of the systems a record or the whole install set supports.
typedef uint8_t PlatformMask;
constexpr PlatformMask PLATFORM_WIN32S = 0x01;
constexpr PlatformMask PLATFORM_WIN95 = 0x02;  // Windows 95 and 98
constexpr PlatformMask PLATFORM_WINNT = 0x04;

// InstallFile::flags
constexpr uint8_t FILE_DONE = 0x01;       // run-time only: handled; cleared as the record is read
constexpr uint8_t FILE_EXPAND = 0x02;     // expand path macros in the installed text file
constexpr uint8_t FILE_PACKED = 0x04;     // shipped in an archive; without it the file is done from the start
constexpr uint8_t FILE_EXTENSION = 0x08;  // setup extension DLL ("Start" export)
constexpr uint8_t FILE_SELFREG = 0x80;    // call "DllRegisterServer" after installing
// 0x10, 0x20 and 0x40 are not used by setup and are kept as read.

// The only format version setup accepts.
constexpr int32_t SCRIPT_FORMAT_VERSION = 5;

// Limits. A path buffer holds 260 bytes (259 characters and the NUL). Heap strings are read
// through a 256-byte buffer. The other limits are the fixed slots of the title, the contact
// lines and the program-group names. A script with a longer string is refused as a whole.
constexpr size_t PATH_BUFFER_SIZE = 260;
constexpr size_t MAX_PATH_CHARS = PATH_BUFFER_SIZE - 1;
constexpr size_t STRING_BUFFER_SIZE = 256;
constexpr size_t MAX_STRING_CHARS = STRING_BUFFER_SIZE - 1;  // 255
constexpr size_t TITLE_SLOT_SIZE = 104;
constexpr size_t MAX_TITLE_CHARS = TITLE_SLOT_SIZE - 1;  // 103
constexpr size_t CONTACT_SLOT_SIZE = 81;
constexpr size_t MAX_CONTACT_CHARS = CONTACT_SLOT_SIZE - 1;  // 80
constexpr size_t GROUP_NAME_SLOT_SIZE = 104;
constexpr size_t MAX_GROUP_NAME_CHARS = GROUP_NAME_SLOT_SIZE - 1;  // 103
constexpr int MAX_CONTACT_LINES = 10;
constexpr int MAX_TARGETS = 6;  // the PATHS dialog has six rows

// The smallest valid script: 13 fixed header bytes, two empty strings, a zero contact count
// and seven zero section counts.
constexpr size_t MIN_SCRIPT_SIZE = 47;

// Section 2: a target directory. Target 0 always stands for the Windows system directory.
struct TargetDir {
  // From the file.
  std::string name;        // macro name, used as %name% in script paths (case-insensitive)
  std::string descriptor;  // "label[,default path[,managed]]"; cut at its first comma once parsed
  std::vector<std::string> subdirs;  // subdirCount names; a count of 0 or less gives none

  // Run-time fields (not in the file).
  int aliasOf = -1;     // index of the target whose path this one shares, or -1
  uint8_t managed = 0;  // 1: validated/created and counted in the disk-space check
  std::string label;    // the descriptor's first piece
  std::string path;     // resolved directory, set when the PATHS dialog is confirmed
};

// Section 3: one file to install.
struct InstallFile {
  std::string name;          // member name in its archive and installed file name
  int16_t archiveIndex = 0;  // index into InstallScript::archives
  uint32_t size = 0;         // uncompressed size in bytes
  int16_t targetIndex = 0;   // index into InstallScript::targets
  int16_t subdirIndex = -1;  // index into that target's subdirs; negative: directly in its path
  PlatformMask platforms = 0;
  uint8_t flags = 0;         // FILE_* bits; FILE_DONE never comes from the file

  // Run-time field: the name shown in messages and the log (same text as name when read).
  std::string displayName;
};

// Section 4: an archive on a disk or in the payload.
struct SourceArchive {
  std::string name;   // file name on its disk / payload entry name
  uint32_t size = 0;  // archive size in bytes; read and not used
};

// Section 5: a Program Manager group and its items.
struct ProgramItem {
  std::string title;
  std::string command;    // may hold path macros
  std::string arguments;  // may hold path macros
  std::string workDir;    // may hold path macros
};

struct ProgramGroup {
  std::string name;  // at most MAX_GROUP_NAME_CHARS
  std::vector<ProgramItem> items;
};

// Section 6: a file association.
struct FileAssociation {
  std::string extension;  // without the leading dot
  std::string typeName;
  std::string program;    // may hold path macros
  std::string arguments;  // may hold path macros
};

// Section 7: an environment variable.
struct EnvSetting {
  std::string name;
  std::string value;
};

// Section 8: an INI setting.
struct IniSetting {
  std::string file;  // INI file name relative to the Windows directory
  std::string section;
  std::string key;
  std::string value;  // may hold path macros
  PlatformMask platforms = 0;
};

// The whole script. Records keep their file order; the indexes of an InstallFile refer to
// positions in targets, the target's subdirs and archives. After a successful read every such
// index lies inside its list (subdirIndex may be negative), there are at most MAX_TARGETS
// targets and at most MAX_CONTACT_LINES contact lines, and no string exceeds its limit.
struct InstallScript {
  int32_t diskCount = 0;  // disks 1..diskCount; the banner is drawn only while non-zero
  PlatformMask platforms = 0;
  std::string title;                      // at most MAX_TITLE_CHARS
  std::vector<std::string> contactLines;  // at most MAX_CONTACT_LINES, each at most MAX_CONTACT_CHARS

  std::vector<TargetDir> targets;
  std::vector<InstallFile> files;
  std::vector<SourceArchive> archives;
  std::vector<ProgramGroup> groups;
  std::vector<FileAssociation> associations;
  std::vector<EnvSetting> envSettings;
  std::vector<IniSetting> iniSettings;
};

// True when a record with mask `platforms` applies to the running system `current`.
inline bool AppliesTo(PlatformMask platforms, PlatformMask current) {
  return (platforms & current) != 0;
}
