// SETUP.LOG: its place, its header and its lines (text mode: "\n" is CRLF on disk).
#include "setup/install/setup_log.h"

#include <windows.h>

#include "setup/driver/setup_state.h"

std::string SetupLogPath;

FILE* OpenSetupLog(const char* mode) {
  const size_t count = Script.targets.size();
  for (size_t i = count == 1 ? 0 : 1; i < count; ++i) {
    SetupLogPath = Script.targets[i].path + "\\SETUP.LOG";
    for (char& c : SetupLogPath)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (SetupLogPath.size() > MAX_PATH_CHARS) continue;  // no 259-character path: not here
    if (FILE* log = fopen(SetupLogPath.c_str(), mode)) return log;
  }
  return nullptr;
}

void WriteLogHeader() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  FILE* log = OpenSetupLog("wt");
  if (!log) return;
  fprintf(log, "%s Setup Error Log\n", Script.title.c_str());
  fprintf(log, "Created %d/%d/%d at %d:%d\n", now.wMonth, now.wDay, now.wYear, now.wHour, now.wMinute);
  fprintf(log, "\n");
  for (const std::string& line : Script.contactLines) fprintf(log, "%s\n", line.c_str());
  fprintf(log, "\nInstall Directories Chosen by User:\n");
  for (const TargetDir& target : Script.targets) fprintf(log, "%s: %s\n", target.label.c_str(), target.path.c_str());
  fclose(log);
}

void AppendLogLine(const std::string& text) {
  FILE* log = OpenSetupLog("at");
  if (!log) return;
  fprintf(log, "%s\n", text.c_str());
  fclose(log);
}
