// Environment variables: the current user's "Environment" key on Windows NT, c:\autoexec.bat
// on Windows 95/98 and Win32s.
#include "setup/driver/setup_state.h"
#include "setup/driver/trace.h"
#include "setup/install/file_helpers.h"
#include "setup/script/path_macros.h"
#include "setup/system/system_steps.h"
#include "setup/system/text_rewrite.h"

namespace {

const char BATCH_FILE[] = "c:\\autoexec.bat";
const char FIRST_WORK_FILE[] = "c:\\zelauto1.new";
const char SECOND_WORK_FILE[] = "c:\\zelauto2.new";

enum ValueRead { VALUE_MISSING, VALUE_READ, VALUE_UNREADABLE };

// A string value of `key` whole, however long, with its type (REG_SZ or REG_EXPAND_SZ). A
// value of another type, or one that cannot be read, is VALUE_UNREADABLE: never "missing".
ValueRead ReadStringValue(HKEY key, const char* name, std::string& value, DWORD& type) {
  for (;;) {
    DWORD size = 0;
    LONG result = RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
    if (result == ERROR_FILE_NOT_FOUND) return VALUE_MISSING;
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return VALUE_UNREADABLE;
    std::string data(size + 1, '\0');
    DWORD got = size;
    result = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &got);
    if (result == ERROR_MORE_DATA) continue;  // it grew between the two calls
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return VALUE_UNREADABLE;
    data.resize(got);
    value = data.substr(0, data.find('\0'));
    return VALUE_READ;
  }
}

bool SetStringValue(HKEY key, const std::string& name, const std::string& value, DWORD type) {
  return RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

// PATH on Windows NT: the directory is appended once; a PATH of the type REG_EXPAND_SZ stays
// one, so that the variables it names are still expanded.
bool AddToUserPath(HKEY key, const std::string& name, const std::string& directory) {
  std::string current;
  DWORD type = REG_SZ;
  switch (ReadStringValue(key, name.c_str(), current, type)) {
    case VALUE_MISSING:
      SetStringValue(key, name, directory, REG_SZ);
      return true;
    case VALUE_UNREADABLE:
      Trace("the user's %s cannot be read; it is left as it is", name.c_str());
      return false;
    case VALUE_READ:
      break;
  }
  if (PathListHolds(current, directory)) return true;
  SetStringValue(key, name, current + ";" + directory, type);
  return true;
}

void RemoveWorkFiles() {
  DeleteFileA(FIRST_WORK_FILE);
  DeleteFileA(SECOND_WORK_FILE);
}

}  // namespace

bool RewriteAutoexec(HWND, std::vector<BatchVariable>& variables) {
  std::string batch;
  const bool batchExists = FileExists(BATCH_FILE);
  if (batchExists && !ReadTextFile(BATCH_FILE, batch)) return false;
  // A system without the batch file gets one that holds just the new lines.

  // Each work file must read back whole before the next step uses it: the batch file is never
  // replaced by a file that lacks lines it held. Creating a work file truncates whatever an
  // earlier failure left under its name.
  const std::string updated = UpdateBatchLines(batch, variables);
  std::string first;
  if (!WriteTextFile(FIRST_WORK_FILE, updated) || !ReadTextFile(FIRST_WORK_FILE, first) || first != updated) {
    RemoveWorkFiles();
    return false;
  }
  const std::string whole = NewVariableLines(variables) + first;
  std::string second;
  DeleteFileA(FIRST_WORK_FILE);
  if (!WriteTextFile(SECOND_WORK_FILE, whole) || !ReadTextFile(SECOND_WORK_FILE, second) || second != whole) {
    RemoveWorkFiles();
    return false;
  }
  if (!batchExists) {
    if (MoveFileA(SECOND_WORK_FILE, BATCH_FILE)) return true;
    RemoveWorkFiles();
    return false;
  }
  return ReplaceWithBackup(BATCH_FILE, SECOND_WORK_FILE, "000");
}

bool ApplyEnvironment(HWND owner) {
  if (Script.envSettings.empty()) return true;
  RestartNeeded = 1;
  const bool nt = currentPlatform == PLATFORM_WINNT;
  HKEY key = nullptr;
  if (nt && RegOpenKeyA(HKEY_CURRENT_USER, "Environment", &key) != ERROR_SUCCESS) return false;
  bool result = true;
  std::vector<BatchVariable> variables;
  for (const EnvSetting& setting : Script.envSettings) {
    std::string value;
    if (!ExpandTargetMacros(Script, setting.value, value)) {
      result = false;
      continue;
    }
    if (!nt) {
      // PATH or not, the batch-file rewrite merges the value into what the file holds.
      variables.push_back({setting.name, value, false});
    } else if (!SameName(setting.name, "PATH")) {
      SetStringValue(key, setting.name, value, REG_SZ);  // a failure here is not reported
    } else if (!AddToUserPath(key, setting.name, value)) {
      result = false;
    }
  }
  if (nt) {
    RegCloseKey(key);
    return result;
  }
  return result && RewriteAutoexec(owner, variables);
}
