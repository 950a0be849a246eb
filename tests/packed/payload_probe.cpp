// A stand-in installer for the payload tests: packed with a payload like
// the real one, it writes that payload out as "varnok.exe" in its current
// directory and reports how it went.
//
//   payload_probe.exe [wait READY GO]
//
// With `wait`, it first creates the file READY and waits for GO to appear,
// so that a test can change the installer's file on disk in between.
// Exit code 0 when WritePayloadFile reported a complete write, 1 when the
// payload was refused or its write failed, 2 when GO never came.

#include <stdio.h>
#include <windows.h>

#include "install/payload.h"

int main(int argc, char** argv)
{
    if (argc == 4 && lstrcmpA(argv[1], "wait") == 0) {
        HANDLE ready = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        CloseHandle(ready);
        int waited = 0;
        while (GetFileAttributesA(argv[3]) == INVALID_FILE_ATTRIBUTES) {
            if (++waited > 1200)
                return 2;
            Sleep(50);
        }
    }
    OwnFile file;
    ErrorNumber error = ErrorNone;
    PayloadCheck check = ExtractPayload(file, error);
    if (check != PayloadIntact) {
        printf("ExtractPayload: refused, check %d, error number %d\n", check, error);
        return 1;
    }
    bool written = WritePayloadFile(file, error);
    printf("WritePayloadFile: %s, error number %d\n", written ? "written" : "failed", error);
    return written ? 0 : 1;
}
