// The SYSTEM.INI device rewrite and the autoexec.bat rewrite, as tables of files before and
// after. Under Wine the end-to-end tests run them on real files.
#include <gtest/gtest.h>

#include "setup/system/text_rewrite.h"

namespace {

struct DeviceCase {
  const char* what;
  const char* before;
  const char* value;
  const char* after;  // nullptr: no such section
};

TEST(DeviceLines, Table) {
  const DeviceCase cases[] = {
      {"the new line stands first; lines for other files keep their order",
       "[boot]\nshell=progman.exe\n[386Enh]\ndevice=*vpicd\ndevice=C:\\A\\VX.386\nkeyboard=*vkd\n",
       "C:\\NEW\\MY.386",
       "[boot]\nshell=progman.exe\n[386Enh]\ndevice=C:\\NEW\\MY.386\ndevice=*vpicd\ndevice=C:\\A\\VX.386\n"
       "keyboard=*vkd\n"},
      {"an older line for the same file, in any directory, key and letter case, is dropped",
       "[386Enh]\ndevice=*vpicd\nDEVICE=c:\\old\\my.386  \nDevice=D:my.386\n[next]\ndevice=my.386\n",
       "C:\\NEW\\MY.386", "[386Enh]\ndevice=C:\\NEW\\MY.386\ndevice=*vpicd\n[next]\ndevice=my.386\n"},
      {"a space before the equals sign is another key",
       "[386Enh]\ndevice =c:\\old\\my.386\n", "C:\\NEW\\MY.386",
       "[386Enh]\ndevice=C:\\NEW\\MY.386\ndevice =c:\\old\\my.386\n"},
      {"an empty section followed by another; the header in another case and with a comment",
       "[386ENH] ; drivers\n[Other]\nx=1\n", "V.386", "[386ENH] ; drivers\ndevice=V.386\n[Other]\nx=1\n"},
      {"a header that is the last line, without a line end", "a=1\n[386Enh]", "V.386", "a=1\n[386Enh]\ndevice=V.386\n"},
      {"a long line stays one line and a last line keeps its missing line end",
       "[386Enh]\nlong=XXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX"
       "XXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX"
       "XXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX=device\n[z]\nend",
       "V.386",
       "[386Enh]\ndevice=V.386\nlong=XXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX"
       "XXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX"
       "XXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX=device\n[z]\nend"},
      {"no such section", "[boot]\ndevice=x\n", "V.386", nullptr},
      {"an empty file", "", "V.386", nullptr},
  };
  for (const DeviceCase& c : cases) {
    std::string out;
    const bool added = AddDeviceLineTo(c.before, "386Enh", "device", c.value, out);
    EXPECT_EQ(added, c.after != nullptr) << c.what;
    if (added && c.after) EXPECT_EQ(out, c.after) << c.what;
  }
}

struct BatchCase {
  const char* what;
  std::string before;
  std::string after;
};

TEST(BatchLines, Table) {
  // The script's variables: PATH gets C:\APP, APPDIR a new value, NEWVAR is in no line.
  const BatchCase cases[] = {
      {"PATH= without the directory gets it appended; other lines stay", "@ECHO OFF\nPATH=C:\\DOS;C:\\WINDOWS\nREM x\n",
       "@ECHO OFF\nPATH=C:\\DOS;C:\\WINDOWS;C:\\APP\nREM x\n"},
      {"PATH followed by a space, already holding the directory in another case", "PATH C:\\DOS;c:\\app\n",
       "PATH C:\\DOS;c:\\app\n"},
      {"SET PATH with leading spaces loses them", "   SET PATH=C:\\DOS\n", "SET PATH=C:\\DOS;C:\\APP\n"},
      {"a PATH line with nothing after the name", "path\nPATH \n", "path\nSET PATH=C:\\APP\n"},
      {"a SET line of a scripted variable is replaced whatever it held", "set appdir = old\nSET OTHER=1\n",
       "SET APPDIR=D:\\NEW\nSET OTHER=1\n"},
      {"names that only begin like a variable's are other variables", "SET PATHEXT=.COM\nSET APPDIRX=1\n",
       "SET PATHEXT=.COM\nSET APPDIRX=1\n"},
      {"carriage returns and a long line", "PATH=C:\\DOS\r\nREM " + std::string(300, 'x') + "\n",
       "PATH=C:\\DOS;C:\\APP\nREM " + std::string(300, 'x') + "\n"},
  };
  for (const BatchCase& c : cases) {
    std::vector<BatchVariable> variables = {{"PATH", "C:\\APP"}, {"APPDIR", "D:\\NEW"}, {"NEWVAR", "1"}};
    const std::string updated = UpdateBatchLines(c.before, variables);
    EXPECT_EQ(updated, c.after) << c.what;
    EXPECT_FALSE(variables[2].seen) << c.what;
  }
}

TEST(BatchLines, VariablesNoLineNamesGoOnTopOnce) {
  std::vector<BatchVariable> variables = {{"PATH", "C:\\APP"}, {"APPDIR", "D:\\NEW"}, {"NEWVAR", "1"}};
  const std::string updated = UpdateBatchLines("SET APPDIR=x\n", variables);
  EXPECT_EQ(NewVariableLines(variables) + updated, "SET PATH=C:\\APP\nSET NEWVAR=1\nSET APPDIR=D:\\NEW\n");
  EXPECT_EQ(NewVariableLines(variables), "");
}

TEST(PathList, PiecesCompareWholeIgnoringCase) {
  EXPECT_TRUE(PathListHolds("C:\\A;c:\\app;D:\\", "C:\\APP"));
  EXPECT_FALSE(PathListHolds("C:\\APP2;C:\\AP", "C:\\APP"));
  EXPECT_TRUE(PathListHolds("C:\\APP", "c:\\app"));
  EXPECT_FALSE(PathListHolds("", "C:\\APP"));
}

// A copy that the profile functions rewrote is whole when every setting of the file is still
// there and the new value too, however the lines are spaced or ordered.
TEST(IniRewrite, WholeCopiesAreToldFromCutOnes) {
  const std::string before = "; comment=kept\n[Paths]\nHome=C:\\OLD\nData = C:\\DATA\n\n[Other]\nx=1\ny=2\n";
  struct Case {
    const char* what;
    std::string after;
    bool whole;
  } cases[] = {
      {"the value changed, the rest as it was", "; comment=kept\n[Paths]\nHome=C:\\NEW\nData = C:\\DATA\n\n[Other]\nx=1\ny=2\n", true},
      {"respaced, another key case and section case", "; comment=kept\n[paths]\nhome = C:\\NEW\nData=C:\\DATA\n[Other]\nx=1\ny=2\n", true},
      {"cut in the last section", "; comment=kept\n[Paths]\nHome=C:\\NEW\nData = C:\\DATA\n\n[Other]\nx=1\n", false},
      {"cut inside the new value", "; comment=kept\n[Paths]\nHome=C:\\NE", false},
      {"the old value kept", before, false},
      {"the value in another section", before + "[Elsewhere]\nHome=C:\\NEW\n", false},
      {"empty", "", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IniRewrittenWith(before, c.after, "Paths", "HOME", "C:\\NEW"), c.whole) << c.what;
  EXPECT_TRUE(IniRewrittenWith("", "[New]\nKey=v\n", "new", "key", " v ")) << "a new file, a new section";
  EXPECT_TRUE(IniRewrittenWith("[S]\nk=1\nk=2\n", "[S]\nk=3\nk=2\n", "S", "k", "3")) << "a second line of the key";
  EXPECT_TRUE(IniRewrittenWith("[A]B]\nk=1\n", "[A]B]\nk=2\n", "A]B", "k", "2")) << "a section name with \"]\"";
}

}  // namespace
