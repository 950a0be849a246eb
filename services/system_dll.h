#pragma once
// DLLs from the system folder only: an installer is started from a
// Downloads folder, where a web page can leave files without asking, and
// Windows looks beside the program first.

#include <windows.h>

// Makes the process look for DLLs loaded by name in the system folder only
// (SetDefaultDllDirectories, Windows 8 and later, and Vista and 7 with their
// update), and loads the names that the window loads from the system folder
// first, for the systems and loaders that lack or bypass the former. The
// programs that the installer starts keep their own search order: neither
// is inherited.
void RestrictDllSearch();

// A function of a loaded system DLL that not every Windows has, or null.
FARPROC SystemFunction(const char* module, const char* name);

// Loads a DLL (a name of at most 14 characters, ".dll" added by Windows)
// from the system folder by its full path.
HMODULE LoadSystemDll(const char* name);

// Under Wine, which keeps no access control on disk and runs every process
// elevated, a test gives the answers that only Windows could give, as
// VARNOK_WINE_<NAME>=1 in the environment. Windows never asks: its ntdll
// (a KnownDLL, always the system's own) has no wine_get_version.
bool UnderWine();
bool WineTestSays(const char* variable);
