// The installation's system steps after the copy, in the order the sequence runs them: program
// groups by DDE, file associations, environment variables, INI settings.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Creates the script's program groups and their items through a DDE conversation with
// Program Manager ("PROGMAN"). True when there are no groups, or when every group was created
// and shown and each group's last item was added.
bool CreateProgramGroups(HWND window);

// Writes the script's file associations under HKEY_CLASSES_ROOT. True when every record's
// macros expanded; registry failures are silent.
bool ApplyAssociations(HWND owner);

// Sets the script's environment variables: in the current user's "Environment" key on Windows
// NT, in c:\autoexec.bat elsewhere. Sets RestartNeeded when there is any.
bool ApplyEnvironment(HWND owner);

// Rewrites c:\autoexec.bat with the variables' new values (see RewriteBatchLines), through
// the work files c:\zelauto1.new and c:\zelauto2.new, keeping the previous file as
// c:\autoexec.000.
struct BatchVariable;
bool RewriteAutoexec(HWND owner, std::vector<BatchVariable>& variables);

// Applies the script's INI settings of this system to files in the Windows directory; a
// "device" line of SYSTEM.INI through AddDeviceLine. Sets RestartNeeded for each one applied.
bool ApplyIniSettings(HWND owner);

// Adds "key=value" to `section` of the INI file at `iniPath` by rewriting the file through a
// work file (extension "new"), keeping the previous file as a backup (extension "000").
bool AddDeviceLine(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& iniPath);
