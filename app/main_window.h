#pragma once
// The steps of WinMain, callable one by one so that a test can build the
// main window inside its own process.

#include <windows.h>

#include "services/system_dll.h"

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
