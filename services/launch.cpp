// Starting a program and waiting for it to end, with the window alive.

#include <windows.h>

#include "services/guarded_call.h"
#include "services/launch.h"
#include "services/working_copy.h"

#if !defined(_WIN64)
static_assert(sizeof(STARTUPINFOA) == 68, "STARTUPINFOA of 32-bit Windows");
#endif

static bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Makes the working copy of the command line in `line` (room for
// CommandLineLimit + 3 characters) and returns where it starts: the text cut
// to CommandLineLimit characters, with ".\" put in front of the program name
// when that name has no directory, drive or path separator of its own.
// CreateProcessA then takes exactly the file in the current directory,
// instead of searching the installer's own folder, the system folders and
// PATH for it. A name in quotes gets the prefix inside the quotes.
static char* MakeCommandLine(char* line, const char* commandLine)
{
    char* copy = line + 2;
    size_t length = MakeWorkingCopy(copy, CommandLineLimit, commandLine);
    size_t start = (copy[0] == '"') ? 1 : 0;
    size_t end = start;
    bool bare = true;
    while (end < length && copy[end] != '"' && (start == 1 || !IsBlank(copy[end]))) {
        char c = copy[end];
        if (c == '\\' || c == '/' || c == ':')
            bare = false;
        end++;
    }
    if (!bare || end == start)
        return copy;
    // Move the leading quote, if any, in front of the prefix.
    size_t at = 0;
    if (start == 1)
        line[at++] = '"';
    line[at++] = '.';
    line[at++] = '\\';
    return line;
}

// Waits until the process has ended while handling this thread's messages,
// so that the installer's window repaints, moves and answers while a stage
// program runs. Each wait is a guarded call that wakes on the process's end
// or on a message; the messages are handled between two waits, outside the
// lock and with the process's own error mode, since their handlers may make
// guarded calls of their own. No message is left queued before a wait: the
// wait wakes only for messages that arrive after it began. Returns the code
// of a wait that failed (the program may then still run), or 0.
static DWORD WaitHandlingMessages(HANDLE process)
{
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        DWORD code;
        DWORD woke = GuardedOsCall(code, [&] {
            return MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_ALLINPUT);
        });
        if (woke != WAIT_OBJECT_0 + 1)
            return woke == WAIT_FAILED ? (code ? code : ERROR_INVALID_HANDLE) : 0;
    }
}

unsigned long RunAndWait(const char* commandLine, int showMode, bool wait, ErrorNumber& error)
{
    char buffer[CommandLineLimit + 3];
    char* line = MakeCommandLine(buffer, commandLine);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = (WORD)showMode;
    PROCESS_INFORMATION process = {};

    const DWORD flags = showMode == SW_HIDE ? CREATE_NO_WINDOW : 0;
    DWORD code;
    BOOL started = GuardedOsCall(code, [&] {
        return CreateProcessA(NULL, line, NULL, NULL, FALSE, flags, NULL, NULL, &startup, &process);
    });
    if (!started) {
        // Failed only when Windows also left a code; then there is no process.
        if (code != 0)
            error = ErrorNumberForCode(code);
        return NoExitCode;
    }
    // A successful start may leave a stray code behind: the return value
    // decides. A wait that failed is reported: the caller cannot know that
    // the program has ended.
    DWORD exitCode = NoExitCode;
    if (wait) {
        DWORD waitCode = WaitHandlingMessages(process.hProcess);
        if (waitCode != 0)
            error = ErrorNumberForCode(waitCode);
        else if (!GuardedOsCall(code,
                                [&] { return GetExitCodeProcess(process.hProcess, &exitCode); }))
            exitCode = NoExitCode;
    }
    GuardedOsCall(code, [&] { return CloseHandle(process.hThread); });
    GuardedOsCall(code, [&] { return CloseHandle(process.hProcess); });
    return exitCode;
}
