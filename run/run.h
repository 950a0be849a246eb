#pragma once
// What every run of the process shares, whether it installs or removes:
// its command line, the one-at-a-time claim, its log, how it tells the
// user, and its end with an exit code.

#include <windows.h>

#include "run/command_line.h"
#include "services/error_numbers.h"

// The module of the process, and the window that owns its message boxes
// (0 while there is none).
extern HINSTANCE InstanceHandle;
extern HWND MainWindowHandle;

// The command line of this run (all zero, a person's run, until it is read).
extern CommandLine Options;

// Reads the process's command line into Options.
void ReadCommandLine();

// StartAlone's answers besides an exit code.
const int GoOn = -1;
const int HandOver = -2;  // a person's copy: bring the running one to the front

// Claims the one installation running at a time: GoOn when this copy may
// go on, HandOver when a person's copy (`handsOver`) meets a person's
// running one; otherwise tells why not and returns the exit code.
int StartAlone(bool handsOver);

// The start of every run: the claim, then the log; a refused command line
// or /? is answered here. Returns GoOn, HandOver, or the exit code (logged).
int StartRun(const char* kind, const char* program, bool handsOver);

// Opens the log that the command line asks for, or that an unattended run
// keeps in any case, and writes the facts of the run into it. False when
// the log that was asked for cannot be made.
bool StartLog(const char* kind, const char* program, ErrorNumber& error);

// Tells why the command line is refused (a switch, the drive, or the log
// with its error number) and returns the exit code for it.
int RefuseCommandLine(ErrorNumber logError);

// Logs the exit code with its meaning and returns it.
int Ended(int code);

// A message box owned by the main window, when there is one; the texts are
// UTF-8. Returns the button pressed.
int ShowBox(const char* text, const char* caption, UINT type);

// Tells the user: a box, when a person runs the program, and always a line
// in the log.
void Tell(const char* text, const char* caption);
