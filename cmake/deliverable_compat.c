/* What the static runtime libraries (libgcc, libstdc++, mingwex) expect beyond what the i686
 * deliverables may import: they are built for MSVCRT.DLL and Windows XP, the deliverables link
 * CRTDLL.DLL and must load on Windows 95 and NT 3.51. Linked as an object, so it is always in,
 * and its definitions come before the import libraries'. */
#include <windows.h>
#include <errno.h>
#include <io.h>

/* CRTDLL.DLL has no POSIX names. libstdc++'s std::random_device (pulled in with the string
 * instantiations that the std::exception types use) names read, close and MSVCRT's rand_s;
 * nothing here uses a random device. */
int read(int fd, void *buffer, unsigned int count) { return _read(fd, buffer, count); }

int close(int fd) { return _close(fd); }

static int __cdecl NoRandS(unsigned int *value)
{
    (void)value;
    return EINVAL;
}
int(__cdecl *_imp__rand_s)(unsigned int *) = NoRandS;

/* The runtime calls these KERNEL32 functions through their import pointers; defining the
 * pointers here keeps the functions out of the import table.
 *
 * CreateSemaphoreW (libgcc's win32 thread-model mutex) has no Windows 95 implementation: the
 * ANSI function with the name converted does the same. */
static HANDLE WINAPI CreateSemaphoreAnsi(LPSECURITY_ATTRIBUTES attributes, LONG initial,
                                         LONG maximum, LPCWSTR name)
{
    char ansiName[MAX_PATH];
    if (name && !WideCharToMultiByte(CP_ACP, 0, name, -1, ansiName, sizeof ansiName, NULL, NULL))
        return NULL; /* a name too long for MAX_PATH: the error is WideCharToMultiByte's */
    return CreateSemaphoreA(attributes, initial, maximum, name ? ansiName : NULL);
}
HANDLE(WINAPI *const CreateSemaphoreWPointer)(LPSECURITY_ATTRIBUTES, LONG, LONG, LPCWSTR)
    __asm__("__imp__CreateSemaphoreW@16") = CreateSemaphoreAnsi;

/* IsDBCSLeadByteEx (mingwex's multibyte conversions) came with Windows NT 4.0: the code
 * page's lead-byte ranges from GetCPInfo answer the same question. */
static BOOL WINAPI IsLeadByteOf(UINT codePage, BYTE byte)
{
    CPINFO info;
    if (!GetCPInfo(codePage, &info))
        return FALSE;
    for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2)
        if (byte >= info.LeadByte[i] && byte <= info.LeadByte[i + 1])
            return TRUE;
    return FALSE;
}
BOOL(WINAPI *const IsDBCSLeadByteExPointer)(UINT, BYTE)
    __asm__("__imp__IsDBCSLeadByteEx@8") = IsLeadByteOf;
