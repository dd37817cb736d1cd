// SelfRegister, RunExtension and the callback an extension calls to skip files.
#include "setup/install/extensions.h"

#include <cstring>

#include "setup/driver/setup_state.h"
#include "setup/driver/trace.h"
#include "setup/driver/window_helpers.h"
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

// A vendor's DLL that crashes must not take setup down with it. While one of its exports runs,
// an exception that nothing inside handles reaches the top-level filter, which jumps back to
// where the call was made. The filter is the one mechanism that the i686 build (exception
// frames chained from FS:[0]) and the x86_64 build (unwind tables) share, and it is reached
// only when the DLL's own handlers, if any, have declined the exception.
void* Landing[5];  // __builtin_setjmp's buffer: frame, resume address, stack
DWORD CrashCode = 0;

LONG WINAPI LandAfterCrash(EXCEPTION_POINTERS* pointers) {
  CrashCode = pointers->ExceptionRecord->ExceptionCode;
  __builtin_longjmp(Landing, 1);
}

#if defined(__i386__)
// The head of the thread's chain of exception frames (FS:[0]).
void* FrameChain() {
  void* head;
  __asm__ volatile("movl %%fs:0, %0" : "=r"(head));
  return head;
}
void SetFrameChain(void* head) { __asm__ volatile("movl %0, %%fs:0" : : "r"(head) : "memory"); }
#else
// x86_64 dispatches exceptions through unwind tables: there is no chain to put back.
void* FrameChain() { return nullptr; }
void SetFrameChain(void*) {}
#endif

// Runs call(context); false when it crashed. The frames the system's dispatcher linked in
// below the call lie on the abandoned stack: the chain is put back as it was.
bool CallGuarded(void (*call)(void*), void* context) {
  void* volatile frames = FrameChain();
  LPTOP_LEVEL_EXCEPTION_FILTER volatile previous = SetUnhandledExceptionFilter(&LandAfterCrash);
  volatile bool crashed = false;
  if (__builtin_setjmp(Landing) == 0) {
    call(context);
  } else {
    crashed = true;
    SetFrameChain(frames);
  }
  SetUnhandledExceptionFilter(previous);
  return !crashed;
}

}  // namespace

void SelfRegister(const std::string& path) {
  HMODULE module = LoadLibraryA(path.c_str());
  if (!module) return;
  typedef HRESULT(__stdcall * RegisterFn)();
  if (auto reg = reinterpret_cast<RegisterFn>(reinterpret_cast<void (*)()>(GetProcAddress(module, "DllRegisterServer")))) {
    // A failure is not noticed, and neither is a crash, beyond the trace.
    if (!CallGuarded([](void* fn) { reinterpret_cast<RegisterFn>(fn)(); }, reinterpret_cast<void*>(reg)))
      Trace("DllRegisterServer of %s crashed (exception %08lx)", path.c_str(), static_cast<unsigned long>(CrashCode));
  }
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
    struct StartCall {
      ExtensionStartFn start;
      HWND window;
      ExtensionRecords records;
      int32_t result;
    } call{start, window, {}, 0};
    PackExtensionRecords(Script, call.records);
    RunningRecords = &call.records;
    const bool completed = CallGuarded(
        [](void* context) {
          StartCall& c = *static_cast<StartCall*>(context);
          c.result = c.start(c.window, static_cast<int32_t>(c.records.targets.size()), c.records.targets.data(),
                             static_cast<int32_t>(c.records.files.size()), c.records.files.data(),
                             reinterpret_cast<void*>(&ExtensionNotify));
        },
        &call);
    RunningRecords = nullptr;
    if (!completed) {
      // What it changed in the records may be half done: the script stays as it was, apart
      // from the files it had skipped, and the copy stops.
      Trace("extension %s crashed (exception %08lx); the copy stops", path.c_str(),
            static_cast<unsigned long>(CrashCode));
      const std::string text = "The setup extension " + path + " stopped with an error.";
      ShowMessage(window, text.c_str(), "Setup Error", MB_ICONHAND);
      FreeLibrary(module);
      return 0;
    }
    result = call.result;
    // Read back while the extension is loaded: strings it pointed the records at may lie in
    // its own image.
    UnpackExtensionRecords(call.records, Script);
    if (CheckFileIndexes(Script) != SCRIPT_OK || CheckRecordNames(Script) != SCRIPT_OK) {
      Trace("extension %s left a file index outside its list or a name that is no plain file name; "
            "the copy stops", path.c_str());
      result = 0;
    }
  }
  FreeLibrary(module);
  return result;
}
