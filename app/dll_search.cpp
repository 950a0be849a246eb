// Where the installer's process looks for DLLs that are loaded by name
// after it has started: theming and the like, which the window system loads
// for the window and its message boxes (the image's own imports are
// KnownDLLs, which Windows takes from the system folder in any case).
// Windows looks beside the program first, and an installer is started from
// a Downloads folder, where a web page can leave files without asking.

#include "app/main_window.h"

// What the window and its message boxes load by name, each after the DLLs
// that it imports itself, so that those are found loaded already.
static const char LoadedByName[] = "dwmapi.dll\0uxtheme.dll\0";

void LoadSystemDllsFirst()
{
    char path[MAX_PATH + 16];
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    path[length] = '\\';
    for (const char* name = LoadedByName; *name != 0;) {
        char* end = path + length + 1;
        while ((*end++ = *name++) != 0) {
        }
        LoadLibraryA(path);
    }
}

void RestrictDllSearch()
{
    typedef BOOL(WINAPI * SetDirectories)(DWORD);
    const SetDirectories setDirectories = reinterpret_cast<SetDirectories>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
    if (setDirectories == nullptr || !setDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32))
        LoadSystemDllsFirst();
}
