// The main window built inside the test's own process, for what cannot be
// seen from another process under Wine: the class record's brush, icons and
// procedure, the controls' fonts, and WinMain's own paths.
//
// The instance handle is the installer itself (the demo installer, with a
// package), mapped without running it, so that the icon and the banner come
// from its resources.

#include "app/installer.h"
#include "app/main_window.h"

#include <gtest/gtest.h>

#include <string>

namespace {

HINSTANCE InstallerImage()
{
    // The packed demo installer: WinMain checks the package of the file
    // whose instance it is given.
    const std::string path = std::string("Z:") + TEST_PROGRAMS_DIR + "/../varnok-setup-demo.exe";
    return LoadLibraryExA(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
}

// Registers the class and creates the main window as WinMain does.
HWND BuildMainWindow()
{
    InstanceHandle = InstallerImage();
    EXPECT_NE(nullptr, InstanceHandle) << "installer image not found";
    EXPECT_TRUE(RegisterMainWindowClass());
    return CreateMainWindow();
}

// Takes every message off the queue; returns the exit code of a WM_QUIT
// among them, or -1 when there was none.
int DrainQueue()
{
    int quitCode = -1;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quitCode = static_cast<int>(message.wParam);
        } else {
            DispatchMessageA(&message);
        }
    }
    return quitCode;
}

int CountInstallerWindows()
{
    int count = 0;
    for (HWND w = FindWindowExA(nullptr, nullptr, WindowClassName, nullptr); w != nullptr;
         w = FindWindowExA(nullptr, w, WindowClassName, nullptr)) {
        ++count;
    }
    return count;
}

TEST(MainWindow, ClassRecord)
{
    const HWND window = BuildMainWindow();
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(window, MainWindowHandle);

    const HICON icon = LoadIconA(InstanceHandle, MAKEINTRESOURCEA(1));
    EXPECT_NE(nullptr, icon);
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(icon), GetClassLongPtrA(window, GCLP_HICON));
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(icon), GetClassLongPtrA(window, GCLP_HICONSM));
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(GetStockObject(BLACK_BRUSH)),
              GetClassLongPtrA(window, GCLP_HBRBACKGROUND));
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(LoadCursorA(nullptr, IDC_ARROW)),
              GetClassLongPtrA(window, GCLP_HCURSOR));
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(installer::WNDPROC),
              GetClassLongPtrA(window, GCLP_WNDPROC));
    EXPECT_EQ(0x3003u, GetClassLongA(window, GCL_STYLE));
    EXPECT_EQ(0u, GetClassLongA(window, GCL_CBCLSEXTRA));
    EXPECT_EQ(0u, GetClassLongA(window, GCL_CBWNDEXTRA));
    EXPECT_EQ(nullptr, GetMenu(window));

    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), ScreenWidth);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), ScreenHeight);
    // Placement, title and styles are checked from outside by the
    // end-to-end scenario.
}

TEST(MainWindow, ControlsHaveTheirHandlesFontsAndBanner)
{
    const HWND window = BuildMainWindow();
    ASSERT_NE(nullptr, window);

    EXPECT_EQ(InstallButtonHandle, GetDlgItem(window, InstallButton));
    EXPECT_EQ(HintLabelHandle, GetDlgItem(window, HintLabel));
    EXPECT_EQ(DriveListHandle, GetDlgItem(window, DriveList));
    const HWND banner = GetDlgItem(window, BannerImage);
    ASSERT_NE(nullptr, banner);

    const LRESULT variableFont = reinterpret_cast<LRESULT>(GetStockObject(ANSI_VAR_FONT));
    const LRESULT fixedFont = reinterpret_cast<LRESULT>(GetStockObject(ANSI_FIXED_FONT));
    EXPECT_EQ(variableFont, SendMessageA(InstallButtonHandle, WM_GETFONT, 0, 0));
    EXPECT_EQ(variableFont, SendMessageA(HintLabelHandle, WM_GETFONT, 0, 0));
    EXPECT_EQ(fixedFont, SendMessageA(DriveListHandle, WM_GETFONT, 0, 0));

    // The banner holds the 415 x 101 bitmap of the image and has taken its size.
    const HBITMAP bitmap =
        reinterpret_cast<HBITMAP>(SendMessageA(banner, STM_GETIMAGE, IMAGE_BITMAP, 0));
    ASSERT_NE(nullptr, bitmap);
    BITMAP form;
    ASSERT_NE(0, GetObjectA(bitmap, sizeof form, &form));
    EXPECT_EQ(415, form.bmWidth);
    EXPECT_EQ(101, form.bmHeight);
    RECT shown;
    GetWindowRect(banner, &shown);
    EXPECT_EQ(415, shown.right - shown.left);
    EXPECT_EQ(101, shown.bottom - shown.top);

    // The list is filled (the prefix has drive C:) with nothing selected,
    // and no control has the focus.
    EXPECT_GT(SendMessageA(DriveListHandle, LB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(LB_ERR, SendMessageA(DriveListHandle, LB_GETCURSEL, 0, 0));
    char first[64] = {};
    SendMessageA(DriveListHandle, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(first));
    EXPECT_EQ(0, std::string(first).rfind("DRIVE C: (", 0)) << first;
    const HWND focus = GetFocus();
    for (const HWND control : {InstallButtonHandle, HintLabelHandle, DriveListHandle, banner}) {
        EXPECT_NE(control, focus);
    }
}

TEST(CreationOperations, TurnAlignmentIntoTheirOwnStyleBits)
{
    InstanceHandle = GetModuleHandleA(nullptr);
    const HWND parent = CreateWindowExA(0, "STATIC", nullptr, WS_POPUP, 0, 0, 200, 200, nullptr,
                                        nullptr, InstanceHandle, nullptr);
    ASSERT_NE(nullptr, parent);
    auto style = [](HWND w) { return static_cast<DWORD>(GetWindowLongPtrA(w, GWL_STYLE)); };
    auto extendedStyle = [](HWND w) {
        return static_cast<DWORD>(GetWindowLongPtrA(w, GWL_EXSTYLE));
    };

    const DWORD childVisible = WS_CHILD | WS_VISIBLE;
    const struct {
        int alignment;
        DWORD button;
        DWORD label;
    } cases[] = {
        {AlignLeft, BS_LEFT, SS_LEFT},
        {AlignCentre, BS_CENTER, SS_CENTER},
        {AlignRight, BS_RIGHT, SS_RIGHT},
        {0x0C00, 0x0C00, 0x0C00},  // any other value is used as style bits
    };
    for (const auto& c : cases) {
        const HWND button = CreateButtonControl(parent, "B", 1, 2, 30, 40, c.alignment, 77);
        EXPECT_EQ(childVisible | c.button, style(button)) << c.alignment;
        EXPECT_EQ(0u, extendedStyle(button)) << c.alignment;
        const HWND label = CreateLabelControl(parent, "L", 1, 2, 30, 40, c.alignment, 78);
        EXPECT_EQ(childVisible | c.label, style(label)) << c.alignment;
        EXPECT_EQ(static_cast<DWORD>(WS_EX_STATICEDGE),
                  extendedStyle(label) & ~WS_EX_NOPARENTNOTIFY);
        const HWND image = CreateImageControl(parent, "", 1, 2, 30, 40, c.alignment, 79);
        EXPECT_EQ(childVisible | SS_BITMAP | c.label, style(image)) << c.alignment;
        DestroyWindow(button);
        DestroyWindow(label);
        DestroyWindow(image);
    }

    // Ids, geometry and an empty text passed as none.
    const HWND button = CreateButtonControl(parent, "Text", 5, 6, 70, 30, AlignCentre, 600);
    EXPECT_EQ(600, GetDlgCtrlID(button));
    RECT r;
    GetWindowRect(button, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(5, r.left);
    EXPECT_EQ(6, r.top);
    EXPECT_EQ(75, r.right);
    EXPECT_EQ(36, r.bottom);
    const HWND empty = CreateLabelControl(parent, "", 0, 0, 10, 10, AlignLeft, 601);
    EXPECT_EQ(0, GetWindowTextLengthA(empty));
    const HWND list = CreateListBoxControl(parent, 9, 120, 100, 50, 602);
    EXPECT_EQ(0x50A01100u, style(list));
    EXPECT_EQ(static_cast<DWORD>(WS_EX_CLIENTEDGE), extendedStyle(list) & ~WS_EX_NOPARENTNOTIFY);
    EXPECT_EQ(602, GetDlgCtrlID(list));
    DestroyWindow(parent);
}

TEST(WindowProcedure, DestroyingTheWindowPostsQuitWithZero)
{
    const HWND window = BuildMainWindow();
    ASSERT_NE(nullptr, window);
    DrainQueue();
    SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(0, DrainQueue());
}

// While the sequence runs, nothing closes the window or starts the sequence
// again, Close is greyed, and during the stages the end of the session is
// refused; back in Choosing, closing works.
TEST(WindowProcedure, TheRunningSequenceCannotBeClosedOrStartedAgain)
{
    const HWND window = BuildMainWindow();
    ASSERT_NE(nullptr, window);
    const HMENU menu = GetSystemMenu(window, FALSE);
    for (InstallerPhase phase : {Installing, RunningStages}) {
        SetPhase(phase);
        EXPECT_TRUE(GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED) << phase;
        SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        SendMessageA(window, WM_CLOSE, 0, 0);
        EXPECT_TRUE(IsWindow(window)) << phase;
        // No selection: a start would show a message box and wait in it.
        SendMessageA(window, WM_COMMAND, InstallButton, 0);
        EXPECT_EQ(phase == Installing, SendMessageA(window, WM_QUERYENDSESSION, 0, 0) != 0)
            << phase;
    }
    SetPhase(Choosing);
    EXPECT_FALSE(GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_NE(0, SendMessageA(window, WM_QUERYENDSESSION, 0, 0));
    SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(IsWindow(window));
}

TEST(WinMain, GivesUpWithoutAClassAndHandsOverToARunningCopy)
{
    // With a window of the class gone but its class still registered,
    // registering fails: WinMain ends at once instead of waiting without a
    // window. It has claimed the name of the running copy by then.
    const HWND gone = BuildMainWindow();
    ASSERT_NE(nullptr, gone);
    DestroyWindow(gone);
    DrainQueue();
    EXPECT_EQ(1603, WinMain(InstanceHandle, nullptr, const_cast<LPSTR>(""), SW_SHOWDEFAULT));
    EXPECT_EQ(0, CountInstallerWindows());

    // A running copy, minimised: a second WinMain restores it, creates
    // nothing and returns 0.
    const HWND running = CreateMainWindow();
    ASSERT_NE(nullptr, running);
    ShowWindow(running, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(running));
    MainWindowHandle = nullptr;
    EXPECT_EQ(0, WinMain(InstanceHandle, nullptr, const_cast<LPSTR>(""), SW_SHOWDEFAULT));
    EXPECT_FALSE(IsIconic(running));
    EXPECT_EQ(nullptr, MainWindowHandle);
    EXPECT_EQ(1, CountInstallerWindows());

    // A maximised one is restored as well.
    ShowWindow(running, SW_MAXIMIZE);
    EXPECT_EQ(0, WinMain(InstanceHandle, nullptr, const_cast<LPSTR>(""), SW_SHOWDEFAULT));
    EXPECT_FALSE(IsZoomed(running));
}

// Seen from inside the message loop: whether the window came up minimised.
bool ShownMinimised;

void CALLBACK CloseInstallerWindow(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    ShownMinimised = IsIconic(MainWindowHandle) != 0;
    SendMessageA(MainWindowHandle, WM_SYSCOMMAND, SC_CLOSE, 0);
}

TEST(WinMain, ShowsTheWindowAsAskedAndReturnsTheQuitCode)
{
    InstanceHandle = InstallerImage();
    ASSERT_NE(nullptr, InstanceHandle);
    SetTimer(nullptr, 0, 100, CloseInstallerWindow);
    EXPECT_EQ(
        0, WinMain(InstanceHandle, nullptr, const_cast<LPSTR>("/S /D=X:\\"), SW_SHOWMINNOACTIVE));
    EXPECT_TRUE(ShownMinimised);
    EXPECT_EQ(0, CountInstallerWindows());
}

}  // namespace
