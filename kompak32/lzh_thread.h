// The worker thread, the lock and the change signal of the parallel encoder, implemented in
// the platform file: Win32 threads, a critical section and one auto-reset event per party on
// Windows (every system from Windows 95 and NT 3.51 has them; Win32s starts no thread), the
// C++ thread library elsewhere.
#pragma once

struct WorkerThread;
struct SharedLock;

// The two parties that wait on a SharedLock.
enum { CALLER_PARTY = 0, WORKER_PARTY = 1 };

// A new lock, or null when the system cannot make one.
SharedLock *CreateSharedLock();
void DestroySharedLock(SharedLock *lock);
void EnterSharedLock(SharedLock *lock);
void LeaveSharedLock(SharedLock *lock);

// Called holding the lock: releases it, waits until SignalChange is called (a call made since
// this party's last wait counts too) and takes the lock again. May also return without a
// change, so callers wait in a loop over their condition.
void WaitForChange(SharedLock *lock, int party);

// Wakes the waits of both parties.
void SignalChange(SharedLock *lock);

// Runs body(argument) on a new thread; null when no thread can be started.
WorkerThread *StartWorkerThread(void (*body)(void *), void *argument);

// Waits until the thread has ended and frees it.
void JoinWorkerThread(WorkerThread *thread);
