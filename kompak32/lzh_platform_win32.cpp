// The operating-system part of the library on Windows: message boxes, SetEndOfFile on the
// stream's system handle, SetFileTime for the three times of an extracted file, the
// processors of the process's affinity mask, and the encoder's worker thread and lock.
#include <windows.h>
#include <io.h>

#include <cstdio>
#include <new>

#include "lzh_error.h"
#include "lzh_stream.h"
#include "lzh_thread.h"

void ShowLibraryMessage(const char *text, const char *caption)
{
    MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONWARNING);
}

bool CutFileAt(std::FILE *f, int32_t offset)
{
    if (offset < 0 || std::fflush(f) != 0 || std::fseek(f, offset, SEEK_SET) != 0)
        return false;
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
    return h != INVALID_HANDLE_VALUE && SetEndOfFile(h) != 0;
}

bool ApplyFileStamp(const char *path, const CalendarTime &t)
{
    SYSTEMTIME st = {};
    st.wYear = t.year;
    st.wMonth = t.month;
    st.wDay = t.day;
    st.wHour = t.hour;
    st.wMinute = t.minute;
    st.wSecond = t.second;
    FILETIME local, utc;
    if (!SystemTimeToFileTime(&st, &local) || !LocalFileTimeToFileTime(&local, &utc))
        return false;
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    BOOL ok = SetFileTime(h, &utc, &utc, &utc);
    CloseHandle(h);
    return ok != 0;
}

FileEntry ReadFileEntry(const char *path, std::FILE *f)
{
    (void)f;
    FileEntry entry = {};
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(path, &data);
    if (find == INVALID_HANDLE_VALUE)
        return entry;
    FindClose(find);
    entry.found = true;
    entry.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    FILETIME local;
    SYSTEMTIME st;
    if (FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) &&
        FileTimeToSystemTime(&local, &st)) {
        entry.timeKnown = true;
        entry.lastWrite.year = st.wYear;
        entry.lastWrite.month = st.wMonth;
        entry.lastWrite.day = st.wDay;
        entry.lastWrite.hour = st.wHour;
        entry.lastWrite.minute = st.wMinute;
        entry.lastWrite.second = st.wSecond;
    }
    return entry;
}

unsigned UsableProcessorCount()
{
    // Windows NT has processor affinity; Windows 95/98 and Win32s run on one processor and
    // lack the function, so it is looked up rather than imported.
    typedef BOOL(WINAPI * AffinityFn)(HANDLE, DWORD_PTR *, DWORD_PTR *);
    HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
    AffinityFn getAffinity =
        kernel ? reinterpret_cast<AffinityFn>(
                     reinterpret_cast<void (*)()>(GetProcAddress(kernel, "GetProcessAffinityMask")))
               : nullptr;
    DWORD_PTR processMask = 0;
    DWORD_PTR systemMask = 0;
    if (!getAffinity || !getAffinity(GetCurrentProcess(), &processMask, &systemMask))
        return 1; // no affinity to be had: one processor
    unsigned count = 0;
    for (; processMask != 0; processMask &= processMask - 1)
        ++count;
    return count > 0 ? count : 1;
}

struct SharedLock {
    CRITICAL_SECTION section;
    HANDLE changed[2]; // auto-reset: a signal waits for the party's next wait
};

SharedLock *CreateSharedLock()
{
    SharedLock *lock = new (std::nothrow) SharedLock;
    if (!lock)
        return nullptr;
    for (HANDLE &event : lock->changed)
        event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!lock->changed[0] || !lock->changed[1]) {
        for (HANDLE event : lock->changed)
            if (event)
                CloseHandle(event);
        delete lock;
        return nullptr;
    }
    InitializeCriticalSection(&lock->section);
    return lock;
}

void DestroySharedLock(SharedLock *lock)
{
    DeleteCriticalSection(&lock->section);
    for (HANDLE event : lock->changed)
        CloseHandle(event);
    delete lock;
}

void EnterSharedLock(SharedLock *lock)
{
    EnterCriticalSection(&lock->section);
}

void LeaveSharedLock(SharedLock *lock)
{
    LeaveCriticalSection(&lock->section);
}

void WaitForChange(SharedLock *lock, int party)
{
    // A signal between leaving the section and the wait stays set in the event: nothing is
    // missed.
    LeaveCriticalSection(&lock->section);
    WaitForSingleObject(lock->changed[party], INFINITE);
    EnterCriticalSection(&lock->section);
}

void SignalChange(SharedLock *lock)
{
    SetEvent(lock->changed[0]);
    SetEvent(lock->changed[1]);
}

struct WorkerThread {
    HANDLE handle;
    void (*body)(void *);
    void *argument;
};

namespace {

DWORD WINAPI RunWorker(LPVOID parameter)
{
    WorkerThread *worker = static_cast<WorkerThread *>(parameter);
    worker->body(worker->argument);
    return 0;
}

} // namespace

WorkerThread *StartWorkerThread(void (*body)(void *), void *argument)
{
    WorkerThread *worker = new (std::nothrow) WorkerThread{nullptr, body, argument};
    if (!worker)
        return nullptr;
    DWORD id = 0; // Windows 95 refuses a null thread id pointer
    worker->handle = CreateThread(nullptr, 0, RunWorker, worker, 0, &id);
    if (!worker->handle) {
        delete worker; // Win32s, or no thread left
        return nullptr;
    }
    return worker;
}

void JoinWorkerThread(WorkerThread *worker)
{
    WaitForSingleObject(worker->handle, INFINITE);
    CloseHandle(worker->handle);
    delete worker;
}
