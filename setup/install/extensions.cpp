// SelfRegister, RunExtension and the callback an extension calls to skip files.
#include "setup/install/extensions.h"

#include <cstring>

#include "setup/driver/setup_state.h"
#include "setup/driver/trace.h"
#include "setup/install/copy_dialogs.h"
#include "setup/install/setup_log.h"
#include "setup/script/script_reader.h"

namespace {

// The records of the extension that is running, for its callback.
ExtensionRecords* RunningRecords = nullptr;

void __cdecl ExtensionNotify(int32_t code, PackedInstallFile* record) {
  if (code != EXT_SKIP_FILE || !RunningRecords || !record) return;
  std::vector<PackedInstallFile>& files = RunningRecords->files;
  if (record < files.data() || record >= files.data() + files.size()) return;  // not one of ours
  if (!(record->flags & FILE_PACKED) || (record->flags & FILE_DONE)) return;
  InstallFile& file = Script.files[static_cast<size_t>(record - files.data())];
  const char* shown = record->displayName ? record->displayName : "";
  AppendLogLine(std::string("Skipping file ") + std::string(shown, strnlen(shown, MAX_PATH_CHARS)));
  MarkFileHandled(file);
  record->flags |= FILE_DONE;  // what the extension sees, and what is read back
}

}  // namespace

void SelfRegister(const std::string& path) {
  HMODULE module = LoadLibraryA(path.c_str());
  if (!module) return;
  typedef HRESULT(__stdcall * RegisterFn)();
  if (auto reg = reinterpret_cast<RegisterFn>(reinterpret_cast<void (*)()>(GetProcAddress(module, "DllRegisterServer"))))
    reg();
  FreeLibrary(module);
}

int RunExtension(HWND window, const std::string& path) {
  HMODULE module = LoadLibraryA(path.c_str());
  if (!module) return 0;
  auto start = reinterpret_cast<ExtensionStartFn>(reinterpret_cast<void (*)()>(GetProcAddress(module, "Start")));
  int result = 0;
  if (!start) {
    GetLastError();  // read, not used
  } else {
    ExtensionRecords records;
    PackExtensionRecords(Script, records);
    RunningRecords = &records;
    result = start(window, static_cast<int32_t>(records.targets.size()), records.targets.data(),
                   static_cast<int32_t>(records.files.size()), records.files.data(),
                   reinterpret_cast<void*>(&ExtensionNotify));
    RunningRecords = nullptr;
    // Read back while the extension is loaded: strings it pointed the records at may lie in
    // its own image.
    UnpackExtensionRecords(records, Script);
    if (CheckFileIndexes(Script) != SCRIPT_OK || CheckRecordNames(Script) != SCRIPT_OK) {
      Trace("extension %s left a file index outside its list or a name that is no plain file name; "
            "the copy stops", path.c_str());
      result = 0;
    }
  }
  FreeLibrary(module);
  return result;
}
