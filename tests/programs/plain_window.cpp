// plain_window: what any ordinary window program does, for the planted-DLL
// scenario to show that its bench sees a DLL planted beside a program being
// loaded. It registers a class, shows a window with a list box and a
// button, gives the list the focus, handles messages for half a second and
// exits 0 (1 when the window cannot be made). It does nothing to protect
// itself against planted DLLs.

#include <windows.h>

namespace {

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = "plain_window_class";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, "Plain window", WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 320, 240, nullptr, nullptr,
                                  instance, nullptr);
    HWND list = CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", "", WS_CHILD | WS_VISIBLE, 10, 10, 200,
                                120, window, nullptr, instance, nullptr);
    CreateWindowExA(0, "BUTTON", "Press", WS_CHILD | WS_VISIBLE, 10, 140, 100, 28, window, nullptr,
                    instance, nullptr);
    if (window == nullptr || list == nullptr) {
        return 1;
    }
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("an item"));
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    SetFocus(list);
    for (const DWORD start = GetTickCount(); GetTickCount() - start < 500;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return 0;
}
