// uidriver_process: personalities, starting programs in a kill-on-close job, waiting for their
// exit, and the failure path that saves a screenshot and kills everything the driver started.
#include "uidriver_internal.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>

namespace {

// Programs started and not yet released, so that any failure can kill them.
std::vector<UiProcess*>& LiveProcesses() {
    static std::vector<UiProcess*> live;
    return live;
}

void Forget(UiProcess* proc) {
    auto& live = LiveProcesses();
    live.erase(std::remove(live.begin(), live.end(), proc), live.end());
}

void CloseHandles(UiProcess& proc) {
    if (proc.process) CloseHandle(proc.process);
    if (proc.job) CloseHandle(proc.job);
    proc.process = nullptr;
    proc.job = nullptr;
}

std::string LastErrorText(const char* what) {
    return std::string(what) + " failed, error " + std::to_string(GetLastError());
}

std::string Upper(std::string s) {
    for (char& c : s) c = char(toupper((unsigned char)c));
    return s;
}

// The driver's environment with the overrides applied, as a double-NUL-terminated block.
std::vector<char> BuildEnvironment(const std::vector<std::string>& overrides) {
    std::map<std::string, std::string> byName;  // key: upper-case name
    std::map<std::string, std::string> spelled;
    char* block = GetEnvironmentStringsA();
    for (const char* p = block; p && *p; p += std::strlen(p) + 1) {
        std::string entry = p;
        size_t eq = entry.find('=', 1);  // "=C:=C:\x" entries start with '='
        if (eq == std::string::npos) continue;
        std::string name = entry.substr(0, eq);
        byName[Upper(name)] = entry.substr(eq + 1);
        spelled[Upper(name)] = name;
    }
    if (block) FreeEnvironmentStringsA(block);
    for (const std::string& entry : overrides) {
        size_t eq = entry.find('=');
        if (eq == std::string::npos || eq == 0) continue;
        std::string name = entry.substr(0, eq);
        std::string value = entry.substr(eq + 1);
        if (value.empty()) {
            byName.erase(Upper(name));
        } else {
            byName[Upper(name)] = value;
            spelled[Upper(name)] = name;
        }
    }
    std::vector<char> out;
    for (const auto& item : byName) {  // sorted by upper-case name, as Windows expects
        std::string entry = spelled[item.first] + "=" + item.second;
        out.insert(out.end(), entry.begin(), entry.end());
        out.push_back('\0');
    }
    out.push_back('\0');
    if (out.size() == 1) out.push_back('\0');
    return out;
}

std::string DirectoryOf(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

}  // namespace

const char* PersonalitySuffix(Personality personality) {
    switch (personality) {
    case PERSONALITY_WIN32S: return "win32s";
    case PERSONALITY_WIN95: return "win95";
    case PERSONALITY_WIN98: return "win98";
    case PERSONALITY_NT351: return "nt351";
    case PERSONALITY_NT4: return "nt4";
    case PERSONALITY_NT351SP4: return "nt351sp4";
    case PERSONALITY_DEFAULT: break;
    }
    return "";
}

std::string PersonalityExeName(const std::string& exePath, Personality personality) {
    size_t slash = exePath.find_last_of("\\/");
    std::string name = slash == std::string::npos ? exePath : exePath.substr(slash + 1);
    if (personality == PERSONALITY_DEFAULT) return name;
    std::string base = name;
    if (base.size() > 4 && Upper(base.substr(base.size() - 4)) == ".EXE") {
        base.resize(base.size() - 4);
    }
    return base + "_" + PersonalitySuffix(personality) + ".exe";
}

::testing::AssertionResult RegisterPersonality(const std::string& exeName,
                                               Personality personality) {
    static const char* const kWineVersion[] = {"", "win31", "win95", "win98", "nt351", "nt40", ""};
    std::string key = "Software\\Wine\\AppDefaults\\" + exeName;
    HKEY handle = nullptr;
    LONG rc = RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &handle, nullptr);
    if (rc != ERROR_SUCCESS) {
        return ::testing::AssertionFailure() << "cannot create HKCU\\" << key << ": error " << rc;
    }
    const char* version = kWineVersion[personality];
    if (*version) {
        rc = RegSetValueExA(handle, "Version", 0, REG_SZ, (const BYTE*)version,
                            DWORD(std::strlen(version) + 1));
    } else {
        rc = RegDeleteValueA(handle, "Version");
        if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;
    }
    RegCloseKey(handle);
    if (rc != ERROR_SUCCESS) {
        return ::testing::AssertionFailure() << "cannot set the version of " << exeName
                                             << ": error " << rc;
    }
    return ::testing::AssertionSuccess();
}

bool IsSp4Prefix() {
    char value[64] = {};
    DWORD size = sizeof value - 1;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion", 0,
                      KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    bool sp4 = RegQueryValueExA(key, "CSDVersion", nullptr, nullptr, (BYTE*)value, &size) ==
                   ERROR_SUCCESS &&
               std::strcmp(value, "Service Pack 4") == 0;
    size = sizeof value - 1;
    std::memset(value, 0, sizeof value);
    sp4 = sp4 &&
          RegQueryValueExA(key, "CurrentVersion", nullptr, nullptr, (BYTE*)value, &size) ==
              ERROR_SUCCESS &&
          std::strcmp(value, "3.51") == 0;
    RegCloseKey(key);
    return sp4;
}

DWORD DefaultTimeoutMs() {
    const char* value = std::getenv("WINEBENCH_WAIT_MS");
    if (value && *value) {
        long ms = std::strtol(value, nullptr, 10);
        if (ms > 0) return DWORD(ms);
    }
    return 20000;
}

DWORD EffectiveTimeout(DWORD timeoutMs) { return timeoutMs ? timeoutMs : DefaultTimeoutMs(); }

UiProcess::UiProcess(UiProcess&& other) noexcept { *this = std::move(other); }

UiProcess& UiProcess::operator=(UiProcess&& other) noexcept {
    if (this == &other) return *this;
    if (process) KillProgram(*this);
    CloseHandles(*this);
    Forget(this);
    process = other.process;
    job = other.job;
    pid = other.pid;
    exePath = std::move(other.exePath);
    name = std::move(other.name);
    killed = other.killed;
    other.process = nullptr;
    other.job = nullptr;
    other.pid = 0;
    bool wasLive = std::find(LiveProcesses().begin(), LiveProcesses().end(), &other) !=
                   LiveProcesses().end();
    Forget(&other);
    if (wasLive) LiveProcesses().push_back(this);
    return *this;
}

UiProcess::~UiProcess() {
    if (process) KillProgram(*this);
    CloseHandles(*this);
    Forget(this);
}

::testing::AssertionResult StartProgram(UiProcess* proc, const std::string& exePath,
                                        const StartOptions& options) {
    if (proc->process) KillProgram(*proc);
    CloseHandles(*proc);
    Forget(proc);
    proc->killed = false;

    std::string path = exePath;
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return ::testing::AssertionFailure() << "program not found: " << path;
    }
    if (options.personality == PERSONALITY_NT351SP4 && !IsSp4Prefix()) {
        return ::testing::AssertionFailure()
               << "the NT 3.51 \"Service Pack 4\" personality needs the sp4 prefix variant: "
                  "register the test with add_wine_test(... PREFIX sp4)";
    }
    if (options.personality != PERSONALITY_DEFAULT) {
        std::string copy = DirectoryOf(path) + "\\" + PersonalityExeName(path, options.personality);
        if (!CopyFileA(path.c_str(), copy.c_str(), FALSE)) {
            return ::testing::AssertionFailure()
                   << LastErrorText("copying the program") << ": " << path << " -> " << copy;
        }
        auto registered = RegisterPersonality(PersonalityExeName(path, options.personality),
                                              options.personality);
        if (!registered) return registered;
        path = copy;
    }

    std::string directory = options.directory.empty() ? DirectoryOf(path) : options.directory;
    std::string commandLine = "\"" + path + "\"";
    if (!options.arguments.empty()) commandLine += " " + options.arguments;
    std::vector<char> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back('\0');
    std::vector<char> environment = BuildEnvironment(options.environment);

    HANDLE job = CreateJobObjectA(nullptr, nullptr);
    if (job) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(path.c_str(), mutableLine.data(), nullptr, nullptr, FALSE,
                        CREATE_SUSPENDED, environment.data(), directory.c_str(), &startup,
                        &info)) {
        std::string error = LastErrorText("CreateProcess");
        if (job) CloseHandle(job);
        return ::testing::AssertionFailure() << error << ": " << commandLine << " in "
                                             << directory;
    }
    if (job && !AssignProcessToJobObject(job, info.hProcess)) {
        CloseHandle(job);  // without a job only the process itself is tracked
        job = nullptr;
    }
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);

    proc->process = info.hProcess;
    proc->job = job;
    proc->pid = info.dwProcessId;
    proc->exePath = path;
    size_t slash = path.find_last_of("\\/");
    proc->name = slash == std::string::npos ? path : path.substr(slash + 1);
    LiveProcesses().push_back(proc);
    return ::testing::AssertionSuccess();
}

bool IsRunning(const UiProcess& proc) {
    return proc.process && WaitForSingleObject(proc.process, 0) == WAIT_TIMEOUT;
}

void KillProgram(UiProcess& proc) {
    if (IsRunning(proc)) proc.killed = true;
    if (proc.job) TerminateJobObject(proc.job, 255);
    if (proc.process) {
        TerminateProcess(proc.process, 255);
        WaitForSingleObject(proc.process, 5000);
    }
}

::testing::AssertionResult WaitForExit(UiProcess& proc, DWORD* exitCode, DWORD timeoutMs) {
    if (!proc.process) return ::testing::AssertionFailure() << "no program was started";
    if (proc.killed) {
        return ::testing::AssertionFailure()
               << proc.name << " was killed by the driver after an earlier failure";
    }
    DWORD limit = EffectiveTimeout(timeoutMs);
    if (WaitForSingleObject(proc.process, limit) != WAIT_OBJECT_0) {
        return FailAndClean(proc.name + " did not exit within " + std::to_string(limit) + " ms");
    }
    DWORD code = 0;
    GetExitCodeProcess(proc.process, &code);
    if (exitCode) *exitCode = code;
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult FailAndClean(const std::string& message) {
    std::string windows = DescribeTopWindows();
    std::string shot = SaveScreenshot("failure");
    int killed = 0;
    for (UiProcess* proc : std::vector<UiProcess*>(LiveProcesses())) {
        if (IsRunning(*proc)) ++killed;
        KillProgram(*proc);
    }
    ::testing::AssertionResult result = ::testing::AssertionFailure();
    result << message << "\nvisible windows:\n" << (windows.empty() ? "  (none)\n" : windows);
    result << "screenshot: " << (shot.empty() ? "(could not be saved)" : shot);
    if (killed) result << "\nkilled " << killed << " program(s) started by the test";
    return result;
}
