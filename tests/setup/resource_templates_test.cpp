// The resources inside the built setup.exe: the dialog templates EXTRACT, INIT and PREPARING
// (styles, sizes in dialog units, font, control ids, classes, rectangles and texts), the icon
// "MAIN" and the version information. Usage: setup_resources_test PATH\TO\setup.exe
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "setup/resources/resource_ids.h"
#include "uidriver.h"

namespace {

std::string SetupExePath;

struct DialogItem {
  DWORD style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  int id = 0;
  std::string className;  // "Button", "Static", ... for the predefined atoms
  std::string text;
};

struct DialogTemplate {
  DWORD style = 0;
  short cx = 0, cy = 0;
  std::string caption;
  int pointSize = 0;
  std::string font;
  std::vector<DialogItem> items;
};

// Reads a NUL-terminated UTF-16 string of ASCII text and moves past it.
std::string ReadWide(const WORD*& p) {
  std::string text;
  while (*p) text.push_back(static_cast<char>(*p++));
  ++p;
  return text;
}

// A DLGTEMPLATE as windres writes it for a DIALOG statement.
DialogTemplate ParseDialog(const void* data) {
  DialogTemplate d;
  auto* header = static_cast<const DLGTEMPLATE*>(data);
  d.style = header->style;
  d.cx = header->cx;
  d.cy = header->cy;
  const WORD* p = reinterpret_cast<const WORD*>(header + 1);
  if (*p == 0xFFFF) p += 2; else ReadWide(p);  // menu
  if (*p == 0xFFFF) p += 2; else ReadWide(p);  // class
  d.caption = ReadWide(p);
  if (d.style & DS_SETFONT) {
    d.pointSize = *p++;
    d.font = ReadWide(p);
  }
  for (int i = 0; i < header->cdit; ++i) {
    p = reinterpret_cast<const WORD*>((reinterpret_cast<uintptr_t>(p) + 3) & ~uintptr_t(3));
    auto* item = reinterpret_cast<const DLGITEMTEMPLATE*>(p);
    DialogItem it;
    it.style = item->style;
    it.x = item->x;
    it.y = item->y;
    it.cx = item->cx;
    it.cy = item->cy;
    it.id = static_cast<short>(item->id);
    p = reinterpret_cast<const WORD*>(item + 1);
    if (*p == 0xFFFF) {
      switch (p[1]) {
        case 0x0080: it.className = "Button"; break;
        case 0x0081: it.className = "Edit"; break;
        case 0x0082: it.className = "Static"; break;
        case 0x0083: it.className = "ListBox"; break;
        default: it.className = "atom" + std::to_string(p[1]); break;
      }
      p += 2;
    } else {
      it.className = ReadWide(p);
    }
    if (*p == 0xFFFF) p += 2; else it.text = ReadWide(p);
    p += 1 + *p / 2;  // creation data: size in bytes, then the data
    d.items.push_back(it);
  }
  return d;
}

class SetupResources : public ::testing::Test {
 protected:
  HMODULE module = nullptr;
  void SetUp() override {
    ASSERT_FALSE(SetupExePath.empty()) << "pass the path of setup.exe";
    module = LoadLibraryExA(SetupExePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << SetupExePath << ": error " << GetLastError();
  }
  void TearDown() override {
    if (module) FreeLibrary(module);
  }
  DialogTemplate Dialog(const char* name) {
    HRSRC resource = FindResourceA(module, name, reinterpret_cast<LPCSTR>(RT_DIALOG));
    EXPECT_NE(resource, nullptr) << name;
    if (!resource) return DialogTemplate();
    return ParseDialog(LockResource(LoadResource(module, resource)));
  }
};

void ExpectRect(const DialogItem& item, short x, short y, short cx, short cy) {
  EXPECT_EQ(item.x, x);
  EXPECT_EQ(item.y, y);
  EXPECT_EQ(item.cx, cx);
  EXPECT_EQ(item.cy, cy);
}

TEST_F(SetupResources, ExtractDialog) {
  DialogTemplate d = Dialog(DLG_EXTRACT);
  EXPECT_EQ(d.cx, 226);
  EXPECT_EQ(d.cy, 49);
  EXPECT_EQ(d.caption, "Setup - Initializing");
  EXPECT_EQ(d.pointSize, 8);
  EXPECT_EQ(d.font, "MS Sans Serif");
  EXPECT_EQ(d.style & (WS_CAPTION | WS_SYSMENU | DS_MODALFRAME), DWORD(WS_CAPTION | WS_SYSMENU | DS_MODALFRAME));
  ASSERT_EQ(d.items.size(), 3u);
  EXPECT_EQ(d.items[0].className, "Static");
  EXPECT_EQ(d.items[0].text, "Extracting Temporary Setup Files...");
  EXPECT_EQ(d.items[0].id, IDC_EXTRACT_TEXT);
  ExpectRect(d.items[0], 8, 8, 152, 8);
  EXPECT_EQ(d.items[1].className, "Button");
  EXPECT_EQ(d.items[1].id, IDCANCEL);
  EXPECT_EQ(d.items[1].text, "Cancel");
  ExpectRect(d.items[1], 168, 8, 50, 14);
  EXPECT_EQ(d.items[2].className, "SLIDEBAR");
  EXPECT_EQ(d.items[2].id, 1019);
  EXPECT_EQ(d.items[2].style & (WS_CHILD | WS_VISIBLE | WS_BORDER), DWORD(WS_CHILD | WS_VISIBLE | WS_BORDER));
  ExpectRect(d.items[2], 8, 32, 212, 10);
}

TEST_F(SetupResources, StatusDialogs) {
  DialogTemplate init = Dialog(DLG_INIT);
  EXPECT_EQ(init.cx, 112);
  EXPECT_EQ(init.cy, 24);
  EXPECT_EQ(init.style & WS_CAPTION, 0u) << "no caption";
  EXPECT_TRUE(init.style & DS_MODALFRAME);
  EXPECT_TRUE(init.style & WS_VISIBLE) << "INIT is visible by itself";
  EXPECT_EQ(init.font, "MS Sans Serif");
  EXPECT_EQ(init.pointSize, 8);
  ASSERT_EQ(init.items.size(), 1u);
  EXPECT_EQ(init.items[0].text, "Setup is initializing...");
  EXPECT_EQ(init.items[0].id, IDC_INIT_TEXT);
  EXPECT_EQ(init.items[0].style & SS_TYPEMASK, DWORD(SS_LEFT));
  ExpectRect(init.items[0], 4, 8, 104, 10);

  DialogTemplate preparing = Dialog(DLG_PREPARING);
  EXPECT_EQ(preparing.cx, 152);
  EXPECT_EQ(preparing.cy, 32);
  EXPECT_EQ(preparing.style & WS_CAPTION, 0u);
  EXPECT_TRUE(preparing.style & DS_MODALFRAME);
  EXPECT_FALSE(preparing.style & WS_VISIBLE) << "PREPARING is shown by ShowStatusDialog";
  ASSERT_EQ(preparing.items.size(), 1u);
  EXPECT_EQ(preparing.items[0].text, "Preparing to copy files...");
  EXPECT_EQ(preparing.items[0].id, IDC_PREPARING_TEXT);
  EXPECT_EQ(preparing.items[0].style & SS_TYPEMASK, DWORD(SS_CENTER));
  ExpectRect(preparing.items[0], 8, 12, 140, 10);
}

// The copy step's dialogs, control by control: class, id (0: the template's own id of a fixed
// text), text and rectangle in dialog units.
struct ExpectedItem {
  const char* className;
  int id;
  const char* text;
  short x, y, cx, cy;
};

struct ExpectedTemplate {
  const char* name;
  const char* caption;
  short cx, cy;
  std::vector<ExpectedItem> items;
};

TEST_F(SetupResources, CopyStepDialogs) {
  const ExpectedTemplate templates[] = {
      {DLG_GETDISK, "Setup needs the next disk", 212, 46,
       {{"Button", IDOK, "OK", 156, 6, 50, 14}, {"Button", IDCANCEL, "Cancel", 156, 26, 50, 14},
        {"Static", 0, "Please insert the disk titled", 8, 10, 136, 10}, {"Static", IDC_DISK_TITLE, "", 8, 26, 136, 10}}},
      {DLG_MISSFILES, "Incomplete Setup!", 296, 201,
       {{"Button", IDCANCEL, "Do not continue", 48, 180, 72, 14}, {"Button", IDOK, "Try to continue", 48, 160, 72, 14},
        {"ListBox", IDC_MISSING_LIST, "", 20, 20, 140, 123},
        {"Button", 0, "These files were not successfully copied", 8, 4, 164, 148},
        {"ListBox", IDC_CONTACT_LIST, "", 180, 92, 112, 108},
        {"Static", 0,
         "WARNING:  There were errors during this installation.  Your application may or may not function properly.  "
         "PLEASE CONTACT US AS SOON AS POSSIBLE SO WE MAY ASSIST YOU BY PROVIDING THE NECESSARY REPLACEMENT FILES.",
         180, 8, 112, 82}}},
      {DLG_FILECOPY, "Installing Files", 228, 99,
       {{"Static", 0, "Installing:", 8, 8, 52, 10}, {"Static", IDC_COPY_STATUS, "", 8, 26, 212, 28},
        {"Button", IDCANCEL, "Cancel", 172, 6, 50, 14}, {"SLIDEBAR", IDC_COPY_FILE_BAR, "", 8, 62, 212, 10},
        {"SLIDEBAR", IDC_COPY_TOTAL_BAR, "", 8, 80, 212, 10}}},
  };
  for (const ExpectedTemplate& expected : templates) {
    SCOPED_TRACE(expected.name);
    DialogTemplate d = Dialog(expected.name);
    EXPECT_EQ(d.caption, expected.caption);
    EXPECT_EQ(d.cx, expected.cx);
    EXPECT_EQ(d.cy, expected.cy);
    EXPECT_EQ(d.font, "MS Sans Serif");
    EXPECT_EQ(d.pointSize, 8);
    EXPECT_TRUE(d.style & DS_MODALFRAME);
    ASSERT_EQ(d.items.size(), expected.items.size());
    for (size_t i = 0; i < expected.items.size(); ++i) {
      const ExpectedItem& want = expected.items[i];
      SCOPED_TRACE(want.text);
      EXPECT_EQ(d.items[i].className, want.className);
      if (want.id != 0) {
        EXPECT_EQ(d.items[i].id, want.id);
      }
      EXPECT_EQ(d.items[i].text, want.text);
      ExpectRect(d.items[i], want.x, want.y, want.cx, want.cy);
    }
  }
  EXPECT_TRUE(Dialog(DLG_FILECOPY).style & WS_VISIBLE) << "FILECOPY is visible at creation";
  EXPECT_FALSE(Dialog(DLG_FILECOPY).style & WS_SYSMENU) << "no system menu";
  const DialogTemplate missing = Dialog(DLG_MISSFILES);
  EXPECT_TRUE(missing.items[2].style & LBS_SORT) << "the failed files are sorted";
  EXPECT_FALSE(missing.items[4].style & LBS_SORT) << "the contact lines keep their order";
  EXPECT_TRUE(missing.items[4].style & LBS_NOSEL);
}

TEST_F(SetupResources, IconAndVersionInformation) {
  EXPECT_NE(FindResourceA(module, ICON_MAIN, reinterpret_cast<LPCSTR>(RT_GROUP_ICON)), nullptr);
  HRSRC version = FindResourceA(module, MAKEINTRESOURCEA(1), reinterpret_cast<LPCSTR>(RT_VERSION));
  ASSERT_NE(version, nullptr);
  auto* block = static_cast<const BYTE*>(LockResource(LoadResource(module, version)));
  // VS_VERSIONINFO: length, value length, type, L"VS_VERSION_INFO", padding, VS_FIXEDFILEINFO.
  auto* fixed = reinterpret_cast<const VS_FIXEDFILEINFO*>(block + 40);
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileType, DWORD(VFT_APP));
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc > 1) SetupExePath = WinePathOfHostPath(argv[1]);
  return RUN_ALL_TESTS();
}
