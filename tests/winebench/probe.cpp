// probe: a tiny console program for the bench's own tests. Prints what GetVersionExA reports
// ("version 4.0 build 67109814 platform 1 csd \"\""), then optionally sleeps, prints a variable,
// crashes (writes through a null pointer) or exits with a code.
//   probe [--sleep SECONDS] [--exit CODE] [--env NAME] [--crash]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info)) {
        std::printf("GetVersionExA failed: %lu\n", GetLastError());
        return 1;
    }
    std::printf("version %lu.%lu build %lu platform %lu csd \"%s\"\n", info.dwMajorVersion,
                info.dwMinorVersion, info.dwBuildNumber, info.dwPlatformId, info.szCSDVersion);
    int code = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--sleep") == 0 && i + 1 < argc) {
            Sleep(DWORD(std::atoi(argv[++i])) * 1000);
        } else if (std::strcmp(argv[i], "--exit") == 0 && i + 1 < argc) {
            code = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--env") == 0 && i + 1 < argc) {
            const char* value = std::getenv(argv[++i]);
            std::printf("env %s=%s\n", argv[i], value ? value : "(unset)");
        } else if (std::strcmp(argv[i], "--crash") == 0) {
            *static_cast<volatile int*>(nullptr) = 1;
        } else {
            std::printf("unknown argument %s\n", argv[i]);
            return 2;
        }
    }
    return code;
}
