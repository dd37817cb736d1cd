// Program groups: one DDE conversation with Program Manager ("PROGMAN" as service and topic),
// a command string per execute transaction.
#include <windows.h>

#include <ddeml.h>

#include "setup/driver/setup_state.h"
#include "setup/driver/trace.h"
#include "setup/script/path_macros.h"
#include "setup/system/system_steps.h"

namespace {

// The command buffer holds 284 bytes.
constexpr size_t MAX_COMMAND_CHARS = 283;
constexpr DWORD TRANSACTION_TIMEOUT_MS = 5000;

HDDEDATA CALLBACK IgnoreTransactions(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
  return nullptr;
}

// Program Manager's syntax has no escape for a double quote: a name, title or directory that
// holds one would end its quoted argument early and could run as other commands. (The command
// line is not quoted as a whole; quotes in it are its own.)
bool Quotable(const std::string& text, const char* what) {
  if (text.find('"') == std::string::npos) return true;
  Trace("program groups: %s \"%s\" holds a double quote and is not sent", what, text.c_str());
  return false;
}

bool SendProgmanCommand(HCONV conversation, const std::string& command) {
  if (command.size() > MAX_COMMAND_CHARS) {
    Trace("program groups: a command of %u characters is longer than %u and is not sent: %s",
          static_cast<unsigned>(command.size()), static_cast<unsigned>(MAX_COMMAND_CHARS), command.c_str());
    return false;
  }
  std::string data = command;
  const bool done = DdeClientTransaction(reinterpret_cast<BYTE*>(&data[0]), static_cast<DWORD>(data.size() + 1),
                                         conversation, nullptr, CF_TEXT, XTYP_EXECUTE, TRANSACTION_TIMEOUT_MS,
                                         nullptr) != 0;
  Trace("program groups: %s %s", done ? "done:   " : "refused:", command.c_str());
  return done;
}

// The item's AddItem command, or false when a macro names no target or a text cannot be sent.
bool FormatAddItem(const ProgramItem& item, std::string& command) {
  std::string program, arguments, workDir;
  if (!ExpandTargetMacros(Script, item.command, program) || !ExpandTargetMacros(Script, item.arguments, arguments) ||
      !ExpandTargetMacros(Script, item.workDir, workDir))
    return false;
  if (!Quotable(workDir, "the working directory")) return false;
  const std::string quoted = program.find(' ') != std::string::npos ? "\"" + program + "\"" : program;
  command = "[AddItem(" + quoted + " " + arguments + ",\"" + item.title + "\",,,,,\"" + workDir + "\")]";
  return true;
}

// Sends the commands of every group until one fails; the result as the step reports it.
bool SendGroups(HCONV conversation) {
  const bool win32s = currentPlatform == PLATFORM_WIN32S;
  for (const ProgramGroup& group : Script.groups) {
    if (!Quotable(group.name, "the group name")) return false;
    if (!SendProgmanCommand(conversation, "[CreateGroup(\"" + group.name + (win32s ? "\")]" : "\",0)]")) ||
        !SendProgmanCommand(conversation, "[ShowGroup(\"" + group.name + (win32s ? "\",1)]" : "\",1,0)]")))
      return false;
    bool result = true;  // the outcome of the group's last item decides
    for (const ProgramItem& item : group.items) {
      std::string addItem;
      if (!Quotable(item.title, "the item title") || !FormatAddItem(item, addItem)) {
        result = false;
        continue;
      }
      SendProgmanCommand(conversation, "[ReplaceItem(\"" + item.title + "\")]");  // its outcome does not count
      result = SendProgmanCommand(conversation, addItem);
    }
    if (!result) return false;
  }
  return true;
}

}  // namespace

bool CreateProgramGroups(HWND) {
  if (Script.groups.empty()) return true;
  DWORD instance = 0;
  if (DdeInitializeA(&instance, IgnoreTransactions, APPCMD_CLIENTONLY | CBF_FAIL_EXECUTES | CBF_FAIL_POKES, 0) !=
      DMLERR_NO_ERROR)
    return false;
  HSZ progman = DdeCreateStringHandleA(instance, "PROGMAN", CP_WINANSI);
  HCONV conversation = progman ? DdeConnect(instance, progman, progman, nullptr) : nullptr;
  bool result = false;
  if (conversation) {
    result = SendGroups(conversation);
    DdeDisconnect(conversation);
  } else {
    Trace("program groups: no DDE server answers \"PROGMAN\"");
  }
  DdeUninitialize(instance);  // releases the string handle too
  return result;
}
