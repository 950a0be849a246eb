// The process entry of the installer image. There is no C runtime start-up:
// Windows jumps straight here, and this gathers what WinMain is handed,
// calls it and ends the process with its result.

#include "app/installer.h"
#include "app/main_window.h"

#ifndef _WIN64
static_assert(sizeof(WNDCLASSEXA) == 48, "window class record of the 32-bit build");
static_assert(sizeof(STARTUPINFOA) == 68, "start-up record of the 32-bit build");
#endif

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The command line after the program name (quoted or not) and the blanks
// that follow it.
LPSTR CommandTail(LPSTR commandLine)
{
    char* p = commandLine;
    if (*p == '"') {
        ++p;
        while (*p != 0 && *p != '"') {
            ++p;
        }
        if (*p == '"') {
            ++p;
        }
    } else {
        while (*p != 0 && !IsBlank(*p)) {
            ++p;
        }
    }
    while (IsBlank(*p)) {
        ++p;
    }
    return p;
}

// The show command that the starting process asked for, or SW_SHOWDEFAULT.
int StartupShowCommand()
{
    STARTUPINFOA startup;
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    if (startup.dwFlags & STARTF_USESHOWWINDOW) {
        return startup.wShowWindow;
    }
    return SW_SHOWDEFAULT;
}

}  // namespace

extern "C" void WINAPI Entry(void)
{
    // Before anything can load a DLL by name.
    RestrictDllSearch();
    ReadCommandLine();
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    const HINSTANCE previous = nullptr;
    const LPSTR commandTail = CommandTail(GetCommandLineA());
    const int showCommand = StartupShowCommand();
    ExitProcess(static_cast<UINT>(WinMain(instance, previous, commandTail, showCommand)));
}
