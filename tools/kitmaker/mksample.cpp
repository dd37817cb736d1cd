// mksample: writes the files of the example product "Sample Office" (example/sample.toml)
// into a directory: a read-me, a manual of some megabytes in eight chapters (so that the copy
// lasts long enough to be watched), an INI file with path macros and a letter.
//   mksample DIRECTORY
#include <cstdio>
#include <string>
#include <vector>

#include "kit_bytes.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: mksample DIRECTORY\n");
    return 2;
  }
  std::vector<std::pair<std::string, std::string>> files;
  std::string readme = "Sample Office\r\n=============\r\n\r\nThank you for installing Sample Office.\r\n";
  for (int i = 1; i <= 40; ++i) readme += "Chapter " + std::to_string(i) + ": nothing to read here yet.\r\n";
  files.push_back({"README.TXT", readme});
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
    files.push_back({"MANUAL" + std::to_string(chapter) + ".TXT", manual});
  }
  files.push_back({"SAMPLE.INI", "[Paths]\r\nHome=%APP%\r\nData=%APP%\\DATA\r\n"});
  files.push_back({"LETTER.TXT", "Dear customer,\r\nthis letter was installed by the demo.\r\n"});
  for (const auto& [name, text] : files) {
    const std::string path = std::string(argv[1]) + "/" + name;
    if (!WriteWholeFile(path, KitBytes(text.begin(), text.end()))) {
      std::fprintf(stderr, "mksample: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
