// Times how long programs take from process creation until their main
// window is visible with a filled list box, or, for the class "#32770",
// until their first message box is visible (the uninstaller's question,
// which is then answered No).
//
//   startup_timer.exe RUNS PROGRAM CLASS [PROGRAM CLASS ...]
//
// Each program is started once to warm up, then RUNS times, the programs
// taking turns so that they share the machine's state alike. A run ends
// when a window of CLASS belonging to the new process is visible and its
// first list box answers LB_GETCOUNT with more than 0; the window is then
// sent WM_CLOSE and the process awaited. Prints one line per program:
// CLASS, then the median, the fastest and the slowest time in microseconds.
// Exits with 1 when a program ends or times out before its window is ready.

#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

static const DWORD ReadyTimeoutMs = 30000;

static LONGLONG Microseconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (to.QuadPart - from.QuadPart) * 1000000 / frequency.QuadPart;
}

// The visible window of CLASS owned by PROCESS whose list box holds items.
static HWND ReadyWindow(const char* className, DWORD process)
{
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, className, nullptr)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != process || !IsWindowVisible(window)) {
            continue;
        }
        if (lstrcmpA(className, "#32770") == 0) {
            return window;
        }
        HWND list = FindWindowExA(window, nullptr, "ListBox", nullptr);
        DWORD_PTR count = 0;
        if (list != nullptr &&
            SendMessageTimeoutA(list, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 1000, &count) != 0 &&
            static_cast<LRESULT>(count) > 0) {
            return window;
        }
    }
    return nullptr;
}

// One start of PROGRAM: the time until its window is ready, or -1.
static LONGLONG TimeOneStart(const char* program, const char* className)
{
    char commandLine[MAX_PATH + 3];
    wsprintfA(commandLine, "\"%s\"", program);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    LARGE_INTEGER start, ready;
    QueryPerformanceCounter(&start);
    if (!CreateProcessA(program, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        fprintf(stderr, "startup_timer: cannot start %s (error %lu)\n", program, GetLastError());
        return -1;
    }
    HWND window = nullptr;
    const DWORD deadline = GetTickCount() + ReadyTimeoutMs;
    for (;;) {
        window = ReadyWindow(className, process.dwProcessId);
        if (window != nullptr) {
            QueryPerformanceCounter(&ready);
            break;
        }
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0 ||
            static_cast<LONG>(GetTickCount() - deadline) > 0) {
            break;
        }
        Sleep(1);
    }
    if (window != nullptr) {
        PostMessageA(window, lstrcmpA(className, "#32770") == 0 ? WM_COMMAND : WM_CLOSE, IDNO, 0);
    }
    if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (window == nullptr) {
        fprintf(stderr, "startup_timer: %s showed no ready %s window\n", program, className);
        return -1;
    }
    return Microseconds(start, ready);
}

static int Ascending(const void* a, const void* b)
{
    const LONGLONG x = *static_cast<const LONGLONG*>(a), y = *static_cast<const LONGLONG*>(b);
    return x < y ? -1 : x > y;
}

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? atoi(argv[1]) : 0;
    const int programs = (argc - 2) / 2;
    if (runs < 1 || runs > 1000 || programs < 1 || argc % 2 != 0) {
        fprintf(stderr, "usage: startup_timer.exe RUNS PROGRAM CLASS [PROGRAM CLASS ...]\n");
        return 2;
    }
    timeBeginPeriod(1);
    LONGLONG* times = static_cast<LONGLONG*>(calloc(programs * runs, sizeof(LONGLONG)));
    for (int run = -1; run < runs; ++run) {
        for (int p = 0; p < programs; ++p) {
            const LONGLONG us = TimeOneStart(argv[2 + 2 * p], argv[3 + 2 * p]);
            if (us < 0) {
                return 1;
            }
            if (run >= 0) {
                times[p * runs + run] = us;
            }
        }
    }
    for (int p = 0; p < programs; ++p) {
        LONGLONG* mine = times + p * runs;
        qsort(mine, runs, sizeof *mine, Ascending);
        const LONGLONG median =
            runs % 2 ? mine[runs / 2] : (mine[runs / 2 - 1] + mine[runs / 2]) / 2;
        printf("%s %lld %lld %lld\n", argv[3 + 2 * p], median, mine[0], mine[runs - 1]);
    }
    return 0;
}
