// e2e_driver: looks at and drives a running installer from another process,
// one subcommand per call, for the end-to-end scripts. Prints plain text
// lines; exits 0 on success, otherwise 1 (2 on a timeout, or the exit code
// of the program that start-with-show ran), always with a reason on stderr.
// With E2E_DRIVER_TRACE set in the environment it also writes a line to
// stderr when main() begins and when it returns, so that a failed call shows
// whether the driver ran at all.
//
//   wait-window TIMEOUT_MS      wait until the main window is shown and its
//                               thread answers; print its handle
//   count-windows               number of top-level main windows
//   window                      title, outer rect, client origin and size,
//                               style, extended style, class style
//   controls                    one line per child control
//   items                       the drive list's items and its selection
//   label ID                    the control before control ID in the z-order
//                               (its label for Windows' accessibility proxy)
//   dpi-changed DPI L T R B     send WM_DPICHANGED: DPI, the suggested rect
//   add-item TEXT               add an item of our own to the drive list
//   select N                    select item N of the drive list
//   click                       post the install button's click
//   command WPARAM              post WM_COMMAND with that wParam
//   title                       the main window's title
//   close                       post SC_CLOSE to the main window
//   status                      whether the main window is there, whose it
//                               is, whether its thread answers, and any
//                               message box; never fails
//   minimize                    ShowWindow SW_MINIMIZE on the main window
//   state                       iconic, zoomed, visible, foreground
//   pixel X Y                   screen pixel as RRGGBB
//   wait-messagebox TIMEOUT_MS  caption and text of the installer's message
//                               box (CR and LF shown as \r and \n)
//   answer-messagebox [yes|no]  press OK (or Yes, or No) on it and wait until
//                               it has closed
//   run-watched PROGRAM [ARGS]  run PROGRAM, watching the visible top-level
//                               windows of it and of every process it
//                               starts; print "exit code: N" and a line
//                               "window: CLASS TITLE" for each window seen
//                               (or "windows: none")
//   entry LETTER                the values of the uninstall entry of that
//                               drive, HKLM and HKCU (32-bit view), sorted
//   serve                       read subcommands from standard input, one
//                               per line (arguments separated by tabs), and
//                               end each answer with "e2e_driver-end CODE"
//   move FROM TO                MoveFileA: as the user renaming a folder
//                               (fails while a process has it as its current
//                               directory)
//   start-with-show N PROGRAM [ARGS]  start PROGRAM with STARTF_USESHOWWINDOW
//                               and wShowWindow N, wait for it, and exit
//                               with its exit code
//   start-during-check REPORT PROGRAM  start PROGRAM, hold its thread as soon
//                               as it has claimed the single-instance name
//                               (before its window), start a second copy
//                               then, write what came of it to REPORT, let
//                               the first go on and exit with its exit code
//   keys KEY...                 type keys into the foreground window
//                               (tab, shift+tab, down, up, enter, space)
//   wait-focus ID TIMEOUT_MS    wait until the control ID (0: the window
//                               itself) has the installer's keyboard focus
//   probe IDLE_MS PROBE_MS      leave the window alone IDLE_MS, ask Windows
//                               whether it is hung, then time an answer to
//                               WM_NULL every 100 ms for PROBE_MS
//   post MESSAGE WPARAM         post a message to the main window
//   query-end-session           send WM_QUERYENDSESSION; print its answer
//   stage-cpu TITLE TIMEOUT_MS  print "watching: PID" as soon as it has the
//                               installer's process, wait until the title is
//                               TITLE, then until it is another or the
//                               window has gone; print the CPU time that the
//                               installer's process used in between
//                               (microseconds) and how long that took (ms)
//
// Texts are read with the wide functions and printed as UTF-8: under Wine
// the ANSI forms do not always cross the process boundary whole.

#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

const char MainClass[] = "vnki_Class";
const char MessageBoxClass[] = "#32770";
const int MessageBoxTextId = 0xFFFF;

// Set once a reason for a non-zero exit code is on stderr.
bool ReasonGiven = false;

int FailWith(int code, const char* reason)
{
    fprintf(stderr, "e2e_driver: %s\n", reason);
    ReasonGiven = true;
    return code;
}

int Fail(const char* reason)
{
    return FailWith(1, reason);
}

// A failed Windows call, with its last error.
int FailCall(const char* call)
{
    const DWORD error = GetLastError();
    char reason[256];
    snprintf(reason, sizeof reason, "%s failed (error %lu)", call,
             static_cast<unsigned long>(error));
    return Fail(reason);
}

// Posts a message to another process's window; fails with the last error.
int Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!PostMessageA(window, message, wParam, lParam)) {
        return FailCall("PostMessageA");
    }
    return 0;
}

std::string Utf8(const wchar_t* text)
{
    char buffer[4096];
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
    return size > 0 ? std::string(buffer) : std::string();
}

std::string WindowText(HWND window)
{
    wchar_t text[2048] = {};
    GetWindowTextW(window, text, 2048);
    return Utf8(text);
}

// CR and LF shown as \r and \n, so that a multi-line text is one line.
std::string Escaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

HWND MainWindow()
{
    return FindWindowA(MainClass, nullptr);
}

// Polls `find` every 50 ms until it returns a window or the time is up.
template <typename Find>
HWND WaitFor(Find find, DWORD timeout)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND found = find()) {
            return found;
        }
        if (GetTickCount() - start >= timeout) {
            return nullptr;
        }
        Sleep(50);
    }
}

// A shown top-level message box belonging to the process of the main window
// (or, with the main window gone, owned by no window of this driver). A box
// is shown only once its caption and text are in place.
HWND FindMessageBox()
{
    const HWND main = MainWindow();
    DWORD installer = 0;
    if (main != nullptr) {
        GetWindowThreadProcessId(main, &installer);
    }
    for (HWND box = FindWindowExA(nullptr, nullptr, MessageBoxClass, nullptr); box != nullptr;
         box = FindWindowExA(nullptr, box, MessageBoxClass, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(box, &owner);
        if (owner != GetCurrentProcessId() && (installer == 0 || owner == installer) &&
            IsWindowVisible(box)) {
            return box;
        }
    }
    return nullptr;
}

// Time limits are multiplied by E2E_TIME_SCALE from the environment (set
// where every program start costs seconds, as under emulation).
DWORD Scaled(DWORD milliseconds)
{
    const char* scale = getenv("E2E_TIME_SCALE");
    const unsigned long factor = scale != nullptr ? strtoul(scale, nullptr, 10) : 1;
    return milliseconds * static_cast<DWORD>(factor > 0 ? factor : 1);
}

DWORD Timeout(int argc, char** argv)
{
    return Scaled(argc > 2 ? static_cast<DWORD>(strtoul(argv[2], nullptr, 0)) : 10000);
}

// The main window once it is shown: it exists a moment before the installer
// has shown it with its show command, and a fast caller must not look at it
// in between.
HWND ShownMainWindow()
{
    const HWND window = MainWindow();
    return window != nullptr && IsWindowVisible(window) ? window : nullptr;
}

// Sends a message and waits for the answer at most `timeout` ms. No
// SMTO_ABORTIFHUNG: Wine counts a thread as hung when it has not asked for a
// message for five seconds, which an installer still starting up under
// emulation easily exceeds, and the call would then fail at once.
bool SendWithin(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD timeout,
                DWORD_PTR* result)
{
    return SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, timeout, result) != 0;
}

// Waits for the shown main window and then for its thread to answer a
// message: only then has the installer reached its message loop, and the
// calls that follow are answered at once.
int WaitWindow(DWORD timeout)
{
    const DWORD start = GetTickCount();
    const HWND window = WaitFor(ShownMainWindow, timeout);
    if (window == nullptr) {
        return FailWith(2, (std::string("no window of class ") + MainClass).c_str());
    }
    const DWORD spent = GetTickCount() - start;
    DWORD_PTR result = 0;
    if (!SendWithin(window, WM_NULL, 0, 0, spent < timeout ? timeout - spent : 1, &result)) {
        return FailWith(2, "the window is shown but its thread does not answer");
    }
    printf("%p\n", static_cast<void*>(window));
    return 0;
}

int CountWindows()
{
    int count = 0;
    for (HWND w = FindWindowExA(nullptr, nullptr, MainClass, nullptr); w != nullptr;
         w = FindWindowExA(nullptr, w, MainClass, nullptr)) {
        ++count;
    }
    printf("%d\n", count);
    return 0;
}

int ShowWindowInfo(HWND window)
{
    RECT outer;
    GetWindowRect(window, &outer);
    RECT client;
    GetClientRect(window, &client);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    printf("title: %s\n", WindowText(window).c_str());
    printf("rect: %ld %ld %ld %ld\n", outer.left, outer.top, outer.right, outer.bottom);
    printf("client: %ld %ld %ld %ld\n", origin.x, origin.y, client.right, client.bottom);
    printf("style: 0x%08lX\n", static_cast<unsigned long>(GetWindowLongPtrA(window, GWL_STYLE)));
    printf("exstyle: 0x%08lX\n",
           static_cast<unsigned long>(GetWindowLongPtrA(window, GWL_EXSTYLE)));
    printf("classstyle: 0x%08lX\n", static_cast<unsigned long>(GetClassLongA(window, GCL_STYLE)));
    return 0;
}

// id, class, client rectangle (left top right bottom), style, extended
// style, then the text, which may hold spaces, last; by id.
int ShowControls(HWND window)
{
    std::map<int, HWND> children;
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        children[GetDlgCtrlID(child)] = child;
    }
    for (const auto& [id, child] : children) {
        char className[64] = {};
        GetClassNameA(child, className, sizeof className);
        RECT r;
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
        printf("id=%d class=%s rect=%ld,%ld,%ld,%ld style=0x%08lX exstyle=0x%08lX text=%s\n", id,
               className, r.left, r.top, r.right, r.bottom,
               static_cast<unsigned long>(GetWindowLongPtrA(child, GWL_STYLE)),
               static_cast<unsigned long>(GetWindowLongPtrA(child, GWL_EXSTYLE)),
               Escaped(WindowText(child)).c_str());
    }
    return 0;
}

HWND DriveListOf(HWND window)
{
    return GetDlgItem(window, 503);
}

// The suggested rectangle goes by pointer, into the installer's memory; done
// when the window has painted and waits again (Wine then shows the paint).
int SendDpiChanged(HWND window, char** argv)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    const HANDLE installer = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, process);
    const RECT r = {atol(argv[3]), atol(argv[4]), atol(argv[5]), atol(argv[6])};
    void* there = VirtualAllocEx(installer, nullptr, sizeof r, MEM_COMMIT, PAGE_READWRITE);
    DWORD_PTR result = 0;
    const bool sent = there != nullptr &&
                      WriteProcessMemory(installer, there, &r, sizeof r, nullptr) &&
                      SendWithin(window, WM_DPICHANGED, atoi(argv[2]) * 0x10001,
                                 reinterpret_cast<LPARAM>(there), Scaled(5000), &result) &&
                      RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN) &&
                      SendWithin(window, WM_NULL, 0, 0, Scaled(5000), &result);
    VirtualFreeEx(installer, there, 0, MEM_RELEASE);
    CloseHandle(installer);
    return sent ? 0 : FailCall("sending WM_DPICHANGED");
}

int ShowItems(HWND window)
{
    const HWND list = DriveListOf(window);
    if (list == nullptr) {
        return Fail("no drive list");
    }
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t text[1024] = {};
        if (SendMessageW(list, LB_GETTEXTLEN, i, 0) >= 1024) {
            return Fail("item too long");
        }
        SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
        printf("item: %s\n", Utf8(text).c_str());
    }
    printf("selection: %ld\n", static_cast<long>(SendMessageW(list, LB_GETCURSEL, 0, 0)));
    return 0;
}

// Adds an item of our own to the drive list, as a user's system could
// never show it: for the tests of items that carry no drive letter.
int AddItem(HWND window, const char* text)
{
    const HWND list = DriveListOf(window);
    if (list == nullptr) {
        return Fail("no drive list");
    }
    WCHAR wide[512];
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, 512);
    DWORD_PTR result = 0;
    if (!SendWithin(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide), Scaled(5000), &result)) {
        return Fail("the drive list does not answer");
    }
    printf("%ld\n", static_cast<long>(result));
    return 0;
}

int SelectItem(HWND window, int index)
{
    const HWND list = DriveListOf(window);
    if (list == nullptr) {
        return Fail("no drive list");
    }
    DWORD_PTR result = 0;
    if (!SendWithin(list, LB_SETCURSEL, index, 0, Scaled(5000), &result)) {
        return Fail("the drive list does not answer");
    }
    return static_cast<LRESULT>(result) == LB_ERR && index != -1 ? Fail("no such item") : 0;
}

int ShowState(HWND window)
{
    printf("iconic=%d zoomed=%d visible=%d foreground=%d\n", IsIconic(window) ? 1 : 0,
           IsZoomed(window) ? 1 : 0, IsWindowVisible(window) ? 1 : 0,
           GetForegroundWindow() == window ? 1 : 0);
    return 0;
}

int ShowPixel(int x, int y)
{
    const HDC screen = GetDC(nullptr);
    const COLORREF colour = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    if (colour == CLR_INVALID) {
        return Fail("pixel outside the screen");
    }
    printf("%02X%02X%02X\n", GetRValue(colour), GetGValue(colour), GetBValue(colour));
    return 0;
}

// Quotes one argument for a command line when it holds blanks.
std::string Quoted(const char* argument)
{
    if (strpbrk(argument, " \t") == nullptr && argument[0] != 0) {
        return argument;
    }
    return std::string("\"") + argument + "\"";
}

int WaitMessageBox(DWORD timeout)
{
    const HWND box = WaitFor(FindMessageBox, timeout);
    if (box == nullptr) {
        return FailWith(2, "no message box");
    }
    printf("caption: %s\n", Escaped(WindowText(box)).c_str());
    printf("text: %s\n", Escaped(WindowText(GetDlgItem(box, MessageBoxTextId))).c_str());
    RECT r;
    GetWindowRect(box, &r);
    printf("rect: %ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
    return 0;
}

// The installer's thread: its keyboard focus, as an id (0 for the main
// window, -1 for none or another window).
int FocusedId(HWND window)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ||
        info.hwndFocus == nullptr) {
        return -1;
    }
    if (info.hwndFocus == window) {
        return 0;
    }
    return GetParent(info.hwndFocus) == window ? GetDlgCtrlID(info.hwndFocus) : -1;
}

int WaitFocus(HWND window, int id, DWORD timeout)
{
    const DWORD start = GetTickCount();
    int focused;
    while ((focused = FocusedId(window)) != id) {
        if (GetTickCount() - start >= timeout) {
            char reason[128];
            snprintf(reason, sizeof reason, "the focus is on %d, not on %d", focused, id);
            return FailWith(2, reason);
        }
        Sleep(20);
    }
    return 0;
}

// Types the keys as a user would, through the system's input queue.
int TypeKeys(int argc, char** argv)
{
    const struct {
        const char* name;
        WORD key;
    } names[] = {{"tab", VK_TAB},
                 {"down", VK_DOWN},
                 {"up", VK_UP},
                 {"enter", VK_RETURN},
                 {"space", VK_SPACE}};
    for (int i = 2; i < argc; ++i) {
        std::string name = argv[i];
        const bool shift = name.rfind("shift+", 0) == 0;
        if (shift) {
            name = name.substr(6);
        }
        WORD key = 0;
        for (const auto& known : names) {
            if (name == known.name) {
                key = known.key;
            }
        }
        if (key == 0) {
            return Fail(("unknown key: " + name).c_str());
        }
        INPUT inputs[4] = {};
        int count = 0;
        auto add = [&](WORD code, bool up) {
            inputs[count].type = INPUT_KEYBOARD;
            inputs[count].ki.wVk = code;
            inputs[count].ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
            ++count;
        };
        if (shift) {
            add(VK_SHIFT, false);
        }
        add(key, false);
        add(key, true);
        if (shift) {
            add(VK_SHIFT, true);
        }
        if (SendInput(count, inputs, sizeof(INPUT)) != static_cast<UINT>(count)) {
            return FailCall("SendInput");
        }
        Sleep(50);
    }
    return 0;
}

// Whether the window is alive: Windows deems a window hung when its thread
// has not asked for a message for five seconds and is not waiting for one.
// After IDLE_MS of leaving it alone, asks IsHungAppWindow; then sends
// WM_NULL every 100 ms for PROBE_MS and times the answers.
int Probe(HWND window, DWORD idle, DWORD probing)
{
    Sleep(idle);
    printf("hung: %d\n", IsHungAppWindow(window) ? 1 : 0);
    DWORD asked = 0, answered = 0, slowest = 0;
    std::string times;
    for (const DWORD start = GetTickCount(); GetTickCount() - start < probing; Sleep(100)) {
        const DWORD sent = GetTickCount();
        DWORD_PTR result = 0;
        ++asked;
        if (SendWithin(window, WM_NULL, 0, 0, 5000, &result)) {
            ++answered;
        }
        const DWORD took = GetTickCount() - sent;
        slowest = took > slowest ? took : slowest;
        times += " " + std::to_string(took);
    }
    printf("times:%s\n", times.c_str());
    printf("answered: %lu of %lu\n", static_cast<unsigned long>(answered),
           static_cast<unsigned long>(asked));
    printf("slowest: %lu\n", static_cast<unsigned long>(slowest));
    printf("hung after: %d\n", IsHungAppWindow(window) ? 1 : 0);
    return 0;
}

ULONGLONG Hundreds(FILETIME time)
{
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// The CPU time (kernel and user) that a process has used so far, in 100 ns
// units. On Windows that is what GetProcessTimes says. Wine 8 answers
// GetProcessTimes for another process with the caller's own times, but
// GetThreadTimes for each of its threads with what Linux counted for that
// thread (in steps of 10 ms), so under Wine the times of the process's
// threads are added up.
bool CpuTime(HANDLE process, DWORD processId, ULONGLONG& total)
{
    FILETIME created, ended, kernel, user;
    static const bool underWine =
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    if (!underWine) {
        if (!GetProcessTimes(process, &created, &ended, &kernel, &user)) {
            return false;
        }
        total = Hundreds(kernel) + Hundreds(user);
        return true;
    }
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return false;
    }
    total = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != processId) {
            continue;
        }
        const HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
        if (thread == nullptr) {
            continue;  // ended since the snapshot
        }
        if (GetThreadTimes(thread, &created, &ended, &kernel, &user)) {
            total += Hundreds(kernel) + Hundreds(user);
        }
        CloseHandle(thread);
    }
    CloseHandle(snapshot);
    return true;
}

// The CPU time that the installer's process uses while its window bears
// one title, as while a stage program runs: the title is polled every 5 ms
// (GetWindowTextW does not involve the installer's thread), the time read
// when the title appears and again when it has changed or the window has
// gone.
int StageCpu(HWND window, const char* title, DWORD timeout)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    const HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId);
    if (process == nullptr) {
        return FailCall("OpenProcess of the installer");
    }
    printf("watching: %lu\n", static_cast<unsigned long>(processId));
    fflush(stdout);
    const DWORD start = GetTickCount();
    std::string seen;
    while ((seen = WindowText(window)) != title) {
        if (!IsWindow(window) || GetTickCount() - start >= timeout) {
            CloseHandle(process);
            return FailWith(2,
                            ("the title never became the one asked for; it was: " + seen).c_str());
        }
        Sleep(5);
    }
    LARGE_INTEGER frequency, begun, over;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&begun);
    ULONGLONG before = 0, after = 0;
    const bool readBefore = CpuTime(process, processId, before);
    while (IsWindow(window) && WindowText(window) == title) {
        if (GetTickCount() - start >= timeout) {
            CloseHandle(process);
            return FailWith(2, "the title did not change in time");
        }
        Sleep(5);
    }
    QueryPerformanceCounter(&over);
    const bool readAfter = CpuTime(process, processId, after);
    CloseHandle(process);
    if (!readBefore || !readAfter) {
        return FailCall("reading the installer's CPU time");
    }
    if (after < before) {
        // Under Wine, once the process has ended its threads count no more.
        return Fail("the installer's CPU time went back (has it ended?)");
    }
    printf("cpu-us: %llu\n", (after - before) / 10);
    printf("wall-ms: %lld\n", (over.QuadPart - begun.QuadPart) * 1000 / frequency.QuadPart);
    return 0;
}

// Waits up to `timeout` ms for a started process and closes its handles;
// returns its exit code, or STILL_ACTIVE when it has not ended.
DWORD Finish(PROCESS_INFORMATION& process, DWORD timeout)
{
    DWORD exitCode = STILL_ACTIVE;
    if (WaitForSingleObject(process.hProcess, timeout) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &exitCode);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exitCode;
}

// A second copy started while the first still checks its file: the first
// is held (its thread suspended) from the moment its single-instance name
// exists, so that the second surely starts before the first has a window.
int StartDuringCheck(int argc, char** argv)
{
    if (argc < 4) {
        return Fail("usage: start-during-check REPORT PROGRAM");
    }
    FILE* report = fopen(argv[2], "w");
    if (report == nullptr) {
        return Fail("cannot write the report");
    }
    std::string commandLine = Quoted(argv[3]);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION first = {};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &first)) {
        fclose(report);
        return FailCall("CreateProcessA of the first copy");
    }
    bool claimed = false;
    for (const DWORD start = GetTickCount(); GetTickCount() - start < Scaled(30000);) {
        if (HANDLE name = OpenMutexA(SYNCHRONIZE, FALSE, "Global\\vnki_Class")) {
            CloseHandle(name);
            claimed = true;
            break;
        }
        if (WaitForSingleObject(first.hProcess, 0) == WAIT_OBJECT_0) {
            break;
        }
    }
    SuspendThread(first.hThread);
    fprintf(report, "claimed: %d\n", claimed ? 1 : 0);
    fprintf(report, "windows when held: %d\n", MainWindow() != nullptr ? 1 : 0);
    PROCESS_INFORMATION second = {};
    DWORD secondCode = STILL_ACTIVE;
    if (CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &second)) {
        secondCode = Finish(second, Scaled(30000));
    }
    fprintf(report, "second copy: %lu\n", static_cast<unsigned long>(secondCode));
    fprintf(report, "windows after the second: %d\n", MainWindow() != nullptr ? 1 : 0);
    fclose(report);
    ResumeThread(first.hThread);
    return static_cast<int>(Finish(first, INFINITE));
}

int AnswerMessageBox(const char* button)
{
    const HWND box = FindMessageBox();
    if (box == nullptr) {
        return Fail("no message box");
    }
    const WPARAM id = button == nullptr ? IDOK : strcmp(button, "no") == 0 ? IDNO : IDYES;
    if (Post(box, WM_COMMAND, id, 0) != 0) {
        return 1;
    }
    // Wait for this box to go, not for every box: the installer may put up
    // the next one at once.
    const DWORD start = GetTickCount();
    while (IsWindow(box)) {
        if (GetTickCount() - start >= Scaled(10000)) {
            return Fail("the message box did not close");
        }
        Sleep(20);
    }
    return 0;
}

// The processes seen so far that the watched program started, and the
// windows of any of them.
std::vector<DWORD> Watched;
std::vector<std::string> WindowsSeen;

BOOL CALLBACK NoteWindow(HWND window, LPARAM)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (!IsWindowVisible(window) ||
        std::find(Watched.begin(), Watched.end(), process) == Watched.end()) {
        return TRUE;
    }
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    const std::string seen = std::string(className) + " " + WindowText(window);
    if (std::find(WindowsSeen.begin(), WindowsSeen.end(), seen) == WindowsSeen.end()) {
        WindowsSeen.push_back(seen);
    }
    return TRUE;
}

int RunWatched(int argc, char** argv)
{
    std::wstring line;
    for (int i = 2; i < argc; ++i) {
        wchar_t wide[2048];
        MultiByteToWideChar(CP_UTF8, 0, Quoted(argv[i]).c_str(), -1, wide, 2048);
        line += (i > 2 ? L" " : L"") + std::wstring(wide);
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return FailCall("CreateProcessW");
    }
    Watched.assign(1, process.dwProcessId);
    for (bool ended = false; !ended;) {
        ended = WaitForSingleObject(process.hProcess, 20) == WAIT_OBJECT_0;
        const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        PROCESSENTRY32 entry = {};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32First(snapshot, &entry); more;
             more = Process32Next(snapshot, &entry)) {
            if (std::find(Watched.begin(), Watched.end(), entry.th32ParentProcessID) !=
                    Watched.end() &&
                std::find(Watched.begin(), Watched.end(), entry.th32ProcessID) == Watched.end()) {
                Watched.push_back(entry.th32ProcessID);
            }
        }
        CloseHandle(snapshot);
        EnumWindows(NoteWindow, 0);
    }
    printf("exit code: %lu\n", static_cast<unsigned long>(Finish(process, 0)));
    for (const std::string& window : WindowsSeen) {
        printf("window: %s\n", Escaped(window).c_str());
    }
    if (WindowsSeen.empty()) {
        printf("windows: none\n");
    }
    return 0;
}

int ShowEntry(char letter)
{
    const std::string key =
        std::string("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VARNOK-8-") + letter;
    std::vector<std::string> lines;
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        HKEY entry;
        if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &entry) != 0) {
            continue;
        }
        char name[256], data[1024];
        DWORD type;
        for (DWORD i = 0;; ++i) {
            DWORD nameSize = sizeof name, dataSize = sizeof data - 1;
            if (RegEnumValueA(entry, i, name, &nameSize, nullptr, &type,
                              reinterpret_cast<BYTE*>(data), &dataSize) != 0) {
                break;
            }
            data[dataSize] = 0;
            lines.push_back(std::string(root == HKEY_LOCAL_MACHINE ? "HKLM " : "HKCU ") + name +
                            "=" +
                            (type == REG_DWORD ? std::to_string(*reinterpret_cast<DWORD*>(data))
                                               : std::string(data)));
        }
        RegCloseKey(entry);
    }
    std::sort(lines.begin(), lines.end());
    for (const std::string& line : lines) {
        printf("%s\n", line.c_str());
    }
    return 0;
}

int StartWithShow(int argc, char** argv)
{
    if (argc < 4) {
        return Fail("usage: start-with-show N PROGRAM [ARGS...]");
    }
    std::string commandLine = Quoted(argv[3]);
    for (int i = 4; i < argc; ++i) {
        commandLine += " " + Quoted(argv[i]);
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(atoi(argv[2]));
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return FailCall("CreateProcessA");
    }
    const DWORD exitCode = Finish(process, INFINITE);
    if (exitCode == STILL_ACTIVE) {
        return FailCall("waiting for the program");
    }
    if (exitCode != 0) {
        char reason[300];
        snprintf(reason, sizeof reason, "%s ended with exit code %lu", argv[3],
                 static_cast<unsigned long>(exitCode));
        return FailWith(static_cast<int>(exitCode), reason);
    }
    return 0;
}

// What a failed call leaves to look at: the main window, its process and
// thread, whether the thread answers a message within two seconds (so a
// busy or hung installer cannot hang the driver), and the message box that is up. Texts are read with
// GetWindowTextW, which does not need the window's thread.
int ShowStatus()
{
    const HWND window = MainWindow();
    if (window == nullptr) {
        printf("window: none\n");
    } else {
        DWORD process = 0;
        const DWORD thread = GetWindowThreadProcessId(window, &process);
        printf("window: %p process=%lu thread=%lu visible=%d iconic=%d enabled=%d title=%s\n",
               static_cast<void*>(window), static_cast<unsigned long>(process),
               static_cast<unsigned long>(thread), IsWindowVisible(window) ? 1 : 0,
               IsIconic(window) ? 1 : 0, IsWindowEnabled(window) ? 1 : 0,
               WindowText(window).c_str());
        DWORD_PTR result = 0;
        const DWORD start = GetTickCount();
        if (SendWithin(window, WM_NULL, 0, 0, 2000, &result)) {
            printf("answers: yes, in %lu ms\n", static_cast<unsigned long>(GetTickCount() - start));
        } else {
            printf("answers: no (error %lu after %lu ms)\n",
                   static_cast<unsigned long>(GetLastError()),
                   static_cast<unsigned long>(GetTickCount() - start));
        }
    }
    if (const HWND box = FindMessageBox()) {
        printf("message box: caption=%s text=%s\n", Escaped(WindowText(box)).c_str(),
               Escaped(WindowText(GetDlgItem(box, MessageBoxTextId))).c_str());
    } else {
        printf("message box: none\n");
    }
    return 0;
}

// The subcommands that act on the running installer's main window.
int OnMainWindow(const std::string& command, int argc, char** argv, HWND window)
{
    if (command == "window") {
        return ShowWindowInfo(window);
    }
    if (command == "controls") {
        return ShowControls(window);
    }
    if (command == "items") {
        return ShowItems(window);
    }
    if (command == "label" && argc > 2) {  // what Windows' proxy names a control by
        const HWND before = GetWindow(GetDlgItem(window, atoi(argv[2])), GW_HWNDPREV);
        printf("id=%d text=%s\n", GetDlgCtrlID(before), WindowText(before).c_str());
        return 0;
    }
    if (command == "dpi-changed" && argc > 6) {
        return SendDpiChanged(window, argv);
    }
    if (command == "add-item" && argc > 2) {
        return AddItem(window, argv[2]);
    }
    if (command == "select" && argc > 2) {
        return SelectItem(window, atoi(argv[2]));
    }
    if (command == "click") {
        return Post(window, WM_COMMAND, 500, reinterpret_cast<LPARAM>(GetDlgItem(window, 500)));
    }
    if (command == "command" && argc > 2) {
        return Post(window, WM_COMMAND, static_cast<WPARAM>(strtoull(argv[2], nullptr, 0)), 0);
    }
    if (command == "title") {
        printf("%s\n", WindowText(window).c_str());
        return 0;
    }
    if (command == "close") {
        return Post(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    if (command == "post" && argc > 3) {
        return Post(window, static_cast<UINT>(strtoul(argv[2], nullptr, 0)),
                    static_cast<WPARAM>(strtoull(argv[3], nullptr, 0)), 0);
    }
    if (command == "query-end-session") {
        DWORD_PTR result = 0;
        if (!SendWithin(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, Scaled(5000), &result)) {
            return Fail("no answer to WM_QUERYENDSESSION");
        }
        printf("%lu\n", static_cast<unsigned long>(result));
        return 0;
    }
    if (command == "wait-focus" && argc > 3) {
        return WaitFocus(window, atoi(argv[2]), Timeout(argc - 1, argv + 1));
    }
    if (command == "probe" && argc > 3) {
        return Probe(window, static_cast<DWORD>(atoi(argv[2])), static_cast<DWORD>(atoi(argv[3])));
    }
    if (command == "stage-cpu" && argc > 3) {
        return StageCpu(window, argv[2], Scaled(static_cast<DWORD>(strtoul(argv[3], nullptr, 0))));
    }
    if (command == "minimize") {
        ShowWindow(window, SW_MINIMIZE);
        return 0;
    }
    if (command == "state") {
        return ShowState(window);
    }
    return Fail(("unknown subcommand or missing argument: " + command).c_str());
}

int Run(int argc, char** argv)
{
    if (argc < 2) {
        return Fail("usage: e2e_driver SUBCOMMAND [ARGS...]");
    }
    const std::string command = argv[1];
    if (command == "wait-window") {
        return WaitWindow(Timeout(argc, argv));
    }
    if (command == "count-windows") {
        return CountWindows();
    }
    if (command == "pixel" && argc > 3) {
        return ShowPixel(atoi(argv[2]), atoi(argv[3]));
    }
    if (command == "wait-messagebox") {
        return WaitMessageBox(Timeout(argc, argv));
    }
    if (command == "answer-messagebox") {
        return AnswerMessageBox(argc > 2 ? argv[2] : nullptr);
    }
    if (command == "run-watched" && argc > 2) {
        return RunWatched(argc, argv);
    }
    if (command == "entry" && argc > 2) {
        return ShowEntry(argv[2][0]);
    }
    if (command == "start-with-show") {
        return StartWithShow(argc, argv);
    }
    if (command == "status") {
        return ShowStatus();
    }
    if (command == "start-during-check") {
        return StartDuringCheck(argc, argv);
    }
    if (command == "keys") {
        return TypeKeys(argc, argv);
    }
    if (command == "move" && argc > 3) {
        if (MoveFileA(argv[2], argv[3])) {
            return 0;
        }
        fprintf(stderr, "e2e_driver: MoveFileA failed with error %lu\n",
                static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    const HWND window = MainWindow();
    if (window == nullptr) {
        return Fail("no installer window");
    }
    return OnMainWindow(command, argc, argv, window);
}

// A crash is reported as such before the process ends with its code.
LONG WINAPI ReportCrash(EXCEPTION_POINTERS* exception)
{
    fprintf(stderr, "e2e_driver: exception 0x%08lX at %p\n",
            static_cast<unsigned long>(exception->ExceptionRecord->ExceptionCode),
            exception->ExceptionRecord->ExceptionAddress);
    return EXCEPTION_EXECUTE_HANDLER;
}

// serve: runs one subcommand per line of standard input (its arguments
// separated by tabs) and ends each answer with a line "e2e_driver-end CODE",
// until the input ends. One process for a whole scenario, where starting a
// Windows program costs seconds (the i386 guest).
int Serve()
{
    std::string line;
    int c;
    while ((c = getchar()) != EOF) {
        if (c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        std::vector<std::string> words(1, "e2e_driver");
        std::string::size_type begin = 0;
        for (;;) {
            const std::string::size_type tab = line.find('\t', begin);
            words.push_back(line.substr(begin, tab - begin));
            if (tab == std::string::npos) {
                break;
            }
            begin = tab + 1;
        }
        std::vector<char*> argv;
        for (std::string& word : words) {
            argv.push_back(&word[0]);
        }
        argv.push_back(nullptr);
        ReasonGiven = false;
        const int code = Run(static_cast<int>(words.size()), argv.data());
        if (code != 0 && !ReasonGiven) {
            fprintf(stderr, "e2e_driver: %s ends with %d without a reason of its own\n",
                    words[1].c_str(), code);
        }
        printf("e2e_driver-end %d\n", code);
        fflush(stdout);
        fflush(stderr);
        line.clear();
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    // Plain LF line ends for the shell scripts.
    _setmode(_fileno(stdout), _O_BINARY);
    SetUnhandledExceptionFilter(ReportCrash);
    const bool trace = getenv("E2E_DRIVER_TRACE") != nullptr;
    if (trace) {
        fprintf(stderr, "e2e_driver: begins (process %lu)\n",
                static_cast<unsigned long>(GetCurrentProcessId()));
    }
    if (argc == 2 && strcmp(argv[1], "serve") == 0) {
        return Serve();
    }
    // The arguments as UTF-8, as the session hands them over: the ANSI ones
    // lose what the code page cannot spell.
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> words(count);
    std::vector<char*> utf8;
    for (int i = 0; i < count; ++i) {
        char word[2048];
        WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, word, sizeof word, nullptr, nullptr);
        words[i] = word;
        utf8.push_back(&words[i][0]);
    }
    const int code = Run(count, utf8.data());
    if (code != 0 && !ReasonGiven) {
        fprintf(stderr, "e2e_driver: ends with %d without a reason of its own\n", code);
    }
    fflush(stdout);
    if (trace) {
        fprintf(stderr, "e2e_driver: returns %d\n", code);
    }
    return code;
}
