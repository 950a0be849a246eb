#pragma once
// The log of a run: one UTF-8 text file with CR LF line ends, every line
// stamped with the local date and time to the millisecond. Nothing is
// logged until the log is open; a person's run without /LOG opens none.

#include <windows.h>

#include "services/error_numbers.h"

// Makes the log (new, or replacing an old file) at `path`, or, without
// one, a new file %TEMP%\VARNOK-<kind>-<date>-<time>.log in the temporary
// folder of RunTempPath. Returns false with the error number when it
// cannot be made.
bool OpenLog(const WCHAR* path, const char* kind, ErrorNumber& error);

bool LogIsOpen();

// The temporary folder of this run, with its final backslash, in a buffer
// of MAX_PATH characters: for SYSTEM, where Windows has one, a folder that
// only SYSTEM and the administrators can write. Its length, or 0.
DWORD RunTempPath(WCHAR* path);

// Logs one line made as wsprintfA makes it (at most 1024 characters;
// texts given with %s are UTF-8). Line breaks inside become spaces.
void LogLine(const char* format, ...);

// UTF-16 text (up to its NUL, or `length` units) as UTF-8 in one of two
// buffers that take turns, for %s.
const char* Utf8(const WCHAR* text, size_t length = SIZE_MAX);

// The lines that open every log: the program and its version and build
// time, the command line, Windows, the account and whether it is elevated.
void LogRunFacts(const char* program);

// Whether the process runs with an administrator's full rights.
bool IsElevated();
