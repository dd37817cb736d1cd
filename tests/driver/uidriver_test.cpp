// uidriver_test: drives selftest_app.exe through the driver under Wine: dialogs, controls,
// message boxes and their icons, pixels, personalities, and the failure path (screenshot, kill).
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "selftest_app_ids.h"
#include "uidriver.h"

namespace {

std::string AppPath() { return TestExeDirectory() + "\\selftest_app.exe"; }

std::string ReadTextFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Starts the app in a fresh private directory.
::testing::AssertionResult StartApp(UiProcess* proc, std::string* dir, const std::string& args,
                                    Personality personality = PERSONALITY_DEFAULT) {
    auto made = MakeTestDirectory(dir);
    if (!made) return made;
    StartOptions options;
    options.directory = *dir;
    options.arguments = args;
    options.personality = personality;
    options.environment = {"DRIVER_TEST_VALUE=forty-two"};
    return StartProgram(proc, AppPath(), options);
}

TEST(DriverDialog, ReadsSetsAndClicksThroughToTheExitCode) {
    UiProcess app;
    std::string dir;
    ASSERT_TRUE(StartApp(&app, &dir, ""));
    HWND dialog = nullptr;
    ASSERT_TRUE(WaitForDialog(app, "Driver Test", &dialog));

    // Started in the chosen directory, with the added environment value.
    std::string started = ReadTextFile(dir + "\\started.txt");
    EXPECT_NE(started.find("cwd=" + dir + "\n"), std::string::npos) << started;
    EXPECT_NE(started.find("env=forty-two\n"), std::string::npos) << started;

    std::string text;
    ASSERT_TRUE(ReadControlText(dialog, IDC_LABEL, &text));
    EXPECT_EQ("Name:", text);
    int check = -1;
    ASSERT_TRUE(ReadCheck(dialog, IDC_CHECK, &check));
    EXPECT_EQ(BST_CHECKED, check);
    std::vector<std::string> items;
    ASSERT_TRUE(ReadListItems(dialog, IDC_LIST, &items));
    EXPECT_EQ((std::vector<std::string>{"alpha", "beta"}), items);

    std::vector<ControlInfo> controls = ListControls(dialog);
    ASSERT_EQ(7u, controls.size());
    EXPECT_EQ(IDC_LABEL, controls[0].id);
    EXPECT_EQ(IDCANCEL, controls[6].id);
    EXPECT_STRCASEEQ("Edit", controls[1].className.c_str());
    EXPECT_FALSE(controls[4].enabled);

    // Edit controls of another process are read with WM_GETTEXT.
    ASSERT_TRUE(SetControlText(dialog, IDC_EDIT, "Wine bench"));
    ASSERT_TRUE(ReadControlText(dialog, IDC_EDIT, &text));
    EXPECT_EQ("Wine bench", text);
    EXPECT_TRUE(WaitForControlText(dialog, IDC_EDIT, "Wine bench", 2000));

    // Clicks a user could not make are refused with a reason.
    auto disabled = ClickButton(dialog, IDC_DISABLED);
    EXPECT_FALSE(disabled);
    EXPECT_NE(std::string(disabled.message()).find("disabled"), std::string::npos);
    auto missing = ClickButton(dialog, 999);
    EXPECT_FALSE(missing);
    EXPECT_NE(std::string(missing.message()).find("has no control 999"), std::string::npos);

    ASSERT_TRUE(ClickButton(dialog, IDOK));
    ASSERT_TRUE(WaitForWindowGone(dialog));
    MessageBoxInfo box;
    ASSERT_TRUE(WaitForMessageBox(app, &box, "Question"));
    EXPECT_EQ("You entered: Wine bench\nContinue?", box.text);
    EXPECT_EQ(MBICON_EXCLAMATION, box.icon);
    EXPECT_EQ("IDYES,IDNO", box.ButtonIds());
    ASSERT_EQ(2u, box.buttons.size());
    EXPECT_EQ("&Yes", box.buttons[0].text);
    ASSERT_TRUE(ClickButton(box.hwnd, IDYES));

    HWND colour = nullptr;
    ASSERT_TRUE(WaitForWindow(app, "Colour Window", &colour));
    ASSERT_TRUE(WaitForPixel(colour, 100, 100, RGB(0x12, 0x34, 0x56)));
    ASSERT_TRUE(WaitForPixel(colour, 10, 10, RGB(255, 128, 0)));
    WindowQuery byPrefix;
    byPrefix.caption = "Colour";
    byPrefix.captionPrefix = true;
    byPrefix.className = "DriverTestColour";
    EXPECT_EQ(colour, FindTopWindow(byPrefix));
    byPrefix.captionPrefix = false;
    EXPECT_EQ(nullptr, FindTopWindow(byPrefix));
    // Exactly the 20x20 square is orange.
    ASSERT_TRUE(WaitForClientImage(colour, [](const PixelImage& image, std::string* why) {
        int orange = 0;
        for (COLORREF p : image.pixels) orange += p == RGB(255, 128, 0);
        *why = std::to_string(orange) + " orange pixels";
        return orange == 400;
    }));
    // The square's edges, from one capture and from screen coordinates.
    PixelImage image;
    ASSERT_TRUE(CaptureClient(colour, &image));
    EXPECT_EQ(200, image.width);
    EXPECT_EQ(150, image.height);
    EXPECT_EQ(ColourName(RGB(255, 128, 0)), ColourName(image.At(29, 29)));
    EXPECT_EQ(ColourName(RGB(0x12, 0x34, 0x56)), ColourName(image.At(30, 29)));
    EXPECT_EQ(ColourName(RGB(0x12, 0x34, 0x56)), ColourName(image.At(9, 10)));
    RECT client;
    ASSERT_TRUE(GetClientScreenRect(colour, &client));
    COLORREF onScreen = 0;
    ASSERT_TRUE(ReadScreenPixel(client.left + 15, client.top + 15, &onScreen));
    EXPECT_EQ(ColourName(RGB(255, 128, 0)), ColourName(onScreen));
    auto outside = ReadClientPixel(colour, 200, 0, &onScreen);
    EXPECT_FALSE(outside);

    ASSERT_TRUE(PostClose(colour));
    DWORD code = 0;
    ASSERT_TRUE(WaitForExit(app, &code));
    EXPECT_EQ(DWORD(IDOK * 100 + IDYES), code);
}

TEST(DriverDialog, CancelAndNoGiveTheirOwnExitCodes) {
    UiProcess app;
    std::string dir;
    ASSERT_TRUE(StartApp(&app, &dir, ""));
    HWND dialog = nullptr;
    ASSERT_TRUE(WaitForDialog(app, "Driver Test", &dialog));
    ASSERT_TRUE(ClickButton(dialog, IDOK));
    ASSERT_TRUE(ExpectMessageBox(app, "You entered: \nContinue?", "Question", MBICON_EXCLAMATION,
                                 IDNO));
    DWORD code = 0;
    ASSERT_TRUE(WaitForExit(app, &code));
    EXPECT_EQ(DWORD(IDOK * 100 + IDNO), code);

    ASSERT_TRUE(StartApp(&app, &dir, ""));
    ASSERT_TRUE(WaitForDialog(app, "Driver Test", &dialog));
    ASSERT_TRUE(PostCommand(dialog, IDCANCEL));
    ASSERT_TRUE(WaitForExit(app, &code));
    EXPECT_EQ(DWORD(IDCANCEL * 100), code);
}

TEST(DriverMessageBox, RecognisesEachIconAndItsAbsence) {
    const struct {
        const char* name;
        MessageBoxIcon icon;
    } cases[] = {{"stop", MBICON_STOP},
                 {"question", MBICON_QUESTION},
                 {"exclamation", MBICON_EXCLAMATION},
                 {"information", MBICON_INFORMATION},
                 {"none", MBICON_NONE}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UiProcess app;
        std::string dir;
        ASSERT_TRUE(StartApp(&app, &dir, std::string("--box ") + c.name));
        MessageBoxInfo box;
        ASSERT_TRUE(WaitForMessageBox(app, &box));
        EXPECT_EQ("Icon", box.caption);
        EXPECT_EQ("Icon test", box.text);
        EXPECT_EQ("IDOK,IDCANCEL", box.ButtonIds());
        EXPECT_STREQ(MessageBoxIconName(c.icon), MessageBoxIconName(box.icon));
        ASSERT_TRUE(ClickButton(box.hwnd, c.icon == MBICON_STOP ? IDCANCEL : IDOK));
        DWORD code = 0;
        ASSERT_TRUE(WaitForExit(app, &code));
        EXPECT_EQ(DWORD(c.icon == MBICON_STOP ? IDCANCEL : IDOK), code);
    }
}

TEST(DriverFailure, TimeOutSavesAScreenshotAndKillsTheProgram) {
    UiProcess app;
    std::string dir;
    ASSERT_TRUE(StartApp(&app, &dir, "--hang"));
    HWND dialog = nullptr;
    ASSERT_TRUE(WaitForDialog(app, "Driver Test", &dialog));
    ASSERT_TRUE(ClickButton(dialog, IDOK));  // ignored by the hanging dialog

    DWORD code = 0;
    auto waited = WaitForExit(app, &code, 500);
    ASSERT_FALSE(waited);
    std::string message = waited.message();
    EXPECT_NE(message.find("did not exit within 500 ms"), std::string::npos) << message;
    EXPECT_NE(message.find("'Driver Test' (#32770"), std::string::npos) << message;
    EXPECT_FALSE(IsRunning(app));
    EXPECT_FALSE(IsWindow(dialog));

    size_t at = message.find("screenshot: ");
    ASSERT_NE(at, std::string::npos) << message;
    std::string shot = message.substr(at + 12, message.find('\n', at) - at - 12);
    std::string png = ReadTextFile(shot);
    ASSERT_GE(png.size(), 24u) << shot;
    EXPECT_EQ(std::string("\x89PNG\r\n\x1a\n", 8), png.substr(0, 8));
    // IHDR: the whole screen.
    auto big32 = [&](size_t i) {
        return (unsigned(png[i] & 0xFF) << 24) | (unsigned(png[i + 1] & 0xFF) << 16) |
               (unsigned(png[i + 2] & 0xFF) << 8) | unsigned(png[i + 3] & 0xFF);
    };
    EXPECT_EQ(unsigned(GetSystemMetrics(SM_CXSCREEN)), big32(16));
    EXPECT_EQ(unsigned(GetSystemMetrics(SM_CYSCREEN)), big32(20));

    // Later waits on the killed program fail at once instead of waiting out their time-out.
    auto after = WaitForDialog(app, "Driver Test", &dialog, 60000);
    EXPECT_FALSE(after);
    EXPECT_NE(std::string(after.message()).find("killed"), std::string::npos);
}

TEST(DriverFailure, MissingWindowNamesWhatWasVisible) {
    UiProcess app;
    std::string dir;
    ASSERT_TRUE(StartApp(&app, &dir, ""));
    HWND dialog = nullptr;
    auto waited = WaitForDialog(app, "No Such Dialog", &dialog, 1500);
    ASSERT_FALSE(waited);
    std::string message = waited.message();
    EXPECT_NE(message.find("dialog 'No Such Dialog' of selftest_app.exe did not appear within "
                           "1500 ms"),
              std::string::npos)
        << message;
    EXPECT_NE(message.find("'Driver Test' (#32770"), std::string::npos) << message;
    EXPECT_FALSE(IsRunning(app));
}

TEST(Personality, ProgramSeesTheChosenVersion) {
    const struct {
        Personality personality;
        const char* version;
    } cases[] = {{PERSONALITY_WIN32S, "3.10 platform 0 csd \"Win32s 1.3\""},
                 {PERSONALITY_WIN95, "4.0 platform 1 csd \"\""},
                 {PERSONALITY_WIN98, "4.10 platform 1 csd \" A \""},
                 {PERSONALITY_NT351, "3.51 platform 2 csd \"Service Pack 5\""},
                 {PERSONALITY_NT4, "4.0 platform 2 csd \"Service Pack 6a\""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(PersonalitySuffix(c.personality));
        UiProcess app;
        std::string dir;
        ASSERT_TRUE(StartApp(&app, &dir, "--box none", c.personality));
        EXPECT_EQ(std::string("selftest_app_") + PersonalitySuffix(c.personality) + ".exe",
                  app.name);
        MessageBoxInfo box;
        ASSERT_TRUE(WaitForMessageBox(app, &box, "Icon"));
        std::string started = ReadTextFile(dir + "\\started.txt");
        EXPECT_NE(started.find(std::string("version=") + c.version + "\n"), std::string::npos)
            << started;
        ASSERT_TRUE(ClickButton(box.hwnd, IDOK));
        DWORD code = 0;
        ASSERT_TRUE(WaitForExit(app, &code));
    }
}

TEST(Personality, Nt351ServicePack4) {
    UiProcess app;
    std::string dir;
    auto started = StartApp(&app, &dir, "--box none", PERSONALITY_NT351SP4);
    if (!IsSp4Prefix()) {
        // Only the sp4 prefix variant can show this version; elsewhere the start is refused.
        ASSERT_FALSE(started);
        EXPECT_NE(std::string(started.message()).find("PREFIX sp4"), std::string::npos);
        return;
    }
    ASSERT_TRUE(started);
    MessageBoxInfo box;
    ASSERT_TRUE(WaitForMessageBox(app, &box, "Icon"));
    std::string text = ReadTextFile(dir + "\\started.txt");
    EXPECT_NE(text.find("version=3.51 platform 2 csd \"Service Pack 4\"\n"), std::string::npos)
        << text;
    ASSERT_TRUE(ClickButton(box.hwnd, IDOK));
    DWORD code = 0;
    ASSERT_TRUE(WaitForExit(app, &code));
}

}  // namespace

TEST(DriverFiles, ReadOnlyProbeMatchesTheUnixUser) {
    // Unix root writes through the read-only attribute; any other user does not.
    const char* uid = std::getenv("WINEBENCH_UNIX_UID");
    ASSERT_NE(nullptr, uid) << "run through winerun";
    EXPECT_EQ(std::string(uid) != "0", ReadOnlyFilesAreProtected()) << "uid " << uid;

    std::string dir;
    ASSERT_TRUE(MakeTestDirectory(&dir));
    std::string nested = dir + "\\a\\b";
    ASSERT_TRUE(CreateDirectoryA((dir + "\\a").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(nested.c_str(), nullptr));
    std::FILE* f = std::fopen((nested + "\\ro.txt").c_str(), "wb");
    ASSERT_NE(nullptr, f);
    std::fclose(f);
    ASSERT_TRUE(SetFileAttributesA((nested + "\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(RemoveTree(dir));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(dir.c_str()));
}

// Run only by driver.orphans (winerun kills this test program on its time-out): whatever the
// driver started must end with it.
TEST(DriverOrphan, DISABLED_StartsTheAppAndHangs) {
    UiProcess app;
    std::string dir;
    ASSERT_TRUE(StartApp(&app, &dir, "--hang"));
    HWND dialog = nullptr;
    ASSERT_TRUE(WaitForDialog(app, "Driver Test", &dialog));
    std::printf("app started: pid %lu\n", app.pid);
    Sleep(INFINITE);
}
