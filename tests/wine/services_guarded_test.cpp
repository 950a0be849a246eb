// The guarded call and the error number rules, under Wine.

#include <gtest/gtest.h>

#include "services/files.h"
#include "services/guarded_call.h"
#include "services_support.h"

namespace {

UINT CurrentErrorMode()
{
    UINT mode = SetErrorMode(0);
    SetErrorMode(mode);
    return mode;
}

TEST(GuardedOsCall, SetsTheErrorModeForTheCallAndPutsTheOldOneBack)
{
    const UINT before[] = {0, SEM_NOGPFAULTERRORBOX, SEM_FAILCRITICALERRORS};
    for (UINT mode : before) {
        SetErrorMode(mode);
        DWORD code = 99;
        UINT during = GuardedOsCall(code, [] { return CurrentErrorMode(); });
        EXPECT_EQ(during, 0x8001u);
        EXPECT_EQ(CurrentErrorMode(), mode);
        EXPECT_EQ(code, 0u);
    }
}

TEST(GuardedOsCall, ClearsTheLastErrorBeforeAndReadsItAfter)
{
    DWORD code = 99;
    SetLastError(ERROR_ACCESS_DENIED);
    int result = GuardedOsCall(code, [] { return 7; });
    EXPECT_EQ(result, 7);
    EXPECT_EQ(code, 0u) << "a stale last error must not count as a failure";

    // A call that returns success but leaves a code: the code is reported,
    // the result is passed on unchanged for the operation to judge.
    BOOL ok = GuardedOsCall(code, [] {
        SetLastError(ERROR_ALREADY_EXISTS);
        return TRUE;
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(code, (DWORD)ERROR_ALREADY_EXISTS);
    EXPECT_EQ(ErrorNumberForCode(code), 75);

    // A real failing Windows call.
    GuardedOsCall(code, [] { return SetCurrentDirectoryA("C:\\no such directory"); });
    EXPECT_EQ(code, (DWORD)ERROR_FILE_NOT_FOUND);
}

// A second thread's guarded call must wait until the first has left.
struct Shared {
    volatile LONG inside;
    volatile LONG entered;
};

DWORD WINAPI HoldTheLock(void* parameter)
{
    Shared* shared = static_cast<Shared*>(parameter);
    DWORD code;
    GuardedOsCall(code, [&] {
        InterlockedExchange(&shared->inside, 1);
        InterlockedExchange(&shared->entered, 1);
        Sleep(400);
        InterlockedExchange(&shared->inside, 0);
        return 0;
    });
    return 0;
}

TEST(GuardedOsCall, CallsOfTwoThreadsTakeTurns)
{
    SetErrorMode(0);
    Shared shared = {0, 0};
    HANDLE thread = CreateThread(NULL, 0, HoldTheLock, &shared, 0, NULL);
    ASSERT_NE(thread, (HANDLE)NULL);
    while (shared.entered == 0)
        Sleep(1);

    DWORD start = GetTickCount();
    DWORD code;
    LONG otherInside = GuardedOsCall(code, [&] { return shared.inside; });
    DWORD waited = GetTickCount() - start;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);

    EXPECT_EQ(otherInside, 0) << "both threads were inside a guarded call at once";
    EXPECT_GE(waited, 200u);
    // Interleaved calls would have kept each other's 0x8001 as the old mode.
    EXPECT_EQ(CurrentErrorMode(), 0u);
}

TEST(ErrorNumber, KeepsTheMostRecentFailure)
{
    svc::MakePath("C:\\svc\\guarded");
    ErrorNumber error = 0;
    ChangeDirectory("C:\\svc\\guarded\\missing", error);
    EXPECT_EQ(error, 53);
    MakeDirectory("C:\\svc\\guarded", error);
    EXPECT_EQ(error, 75) << "two failures in a row leave the second";
    ChangeDirectory("C:\\svc\\guarded", error);
    EXPECT_EQ(svc::CurrentDirectory(), "C:\\svc\\guarded");
    MakeDirectory("C:\\svc\\guarded\\new", error);
    EXPECT_EQ(error, 75) << "a success after a failure leaves the failure";
}

TEST(ErrorNumber, OperationsLeaveTheProcessErrorModeAsItWas)
{
    SetErrorMode(SEM_NOGPFAULTERRORBOX);
    ErrorNumber error = 0;
    ChangeDrive("Q", error);
    ChangeDirectory("C:\\missing\\too", error);
    MakeDirectory("C:\\svc", error);
    DeleteFiles("C:\\nothing-here-*", error);
    WriteWholeFile("C:\\missing\\file.bin", "x", 1, error);
    WriteWholeFile("C:\\file.bin", "x", 1, error);
    EXPECT_EQ(CurrentErrorMode(), (UINT)SEM_NOGPFAULTERRORBOX);
}

}  // namespace
