// uidriver_files: small helpers for tests: the test program's directory, private scratch
// directories, deleting trees, and polling an arbitrary condition.
#include "uidriver_internal.h"

namespace {

std::string Environment(const char* name) {
    char buffer[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
    return n > 0 && n < sizeof buffer ? std::string(buffer) : std::string();
}

}  // namespace

std::string TestExeDirectory() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string dir = path;
    size_t slash = dir.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : dir.substr(0, slash);
}

std::string WinePathOfHostPath(std::string path) {
    if (path.empty() || path[0] != '/') return path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return "Z:" + path;
}

bool ReadOnlyFilesAreProtected() {
    static int protectedState = -1;
    if (protectedState >= 0) return protectedState == 1;
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    std::string path = std::string(temp) + "uidriver-readonly-probe.txt";
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    protectedState = file == INVALID_HANDLE_VALUE ? 1 : 0;
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
    return protectedState == 1;
}

bool RemoveTree(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                std::string name = data.cFileName;
                if (name == "." || name == "..") continue;
                RemoveTree(path + "\\" + name);
            } while (FindNextFileA(find, &data));
            FindClose(find);
        }
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        RemoveDirectoryA(path.c_str());
    } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
    }
    return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

::testing::AssertionResult MakeTestDirectory(std::string* path) {
    std::string base = Environment("WINEBENCH_SCRATCH");
    if (base.empty()) {
        char temp[MAX_PATH] = {};
        GetTempPathA(sizeof temp, temp);
        base = temp;
        if (!base.empty() && base.back() == '\\') base.pop_back();
    }
    CreateDirectoryA(base.c_str(), nullptr);
    std::string name = "driver";
    if (const ::testing::TestInfo* info =
            ::testing::UnitTest::GetInstance()->current_test_info()) {
        name = std::string(info->test_suite_name()) + "." + info->name();
    }
    for (char& c : name) {
        if (!isalnum((unsigned char)c) && c != '.' && c != '-' && c != '_') c = '_';
    }
    std::string dir = base + "\\" + name;
    if (!RemoveTree(dir)) {
        return ::testing::AssertionFailure() << "cannot empty " << dir;
    }
    if (!CreateDirectoryA(dir.c_str(), nullptr)) {
        return ::testing::AssertionFailure() << "cannot create " << dir << ": error "
                                             << GetLastError();
    }
    *path = dir;
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult WaitUntil(const std::function<bool()>& condition,
                                     const std::string& what, DWORD timeoutMs) {
    DWORD limit = EffectiveTimeout(timeoutMs);
    DWORD start = GetTickCount();
    while (!condition()) {
        if (Elapsed(start) >= limit) {
            return FailAndClean(what + " did not happen within " + std::to_string(limit) + " ms");
        }
        Sleep(20);
    }
    return ::testing::AssertionSuccess();
}
