#pragma once
// The steps of WinMain, callable one by one so that a test can build the
// main window inside its own process.

#include <windows.h>

#include "services/error_numbers.h"

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

// Restores and brings to the front a running copy, if there is one; returns
// whether one was found.
bool HandOverToRunningCopy();

// Registers the class of the main window; returns whether that succeeded.
bool RegisterMainWindowClass();

// Measures the screen and creates the main window centred on it; stores and
// returns its handle (0 on failure).
HWND CreateMainWindow();

// Runs the message loop until WM_QUIT; returns that message's exit code.
int RunMessageLoop();

// Returns -1 when this copy is the only installation running and may go
// on; otherwise tells why not and returns the exit code: a person's copy
// (`handsOver`) hands over to a person's running one.
int StartAlone(bool handsOver);

// Opens the log that the command line asks for, or that an unattended run
// keeps in any case, and writes the facts of the run into it. False when
// the log that was asked for cannot be made.
bool StartLog(const char* kind, const char* program, ErrorNumber& error);

// Tells why the command line is refused (a switch, the drive, or the log
// with its error number) and returns the exit code for it.
int RefuseCommandLine(ErrorNumber logError);

// Logs the exit code with its meaning and returns it.
int Ended(int code);
