#pragma once
// The installer window: module-level handles, control ids and the
// operations that the window, the drive list and the installation share.

#include <windows.h>

#include "run/run.h"

// Control ids of the main window.
enum : int {
    InstallButton = 500,
    HintLabel = 501,  // WhatsNewPanel takes this id when it replaces the hint
    BannerImage = 502,
    DriveList = 503,
};

// Alignment selectors of the control-creation operations.
enum : int {
    AlignLeft = 1,
    AlignCentre = 2,
    AlignRight = 3,
};

extern const char WindowClassName[32];

extern int ScreenWidth;
extern int ScreenHeight;
extern HWND InstallButtonHandle;
extern HWND HintLabelHandle;  // later the handle of WhatsNewPanel
extern HWND DriveListHandle;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandTail, int showCommand);

namespace installer {
// The window procedure of the main window. It lives in a namespace only so
// that its name does not clash with the WNDPROC type of windows.h; the image
// exports it under the plain name WNDPROC.
extern "C" __declspec(dllexport) LRESULT CALLBACK
    WNDPROC(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
}  // namespace installer

HWND CreateButtonControl(HWND parent, const char* text, int x, int y, int width, int height,
                         int alignment, int id);
HWND CreateLabelControl(HWND parent, const char* text, int x, int y, int width, int height,
                        int alignment, int id);
HWND CreateImageControl(HWND parent, const char* text, int x, int y, int width, int height,
                        int alignment, int id);
HWND CreateListBoxControl(HWND parent, int x, int y, int width, int height, int id);

// Gives a control its font, redrawn at once.
void SetFont(HWND control, HGDIOBJ font);

// Fills DriveList with one item per fixed disk.
void FillDriveList();

// How the window procedure finishes the install button's WM_COMMAND.
enum InstallationEnding {
    EndedWithoutSelection,  // return 0 at once
    EndedOtherwise,         // pass the message on to DefWindowProcA
};

// What the installation is doing: it decides what the window lets through.
enum InstallerPhase {
    Choosing,       // the user chooses a drive: every message as usual
    Installing,     // the sequence runs: Install and Close are ignored
    RunningStages,  // as Installing, and the folder exists: logging off is refused
};
extern InstallerPhase Phase;
void SetPhase(InstallerPhase phase);

// Takes back the refusal to end the session, with its reason.
void AllowEndOfSession(HWND window);

// Handles the keys that a dialog box would: Tab and Shift+Tab move the focus
// between the drive list and the install button, Enter on either presses
// Install. Returns whether the message was such a key, handled here.
bool HandleNavigationKey(const MSG& message);

// The exit code that the window posts with WM_QUIT when it is destroyed,
// and that a silent run ends with: 0, or the code of an installation that
// had to stop.
extern int QuitCode;

// The installation sequence, run inside the install button's WM_COMMAND.
InstallationEnding RunInstallation(HWND window);

// Reads and checks the installer's own file before the window is made and
// holds it for the installation; when its package cannot be installed,
// says why and returns false.
bool PackageIsSound();
