#pragma once
// What every program of the sample package shares: the line it appends to
// install.log, the exit code the fault tests can ask for, the delay that
// makes a stage slow and the time stamps that scripts/bench reads.

#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// Appends "NAME<TAB>TITLE" and CR LF to install.log in the current
// directory, TITLE being the installer window's title at this moment.
// The installer is blocked waiting for us, so the title is read with
// GetWindowTextW, which asks the window system rather than the window.
static void LogInstallerTitle(const char* name)
{
    char title[512] = "(no installer window)";
    HWND installer = FindWindowA("vnki_Class", NULL);
    if (installer) {
        WCHAR wide[256];
        int length = GetWindowTextW(installer, wide, 256);
        int bytes =
            WideCharToMultiByte(CP_ACP, 0, wide, length, title, sizeof title - 1, NULL, NULL);
        title[bytes > 0 ? bytes : 0] = 0;
    }
    HANDLE log = CreateFileA("install.log", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (log == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "%s: cannot open install.log (error %lu)\n", name, GetLastError());
        return;
    }
    char line[600];
    int length = snprintf(line, sizeof line, "%s\t%s\r\n", name, title);
    DWORD written;
    WriteFile(log, line, (DWORD)length, &written, NULL);
    CloseHandle(log);
}

// The exit code VARNOK_SAMPLE_EXIT_CODE asks for (0 when it is unset), said
// on stderr, so that tests can stand in a failing product program.
static int SampleExitCode(const char* name)
{
    const char* wanted = getenv("VARNOK_SAMPLE_EXIT_CODE");
    if (!wanted || !*wanted)
        return 0;
    int code = atoi(wanted);
    fprintf(stderr, "%s: ending with exit code %d as VARNOK_SAMPLE_EXIT_CODE asks\n", name, code);
    return code;
}

// VARNOK_SAMPLE_SLOW lists programs that take their time, as "NAME:SECONDS"
// separated by blanks (for example "tute.exe:10 ex1.exe:10"): the program
// NAME waits that long before its work, as a real stage that builds
// something does, so that tests can look at the installer meanwhile.
static inline void SampleDelay(const char* name)
{
    const char* slow = getenv("VARNOK_SAMPLE_SLOW");
    size_t length = strlen(name);
    for (const char* at = slow; at && *at; at += strcspn(at, " ")) {
        at += strspn(at, " ");
        if (_strnicmp(at, name, length) == 0 && at[length] == ':')
            Sleep(1000 * (DWORD)atoi(at + length + 1));
    }
}

// VARNOK_SAMPLE_TIMES names a file to which the program appends a line when
// it starts and one just before it ends: "NAME<TAB>EVENT<TAB>COUNT<TAB>
// FREQUENCY" and CR LF, EVENT being "start" or "end", COUNT the
// performance counter (one clock for the whole system, never going back)
// and FREQUENCY its counts per second. scripts/bench takes from them the
// time between one stage's end and the next one's start.
static inline void SampleTimeStamp(const char* name, const char* event)
{
    const char* path = getenv("VARNOK_SAMPLE_TIMES");
    if (!path || !*path)
        return;
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "%s: cannot open %s (error %lu)\n", name, path, GetLastError());
        return;
    }
    char line[200];
    int length = snprintf(line, sizeof line, "%s\t%s\t%lld\t%lld\r\n", name, event,
                          (long long)count.QuadPart, (long long)frequency.QuadPart);
    DWORD written;
    WriteFile(file, line, (DWORD)length, &written, NULL);
    CloseHandle(file);
}
