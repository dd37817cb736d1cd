// Path macros, installed paths and the path-name helpers, as tables. The platform's short-path
// lookup is played by a map here; under Wine the real GetShortPathNameA is used by the
// end-to-end tests.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "setup/install/path_names.h"
#include "setup/script/path_macros.h"

namespace {

std::map<std::string, std::string> shortForms;
std::vector<std::string> reported;

}  // namespace

bool ShortPathOf(const std::string& path, std::string& shortPath) {
  auto found = shortForms.find(path);
  if (found == shortForms.end()) return false;
  shortPath = found->second;
  return true;
}

void ReportUnknownTarget(const std::string& name) { reported.push_back(name); }

namespace {

InstallScript Targets() {
  InstallScript script;
  script.targets.resize(3);
  script.targets[0].name = "SYS";
  script.targets[0].path = "C:\\WINDOWS\\SYSTEM";
  script.targets[1].name = "App";
  script.targets[1].path = "C:\\Program Files\\Sample App";
  script.targets[1].subdirs = {"DATA", "Help Files"};
  script.targets[2].name = "Dup";  // a later target of another name
  script.targets[2].path = "D:\\X";
  shortForms = {{"C:\\Program Files\\Sample App", "C:\\PROG~FBU\\SAMP~X1Y"}};
  return script;
}

struct Expansion {
  std::string source;
  bool ok;
  std::string expected;      // when ok
  std::string reportedName;  // the name reported as unknown ("-": none)
};

TEST(PathMacros, ExpansionTable) {
  const std::string longName(52, 'N');
  const std::string fits(259 - 20, 'x');
  const Expansion cases[] = {
      {"", true, "", "-"},
      {"no macros at all", true, "no macros at all", "-"},
      {"100%% sure %%%%", true, "100% sure %%", "-"},
      {"%app%\\run.exe", true, "C:\\PROG~FBU\\SAMP~X1Y\\run.exe", "-"},     // short form, any case
      {"%SYS%", true, "C:\\WINDOWS\\SYSTEM", "-"},                        // no short form: long path
      {"%APP%[0]:%APP%[0,2]|%APP%[3,-1]", true, "C:C:|Program Files\\Sample App", "-"},
      {"[%App%[3,7]]", true, "[Program]", "-"},
      {"%App%[3,1000]", true, "Program Files\\Sample App", "-"},           // n past the end: the rest
      {"<%App%[3,0]>", true, "<>", "-"},                                   // n of 0: nothing
      {"<%App%[999]><%App%[-4,2]><%App%[40,-1]>", true, "<><><>", "-"},    // start outside the path
      {"%App%[2]x], y", true, "\\x], y", "-"},                             // a comma after the bracket counts not
      {"x%App", true, "xC:\\PROG~FBU\\SAMP~X1Y", "-"},                    // no closing '%': the rest is the name
      {"%App%[0", false, "", "-"},                                         // no closing bracket
      {"a %Nope% b", false, "", "Nope"},
      {"ends with %", false, "", ""},                                      // an empty name
      {"%" + longName + "%", false, "", longName},                         // over 51 characters: no target
      {fits + "%APP%", true, fits + "C:\\PROG~FBU\\SAMP~X1Y", "-"},         // 259 characters
      {fits + "%APP%[0,-1]", false, "", "-"},                              // 239 + 28 > 259 characters
  };
  InstallScript script = Targets();
  script.targets[2].name = "App";  // a second target of the same name: the first one counts
  for (const Expansion& c : cases) {
    SCOPED_TRACE(c.source);
    reported.clear();
    std::string result = "junk";
    const bool ok = ExpandTargetMacros(script, c.source, result);
    EXPECT_EQ(ok, c.ok);
    if (ok) {
      EXPECT_EQ(result, c.expected);
      EXPECT_LE(result.size(), 259u);
    }
    EXPECT_EQ(reported, c.reportedName == "-" ? std::vector<std::string>{} : std::vector<std::string>{c.reportedName});
  }
}

TEST(PathMacros, LookupIsFirstMatchIgnoringCaseAndOnlyFindTargetReports) {
  InstallScript script = Targets();
  reported.clear();
  EXPECT_EQ(FindTargetIndex(script, "app"), 1);
  EXPECT_EQ(FindTargetIndex(script, "APPX"), -1);
  EXPECT_TRUE(reported.empty());
  EXPECT_EQ(FindTarget(script, "sYs"), 0);
  EXPECT_EQ(FindTarget(script, "missing"), -1);
  EXPECT_EQ(reported, std::vector<std::string>{"missing"});
}

TEST(PathMacros, InstalledPaths) {
  InstallScript script = Targets();
  InstallFile file;
  file.name = "README.TXT";
  file.targetIndex = 1;
  file.subdirIndex = -1;
  EXPECT_EQ(InstallPathOf(script, file), "C:\\Program Files\\Sample App\\README.TXT");
  file.subdirIndex = 1;
  EXPECT_EQ(InstallPathOf(script, file), "C:\\Program Files\\Sample App\\Help Files\\README.TXT");
  EXPECT_EQ(InstallPathIn("E:\\", script.targets[1], file), "E:\\\\Help Files\\README.TXT");
}

TEST(PathNames, SetExtensionAndFileNamePart) {
  struct Case {
    const char* path;
    const char* extension;
    const char* expected;
  } cases[] = {
      {"C:\\DIR\\FILE.DLL", "000", "C:\\DIR\\FILE.000"},
      {"C:\\DIR\\ARCHIVE.TAR.GZ", "t7", "C:\\DIR\\ARCHIVE.TAR.t7"},  // only after the last dot
      {"C:\\MY.DIR\\README", "t0", "C:\\MY.DIR\\README.t0"},        // a dot in a directory counts not
      {"NAME.", "X", "NAME.X"},
      {"NOEXT", "000", "NOEXT.000"},
  };
  for (const Case& c : cases) {
    std::string path = c.path;
    EXPECT_TRUE(SetExtension(path, c.extension));
    EXPECT_EQ(path, c.expected);
  }
  std::string full(259, 'a');
  EXPECT_FALSE(SetExtension(full, "000"));
  EXPECT_EQ(full, std::string(259, 'a'));

  std::string path = "c:\\windows\\system\\mylib.dll";
  EXPECT_EQ(FileNamePart(path), "MYLIB.DLL");
  EXPECT_EQ(path, "C:\\WINDOWS\\SYSTEM\\MYLIB.DLL");
  std::string drive = "a:setup.exe", bare = "Plain.Txt";
  EXPECT_EQ(FileNamePart(drive), "SETUP.EXE");
  EXPECT_EQ(FileNamePart(bare), "PLAIN.TXT");
}

}  // namespace
