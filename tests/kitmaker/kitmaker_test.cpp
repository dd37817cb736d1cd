// kitmaker: each kind of manifest error names its line, key and limit (a table); the example
// manifest reads into the records it describes; the command builds the same bytes twice and
// exits 0, 1 or 2.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "kit_bytes.h"
#include "manifest.h"

namespace fs = std::filesystem;

namespace {

fs::path TestDir(const std::string& name) {
  fs::path dir = fs::temp_directory_path() / ("kitmaker_test_" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

void Write(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// A valid manifest; the cases below add one fault each.
const std::string VALID =
    "[product]\n"                           // 1
    "title = \"Product\"\n"                 // 2
    "[[target]]\n"                          // 3
    "name = \"APP\"\n"                      // 4
    "label = \"Application\"\n"             // 5
    "default = \"C:\\\\APP\"\n"             // 6
    "subdirs = [\"DATA\"]\n"                // 7
    "[[file]]\n"                            // 8
    "source = \"a.txt\"\n"                  // 9
    "target = \"APP\"\n";                   // 10

struct ErrorCase {
  std::string manifest;
  std::string error;  // after "manifest.toml:"
};

TEST(Manifest, EachErrorNamesItsLineKeyAndLimit) {
  const std::string longTitle(104, 'T'), longLine(81, 'c');
  const ErrorCase cases[] = {
      {VALID + "[[group]]\nname = \"G\"\n  [[group.item]]\n  title = \"T\"\n  command = \"%NOPE%\\\\X.EXE\"\n",
       "15: group[0].item[0].command: %NOPE% names no target"},
      {VALID + "[[environment]]\nname = \"P\"\nvalue = \"100%\"\n",
       "13: environment[0].value: a % without its closing %"},
      {"[product]\ntitle = \"" + longTitle + "\"\n", "2: product.title: has 104 characters; at most 103"},
      {"[product]\ntitle = \"P\"\ncontact = [\"" + longLine + "\"]\n", "3: product.contact[0]: has 81 characters; at most 80"},
      {"[product]\ntitle = \"P\"\ncontact = [\"1\",\"2\",\"3\",\"4\",\"5\",\"6\",\"7\",\"8\",\"9\",\"10\",\"11\"]\n",
       "3: product.contact: has 11 entries; at most 10"},
      {"[product]\ntitle = \"P\"\nplatforms = [\"win31\"]\n", "3: product.platforms: \"win31\" is not a platform"},
      {"[product]\ntitle = \"P\"\ntitel = \"P\"\n", "3: product.titel: unknown key"},
      {"title = \"P\"\n", "1: product: a [product] table with the title is missing"},
      {VALID + "subdir = \"HELP\"\n", "11: file[0].subdir: target APP has no subdirectory \"HELP\""},
      {VALID + "name = \"..\\\\x\"\n", "11: file[0].name: \"..\\X\" is not a plain file name"},
      {VALID + "name = \"con\"\n", "11: file[0].name: \"CON\" is a device name"},
      {VALID + "flags = [\"compress\"]\n", "11: file[0].flags: \"compress\" is not a flag"},
      {VALID + "[[file]]\nsource = \"missing.txt\"\ntarget = \"APP\"\n", "12: file[1].source: no such file"},
      {VALID + "[[file]]\nsource = \"a.txt\"\ntarget = \"APPS\"\n", "13: file[1].target: no target is called \"APPS\""},
      {VALID + "[[file]]\nsource = \"a.txt\"\ntarget = \"APP\"\n", "12: file[1].name: archive MAIN holds A.TXT already"},
      {VALID + "[[target]]\nname = \"app\"\nlabel = \"L\"\n", "12: target[1].name: \"app\" is taken"},
      {VALID + "[[target]]\nname = \"B\"\nlabel = \"L\"\n[[target]]\nname = \"C\"\nlabel = \"L\"\n"
                   "[[target]]\nname = \"D\"\nlabel = \"L\"\n[[target]]\nname = \"E\"\nlabel = \"L\"\n"
                   "[[target]]\nname = \"F\"\nlabel = \"L\"\n",
       "3: target: 6 targets; at most 5"},
      {VALID + "[[ini]]\nfile = \"A.INI\"\nsection = \"S\"\nkey = \"K\"\nvalue = \"" + std::string(256, 'v') + "\"\n",
       "15: ini[0].value: has 256 characters; at most 255"},
      {VALID + "[[association]]\nextension = \".txt\"\ntype = \"T\"\nprogram = \"P\"\n",
       "12: association[0].extension: is written without its dot"},
      {"[product]\ntitle = \"P\"\n[set]\nlayout = \"floppies\"\ndisk_size = 100\n",
       "4: set.layout: must be \"single\" or \"disks\""},
      {"[product]\ntitle = \"P\"\n[set]\ndisk_size = 100\n", "4: set.disk_size: must be a whole number of bytes"},
      {"[product\ntitle = \"P\"\n", "1: "},  // not TOML at all
      {"[product]\ntitle = \"Pr\xc3\xb6" "duct\" # \xc3\xa9\n[[t\xc3\xa4rget]]\n",
       "3: a character outside ASCII outside a string or comment"},
      {"[product]\ntitle = \"Pr\xb6" "duct\"\n", "2: not UTF-8 text"},
      {"[product]\ntitle = \"Pr\\\xc3\xb6" "duct\"\n", "2: an escape that TOML does not have"},
  };
  const fs::path dir = TestDir("errors");
  Write(dir / "a.txt", "a");
  for (const ErrorCase& c : cases) {
    Write(dir / "manifest.toml", c.manifest);
    Manifest manifest;
    std::vector<ManifestError> errors;
    const std::string path = (dir / "manifest.toml").string();
    EXPECT_FALSE(ReadManifest(path, manifest, errors)) << c.error;
    std::string all;
    for (const ManifestError& e : errors) all += e.text + "\n";
    EXPECT_NE(all.find(path + ":" + c.error), std::string::npos) << "expected " << c.error << "\ngot\n" << all;
  }
  Write(dir / "manifest.toml", VALID + "[[environment]]\nname = \"GR\xc3\x9c\xc3\x9f\"  # \xc3\xa9\nvalue = '''\n\xc3\xa9 \\\"'''\n"
                                       "[[environment]]\nname = 'C:\\\xc3\xa9'\nvalue = \"\\u00e9\"\n");
  Manifest manifest;
  std::vector<ManifestError> errors;
  ASSERT_TRUE(ReadManifest((dir / "manifest.toml").string(), manifest, errors)) << errors[0].text;
  ASSERT_EQ(manifest.script.envSettings.size(), 2u);
  EXPECT_EQ(manifest.script.envSettings[0].name, "GR\xc3\x9c\xc3\x9f") << "strings and comments may hold any character";
  EXPECT_EQ(manifest.script.envSettings[0].value, "\xc3\xa9 \\\"") << "a literal string keeps backslashes and quotes";
  EXPECT_EQ(manifest.script.envSettings[1].name, "C:\\\xc3\xa9");
  EXPECT_EQ(manifest.script.envSettings[1].value, "\xc3\xa9");
}

// The example manifest beside the files mksample makes for it.
std::string ExampleSet(const std::string& name) {
  const fs::path dir = TestDir(name);
  fs::create_directories(dir / "files");
  fs::copy_file(EXAMPLE_MANIFEST, dir / "sample.toml");
  EXPECT_EQ(std::system((std::string(MKSAMPLE) + " " + (dir / "files").string()).c_str()), 0);
  return (dir / "sample.toml").string();
}

TEST(Manifest, TheExampleReadsIntoTheRecordsItDescribes) {
  Manifest manifest;
  std::vector<ManifestError> errors;
  ASSERT_TRUE(ReadManifest(ExampleSet("example"), manifest, errors)) << errors[0].text;
  const InstallScript& s = manifest.script;
  EXPECT_EQ(s.title, "Sample Office");
  EXPECT_EQ(s.contactLines, (std::vector<std::string>{"Sample Software Ltd.", "Customer support: 555-0100"}));
  EXPECT_EQ(s.platforms, PLATFORM_WIN32S | PLATFORM_WIN95 | PLATFORM_WINNT);
  ASSERT_EQ(s.targets.size(), 2u);
  EXPECT_EQ(s.targets[0].name, "SYS");
  EXPECT_EQ(s.targets[1].descriptor, "Application Directory,C:\\SAMPLE,1");
  EXPECT_EQ(s.targets[1].subdirs, std::vector<std::string>{"DATA"});
  ASSERT_EQ(s.files.size(), 11u);
  EXPECT_EQ(s.files[1].name, "MANUAL1.TXT");
  EXPECT_EQ(s.files[1].subdirIndex, -1);
  EXPECT_EQ(s.files[9].flags, FILE_PACKED | FILE_EXPAND);
  EXPECT_EQ(s.files[10].name, "LETTER.TXT");
  EXPECT_EQ(s.files[10].subdirIndex, 0);
  ASSERT_EQ(s.archives.size(), 1u);
  EXPECT_EQ(s.archives[0].name, "MAIN");
  ASSERT_EQ(s.groups.size(), 1u);
  EXPECT_EQ(s.groups[0].items[0].command, "%APP%\\README.TXT");
  EXPECT_EQ(s.associations[0].arguments, "%%1");
  EXPECT_EQ(s.envSettings[0].value, "%APP%");
  EXPECT_EQ(s.iniSettings[0].platforms, s.platforms);
}

// Runs kitmaker; its standard output goes to *output when given.
int RunKitmaker(const std::string& arguments, std::string* output = nullptr) {
  const fs::path captured = fs::temp_directory_path() / "kitmaker_test_output.txt";
  const int status = std::system((std::string(KITMAKER) + " " + arguments + " >" + captured.string() + " 2>&1").c_str());
  if (output) {
    std::ifstream in(captured, std::ios::binary);
    output->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Command, BuildsTheSameBytesTwiceAndExitsByOutcome) {
  const fs::path dir = TestDir("command");
  Write(dir / "setup.exe", "MZ a stand-in for setup.exe");
  Write(dir / "kompak32.dll", "MZ a stand-in for the library");
  const std::string example = ExampleSet("command_example");
  const std::string common = std::string(" --setup ") + (dir / "setup.exe").string() + " --library " +
                             (dir / "kompak32.dll").string();
  ASSERT_EQ(RunKitmaker("build " + example + " -o " + (dir / "one.exe").string() + common), 0);
  ASSERT_EQ(RunKitmaker("build " + example + " -o " + (dir / "two.exe").string() + common), 0);
  KitBytes one, two;
  ASSERT_TRUE(ReadWholeFile((dir / "one.exe").string(), one));
  ASSERT_TRUE(ReadWholeFile((dir / "two.exe").string(), two));
  EXPECT_GT(one.size(), 1000000u);
  EXPECT_TRUE(one == two) << "the same manifest and files give the same bytes";
  EXPECT_EQ(RunKitmaker("check " + example), 0);
  std::string shown;
  ASSERT_EQ(RunKitmaker("show " + (dir / "one.exe").string(), &shown), 0);
  for (const char* line : {"product \"Sample Office\", 1 disk(s), platforms: win32s win95 nt",
                           "target 1 APP \"Application Directory,C:\\SAMPLE,1\" [DATA]",
                           "to %APP%\\DATA, win32s win95 nt", "expand", "item \"Manual\": %APP%\\MANUAL1.TXT",
                           "association .smp \"Sample Document\": notepad.exe %%1", "environment SAMPLEDIR=%APP%",
                           "ini SAMPLE.INI [Paths] Data=%APP%\\DATA", "archive MAIN (payload)", "LETTER.TXT   -lh5-"})
    EXPECT_NE(shown.find(line), std::string::npos) << line << " in\n" << shown;
  Write(dir / "bad.toml", "[product]\n");
  EXPECT_EQ(RunKitmaker("check " + (dir / "bad.toml").string()), 1);
  EXPECT_EQ(RunKitmaker("build " + (dir / "bad.toml").string() + " -o " + (dir / "bad.exe").string() + common), 1);
  EXPECT_FALSE(fs::exists(dir / "bad.exe"));
  EXPECT_EQ(RunKitmaker("show " + (dir / "setup.exe").string()), 1) << "no payload";
  EXPECT_EQ(RunKitmaker("frobnicate"), 2);
  EXPECT_EQ(RunKitmaker("build"), 2);
}

// Two archives of 150 KB (bytes that do not compress) on disks of 200 KB beside a setup.exe
// and library of 40 KB:
// the first archive fits on disk 1, the second spills to DISK2; one archive larger than a disk
// is refused.
TEST(Command, ADiskSetSpillsToTheNextDiskAtItsCapacity) {
  const fs::path dir = TestDir("disks");
  Write(dir / "setup.exe", std::string(20000, 'S'));
  Write(dir / "kompak32.dll", std::string(20000, 'L'));
  std::string noise;
  for (unsigned x = 7; noise.size() < 150000;) noise += char((x = x * 1103515245u + 12345u) >> 16);
  Write(dir / "one.bin", noise);
  Write(dir / "two.bin", noise.substr(1) + "Z");
  const std::string manifest =
      "[product]\ntitle = \"Disks\"\n[set]\nlayout = \"disks\"\ndisk_size = 200000\n"
      "[[target]]\nname = \"APP\"\nlabel = \"A\"\n"
      "[[file]]\nsource = \"one.bin\"\ntarget = \"APP\"\narchive = \"ONE\"\n"
      "[[file]]\nsource = \"two.bin\"\ntarget = \"APP\"\narchive = \"TWO\"\n";
  Write(dir / "disks.toml", manifest);
  const std::string common = " --setup " + (dir / "setup.exe").string() + " --library " +
                             (dir / "kompak32.dll").string();
  ASSERT_EQ(RunKitmaker("build " + (dir / "disks.toml").string() + " -o " + (dir / "set").string() + common), 0);
  for (const char* file : {"DISK1/SETUP.EXE", "DISK1/SETUP.DAT", "DISK1/KOMPAK32.DLL", "DISK1/DISK1.ID", "DISK1/ONE",
                           "DISK2/DISK2.ID", "DISK2/TWO"})
    EXPECT_TRUE(fs::exists(dir / "set" / file)) << file;
  EXPECT_FALSE(fs::exists(dir / "set/DISK1/TWO"));
  EXPECT_FALSE(fs::exists(dir / "set/DISK3"));
  std::string shown;
  ASSERT_EQ(RunKitmaker("show " + (dir / "set").string(), &shown), 0);
  EXPECT_NE(shown.find("2 disk(s)"), std::string::npos) << shown;
  EXPECT_NE(shown.find("archive TWO (DISK2)"), std::string::npos) << shown;
  Write(dir / "disks.toml", manifest + "[[file]]\nsource = \"one.bin\"\ntarget = \"APP\"\narchive = \"TWO\"\nname = \"X.BIN\"\n");
  EXPECT_EQ(RunKitmaker("build " + (dir / "disks.toml").string() + " -o " + (dir / "big").string() + common, &shown), 1);
  EXPECT_NE(shown.find("archive TWO is"), std::string::npos) << shown;
}

}  // namespace
