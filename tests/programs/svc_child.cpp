// A child for the launcher tests: svc_child REPORT [SLEEP_MS [DONE]]
// Writes to REPORT what it got from its starter (the STARTUPINFO show
// settings, the error mode it inherited, whether its console has a
// window, its own file and command line),
// then sleeps SLEEP_MS milliseconds and creates DONE just before it exits.

#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    UINT mode = SetErrorMode(0);
    SetErrorMode(mode);
    STARTUPINFOA startup;
    GetStartupInfoA(&startup);
    char path[MAX_PATH] = "";
    GetModuleFileNameA(NULL, path, MAX_PATH);

    FILE* report = std::fopen(argv[1], "wb");
    if (!report)
        return 3;
    std::fprintf(report, "flags=%lu\nshow=%u\nerrormode=%u\nconsole=%d\npath=%s\ncmdline=%s\n",
                 (unsigned long)startup.dwFlags, (unsigned)startup.wShowWindow, mode,
                 GetConsoleWindow() != NULL, path, GetCommandLineA());
    std::fclose(report);

    if (argc >= 3)
        Sleep((DWORD)std::atoi(argv[2]));
    if (argc >= 4) {
        FILE* done = std::fopen(argv[3], "w");
        if (!done)
            return 4;
        std::fclose(done);
    }
    return 0;
}
