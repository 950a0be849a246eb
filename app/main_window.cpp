// WinMain: the single-instance rule, the window class, the centred main
// window and the message loop.

#include "app/main_window.h"

#include "app/installer.h"
#include "install/log.h"
#include "install/messages.h"
#include "install/payload.h"
#include "services/files.h"

const char WindowClassName[32] = "vnki_Class";

HINSTANCE InstanceHandle;
HWND MainWindowHandle;
int ScreenWidth;
int ScreenHeight;

namespace {

const char WindowTitle[] = "VARNOK Version 8 Compact Installation";
const int WindowWidth = 443;
const int WindowHeight = 350;
const DWORD WindowStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
const UINT ClassStyle = CS_VREDRAW | CS_HREDRAW | CS_BYTEALIGNCLIENT | CS_BYTEALIGNWINDOW;
const WORD IconResource = 1;

}  // namespace

// The running copy's window belongs to another process, whose thread may be
// waiting for a stage program and answering nothing: ShowWindow would then
// wait with it (forever, when that program is this very copy), so the
// restore is posted with ShowWindowAsync instead.
bool HandOverToRunningCopy()
{
    const HWND running = FindWindowA(WindowClassName, nullptr);
    if (running == nullptr) {
        return false;
    }
    if (IsIconic(running)) {
        ShowWindowAsync(running, SW_RESTORE);
    } else if (IsZoomed(running)) {
        ShowWindowAsync(running, SW_RESTORE);
    }
    SetForegroundWindow(running);
    return true;
}

bool RegisterMainWindowClass()
{
    WNDCLASSEXA windowClass;
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = ClassStyle;
    windowClass.lpfnWndProc = installer::WNDPROC;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = InstanceHandle;
    windowClass.hIcon = LoadIconA(InstanceHandle, MAKEINTRESOURCEA(IconResource));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = WindowClassName;
    windowClass.hIconSm = LoadIconA(InstanceHandle, MAKEINTRESOURCEA(IconResource));
    return RegisterClassExA(&windowClass) != 0;
}

HWND CreateMainWindow()
{
    ScreenWidth = GetSystemMetrics(SM_CXSCREEN);
    ScreenHeight = GetSystemMetrics(SM_CYSCREEN);
    // Half the screen minus half the window, each halved on its own.
    const int y = ScreenHeight / 2 - WindowHeight / 2;
    const int x = ScreenWidth / 2 - WindowWidth / 2;
    MainWindowHandle =
        CreateWindowExA(0, WindowClassName, WindowTitle, WindowStyle, x, y, WindowWidth,
                        WindowHeight, nullptr, nullptr, InstanceHandle, nullptr);
    return MainWindowHandle;
}

int RunMessageLoop()
{
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) != 0) {
        if (HandleNavigationKey(message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

// The names of the one installation running at a time, for every session
// of the machine: an installation by SYSTEM and a person's must not meet.
// Every copy claims the first; an unattended copy and an uninstaller, which
// never hand over, claim the second before it. The kernel objects are
// mutexes that are never released; the process's end frees them.
static const char InstanceName[] = "Global\\vnki_Class";
static const char UnattendedName[] = "Global\\vnki_Class unattended";

// Claims a name; false when another copy holds it, or holds it with rights
// that keep this one out (it runs elevated, this one does not).
static bool Claim(const char* name)
{
    SetLastError(0);
    CreateMutexA(nullptr, FALSE, name);
    const DWORD code = GetLastError();
    return code != ERROR_ALREADY_EXISTS && code != ERROR_ACCESS_DENIED;
}

static bool IsClaimed(const char* name)
{
    const HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, name);
    return mutex != nullptr || GetLastError() == ERROR_ACCESS_DENIED;
}

// Claimed before the file check, which takes seconds for a large package: a
// copy started meanwhile ends without reading its package. A person's
// second copy hands over to a person's running one (which may still be
// checking its file, without a window yet); anything else is told that an
// installation runs. Returns -1 to go on, otherwise the exit code.
int StartAlone(bool handsOver)
{
    if (handsOver ? Claim(InstanceName) : Claim(UnattendedName) && Claim(InstanceName))
        return -1;
    if (handsOver && !IsClaimed(UnattendedName)) {
        HandOverToRunningCopy();
        return ExitDone;
    }
    Tell(AnotherRunningText, FailureCaption);
    return ExitAnotherRunning;
}

CommandLine Options;

void ReadCommandLine()
{
    const WCHAR* line = GetCommandLineW();
    void* words = HeapAlloc(GetProcessHeap(), 0, (lstrlenW(line) + 1) * sizeof(WCHAR));
    if (words != nullptr)
        Options = ParseCommandLine(reinterpret_cast<const char16_t*>(line),
                                   static_cast<char16_t*>(words));
}

int Ended(int code)
{
    LogLine("exit code %d: %s", code, ExitCodeMeaning(code));
    return code;
}

bool StartLog(const char* kind, const char* program, ErrorNumber& error)
{
    if ((Options.log || Options.mode != Interactive) &&
        !OpenLog(reinterpret_cast<const WCHAR*>(Options.logPath), kind, error) && Options.log)
        return false;
    // Asking who runs it costs a moment at every start: only for a log.
    if (LogIsOpen())
        LogRunFacts(program);
    return true;
}

int RefuseCommandLine(ErrorNumber logError)
{
    RefusedSwitch refusal = DriveNotChoosable;
    const char16_t* word = Options.wrongWord;
    char16_t drive[] = u"X:";
    if (logError != ErrorNone) {
        refusal = LogNotMade;
        word = Options.logPath != nullptr ? Options.logPath : u"%TEMP%";
    } else if (Options.problem == EmptyLogPath) {
        refusal = LogNotMade;
    } else if (Options.problem == UnknownSwitch) {
        refusal = SwitchUnknown;
    } else if (Options.problem == CommandLineSound) {
        drive[0] = static_cast<char16_t>(Options.drive);
        word = drive;
    }
    char text[768];
    FormatRefusedSwitch(text, sizeof text, refusal, word, logError);
    Tell(text, FailureCaption);
    return ExitBadCommandLine;
}

// A drive that the drive list would show, whose root can be entered.
static bool DriveCanBeChosen(char letter)
{
    const char root[] = {letter, ':', '\\', '\0'};
    ErrorNumber error = ErrorNone;
    if (GetDriveTypeA(root) != DRIVE_FIXED)
        return false;
    ChangeDirectory(root, error);
    return error == ErrorNone;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    InstanceHandle = instance;
    if (OwnFileIsUninstaller())
        return RunUninstaller();
    ErrorNumber logError = ErrorNone;
    if (!StartLog("install", "VARNOK installer", logError) || Options.problem != CommandLineSound)
        return Ended(RefuseCommandLine(logError));
    if (Options.help) {
        if (Options.mode != Silent)
            ShowBox(HelpText, HelpCaption, MB_OK);
        return Ended(ExitDone);
    }
    // With nobody to choose, the drive that Windows is on.
    if (Options.mode != Interactive && Options.drive == 0) {
        char windows[MAX_PATH];
        Options.drive = GetWindowsDirectoryA(windows, MAX_PATH) != 0 ? windows[0] & ~0x20 : 'C';
    }
    if (Options.drive != 0 && !DriveCanBeChosen(Options.drive))
        return Ended(RefuseCommandLine(ErrorNone));
    const int alone = StartAlone(Options.mode == Interactive);
    if (alone >= 0)
        return Ended(alone);
    // A damaged or incomplete file is refused before the user chooses
    // anything.
    if (!PackageIsSound())
        return Ended(ExitDamagedFile);
    if (Options.mode == Silent) {
        RunInstallation(nullptr);
        return Ended(QuitCode);
    }
    // Without a class or a window there is nothing to wait for.
    if (!RegisterMainWindowClass() || CreateMainWindow() == nullptr)
        return Ended(ExitFailed);
    if (Options.drive != 0) {
        char item[] = "DRIVE X:";
        item[6] = Options.drive;
        SendMessageA(DriveListHandle, LB_SELECTSTRING, static_cast<WPARAM>(-1),
                     reinterpret_cast<LPARAM>(item));
    }
    ShowWindow(MainWindowHandle, showCommand);
    UpdateWindow(MainWindowHandle);
    // A passive run presses Install itself, once the window is shown.
    if (Options.mode == Passive)
        PostMessageA(MainWindowHandle, WM_COMMAND, InstallButton, 0);
    return Ended(RunMessageLoop());
}
