#pragma once
// GuardedOsCall: every Windows call of the system services goes through it.
// While the call runs, Windows shows no critical-error or file-open error box
// (the error mode is 0x8001 and put back afterwards), the last error is
// cleared before and read after, and all guarded calls of the process are
// serialised by one lock. It records nothing: the operation that made the
// call decides what a failure is and sets its caller's ErrorNumber.

#include <windows.h>

#include "services/error_numbers.h"

struct GuardedFrame {
    UINT savedErrorMode;
};

// The parts before and after the call; use GuardedOsCall, not these.
GuardedFrame EnterGuardedCall();
DWORD LeaveGuardedCall(GuardedFrame frame);

// Makes `call` (a lambda around one Windows call) and returns its result;
// `code` receives the Windows error code read after it. The call counts as
// failed when `code` is not 0; its error number is ErrorNumberForCode(code).
template <typename Call>
auto GuardedOsCall(DWORD& code, Call call) -> decltype(call())
{
    GuardedFrame frame = EnterGuardedCall();
    auto result = call();
    code = LeaveGuardedCall(frame);
    return result;
}
