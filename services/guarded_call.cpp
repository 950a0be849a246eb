// The frame around every guarded Windows call: the process-wide call lock,
// the error mode and the last-error value.

#include "services/guarded_call.h"

// The error mode is process-wide, so guarded calls of all threads take turns.
// The lock is one flag; it is held for the whole call, including each wait
// for a started program, and is not re-entrant: nothing that runs while it
// is held may make a guarded call (the wait for a program releases it
// before it handles a message).
static volatile LONG CallLock = 0;

GuardedFrame EnterGuardedCall()
{
    while (InterlockedExchange(&CallLock, 1) != 0) {
        // Another thread holds the lock: try again at once.
    }
    GuardedFrame frame;
    frame.savedErrorMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    SetLastError(0);
    return frame;
}

DWORD LeaveGuardedCall(GuardedFrame frame)
{
    DWORD code = GetLastError();
    SetErrorMode(frame.savedErrorMode);
    InterlockedExchange(&CallLock, 0);
    return code;
}
