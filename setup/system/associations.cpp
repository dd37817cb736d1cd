// File associations: the extension key, the type key and its open command under
// HKEY_CLASSES_ROOT.
#include "setup/driver/setup_state.h"
#include "setup/script/path_macros.h"
#include "setup/system/system_steps.h"

namespace {

// Creates (or opens) the key under HKEY_CLASSES_ROOT and sets its default value. Names and
// command lines are not cut: one that the registry refuses fails here, silently.
bool SetKeyDefault(const std::string& keyName, const std::string& text) {
  HKEY key;
  if (RegCreateKeyA(HKEY_CLASSES_ROOT, keyName.c_str(), &key) != ERROR_SUCCESS) return false;
  const bool set = RegSetValueA(key, nullptr, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1)) ==
                   ERROR_SUCCESS;
  RegCloseKey(key);
  return set;
}

}  // namespace

bool ApplyAssociations(HWND) {
  bool expanded = true;
  for (const FileAssociation& association : Script.associations) {
    SetKeyDefault("." + association.extension, association.typeName);
    SetKeyDefault(association.typeName, association.typeName);
    std::string program, arguments;
    if (!ExpandTargetMacros(Script, association.program, program) ||
        !ExpandTargetMacros(Script, association.arguments, arguments)) {
      expanded = false;  // the two keys above stay
      continue;
    }
    const std::string command = program.find(' ') != std::string::npos ? "\"" + program + "\" " + arguments
                                                                        : program + " " + arguments;
    SetKeyDefault(association.typeName + "\\shell\\open\\command", command);
  }
  return expanded;
}
