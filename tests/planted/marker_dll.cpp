// A stand-in for a system DLL that a program may load by name from its own
// folder. The end-to-end scenarios copy this one file beside a program under
// the names of system DLLs; if the program loads a copy, the copy says so.
//
// On process attach it appends one line to C:\planted-dll-marks.txt:
//     <this DLL's full path> TAB <the loading process's executable> CR LF
// and then refuses to attach. It has none of the exports of the DLL it
// stands for, so a caller that got it would find nothing it asks for; by
// refusing, the loader unloads it again and the caller sees the same as a
// DLL that could not be loaded, which system code copes with, instead of a
// module whose every function is missing. The mark is written first, with
// nothing before it that could fail, so a load leaves its trace even if the
// program goes wrong afterwards.
//
// It needs no C runtime: the entry point is DllMain itself and it calls
// kernel32 only (kernel32 is loaded in every process before any DLL).

#include <windows.h>

namespace {

const char MarksFile[] = "C:\\planted-dll-marks.txt";

// Appends `text` at `at` within a line of `size` bytes; returns the new end.
char* Append(char* at, const char* end, const char* text)
{
    while (*text != 0 && at < end) {
        *at++ = *text++;
    }
    return at;
}

void LeaveMark(HINSTANCE self)
{
    char dll[MAX_PATH];
    char process[MAX_PATH];
    if (GetModuleFileNameA(self, dll, MAX_PATH) == 0) {
        lstrcpyA(dll, "(unknown DLL)");
    }
    if (GetModuleFileNameA(nullptr, process, MAX_PATH) == 0) {
        lstrcpyA(process, "(unknown process)");
    }
    char line[2 * MAX_PATH + 8];
    const char* const end = line + sizeof line - 2;
    char* at = Append(line, end, dll);
    at = Append(at, end, "\t");
    at = Append(at, end, process);
    *at++ = '\r';
    *at++ = '\n';

    // Opened for appending only: each WriteFile then lands at the end of the
    // file as one piece, so marks of processes that load a copy at the same
    // moment do not overwrite each other. Shared for everything, so that a
    // reader or another writer never makes the open fail.
    const HANDLE file = CreateFileA(MarksFile, FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(at - line), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH) {
        return TRUE;
    }
    LeaveMark(instance);
    return FALSE;
}
