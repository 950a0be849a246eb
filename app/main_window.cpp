// WinMain: the single-instance rule, the window class, the centred main
// window and the message loop.

#include "app/main_window.h"

#include "app/installer.h"
#include "app/window_scale.h"
#include "install/payload.h"
#include "run/log.h"
#include "run/messages.h"
#include "run/run.h"
#include "uninstall/uninstaller.h"
#include "services/files.h"

const char WindowClassName[32] = "vnki_Class";

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

// Half the screen minus half the window (at WindowDpi), each halved on its
// own.
static __attribute__((noinline)) void CentreWindow(RECT& at)
{
    const int width = Scaled(WindowWidth);
    const int height = Scaled(WindowHeight);
    at.top = ScreenHeight / 2 - height / 2;
    at.left = ScreenWidth / 2 - width / 2;
    at.right = at.left + width;
    at.bottom = at.top + height;
}

// Made for the system's DPI; where the screen it lands on has another,
// laid out again for that one.
HWND CreateMainWindow()
{
    ScreenWidth = GetSystemMetrics(SM_CXSCREEN);
    ScreenHeight = GetSystemMetrics(SM_CYSCREEN);
    WindowDpi = DpiOf(nullptr);
    RECT at;
    CentreWindow(at);
    MainWindowHandle = CreateWindowExA(0, WindowClassName, WindowTitle, WindowStyle, at.left,
                                       at.top, at.right - at.left, at.bottom - at.top, nullptr,
                                       nullptr, InstanceHandle, nullptr);
    const int dpi = DpiOf(MainWindowHandle);
    if (dpi != WindowDpi) {
        WindowDpi = dpi;
        CentreWindow(at);
        SendMessageA(MainWindowHandle, WM_DPICHANGED, dpi, reinterpret_cast<LPARAM>(&at));
    }
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
    const int start = StartRun("install", "VARNOK installer", Options.mode == Interactive);
    if (start == HandOver) {
        HandOverToRunningCopy();
        return ExitDone;
    }
    if (start != GoOn)
        return start;
    // With nobody to choose, the drive that Windows is on.
    if (Options.mode != Interactive && Options.drive == 0) {
        char windows[MAX_PATH];
        Options.drive = GetWindowsDirectoryA(windows, MAX_PATH) != 0 ? windows[0] & ~0x20 : 'C';
    }
    if (Options.drive != 0 && !DriveCanBeChosen(Options.drive))
        return Ended(RefuseCommandLine(ErrorNone));
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
