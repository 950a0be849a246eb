// The sample package program "varnok.exe": run without arguments, it writes
// the stage programs, the batch file, its helper and a hidden README.HTM
// into the current directory (all carried as RCDATA resources), logs the
// installer's title and ends.

#include <string.h>

#include "sample.h"
#include "package_ids.h"

struct PackedFile {
    int id;
    const char* name;
    DWORD attributes;
};

static const PackedFile Files[] = {
    {ID_TUTE, "tute.exe", FILE_ATTRIBUTE_NORMAL},
    {ID_EX1, "ex1.exe", FILE_ATTRIBUTE_NORMAL},
    {ID_EX2, "ex2.exe", FILE_ATTRIBUTE_NORMAL},
    {ID_EX3, "ex3.exe", FILE_ATTRIBUTE_NORMAL},
    {ID_LOGTITLE, "logtitle.exe", FILE_ATTRIBUTE_NORMAL},
    {ID_MAKELIBS, "makelibs.bat", FILE_ATTRIBUTE_NORMAL},
    {ID_README, "README.HTM", FILE_ATTRIBUTE_HIDDEN},
};

static bool Unpack(const PackedFile& file)
{
    HRSRC found = FindResourceA(NULL, MAKEINTRESOURCEA(file.id), MAKEINTRESOURCEA(10));
    HGLOBAL loaded = found ? LoadResource(NULL, found) : NULL;
    const void* bytes = loaded ? LockResource(loaded) : NULL;
    if (!bytes) {
        fprintf(stderr, "varnok.exe: resource %d for %s is missing\n", file.id, file.name);
        return false;
    }
    DWORD size = SizeofResource(NULL, found);
    HANDLE out =
        CreateFileA(file.name, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, file.attributes, NULL);
    if (out == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "varnok.exe: cannot create %s (error %lu)\n", file.name, GetLastError());
        return false;
    }
    DWORD written = 0;
    BOOL ok = WriteFile(out, bytes, size, &written, NULL) && written == size;
    if (!CloseHandle(out) || !ok) {
        fprintf(stderr, "varnok.exe: cannot write %s\n", file.name);
        return false;
    }
    printf("varnok.exe: unpacked %s (%lu bytes)\n", file.name, size);
    return true;
}

static int UnpackAll()
{
    LogInstallerTitle("varnok.exe");
    SampleDelay("varnok.exe");
    // A test may name one file to leave out, to see how the installer
    // copes with a stage whose program is missing, or "*" for all of them.
    const char* leaveOut = getenv("VARNOK_SAMPLE_LEAVE_OUT");
    for (const PackedFile& file : Files) {
        if (leaveOut && (_stricmp(leaveOut, file.name) == 0 || strcmp(leaveOut, "*") == 0))
            continue;
        if (!Unpack(file))
            return 1;
    }
    return SampleExitCode("varnok.exe");
}

int main()
{
    SampleTimeStamp("varnok.exe", "start");
    int code = UnpackAll();
    SampleTimeStamp("varnok.exe", "end");
    return code;
}
