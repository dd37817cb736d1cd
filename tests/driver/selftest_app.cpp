// selftest_app: the GUI program the driver's self-test drives. It writes "started.txt" into
// its current directory (directory, version, DRIVER_TEST_VALUE), then by mode:
//   (none)       dialog "Driver Test" -> OK -> message box "Question" (Yes/No) -> on Yes a
//                window "Colour Window" painted RGB(0x12,0x34,0x56) with an orange 20x20
//                square at 10,10; exit code = dialog result * 100 + message box result
//   --box ICON   one message box "Icon test" / "Icon" (OK/Cancel) with ICON = stop, question,
//                exclamation, information or none; exit code = its result
//   --hang       the dialog, and nothing ends it but a kill
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "selftest_app_ids.h"

namespace {

const COLORREF kBackground = RGB(0x12, 0x34, 0x56);
const COLORREF kSquare = RGB(255, 128, 0);
std::string g_entered;

void WriteStartedFile() {
    char cwd[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof cwd, cwd);
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExA(&info);
    char value[64] = "(unset)";
    GetEnvironmentVariableA("DRIVER_TEST_VALUE", value, sizeof value);
    std::FILE* f = std::fopen("started.txt", "wb");
    if (!f) return;
    std::fprintf(f, "cwd=%s\nversion=%lu.%lu platform %lu csd \"%s\"\nenv=%s\n", cwd,
                 info.dwMajorVersion, info.dwMinorVersion, info.dwPlatformId,
                 info.szCSDVersion, value);
    std::fclose(f);
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        CheckDlgButton(dialog, IDC_CHECK, BST_CHECKED);
        SendDlgItemMessageA(dialog, IDC_LIST, LB_ADDSTRING, 0, (LPARAM) "alpha");
        SendDlgItemMessageA(dialog, IDC_LIST, LB_ADDSTRING, 0, (LPARAM) "beta");
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            char text[256] = {};
            GetDlgItemTextA(dialog, IDC_EDIT, text, sizeof text);
            g_entered = text;
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        break;
    }
    return FALSE;
}

INT_PTR CALLBACK HangProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;  // ignores OK, Cancel and close
}

LRESULT CALLBACK ColourProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        RECT client;
        GetClientRect(window, &client);
        HBRUSH background = CreateSolidBrush(kBackground);
        FillRect(dc, &client, background);
        DeleteObject(background);
        RECT square = {10, 10, 30, 30};
        HBRUSH orange = CreateSolidBrush(kSquare);
        FillRect(dc, &square, orange);
        DeleteObject(orange);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void ShowColourWindow(HINSTANCE instance) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ColourProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = "DriverTestColour";
    RegisterClassA(&wc);
    RECT frame = {0, 0, 200, 150};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    HWND window = CreateWindowA("DriverTestColour", "Colour Window", WS_OVERLAPPEDWINDOW, 100,
                                100, frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                nullptr, instance, nullptr);
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

UINT IconStyle(const char* name) {
    if (std::strcmp(name, "stop") == 0) return MB_ICONSTOP;
    if (std::strcmp(name, "question") == 0) return MB_ICONQUESTION;
    if (std::strcmp(name, "exclamation") == 0) return MB_ICONEXCLAMATION;
    if (std::strcmp(name, "information") == 0) return MB_ICONINFORMATION;
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    WriteStartedFile();
    if (std::strncmp(commandLine, "--box ", 6) == 0) {
        return MessageBoxA(nullptr, "Icon test", "Icon", MB_OKCANCEL | IconStyle(commandLine + 6));
    }
    if (std::strcmp(commandLine, "--hang") == 0) {
        DialogBoxA(instance, MAKEINTRESOURCEA(IDD_DRIVERTEST), nullptr, HangProc);
        return 3;
    }
    INT_PTR dialogResult =
        DialogBoxA(instance, MAKEINTRESOURCEA(IDD_DRIVERTEST), nullptr, DialogProc);
    if (dialogResult != IDOK) return int(dialogResult) * 100;
    std::string question = "You entered: " + g_entered + "\nContinue?";
    int answer = MessageBoxA(nullptr, question.c_str(), "Question", MB_YESNO | MB_ICONEXCLAMATION);
    if (answer == IDYES) ShowColourWindow(instance);
    return int(dialogResult) * 100 + answer;
}
