// install_kit: a single-file setup that installs every file of a directory into one target,
// for the installation benchmark.
//   install_kit SETUP_EXE KOMPAK32_DLL SOURCE_DIR TARGET_DIR OUTPUT_EXE
// The files are packed into one archive "MAIN" through the archive library.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "kit_archive.h"

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: install_kit SETUP_EXE KOMPAK32_DLL SOURCE_DIR TARGET_DIR OUTPUT_EXE\n");
    return 2;
  }
  const std::string source = argv[3];
  std::vector<std::string> names;
  if (DIR* dir = opendir(source.c_str())) {
    while (dirent* entry = readdir(dir)) {
      struct stat info;
      const std::string name = entry->d_name;
      if (name[0] != '.' && stat((source + "/" + name).c_str(), &info) == 0 && S_ISREG(info.st_mode))
        names.push_back(name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  std::vector<KitFile> files;
  InstallSet set;
  InstallScript& script = set.script;
  script.diskCount = 1;
  script.platforms = PLATFORM_WIN32S | PLATFORM_WIN95 | PLATFORM_WINNT;
  script.title = "Benchmark";
  TargetDir system, target;
  system.name = "SYS";
  system.descriptor = "System";
  target.name = "APP";
  target.descriptor = std::string("Application,") + argv[4];
  script.targets = {system, target};
  for (const std::string& name : names) {
    KitFile file{name, {}};
    if (!ReadWholeFile(source + "/" + name, file.data)) {
      std::fprintf(stderr, "install_kit: cannot read %s\n", name.c_str());
      return 1;
    }
    InstallFile record;
    record.name = name;
    record.size = static_cast<uint32_t>(file.data.size());
    record.targetIndex = 1;
    record.subdirIndex = -1;
    record.platforms = script.platforms;
    record.flags = FILE_PACKED;
    script.files.push_back(record);
    files.push_back(std::move(file));
  }
  KitFile main{"MAIN", {}};
  std::string error;
  const std::string scratch = std::string(argv[5]) + ".staging";
  mkdir(scratch.c_str(), 0755);
  if (!MakeArchive(files, scratch, main.data, &error)) {
    std::fprintf(stderr, "install_kit: %s\n", error.c_str());
    return 1;
  }
  rmdir(scratch.c_str());
  script.archives = {{"MAIN", static_cast<uint32_t>(main.data.size())}};
  set.archives = {main};
  if (!ReadWholeFile(argv[2], set.library) || !WriteSingleFileSetup(argv[1], InstallSetItems(set), argv[5], {}, &error)) {
    std::fprintf(stderr, "install_kit: cannot write %s %s\n", argv[5], error.c_str());
    return 1;
  }
  std::printf("%s: %zu files, archive %zu bytes\n", argv[5], names.size(), main.data.size());
  return 0;
}
