// The window procedure of the main window and the four operations that
// create its controls. The procedure only dispatches; each message it
// handles has a small handler of its own.

#include "app/installer.h"
#include "app/main_window.h"
#include "app/window_scale.h"

HWND InstallButtonHandle;
HWND HintLabelHandle;
HWND DriveListHandle;

namespace {

const DWORD ListBoxStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_BORDER | LBS_NOINTEGRALHEIGHT |
                           LBS_DISABLENOSCROLL;  // 0x50A01100

// The style bits of an alignment selector; any other value is taken as
// style bits of its own.
DWORD AlignmentStyle(int alignment, DWORD left, DWORD centre, DWORD right)
{
    switch (alignment) {
    case AlignLeft:
        return left;
    case AlignCentre:
        return centre;
    case AlignRight:
        return right;
    default:
        return static_cast<DWORD>(alignment);
    }
}

// The rectangle is in 96-DPI pixels, placed at the window's DPI.
HWND CreateControl(DWORD extendedStyle, const char* className, const char* text, DWORD style, int x,
                   int y, int width, int height, HWND parent, int id)
{
    if (text != nullptr && text[0] == 0) {
        text = nullptr;
    }
    NotePlacement(id, x, y, width, height);
    return CreateWindowExA(
        extendedStyle, className, text, style, Scaled(x), Scaled(y), Scaled(width), Scaled(height),
        parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), InstanceHandle, nullptr);
}

// Builds the four controls and fills the drive list. The main window's
// handle is not stored yet, so the controls get the message's own window.
// The banner comes first, so that the hint lies right before the list in
// the z-order: the static text that a screen reader names the list by.
LRESULT OnCreate(HWND window, WPARAM wParam, LPARAM lParam)
{
    const HGDIOBJ fixedFont = GetStockObject(ANSI_FIXED_FONT);
    const HGDIOBJ variableFont = GetStockObject(ANSI_VAR_FONT);

    // A bitmap static takes the size of its bitmap: 415 by 101.
    ShowBanner(CreateImageControl(window, "", 10, 10, 100, 20, AlignLeft, BannerImage));

    InstallButtonHandle = CreateButtonControl(window, "Install VARNOK", 140, 270, 150, 25,
                                              AlignCentre, InstallButton);
    SetFont(InstallButtonHandle, variableFont);

    HintLabelHandle = CreateLabelControl(window, "Select Drive THEN Click Install Button", 8, 225,
                                         421, 15, AlignCentre, HintLabel);
    SetFont(HintLabelHandle, variableFont);

    DriveListHandle = CreateListBoxControl(window, 9, 120, 420, 100, DriveList);
    SetFont(DriveListHandle, fixedFont);

    FillDriveList();
    return DefWindowProcA(window, WM_CREATE, wParam, lParam);
}

// Only the install button's click (id 500, BN_CLICKED) starts the
// installation, and only while the user chooses: messages are handled while
// the sequence waits for a stage or shows a box, and a click posted then must
// not start it a second time. A click with nothing selected needs no default
// processing.
LRESULT OnCommand(HWND window, WPARAM wParam, LPARAM lParam)
{
    if (wParam == static_cast<WPARAM>(InstallButton) && Phase == Choosing) {
        if (RunInstallation(window) == EndedWithoutSelection) {
            return 0;
        }
    }
    return DefWindowProcA(window, WM_COMMAND, wParam, lParam);
}

// Logging off or shutting down once X:\varnok exists would leave it
// half-filled: it is refused, with the reason where Windows can show one
// (Vista and later), until the stages have run.
LRESULT OnQueryEndSession(HWND window, WPARAM wParam, LPARAM lParam)
{
    if (Phase != RunningStages)
        return DefWindowProcA(window, WM_QUERYENDSESSION, wParam, lParam);
    typedef BOOL(WINAPI * GiveReason)(HWND, LPCWSTR);
    const GiveReason giveReason = reinterpret_cast<GiveReason>(
        reinterpret_cast<void*>(SystemFunction("user32", "ShutdownBlockReasonCreate")));
    if (giveReason != nullptr)
        giveReason(window, L"Installing VARNOK");
    return FALSE;
}

// As a dialog box does, the control that had the focus when the window was
// deactivated (by a message box, or another program) gets it back; until
// the user has given a control the focus, the window keeps it itself.
HWND FocusBeforeDeactivation;

LRESULT OnActivate(HWND window, WPARAM wParam, LPARAM lParam)
{
    if (LOWORD(wParam) == WA_INACTIVE) {
        FocusBeforeDeactivation = GetFocus();
    } else if (FocusBeforeDeactivation != nullptr &&
               (FocusBeforeDeactivation == DriveListHandle ||
                FocusBeforeDeactivation == InstallButtonHandle)) {
        SetFocus(FocusBeforeDeactivation);
        return 0;
    }
    return DefWindowProcA(window, WM_ACTIVATE, wParam, lParam);
}

// On a screen of another DPI the window takes the rectangle that Windows
// suggests, with its controls laid out for that DPI first.
LRESULT OnDpiChanged(HWND window, WPARAM wParam, LPARAM lParam)
{
    LayOutForDpi(LOWORD(wParam));
    const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
    MoveWindow(window, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, TRUE);
    return 0;
}

// Ends the message loop: with 0, or with the code of a stopped installation.
LRESULT OnDestroy()
{
    PostQuitMessage(QuitCode);
    return 0;
}

}  // namespace

void AllowEndOfSession(HWND window)
{
    typedef BOOL(WINAPI * TakeBackReason)(HWND);
    const TakeBackReason takeBack = reinterpret_cast<TakeBackReason>(
        reinterpret_cast<void*>(SystemFunction("user32", "ShutdownBlockReasonDestroy")));
    if (takeBack != nullptr && window != nullptr)
        takeBack(window);
}

// The stock font at 96 DPI; at another DPI, its design at that DPI.
__attribute__((noinline)) void SetFont(HWND control, HGDIOBJ font)
{
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(FontForDpi(font)), TRUE);
}

HWND CreateButtonControl(HWND parent, const char* text, int x, int y, int width, int height,
                         int alignment, int id)
{
    const DWORD style =
        WS_CHILD | WS_VISIBLE | AlignmentStyle(alignment, BS_LEFT, BS_CENTER, BS_RIGHT);
    return CreateControl(0, "BUTTON", text, style, x, y, width, height, parent, id);
}

HWND CreateLabelControl(HWND parent, const char* text, int x, int y, int width, int height,
                        int alignment, int id)
{
    const DWORD style =
        WS_CHILD | WS_VISIBLE | AlignmentStyle(alignment, SS_LEFT, SS_CENTER, SS_RIGHT);
    return CreateControl(WS_EX_STATICEDGE, "STATIC", text, style, x, y, width, height, parent, id);
}

HWND CreateImageControl(HWND parent, const char* text, int x, int y, int width, int height,
                        int alignment, int id)
{
    const DWORD style =
        WS_CHILD | WS_VISIBLE | SS_BITMAP | AlignmentStyle(alignment, SS_LEFT, SS_CENTER, SS_RIGHT);
    return CreateControl(0, "STATIC", text, style, x, y, width, height, parent, id);
}

HWND CreateListBoxControl(HWND parent, int x, int y, int width, int height, int id)
{
    return CreateControl(WS_EX_CLIENTEDGE, "LISTBOX", nullptr, ListBoxStyle, x, y, width, height,
                         parent, id);
}

// The controls have no tab stops and the window has no dialog manager, so
// the message loop hands the dialog keys here. The first Tab goes to the
// list, Shift+Tab first to the button; with two controls, either key then
// moves to the other one. Enter sends the install button's own click. The
// arrow keys (in the list) and Space (on the button) are the controls' own.
bool HandleNavigationKey(const MSG& message)
{
    if (message.message != WM_KEYDOWN || InstallButtonHandle == nullptr)
        return false;
    const HWND focus = GetFocus();
    const bool onControl = focus == DriveListHandle || focus == InstallButtonHandle;
    if (message.wParam == VK_TAB) {
        const bool backwards = GetKeyState(VK_SHIFT) < 0;
        const bool toButton = focus == DriveListHandle || (!onControl && backwards);
        SetFocus(toButton ? InstallButtonHandle : DriveListHandle);
        return true;
    }
    if (message.wParam == VK_RETURN && onControl) {
        SendMessageA(MainWindowHandle, WM_COMMAND, InstallButton,
                     reinterpret_cast<LPARAM>(InstallButtonHandle));
        return true;
    }
    return false;
}

namespace installer {

LRESULT CALLBACK WNDPROC(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        return OnCommand(window, wParam, lParam);
    case WM_CREATE:
        return OnCreate(window, wParam, lParam);
    case WM_DESTROY:
        return OnDestroy();
    case WM_CLOSE:
        // The close box, Alt+F4, the system menu and the taskbar cannot end
        // the installation halfway; the sequence closes the window itself.
        if (Phase != Choosing)
            return 0;
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_QUERYENDSESSION:
        return OnQueryEndSession(window, wParam, lParam);
    case WM_ACTIVATE:
        return OnActivate(window, wParam, lParam);
    case WM_DPICHANGED:
        return OnDpiChanged(window, wParam, lParam);
    case WM_NCCREATE: {
        // Windows 10 1607, per-monitor aware without version 2: the caption
        // and the frame scale only when asked to.
        typedef BOOL(WINAPI * ScaleNonClient)(HWND);
        const ScaleNonClient scaleNonClient = reinterpret_cast<ScaleNonClient>(
            reinterpret_cast<void*>(SystemFunction("user32", "EnableNonClientDpiScaling")));
        if (scaleNonClient != nullptr)
            scaleNonClient(window);
        return DefWindowProcA(window, message, wParam, lParam);
    }
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace installer
