// The operating-system part of the library on POSIX systems: messages go to standard
// error as one line, files are cut with ftruncate, times are set with utimensat,
// processors are counted in the affinity mask, and the encoder's worker thread and lock come
// from the C++ thread library.
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>
#include <fcntl.h>

#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <new>
#include <thread>

#include "lzh_error.h"
#include "lzh_stream.h"
#include "lzh_thread.h"

void ShowLibraryMessage(const char *text, const char *caption)
{
    std::fprintf(stderr, "%s: %s\n", caption, text);
}

bool CutFileAt(std::FILE *f, int32_t offset)
{
    if (offset < 0 || std::fflush(f) != 0)
        return false;
    return ftruncate(fileno(f), offset) == 0 && std::fseek(f, offset, SEEK_SET) == 0;
}

bool ApplyFileStamp(const char *path, const CalendarTime &t)
{
    std::tm tm = {};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    tm.tm_isdst = -1;
    std::time_t when = std::mktime(&tm);
    if (when == static_cast<std::time_t>(-1))
        return false;
    struct timespec times[2];
    times[0].tv_sec = when;
    times[0].tv_nsec = 0;
    times[1] = times[0];
    return utimensat(AT_FDCWD, path, times, 0) == 0;
}

FileEntry ReadFileEntry(const char *path, std::FILE *f)
{
    (void)path;
    FileEntry entry = {};
    struct stat st;
    if (fstat(fileno(f), &st) != 0)
        return entry;
    entry.found = true;
    entry.size = static_cast<uint64_t>(st.st_size);
    std::tm tm;
    if (localtime_r(&st.st_mtime, &tm) != nullptr) {
        entry.timeKnown = true;
        entry.lastWrite.year = static_cast<uint16_t>(tm.tm_year + 1900);
        entry.lastWrite.month = static_cast<uint16_t>(tm.tm_mon + 1);
        entry.lastWrite.day = static_cast<uint16_t>(tm.tm_mday);
        entry.lastWrite.hour = static_cast<uint16_t>(tm.tm_hour);
        entry.lastWrite.minute = static_cast<uint16_t>(tm.tm_min);
        entry.lastWrite.second = static_cast<uint16_t>(tm.tm_sec);
    }
    return entry;
}

unsigned UsableProcessorCount()
{
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) != 0)
        return 1;
    int count = CPU_COUNT(&set);
    return count > 0 ? static_cast<unsigned>(count) : 1;
}

struct SharedLock {
    std::mutex mutex;
    std::condition_variable changed;
};

SharedLock *CreateSharedLock()
{
    return new (std::nothrow) SharedLock;
}

void DestroySharedLock(SharedLock *lock)
{
    delete lock;
}

void EnterSharedLock(SharedLock *lock)
{
    lock->mutex.lock();
}

void LeaveSharedLock(SharedLock *lock)
{
    lock->mutex.unlock();
}

void WaitForChange(SharedLock *lock, int)
{
    std::unique_lock<std::mutex> held(lock->mutex, std::adopt_lock);
    lock->changed.wait(held);
    held.release(); // the caller still holds the lock
}

void SignalChange(SharedLock *lock)
{
    lock->changed.notify_all();
}

struct WorkerThread {
    std::thread thread;
};

WorkerThread *StartWorkerThread(void (*body)(void *), void *argument)
{
    WorkerThread *worker = new (std::nothrow) WorkerThread;
    if (!worker)
        return nullptr;
    try {
        worker->thread = std::thread(body, argument);
    } catch (...) {
        delete worker; // no threads here (or none left)
        return nullptr;
    }
    return worker;
}

void JoinWorkerThread(WorkerThread *worker)
{
    worker->thread.join();
    delete worker;
}
