// mkdemo: builds the demo install set, a single-file setup with a small product: its script,
// the archive "MAIN" packed by the archive library, and (when given) the library itself.
//   mkdemo SETUP_EXE OUTPUT_EXE [KOMPAK32_DLL]
#include <cstdio>
#include <string>

#include "kit_archive.h"

namespace {

KitBytes Text(const std::string& text) { return KitBytes(text.begin(), text.end()); }

std::vector<KitFile> DemoFiles() {
  std::string readme = "Sample Office\r\n=============\r\n\r\nThank you for installing Sample Office.\r\n";
  for (int i = 1; i <= 40; ++i) readme += "Chapter " + std::to_string(i) + ": nothing to read here yet.\r\n";
  // A manual of some megabytes in eight chapters, so that the copy lasts long enough to be
  // watched and Cancel in the copy dialog is noticed before the last file.
  std::vector<KitFile> files = {{"README.TXT", Text(readme)}};
  static const char* const words[] = {"setup", "installs", "the", "product", "into", "its", "directory", "and",
                                      "keeps", "a", "log", "of", "every", "file", "it", "writes"};
  unsigned x = 12345;
  for (int chapter = 1; chapter <= 8; ++chapter) {
    std::string manual;
    for (unsigned i = 0; manual.size() < 2u << 20; ++i) {
      x = x * 1103515245u + 12345u;
      manual += words[(x >> 16) % 16];
      manual += (i % 12 == 11) ? ".\r\n" : " ";
    }
    files.push_back({"MANUAL" + std::to_string(chapter) + ".TXT", Text(manual)});
  }
  files.push_back({"SAMPLE.INI", Text("[Paths]\r\nHome=%APP%\r\nData=%APP%\\DATA\r\n")});
  files.push_back({"LETTER.TXT", Text("Dear customer,\r\nthis letter was installed by the demo.\r\n")});
  return files;
}

InstallScript DemoScript(const std::vector<KitFile>& files, uint32_t archiveSize) {
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
  script.archives = {{"MAIN", archiveSize}};
  for (const KitFile& kitFile : files) {
    InstallFile file;
    file.name = kitFile.name;
    file.archiveIndex = 0;
    file.size = static_cast<uint32_t>(kitFile.data.size());
    file.targetIndex = 1;
    file.subdirIndex = kitFile.name == "LETTER.TXT" ? 0 : -1;
    file.platforms = script.platforms;
    file.flags = FILE_PACKED | (kitFile.name == "SAMPLE.INI" ? FILE_EXPAND : 0);
    script.files.push_back(file);
  }
  script.groups = {{"Sample Office",
                    {{"Read Me", "%APP%\\README.TXT", "", "%APP%"}, {"Manual", "%APP%\\MANUAL1.TXT", "", "%APP%"}}}};
  script.associations = {{"smp", "Sample Document", "notepad.exe", "%%1"}};  // %% gives one percent sign
  script.envSettings = {{"SAMPLEDIR", "%APP%"}};
  script.iniSettings = {{"SAMPLE.INI", "Paths", "Data", "%APP%\\DATA", script.platforms}};
  return script;
}

std::string DirectoryOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: mkdemo SETUP_EXE OUTPUT_EXE [KOMPAK32_DLL]\n");
    return 2;
  }
  const std::vector<KitFile> files = DemoFiles();
  InstallSet set;
  KitFile main{"MAIN", {}};
  std::string error;
  if (!MakeArchive(files, DirectoryOf(argv[2]), main.data, &error)) {
    std::fprintf(stderr, "mkdemo: %s\n", error.c_str());
    return 1;
  }
  set.script = DemoScript(files, static_cast<uint32_t>(main.data.size()));
  set.archives = {main};
  if (argc == 4 && !ReadWholeFile(argv[3], set.library)) {
    std::fprintf(stderr, "mkdemo: cannot read %s\n", argv[3]);
    return 1;
  }
  if (!WriteSingleFileSetup(argv[1], InstallSetItems(set), argv[2], {}, &error)) {
    std::fprintf(stderr, "mkdemo: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s\n", argv[2]);
  return 0;
}
