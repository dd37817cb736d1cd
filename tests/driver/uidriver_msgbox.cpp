// uidriver_msgbox: finding and reading message boxes (text, caption, buttons, icon recognised
// by comparing the shown pixels with the system icons drawn here), and answering them.
#include "uidriver_internal.h"

#include <algorithm>

namespace {

const int kTextId = 0xFFFF;     // the message text, in Windows and Wine alike
const int kIconIdWine = 0x440;  // the icon static in Wine's message box
const int kIconIdWindows = 0x14;

bool IsMessageBox(HWND window) {
    if (WindowClass(window) != "#32770") return false;
    HWND text = GetDlgItem(window, kTextId);
    return text && _stricmp(WindowClass(text).c_str(), "Static") == 0;
}

struct BoxSearch {
    const UiProcess* proc;
    const std::string* caption;
    HWND found;
};

BOOL CALLBACK MatchBox(HWND window, LPARAM param) {
    BoxSearch* search = reinterpret_cast<BoxSearch*>(param);
    if (!IsWindowVisible(window) || !IsMessageBox(window)) return TRUE;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (search->proc && pid != search->proc->pid) {
        // Children of the program (its job) count too.
        BOOL inJob = FALSE;
        HANDLE handle = search->proc->job
                            ? OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid)
                            : nullptr;
        if (handle) {
            IsProcessInJob(handle, search->proc->job, &inJob);
            CloseHandle(handle);
        }
        if (!inJob) return TRUE;
    }
    if (!search->caption->empty()) {
        std::string caption;
        if (!SendGetText(window, &caption) || caption != *search->caption) return TRUE;
    }
    search->found = window;
    return FALSE;
}

// Share of equal pixels between the captured icon and `icon` drawn on the same background.
double IconMatch(const PixelImage& shown, HICON icon, int drawSize) {
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
    bmi.bmiHeader.biWidth = shown.width;
    bmi.bmiHeader.biHeight = -shown.height;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    double share = 0;
    if (memory && bitmap && bits) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        HBRUSH background = CreateSolidBrush(shown.At(0, 0));
        RECT all = {0, 0, shown.width, shown.height};
        FillRect(memory, &all, background);
        DeleteObject(background);
        DrawIconEx(memory, 0, 0, icon, drawSize, drawSize, 0, nullptr, DI_NORMAL);
        GdiFlush();
        const DWORD* drawn = static_cast<const DWORD*>(bits);
        size_t equal = 0;
        for (size_t i = 0; i < shown.pixels.size(); ++i) {
            DWORD p = drawn[i];
            if (RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF) == shown.pixels[i]) ++equal;
        }
        share = double(equal) / double(shown.pixels.size());
        SelectObject(memory, old);
    }
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return share;
}

// Recognises the icon once it has been painted (polls up to one second).
MessageBoxIcon RecogniseIcon(HWND box) {
    HWND iconControl = GetDlgItem(box, kIconIdWine);
    if (!iconControl) iconControl = GetDlgItem(box, kIconIdWindows);
    if (!iconControl || !IsWindowVisible(iconControl)) return MBICON_NONE;
    if ((GetWindowLongA(iconControl, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) return MBICON_NONE;
    // Wine keeps a visible icon control without an icon when the box has none.
    DWORD_PTR hasIcon = 0;
    if (SendMessageTimeoutA(iconControl, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                            &hasIcon) &&
        hasIcon == 0) {
        return MBICON_NONE;
    }
    RECT client = {};
    GetClientRect(iconControl, &client);
    if (client.right <= 0 || client.bottom <= 0) return MBICON_NONE;

    static const struct {
        LPCSTR id;
        MessageBoxIcon icon;
    } kCandidates[] = {{IDI_HAND, MBICON_STOP},
                       {IDI_QUESTION, MBICON_QUESTION},
                       {IDI_EXCLAMATION, MBICON_EXCLAMATION},
                       {IDI_ASTERISK, MBICON_INFORMATION}};
    DWORD start = GetTickCount();
    for (;;) {
        PixelImage shown;
        if (CaptureClient(iconControl, &shown)) {
            MessageBoxIcon best = MBICON_UNKNOWN;
            double bestShare = 0.0;
            for (const auto& candidate : kCandidates) {
                HICON icon = LoadIconA(nullptr, candidate.id);
                for (int size : {GetSystemMetrics(SM_CXICON), int(client.right)}) {
                    double share = IconMatch(shown, icon, size);
                    if (share > bestShare) {
                        bestShare = share;
                        best = candidate.icon;
                    }
                }
            }
            if (bestShare >= 0.97) return best;
        }
        if (Elapsed(start) >= 1000) return MBICON_UNKNOWN;
        Sleep(20);
    }
}

const char* ButtonIdName(int id) {
    switch (id) {
    case IDOK: return "IDOK";
    case IDCANCEL: return "IDCANCEL";
    case IDABORT: return "IDABORT";
    case IDRETRY: return "IDRETRY";
    case IDIGNORE: return "IDIGNORE";
    case IDYES: return "IDYES";
    case IDNO: return "IDNO";
    default: return nullptr;
    }
}

}  // namespace

const char* MessageBoxIconName(MessageBoxIcon icon) {
    switch (icon) {
    case MBICON_NONE: return "none";
    case MBICON_STOP: return "stop";
    case MBICON_QUESTION: return "question";
    case MBICON_EXCLAMATION: return "exclamation";
    case MBICON_INFORMATION: return "information";
    case MBICON_UNKNOWN: break;
    }
    return "unknown";
}

bool MessageBoxInfo::HasButton(int id) const {
    return std::any_of(buttons.begin(), buttons.end(),
                       [id](const MessageBoxButton& b) { return b.id == id; });
}

std::string MessageBoxInfo::ButtonIds() const {
    std::string out;
    for (const MessageBoxButton& b : buttons) {
        const char* name = ButtonIdName(b.id);
        out += (out.empty() ? "" : ",") + (name ? std::string(name) : std::to_string(b.id));
    }
    return out;
}

::testing::AssertionResult ReadMessageBox(HWND box, MessageBoxInfo* info) {
    if (!IsWindow(box) || !IsMessageBox(box)) {
        return ::testing::AssertionFailure() << "window " << HandleName(box)
                                             << " is not a message box";
    }
    MessageBoxInfo result;
    result.hwnd = box;
    GetWindowThreadProcessId(box, &result.pid);
    if (!SendGetText(box, &result.caption) ||
        !SendGetText(GetDlgItem(box, kTextId), &result.text)) {
        return ::testing::AssertionFailure() << "the message box did not answer WM_GETTEXT";
    }
    std::vector<ControlInfo> controls = ListControls(box);
    std::vector<ControlInfo> buttons;
    for (const ControlInfo& c : controls) {
        if (_stricmp(c.className.c_str(), "Button") == 0 && c.visible) buttons.push_back(c);
    }
    std::stable_sort(buttons.begin(), buttons.end(), [](const ControlInfo& a, const ControlInfo& b) {
        return a.rect.left < b.rect.left;
    });
    for (const ControlInfo& c : buttons) result.buttons.push_back({c.id, c.text});
    result.icon = RecogniseIcon(box);
    *info = result;
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult WaitForMessageBox(UiProcess& proc, MessageBoxInfo* info,
                                             const std::string& caption, DWORD timeoutMs) {
    DWORD limit = EffectiveTimeout(timeoutMs);
    DWORD start = GetTickCount();
    std::string what = caption.empty() ? "a message box" : "message box '" + caption + "'";
    for (;;) {
        BoxSearch search = {&proc, &caption, nullptr};
        EnumWindows(MatchBox, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            SettleWindow(search.found);
            return ReadMessageBox(search.found, info);
        }
        if (proc.killed) {
            return ::testing::AssertionFailure() << "waiting for " << what << ": " << proc.name
                                                 << " was killed after an earlier failure";
        }
        if (!IsRunning(proc)) {
            DWORD code = 0;
            GetExitCodeProcess(proc.process, &code);
            return FailAndClean("waiting for " + what + ": " + proc.name + " exited with code " +
                                std::to_string(code));
        }
        if (Elapsed(start) >= limit) {
            return FailAndClean(what + " of " + proc.name + " did not appear within " +
                                std::to_string(limit) + " ms");
        }
        Sleep(20);
    }
}

::testing::AssertionResult ExpectMessageBox(UiProcess& proc, const std::string& text,
                                            const std::string& caption, MessageBoxIcon icon,
                                            int answer, DWORD timeoutMs) {
    MessageBoxInfo box;
    auto found = WaitForMessageBox(proc, &box, std::string(), timeoutMs);
    if (!found) return found;
    std::string problems;
    if (box.text != text) problems += "\n  text:    '" + box.text + "'\n  expected '" + text + "'";
    if (box.caption != caption) {
        problems += "\n  caption: '" + box.caption + "', expected '" + caption + "'";
    }
    if (box.icon != icon) {
        problems += std::string("\n  icon: ") + MessageBoxIconName(box.icon) + ", expected " +
                    MessageBoxIconName(icon);
    }
    if (!box.HasButton(answer)) {
        problems += "\n  no button " + std::to_string(answer) + " (buttons " + box.ButtonIds() + ")";
    }
    if (!problems.empty()) return FailAndClean("unexpected message box:" + problems);
    return ClickButton(box.hwnd, answer);
}
