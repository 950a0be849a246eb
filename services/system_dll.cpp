// Where the installer's process looks for DLLs that are loaded by name
// after it has started: theming and the like, which the window system loads
// for the window and its message boxes (the image's own imports are
// KnownDLLs, which Windows takes from the system folder in any case).
// Windows looks beside the program first, and an installer is started from
// a Downloads folder, where a web page can leave files without asking.

#include "services/system_dll.h"

// What the window, its focus and theming load by name: uxtheme, which
// draws with msimg32; ole32 (with combase and rpcrt4), which the input
// method support loads when a window takes the focus; dwmapi. Loaded by
// full path, without extension (".dll" is added), and with the system
// folder searched first for what each of them imports in turn: combase and
// ole32 import each other.
static const char LoadedByName[] = "rpcrt4\0combase\0ole32\0msimg32\0dwmapi\0uxtheme\0";

// Where Windows has LOAD_LIBRARY_SEARCH_SYSTEM32, a DLL loaded by full path
// looks for its own imports in the system folder only; otherwise along the
// altered path, the DLL's own folder first.
static bool SearchSystemOnly;

HMODULE LoadSystemDll(const char* name)
{
    char path[MAX_PATH + 16];
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    path[length] = '\\';
    lstrcpynA(path + length + 1, name, 15);
    return LoadLibraryExA(path, nullptr,
                          SearchSystemOnly ? LOAD_LIBRARY_SEARCH_SYSTEM32
                                           : LOAD_WITH_ALTERED_SEARCH_PATH);
}

__attribute__((noinline)) FARPROC SystemFunction(const char* module, const char* name)
{
    return GetProcAddress(GetModuleHandleA(module), name);
}

// Both, where Windows has SetDefaultDllDirectories: not every loader keeps
// to it (Wine looks for delay-loaded imports along the default path), and
// what is loaded already is never looked for again.
void RestrictDllSearch()
{
    typedef BOOL(WINAPI * SetDirectories)(DWORD);
    const SetDirectories setDirectories = reinterpret_cast<SetDirectories>(
        reinterpret_cast<void*>(SystemFunction("kernel32", "SetDefaultDllDirectories")));
    SearchSystemOnly = setDirectories != nullptr && setDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    for (const char* name = LoadedByName; *name != 0; name += lstrlenA(name) + 1)
        LoadSystemDll(name);
}

bool UnderWine()
{
    return SystemFunction("ntdll", "wine_get_version") != nullptr;
}

bool WineTestSays(const char* variable)
{
    char value[2];
    return UnderWine() && GetEnvironmentVariableA(variable, value, 2) == 1 && value[0] == '1';
}
