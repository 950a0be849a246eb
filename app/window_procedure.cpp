// The window procedure of the main window and the four operations that
// create its controls. The procedure only dispatches; each message it
// handles has a small handler of its own.

#include "app/installer.h"

HWND InstallButtonHandle;
HWND HintLabelHandle;
HWND DriveListHandle;

namespace {

const DWORD ListBoxStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_BORDER | LBS_NOINTEGRALHEIGHT |
                           LBS_DISABLENOSCROLL;  // 0x50A01100
const WORD BannerBitmapResource = 2;

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

HWND CreateControl(DWORD extendedStyle, const char* className, const char* text, DWORD style, int x,
                   int y, int width, int height, HWND parent, int id)
{
    if (text != nullptr && text[0] == 0) {
        text = nullptr;
    }
    return CreateWindowExA(extendedStyle, className, text, style, x, y, width, height, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), InstanceHandle,
                           nullptr);
}

void SetFont(HWND control, HGDIOBJ font)
{
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), 1);
}

// Builds the four controls and fills the drive list. The main window's
// handle is not stored yet, so the controls get the message's own window.
LRESULT OnCreate(HWND window, WPARAM wParam, LPARAM lParam)
{
    const HGDIOBJ fixedFont = GetStockObject(ANSI_FIXED_FONT);
    const HGDIOBJ variableFont = GetStockObject(ANSI_VAR_FONT);

    InstallButtonHandle = CreateButtonControl(window, "Install VARNOK", 140, 270, 150, 25,
                                              AlignCentre, InstallButton);
    SetFont(InstallButtonHandle, variableFont);

    HintLabelHandle = CreateLabelControl(window, "Select Drive THEN Click Install Button", 8, 225,
                                         421, 15, AlignCentre, HintLabel);
    SetFont(HintLabelHandle, variableFont);

    // A bitmap static takes the size of its bitmap: 415 by 101.
    const HWND banner = CreateImageControl(window, "", 10, 10, 100, 20, AlignLeft, BannerImage);
    const HBITMAP bitmap = LoadBitmapA(InstanceHandle, MAKEINTRESOURCEA(BannerBitmapResource));
    SendMessageA(banner, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));

    DriveListHandle = CreateListBoxControl(window, 9, 120, 420, 100, DriveList);
    SetFont(DriveListHandle, fixedFont);

    FillDriveList();
    return DefWindowProcA(window, WM_CREATE, wParam, lParam);
}

// Only the install button's click (id 500, BN_CLICKED) starts the
// installation; a click with nothing selected needs no default processing.
LRESULT OnCommand(HWND window, WPARAM wParam, LPARAM lParam)
{
    if (wParam == static_cast<WPARAM>(InstallButton)) {
        if (RunInstallation(window) == EndedWithoutSelection) {
            return 0;
        }
    }
    return DefWindowProcA(window, WM_COMMAND, wParam, lParam);
}

// Ends the message loop: with 0, or with the code of a stopped installation.
LRESULT OnDestroy()
{
    PostQuitMessage(QuitCode);
    return 0;
}

}  // namespace

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
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace installer
