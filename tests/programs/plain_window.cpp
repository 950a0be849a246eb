// plain_window: what any ordinary window program does, for the planted-DLL
// scenario to show that its bench sees a DLL planted beside a program being
// loaded. It registers a window class, creates and shows a window with a
// list box and a button, fills the list, handles messages for a moment,
// shows a message box without owner (closed by a timer) and exits 0.
// It does nothing to protect itself against planted DLLs.
// Exit codes: 0 done; 1 a call failed (named on stderr).

#include <windows.h>

#include <stdio.h>

namespace {

const char ClassName[] = "plain_window_class";

int Failed(const char* call)
{
    fprintf(stderr, "plain_window: %s failed (error %lu)\n", call,
            static_cast<unsigned long>(GetLastError()));
    return 1;
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Handles this thread's messages for `milliseconds`.
void Pump(DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

BOOL CALLBACK CloseIfMessageBox(HWND window, LPARAM)
{
    char name[16];
    if (GetClassNameA(window, name, sizeof name) && lstrcmpA(name, "#32770") == 0) {
        PostMessageA(window, WM_COMMAND, IDOK, 0);
    }
    return TRUE;
}

// A thread timer: it fires inside the message box's own loop and presses
// its OK button.
void CALLBACK CloseMessageBox(HWND, UINT, UINT_PTR, DWORD)
{
    EnumThreadWindows(GetCurrentThreadId(), CloseIfMessageBox, 0);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = ClassName;
    if (!RegisterClassExA(&windowClass)) {
        return Failed("RegisterClassExA");
    }
    HWND window = CreateWindowExA(0, ClassName, "Plain window", WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 320, 240, nullptr, nullptr,
                                  instance, nullptr);
    if (!window) {
        return Failed("CreateWindowExA");
    }
    HWND list = CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", "",
                                WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOTIFY, 10, 10, 200, 120,
                                window, reinterpret_cast<HMENU>(100), instance, nullptr);
    HWND button = CreateWindowExA(0, "BUTTON", "Press", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON,
                                  10, 140, 100, 28, window, reinterpret_cast<HMENU>(101),
                                  instance, nullptr);
    if (!list || !button) {
        return Failed("CreateWindowExA (a control)");
    }
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("first item"));
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("second item"));
    SendMessageA(list, LB_SETCURSEL, 1, 0);
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    SetFocus(list);
    Pump(500);

    const UINT_PTR timer = SetTimer(nullptr, 0, 300, CloseMessageBox);
    if (!timer) {
        return Failed("SetTimer");
    }
    MessageBoxA(nullptr, "A message box without owner.", "Plain window", MB_OK);
    KillTimer(nullptr, timer);

    DestroyWindow(window);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
