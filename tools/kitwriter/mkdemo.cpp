// mkdemo: builds the demo install set, a single-file setup with a small product script, from
// setup.exe and (when given) the archive library.
//   mkdemo SETUP_EXE OUTPUT_EXE [KOMPAK32_DLL]
#include <cstdio>
#include <string>

#include "kit_set.h"

namespace {

InstallScript DemoScript() {
  InstallScript script;
  script.diskCount = 1;
  script.platforms = PLATFORM_WIN32S | PLATFORM_WIN95 | PLATFORM_WINNT;
  script.title = "Sample Office";
  script.contactLines = {"Sample Software Ltd.", "Customer support: 555-0100"};
  TargetDir system;
  system.name = "SYS";
  system.descriptor = "System Directory";
  TargetDir app;
  app.name = "APP";
  app.descriptor = "Application Directory,C:\\SAMPLE";
  app.subdirs = {"DATA"};
  script.targets = {system, app};
  script.groups = {{"Sample Office", {{"Sample Office", "%APP%\\SAMPLE.EXE", "", "%APP%"}}}};
  script.envSettings = {{"SAMPLEDIR", "%APP%"}};
  script.iniSettings = {{"SAMPLE.INI", "Paths", "Data", "%APP%\\DATA", PLATFORM_WIN32S | PLATFORM_WIN95 | PLATFORM_WINNT}};
  return script;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: mkdemo SETUP_EXE OUTPUT_EXE [KOMPAK32_DLL]\n");
    return 2;
  }
  InstallSet set;
  set.script = DemoScript();
  if (argc == 4 && !ReadWholeFile(argv[3], set.library)) {
    std::fprintf(stderr, "mkdemo: cannot read %s\n", argv[3]);
    return 1;
  }
  std::string error;
  if (!WriteSingleFileSetup(argv[1], InstallSetItems(set), argv[2], {}, &error)) {
    std::fprintf(stderr, "mkdemo: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s\n", argv[2]);
  return 0;
}
