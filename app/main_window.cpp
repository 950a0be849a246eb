// WinMain: the single-instance rule, the window class, the centred main
// window and the message loop.

#include "app/main_window.h"

#include "app/installer.h"

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

// Claims the name of the one installer of this session before the file
// check, which takes seconds for a large package: a copy started meanwhile
// finds the name taken and ends without reading the package again. The
// kernel object is a mutex that is never released; the process's end frees
// it. Its name is the class name, in a namespace of its own.
static bool ClaimSingleInstance()
{
    CreateMutexA(nullptr, FALSE, WindowClassName);
    return GetLastError() != ERROR_ALREADY_EXISTS;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    InstanceHandle = instance;
    if (HandOverToRunningCopy()) {
        return 0;
    }
    // The first copy may still be checking its file, without a window yet.
    if (!ClaimSingleInstance()) {
        HandOverToRunningCopy();
        return 0;
    }
    // A damaged or incomplete file is refused before the user chooses
    // anything.
    if (!PackageIsSound()) {
        return DamagedFileExitCode;
    }
    // Without a class or a window there is nothing to wait for.
    if (!RegisterMainWindowClass() || CreateMainWindow() == nullptr) {
        return 1;
    }
    ShowWindow(MainWindowHandle, showCommand);
    UpdateWindow(MainWindowHandle);
    return RunMessageLoop();
}
