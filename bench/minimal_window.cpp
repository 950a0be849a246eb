// The smallest program that does what the installer's start-up does in
// outline: register a class, create one window with one list box, put one
// item in it and show the window. scripts/bench times its start against the
// installer's.

#include <windows.h>

static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = "bench_Minimal";
    if (!RegisterClassA(&windowClass)) {
        return 1;
    }
    HWND window = CreateWindowExA(0, "bench_Minimal", "Minimal", WS_POPUP | WS_CAPTION | WS_SYSMENU,
                                  100, 100, 443, 350, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        return 1;
    }
    HWND list = CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", nullptr,
                                WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_BORDER, 9, 120, 420, 100,
                                window, nullptr, instance, nullptr);
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("C:\\"));
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
