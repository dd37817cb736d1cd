// uidriver_window: finding and waiting for top-level windows, reading and setting control
// texts, clicking buttons, list and check box state.
#include "uidriver_internal.h"

#include <cstdio>
#include <cstdlib>

namespace {

bool InJob(const UiProcess* proc, DWORD pid) {
    if (pid == proc->pid) return true;
    if (!proc->job) return false;
    HANDLE handle = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!handle) return false;
    BOOL inJob = FALSE;
    IsProcessInJob(handle, proc->job, &inJob);
    CloseHandle(handle);
    return inJob != FALSE;
}

struct SearchState {
    const WindowQuery* query;
    HWND found;
};

BOOL CALLBACK MatchTopWindow(HWND window, LPARAM param) {
    SearchState* state = reinterpret_cast<SearchState*>(param);
    const WindowQuery& query = *state->query;
    if (!IsWindowVisible(window)) return TRUE;
    if (!query.className.empty() && WindowClass(window) != query.className) return TRUE;
    // A top-level caption is read from the server, without sending a message: a window of the
    // program that is being destroyed must not be asked to answer anything.
    char text[512] = "";
    GetWindowTextA(window, text, sizeof text);
    std::string caption = text;
    if (query.captionPrefix ? caption.compare(0, query.caption.size(), query.caption) != 0
                            : caption != query.caption) {
        return TRUE;
    }
    if (query.proc) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (!InJob(query.proc, pid)) return TRUE;
    }
    state->found = window;
    return FALSE;
}

BOOL CALLBACK DescribeOne(HWND window, LPARAM param) {
    if (!IsWindowVisible(window)) return TRUE;
    std::string* out = reinterpret_cast<std::string*>(param);
    std::string caption;
    SendGetText(window, &caption);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    RECT r = {};
    GetWindowRect(window, &r);
    char line[160];
    std::snprintf(line, sizeof line, " (%s, pid %lu, %ld,%ld %ldx%ld)\n", WindowClass(window).c_str(),
                  pid, r.left, r.top, r.right - r.left, r.bottom - r.top);
    *out += "  '" + caption + "'" + line;
    return TRUE;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM param) {
    auto* list = reinterpret_cast<std::pair<HWND, std::vector<HWND>*>*>(param);
    if (GetParent(child) == list->first) list->second->push_back(child);
    return TRUE;
}

std::string Describe(const WindowQuery& query) {
    std::string what = query.className == "#32770" ? "dialog" : "window";
    what += query.captionPrefix ? " with caption starting '" : " '";
    what += query.caption + "'";
    if (!query.className.empty() && query.className != "#32770") {
        what += " of class " + query.className;
    }
    if (query.proc) what += " of " + query.proc->name;
    return what;
}

}  // namespace

void SettleWindow(HWND window) {
    // A window turns visible before its program has handled the messages that follow (focus,
    // first paint): let the owner's queue run empty once, as a user's eye would.
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    HANDLE owner = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid);
    if (owner) {
        WaitForInputIdle(owner, 1000);
        CloseHandle(owner);
    }
    if (const char* value = std::getenv("WINEBENCH_SETTLE_MS")) Sleep(DWORD(std::atoi(value)));
}

std::string HandleName(HWND window) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", (void*)window);
    return text;
}

bool SendGetText(HWND window, std::string* text) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &length)) {
        return false;
    }
    std::vector<char> buffer(length + 2, '\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, buffer.size(), (LPARAM)buffer.data(),
                             SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied)) {
        return false;
    }
    text->assign(buffer.data(), copied < buffer.size() ? copied : buffer.size() - 1);
    return true;
}

std::string WindowClass(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

void CloseTopWindowsOfClass(const std::string& className, DWORD quietMs) {
    const DWORD start = GetTickCount();
    DWORD lastSeen = start;
    while (GetTickCount() - lastSeen < quietMs && GetTickCount() - start < 8000) {
        if (HWND window = FindTopWindow({nullptr, "", true, className})) {
            PostMessageA(window, WM_CLOSE, 0, 0);
            lastSeen = GetTickCount();
        }
        Sleep(100);
    }
}

HWND FindTopWindow(const WindowQuery& query) {
    SearchState state = {&query, nullptr};
    EnumWindows(MatchTopWindow, reinterpret_cast<LPARAM>(&state));
    return state.found;
}

::testing::AssertionResult WaitForWindow(const WindowQuery& query, HWND* found, DWORD timeoutMs) {
    DWORD limit = EffectiveTimeout(timeoutMs);
    DWORD start = GetTickCount();
    for (;;) {
        HWND window = FindTopWindow(query);
        if (window) {
            SettleWindow(window);
            if (found) *found = window;
            return ::testing::AssertionSuccess();
        }
        if (query.proc && query.proc->killed) {
            return ::testing::AssertionFailure()
                   << "waiting for " << Describe(query) << ": " << query.proc->name
                   << " was killed by the driver after an earlier failure";
        }
        if (query.proc && !IsRunning(*query.proc) && query.proc->process) {
            DWORD code = 0;
            GetExitCodeProcess(query.proc->process, &code);
            return FailAndClean("waiting for " + Describe(query) + ": " + query.proc->name +
                                " exited with code " + std::to_string(code));
        }
        if (Elapsed(start) >= limit) {
            return FailAndClean(Describe(query) + " did not appear within " +
                                std::to_string(limit) + " ms");
        }
        Sleep(20);
    }
}

::testing::AssertionResult WaitForWindow(UiProcess& proc, const std::string& caption, HWND* found,
                                         DWORD timeoutMs) {
    WindowQuery query;
    query.proc = &proc;
    query.caption = caption;
    return WaitForWindow(query, found, timeoutMs);
}

::testing::AssertionResult WaitForDialog(UiProcess& proc, const std::string& caption, HWND* found,
                                         DWORD timeoutMs) {
    WindowQuery query;
    query.proc = &proc;
    query.caption = caption;
    query.className = "#32770";
    return WaitForWindow(query, found, timeoutMs);
}

::testing::AssertionResult WaitForWindowGone(HWND window, DWORD timeoutMs) {
    DWORD limit = EffectiveTimeout(timeoutMs);
    DWORD start = GetTickCount();
    while (IsWindow(window) && IsWindowVisible(window)) {
        if (Elapsed(start) >= limit) {
            std::string caption;
            SendGetText(window, &caption);
            return FailAndClean("window '" + caption + "' did not close within " +
                                std::to_string(limit) + " ms");
        }
        Sleep(20);
    }
    return ::testing::AssertionSuccess();
}

std::string DescribeTopWindows() {
    std::string out;
    EnumWindows(DescribeOne, reinterpret_cast<LPARAM>(&out));
    return out;
}

::testing::AssertionResult ReadWindowText(HWND window, std::string* text) {
    if (!IsWindow(window)) {
        return ::testing::AssertionFailure() << "window " << HandleName(window) << " is gone";
    }
    if (!SendGetText(window, text)) {
        return ::testing::AssertionFailure()
               << "window " << HandleName(window) << " did not answer WM_GETTEXT";
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult GetWindowScreenRect(HWND window, RECT* rect) {
    if (!GetWindowRect(window, rect)) {
        return ::testing::AssertionFailure() << "window " << HandleName(window) << " is gone";
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult GetClientScreenRect(HWND window, RECT* rect) {
    RECT client = {};
    if (!GetClientRect(window, &client)) {
        return ::testing::AssertionFailure() << "window " << HandleName(window) << " is gone";
    }
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    *rect = {origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
    return ::testing::AssertionSuccess();
}

std::vector<ControlInfo> ListControls(HWND dialog) {
    std::vector<HWND> children;
    std::pair<HWND, std::vector<HWND>*> param(dialog, &children);
    EnumChildWindows(dialog, CollectChild, reinterpret_cast<LPARAM>(&param));
    std::vector<ControlInfo> controls;
    for (HWND child : children) {
        ControlInfo info;
        info.hwnd = child;
        info.id = GetDlgCtrlID(child);
        info.className = WindowClass(child);
        SendGetText(child, &info.text);
        info.style = DWORD(GetWindowLongA(child, GWL_STYLE));
        GetWindowRect(child, &info.rect);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&info.rect), 2);
        info.visible = IsWindowVisible(child) != FALSE;
        info.enabled = IsWindowEnabled(child) != FALSE;
        controls.push_back(info);
    }
    return controls;
}

::testing::AssertionResult FindControl(HWND dialog, int id, HWND* control) {
    if (!IsWindow(dialog)) {
        return ::testing::AssertionFailure() << "window " << HandleName(dialog) << " is gone";
    }
    HWND child = GetDlgItem(dialog, id);
    if (!child) {
        std::string ids;
        for (const ControlInfo& info : ListControls(dialog)) {
            ids += (ids.empty() ? "" : ", ") + std::to_string(info.id) + " " + info.className;
        }
        std::string caption;
        SendGetText(dialog, &caption);
        return ::testing::AssertionFailure() << "'" << caption << "' has no control " << id
                                             << " (controls: " << ids << ")";
    }
    if (control) *control = child;
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult GetControlInfo(HWND dialog, int id, ControlInfo* info) {
    HWND child = nullptr;
    auto found = FindControl(dialog, id, &child);
    if (!found) return found;
    for (const ControlInfo& candidate : ListControls(dialog)) {
        if (candidate.hwnd == child) {
            *info = candidate;
            return ::testing::AssertionSuccess();
        }
    }
    return ::testing::AssertionFailure() << "control " << id << " is not a direct child";
}

::testing::AssertionResult ReadControlText(HWND dialog, int id, std::string* text) {
    HWND child = nullptr;
    auto found = FindControl(dialog, id, &child);
    if (!found) return found;
    if (!SendGetText(child, text)) {
        return ::testing::AssertionFailure() << "control " << id << " did not answer WM_GETTEXT";
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult SetControlText(HWND dialog, int id, const std::string& text) {
    HWND child = nullptr;
    auto found = FindControl(dialog, id, &child);
    if (!found) return found;
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(child, WM_SETTEXT, 0, (LPARAM)text.c_str(), SMTO_ABORTIFHUNG,
                             kSendTimeoutMs, &result) ||
        !result) {
        return ::testing::AssertionFailure() << "WM_SETTEXT to control " << id << " failed";
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult WaitForControlText(HWND dialog, int id, const std::string& expected,
                                              DWORD timeoutMs) {
    DWORD limit = EffectiveTimeout(timeoutMs);
    DWORD start = GetTickCount();
    std::string text;
    for (;;) {
        auto read = ReadControlText(dialog, id, &text);
        if (!read) return read;
        if (text == expected) return ::testing::AssertionSuccess();
        if (Elapsed(start) >= limit) {
            return FailAndClean("control " + std::to_string(id) + " shows '" + text +
                                "', not '" + expected + "', after " + std::to_string(limit) +
                                " ms");
        }
        Sleep(20);
    }
}

::testing::AssertionResult ClickButton(HWND dialog, int id) {
    ControlInfo info;
    auto found = GetControlInfo(dialog, id, &info);
    if (!found) return found;
    if (!info.visible) {
        return ::testing::AssertionFailure() << "button " << id << " '" << info.text
                                             << "' is hidden";
    }
    if (!info.enabled) {
        return ::testing::AssertionFailure() << "button " << id << " '" << info.text
                                             << "' is disabled";
    }
    if (!PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)info.hwnd)) {
        return ::testing::AssertionFailure() << "posting the click on " << id << " failed";
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult PostCommand(HWND window, int id) {
    if (!PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0)) {
        return ::testing::AssertionFailure() << "posting WM_COMMAND " << id << " to "
                                             << HandleName(window) << " failed";
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult PostClose(HWND window) {
    if (!PostMessageA(window, WM_CLOSE, 0, 0)) {
        return ::testing::AssertionFailure() << "posting WM_CLOSE to " << HandleName(window)
                                             << " failed";
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult ReadCheck(HWND dialog, int id, int* state) {
    HWND child = nullptr;
    auto found = FindControl(dialog, id, &child);
    if (!found) return found;
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(child, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &result)) {
        return ::testing::AssertionFailure() << "control " << id << " did not answer BM_GETCHECK";
    }
    *state = int(result);
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult ReadListItems(HWND dialog, int id, std::vector<std::string>* items) {
    HWND child = nullptr;
    auto found = FindControl(dialog, id, &child);
    if (!found) return found;
    std::string cls = WindowClass(child);
    bool combo = _stricmp(cls.c_str(), "ComboBox") == 0;
    if (!combo && _stricmp(cls.c_str(), "ListBox") != 0) {
        return ::testing::AssertionFailure() << "control " << id << " is a " << cls
                                             << ", not a list box or combo box";
    }
    // The wide messages: Wine marshals the ANSI list texts across processes as UTF-16.
    UINT getCount = combo ? CB_GETCOUNT : LB_GETCOUNT;
    UINT getLength = combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN;
    UINT getText = combo ? CB_GETLBTEXT : LB_GETTEXT;
    DWORD_PTR count = 0;
    if (!SendMessageTimeoutW(child, getCount, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &count)) {
        return ::testing::AssertionFailure() << "control " << id << " did not answer";
    }
    items->clear();
    for (DWORD_PTR i = 0; i < count; ++i) {
        DWORD_PTR length = 0;
        SendMessageTimeoutW(child, getLength, i, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length);
        if (LONG_PTR(length) < 0 || length > 65536) {
            return ::testing::AssertionFailure() << "control " << id << ": item " << i
                                                 << " has no readable text";
        }
        std::vector<wchar_t> wide(length + 2, L'\0');
        DWORD_PTR copied = 0;
        SendMessageTimeoutW(child, getText, i, (LPARAM)wide.data(), SMTO_ABORTIFHUNG,
                            kSendTimeoutMs, &copied);
        std::vector<char> narrow(wide.size() * 2 + 1, '\0');
        WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, narrow.data(), int(narrow.size() - 1),
                            nullptr, nullptr);
        items->push_back(narrow.data());
    }
    return ::testing::AssertionSuccess();
}
