// Reading the running installer's own file and writing its payload out as
// "varnok.exe". Lives without the C runtime: memory comes from the process
// heap, and the own file is read with plain kernel32 calls (not guarded:
// nothing that fails here may reach the caller's ErrorNumber).

#include "install/payload.h"

#include "install/payload_layout.h"
#include "services/files.h"

// Room for the longest path GetModuleFileNameA can return, with its
// terminator. It comes from the heap: on the stack it would need a probed
// frame, and as a static the compiler stores its zeros in the image.
const DWORD ModulePathSize = 32768;

static ByteString EmptyByteString()
{
    ByteString empty = {nullptr, 0};
    return empty;
}

// Reads the whole file at `path` into a heap block of `*size` bytes; null
// when it cannot be opened, is 4 GiB or larger, or does not come in whole.
static unsigned char* ReadWholeOwnFile(const char* path, DWORD* size)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    unsigned char* image = nullptr;
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    bool sized = !(low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) && high == 0;
    if (sized && low != 0) {
        image = (unsigned char*)HeapAlloc(GetProcessHeap(), 0, low);
        DWORD read = 0;
        if (image && (!ReadFile(file, image, low, &read, nullptr) || read != low)) {
            HeapFree(GetProcessHeap(), 0, image);
            image = nullptr;
        }
    }
    CloseHandle(file);
    *size = low;
    return image;
}

ByteString ExtractPayload()
{
    char* path = (char*)HeapAlloc(GetProcessHeap(), 0, ModulePathSize);
    if (!path)
        return EmptyByteString();
    DWORD pathLength = GetModuleFileNameA(nullptr, path, ModulePathSize);
    // A path that fills the buffer may have been cut: never open a
    // different file than our own.
    DWORD fileSize = 0;
    unsigned char* image = nullptr;
    if (pathLength != 0 && pathLength < ModulePathSize)
        image = ReadWholeOwnFile(path, &fileSize);
    HeapFree(GetProcessHeap(), 0, path);
    if (!image)
        return EmptyByteString();

    ByteString payload = EmptyByteString();
    PayloadSpan span = LocatePayload(image, fileSize);
    if (span.length != 0) {
        payload.bytes = (unsigned char*)HeapAlloc(GetProcessHeap(), 0, span.length);
        if (payload.bytes) {
            __builtin_memcpy(payload.bytes, image + span.start, span.length);
            payload.length = span.length;
        }
    }
    HeapFree(GetProcessHeap(), 0, image);
    return payload;
}

void ReleaseByteString(ByteString& string)
{
    if (string.bytes)
        HeapFree(GetProcessHeap(), 0, string.bytes);
    string.bytes = nullptr;
    string.length = 0;
}

// An empty payload is still written, as an empty "varnok.exe", so that no
// earlier file of that name survives; it counts as a failure all the same.
bool WritePayloadFile(ErrorNumber& error)
{
    ByteString payload = ExtractPayload();
    bool written = WriteWholeFile("varnok.exe", payload.bytes, payload.length, error);
    bool complete = written && payload.length != 0;
    ReleaseByteString(payload);
    return complete;
}
