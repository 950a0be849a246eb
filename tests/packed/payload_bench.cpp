// Timing and memory of writing the packed payload out, against the
// system's own file copy. Used by scripts/bench, not by the test suite.
//
//   payload_bench.exe write          read and check the payload, and write it
//                                    into the current directory, as Install does
//   payload_bench.exe check          read and check it only, as the start does
//   payload_bench.exe crc            read and check it, then time the CRC-32
//                                    of the payload alone, in memory
//   payload_bench.exe copy SRC DST   CopyFileA(SRC, DST)
//
// Prints one line: the operation, whether it succeeded, its time in
// microseconds and, for `write` and `check`, the process's private bytes and working set
// before the call and at their peak; for `crc`, the payload's length and its CRC-32.

#include <stdio.h>
#include <windows.h>
#include <psapi.h>

#include "install/payload.h"

static LONGLONG Microseconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (to.QuadPart - from.QuadPart) * 1000000 / frequency.QuadPart;
}

static PROCESS_MEMORY_COUNTERS Memory()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters;
}

int main(int argc, char** argv)
{
    LARGE_INTEGER start, end;
    bool write = argc == 2 && lstrcmpA(argv[1], "write") == 0;
    if (write || (argc == 2 && lstrcmpA(argv[1], "check") == 0)) {
        PROCESS_MEMORY_COUNTERS before = Memory();
        ErrorNumber error = ErrorNone;
        OwnFile file;
        QueryPerformanceCounter(&start);
        bool written = ExtractPayload(file, error) == PayloadIntact;
        if (written && write)
            written = WritePayloadFile(file, error);
        ReleaseOwnFile(file);
        QueryPerformanceCounter(&end);
        PROCESS_MEMORY_COUNTERS after = Memory();
        printf("%s %d %lld %llu %llu %llu %llu\n", argv[1], written ? 1 : 0,
               Microseconds(start, end), (unsigned long long)before.PagefileUsage,
               (unsigned long long)after.PeakPagefileUsage,
               (unsigned long long)before.WorkingSetSize,
               (unsigned long long)after.PeakWorkingSetSize);
        return written ? 0 : 1;
    }
    if (argc == 2 && lstrcmpA(argv[1], "crc") == 0) {
        ErrorNumber error = ErrorNone;
        OwnFile file;
        if (ExtractPayload(file, error) != PayloadIntact) {
            printf("crc 0 0\n");
            return 1;
        }
        const unsigned char* payload = file.bytes + file.layout.payloadStart;
        QueryPerformanceCounter(&start);
        uint32_t crc = Crc32(0, payload, file.layout.payloadLength);
        QueryPerformanceCounter(&end);
        printf("crc 1 %lld %lu %08lx\n", Microseconds(start, end),
               (unsigned long)file.layout.payloadLength, (unsigned long)crc);
        ReleaseOwnFile(file);
        return 0;
    }
    if (argc == 4 && lstrcmpA(argv[1], "copy") == 0) {
        QueryPerformanceCounter(&start);
        BOOL copied = CopyFileA(argv[2], argv[3], FALSE);
        QueryPerformanceCounter(&end);
        printf("copy %d %lld\n", copied ? 1 : 0, Microseconds(start, end));
        return copied ? 0 : 1;
    }
    fprintf(stderr, "usage: payload_bench.exe write | check | crc | copy SRC DST\n");
    return 2;
}
