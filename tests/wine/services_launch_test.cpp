// Starting programs with RunAndWait under Wine, with svc_child as the
// started program (it reports what it received and can sleep before it
// leaves its "done" file).

#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>

#include "services/files.h"
#include "services/launch.h"
#include "services_support.h"

namespace {

using svc::Exists;
using svc::ReadWhole;

// A fresh folder holding a copy of the child under `name`, made the current
// directory.
std::string Stage(const char* folder, const char* name = "svcchild.exe")
{
    std::string dir = std::string("C:\\svc\\") + folder;
    svc::MakePath(dir);
    EXPECT_TRUE(
        CopyFileA(svc::ProgramPath("svc_child").c_str(), (dir + "\\" + name).c_str(), FALSE));
    SetCurrentDirectoryA(dir.c_str());
    return dir;
}

// The value of "key=" in the child's report.
std::string Field(const std::string& report, const std::string& key)
{
    size_t at = report.find(key + "=");
    if (at == std::string::npos)
        return "<none>";
    at += key.size() + 1;
    return report.substr(at, report.find('\n', at) - at);
}

bool WaitForFile(const std::string& path)
{
    for (int i = 0; i < 300; i++) {
        if (Exists(path))
            return true;
        Sleep(100);
    }
    return false;
}

UINT CurrentErrorMode()
{
    UINT mode = SetErrorMode(0);
    SetErrorMode(mode);
    return mode;
}

// Watches the process's error mode while RunAndWait waits.
struct Watch {
    volatile LONG stop;
    volatile LONG sawQuietMode;
    volatile LONG sawOtherMode;
};

// Waits until the child has started and written its report: starting a
// program takes the processors for a moment (seconds under emulation),
// whatever the waiting thread does meanwhile.
void AwaitChild()
{
    for (int i = 0; i < 3000 && GetFileAttributesA("report.txt") == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(10);
}

DWORD WINAPI WatchErrorMode(void* parameter)
{
    Watch* watch = static_cast<Watch*>(parameter);
    AwaitChild();  // then the child sleeps 1.5 s
    while (!watch->stop) {
        if (CurrentErrorMode() == 0x8001)
            watch->sawQuietMode = 1;
        else
            watch->sawOtherMode = 1;
        Sleep(10);
        if (GetFileAttributesA("done.txt") != INVALID_FILE_ATTRIBUTES)
            break;
    }
    return 0;
}

TEST(RunAndWait, WaitsForTheEndAndPassesShowAndErrorMode)
{
    std::string dir = Stage("wait");
    SetErrorMode(SEM_NOGPFAULTERRORBOX);
    Watch watch = {0, 0, 0};
    HANDLE watcher = CreateThread(NULL, 0, WatchErrorMode, &watch, 0, NULL);
    ErrorNumber error = 0;
    DWORD start = GetTickCount();
    RunAndWait("svcchild.exe report.txt 1500 done.txt", SW_SHOWMINNOACTIVE, true, error);
    DWORD took = GetTickCount() - start;
    watch.stop = 1;
    WaitForSingleObject(watcher, INFINITE);
    CloseHandle(watcher);

    EXPECT_EQ(error, 0);
    EXPECT_TRUE(Exists(dir + "\\done.txt")) << "returned before the program ended";
    EXPECT_GE(took, 1400u);
    std::string report = ReadWhole(dir + "\\report.txt");
    EXPECT_EQ(Field(report, "flags"), "1") << "STARTF_USESHOWWINDOW only";
    EXPECT_EQ(Field(report, "show"), "7");
    EXPECT_EQ(Field(report, "path"), dir + "\\svcchild.exe");
    EXPECT_EQ(CurrentErrorMode(), (UINT)SEM_NOGPFAULTERRORBOX)
        << "the installer's own mode is back";
    EXPECT_TRUE(watch.sawQuietMode && !watch.sawOtherMode)
        << "the mode during the whole wait must be 0x8001";

    // The child gets what a process started under 0x8001 without
    // CREATE_DEFAULT_ERROR_MODE gets on this system: 0x8001 on Windows
    // (Wine does not pass the mode on and gives 0 to both).
    SetErrorMode(0x8001);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    char line[] = "svcchild.exe reference.txt 0";
    ASSERT_TRUE(CreateProcessA(NULL, line, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process));
    SetErrorMode(0);
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(Field(report, "errormode"), Field(ReadWhole(dir + "\\reference.txt"), "errormode"));

    // A hidden program gets no console window either; the exit code comes back.
    EXPECT_EQ(0u, RunAndWait("svcchild.exe hidden.txt 0", SW_HIDE, true, error));
    EXPECT_EQ(Field(ReadWhole(dir + "\\hidden.txt"), "show"), "0");
    EXPECT_EQ(Field(ReadWhole(dir + "\\hidden.txt"), "console"), "0");
    EXPECT_EQ(NoExitCode, RunAndWait("svcchild.exe late.txt 0", SW_HIDE, false, error));
}

// What the window of the test's own thread met when it handled a message
// sent from another thread while RunAndWait waited.
struct Handled {
    UINT errorMode;
    ErrorNumber guardedCall;
};
Handled SeenByWindow;

LRESULT CALLBACK RecordingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_APP)
        return DefWindowProcA(window, message, wParam, lParam);
    SeenByWindow.errorMode = CurrentErrorMode();
    // A guarded call of its own: it would wait for ever if the wait held the lock.
    ErrorNumber error = 0;
    ChangeDirectory("no such folder", error);
    SeenByWindow.guardedCall = error;
    return 1;
}

// Sends WM_APP to the window every 100 ms for a second, from another
// thread, once the child sleeps (2.5 s), and keeps the slowest answer's
// time.
struct Prober {
    HWND window;
    DWORD answered;
    DWORD slowest;
};

DWORD WINAPI ProbeWindow(void* parameter)
{
    Prober* prober = static_cast<Prober*>(parameter);
    AwaitChild();
    for (int i = 0; i < 10; ++i) {
        DWORD start = GetTickCount();
        DWORD_PTR result = 0;
        if (SendMessageTimeoutA(prober->window, WM_APP, 0, 0, SMTO_NORMAL, 5000, &result) &&
            result == 1)
            prober->answered++;
        DWORD took = GetTickCount() - start;
        if (took > prober->slowest)
            prober->slowest = took;
        Sleep(100);
    }
    return 0;
}

TEST(RunAndWait, HandlesTheThreadsMessagesOutsideTheLockWhileItWaits)
{
    std::string dir = Stage("messages");
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = RecordingProcedure;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = "svc_Recording";
    RegisterClassA(&windowClass);
    Prober prober = {CreateWindowExA(0, "svc_Recording", "", WS_POPUP, 0, 0, 10, 10, NULL, NULL,
                                     windowClass.hInstance, NULL),
                     0, 0};
    ASSERT_NE(prober.window, nullptr);
    SetErrorMode(SEM_NOGPFAULTERRORBOX);
    SeenByWindow = {0, 0};
    HANDLE thread = CreateThread(NULL, 0, ProbeWindow, &prober, 0, NULL);
    ErrorNumber error = 0;
    RunAndWait("svcchild.exe report.txt 2500 done.txt", SW_SHOWNORMAL, true, error);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    DestroyWindow(prober.window);

    EXPECT_EQ(error, 0);
    EXPECT_TRUE(Exists(dir + "\\done.txt")) << "returned before the program ended";
    EXPECT_EQ(prober.answered, 10u) << "every message answered during the wait";
    // Under emulation (the i386 guest sets E2E_TIME_SCALE) a thread now and
    // then waits a few hundred ms for a processor; a wait that blocked the
    // messages would keep them for the rest of the child's 2.5 s.
    const char* scale = getenv("E2E_TIME_SCALE");
    EXPECT_LT(prober.slowest, 100u * (scale != nullptr ? atoi(scale) : 1))
        << "ms for the slowest answer";
    EXPECT_EQ(SeenByWindow.errorMode, (UINT)SEM_NOGPFAULTERRORBOX)
        << "messages are handled in the process's own error mode";
    EXPECT_EQ(SeenByWindow.guardedCall, 53) << "a guarded call made while handling one";
}

TEST(RunAndWait, WithoutTheWaitReturnsAtOnce)
{
    std::string dir = Stage("nowait");
    ErrorNumber error = 0;
    DWORD start = GetTickCount();
    // The child sleeps 8 s before it writes done.txt: a call that waited
    // would take at least that long, however slowly the machine starts a
    // process (seconds under emulation).
    RunAndWait("svcchild report.txt 8000 done.txt", SW_SHOWNORMAL, false, error);
    DWORD took = GetTickCount() - start;
    bool doneAtReturn = Exists(dir + "\\done.txt");

    EXPECT_EQ(error, 0);
    EXPECT_FALSE(doneAtReturn);
    EXPECT_LT(took, 8000u);
    ASSERT_TRUE(WaitForFile(dir + "\\done.txt")) << "the program did not run";
    EXPECT_EQ(Field(ReadWhole(dir + "\\report.txt"), "show"), "1");
}

TEST(RunAndWait, RunsABatchFileAndTriesTheExeExtension)
{
    std::string dir = Stage("batch", "tute.exe");
    ASSERT_TRUE(svc::PutFile(dir + "\\makelibs.bat", "@echo off\r\necho ran>batch.txt\r\n"));
    ErrorNumber error = 0;
    RunAndWait("makelibs.bat", SW_SHOWNORMAL, true, error);
    EXPECT_EQ(error, 0);
    EXPECT_TRUE(Exists(dir + "\\batch.txt"));

    RunAndWait("tute report.txt 0", SW_SHOWNORMAL, true, error);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(Field(ReadWhole(dir + "\\report.txt"), "path"), dir + "\\tute.exe");
}

TEST(RunAndWait, MissingProgramsFailWithoutAWait)
{
    std::string dir = Stage("missing");
    ErrorNumber error = 0;
    DWORD start = GetTickCount();
    RunAndWait("svcnothere.exe report.txt", SW_SHOWNORMAL, true, error);
    EXPECT_EQ(error, 53);
    EXPECT_LT(GetTickCount() - start, 5000u);

    // A missing directory in the name: 76 on Windows, 53 under Wine.
    error = 0;
    RunAndWait("nodir\\svcchild.exe report.txt", SW_SHOWNORMAL, true, error);
    EXPECT_TRUE(error == 76 || error == 53) << (int)error;

    // A bare name is not looked for in the system folders or on PATH.
    error = 0;
    RunAndWait("notepad", SW_SHOWNORMAL, false, error);
    EXPECT_EQ(error, 53);
    RunAndWait("cmd /c echo ran>cmd.txt", SW_SHOWNORMAL, true, error);
    EXPECT_EQ(error, 53);
    EXPECT_FALSE(Exists(dir + "\\cmd.txt"));
}

// A program of the same name next to the running executable, as a stray
// download would lie next to the installer.
struct Planted {
    std::string path;
    explicit Planted(const char* name)
    {
        char own[MAX_PATH] = "";
        GetModuleFileNameA(NULL, own, MAX_PATH);
        path = own;
        path = path.substr(0, path.rfind('\\') + 1) + name;
        CopyFileA(svc::ProgramPath("svc_child").c_str(), path.c_str(), FALSE);
    }
    ~Planted()
    {
        DeleteFileA(path.c_str());
    }
};

TEST(RunAndWait, TakesOnlyTheProgramInTheCurrentDirectory)
{
    Planted planted("svcplanted.exe");
    ASSERT_TRUE(Exists(planted.path));
    std::string dir = Stage("planted", "svcplanted.exe");

    ErrorNumber error = 0;
    RunAndWait("svcplanted report.txt 0", SW_SHOWNORMAL, true, error);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(Field(ReadWhole(dir + "\\report.txt"), "path"), dir + "\\svcplanted.exe");

    // Gone from the current directory: not found, and the planted one
    // does not run in its place.
    ASSERT_TRUE(DeleteFileA((dir + "\\svcplanted.exe").c_str()));
    RunAndWait("svcplanted.exe second.txt 0", SW_SHOWNORMAL, true, error);
    EXPECT_EQ(error, 53);
    Sleep(500);
    EXPECT_FALSE(Exists(dir + "\\second.txt"));
}

TEST(RunAndWait, TheCommandLineIsCutTo256Characters)
{
    std::string dir = Stage("cut");
    std::string line = "svcchild.exe cmd.txt 0 ";
    line += std::string(256 - line.size() - 1, 'x') + "y" + std::string(44, 'z');
    ASSERT_EQ(line.size(), 300u);
    ErrorNumber error = 0;
    RunAndWait(line.c_str(), SW_SHOWNORMAL, true, error);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(Field(ReadWhole(dir + "\\cmd.txt"), "cmdline"), ".\\" + line.substr(0, 256));

    // A quoted name is anchored inside its quotes; a name with a directory
    // is taken as it is.
    RunAndWait("\"svcchild\" quoted.txt 0", SW_SHOWNORMAL, true, error);
    EXPECT_EQ(Field(ReadWhole(dir + "\\quoted.txt"), "cmdline"), "\".\\svcchild\" quoted.txt 0");
    RunAndWait((dir + "\\svcchild.exe full.txt 0").c_str(), SW_SHOWNORMAL, true, error);
    EXPECT_EQ(Field(ReadWhole(dir + "\\full.txt"), "cmdline"), dir + "\\svcchild.exe full.txt 0");
    EXPECT_EQ(error, 0);
}

}  // namespace
