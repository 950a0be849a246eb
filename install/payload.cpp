// Reading the running installer's own file, checking its payload and writing
// the payload out as "varnok.exe". Lives without the C runtime: memory comes
// from the process heap, and the own file is read with plain kernel32 calls
// (not guarded: nothing that fails here may reach the caller's ErrorNumber).
// Its path is taken in UTF-16: a download folder whose name the ANSI code
// page cannot spell would otherwise come back with "?" in it.

#include "install/payload.h"

#include "run/run.h"
#include "services/files.h"
#include "services/kernel.h"

// Room for the longest path GetModuleFileNameW can return, with its
// terminator. It comes from the heap: on the stack it would need a probed
// frame, and as a static the compiler stores its zeros in the image.
const DWORD ModulePathSize = 32768;

// The file cannot be read: why, as Windows said it.
__attribute__((noinline)) static PayloadCheck Unreadable(ErrorNumber& readError)
{
    readError = ErrorNumberForCode(LastError());
    return OwnFileUnreadable;
}

// Reads the whole file at `path` into `file`. The file is held in one block,
// without a second copy of the payload: on a 32-bit system the largest
// block to be had bounds the installer's size.
static PayloadCheck ReadWholeFile(const WCHAR* path, OwnFile& file, ErrorNumber& readError)
{
    HANDLE handle = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return Unreadable(readError);
    PayloadCheck check = PayloadIntact;
    DWORD high = 0;
    DWORD size = GetFileSize(handle, &high);
    if (size == INVALID_FILE_SIZE && LastError() != NO_ERROR) {
        check = Unreadable(readError);
    } else if (high != 0) {
        check = PayloadDamaged;  // no installer file reaches 4 GiB
    } else {
        file.bytes = static_cast<unsigned char*>(Allocate(size ? size : 1));
        DWORD read = 0;
        if (!file.bytes) {
            check = NotEnoughMemory;
        } else if (!ReadFile(handle, file.bytes, size, &read, nullptr)) {
            check = Unreadable(readError);
        } else if (read != size) {
            readError = ErrorNumberForCode(ERROR_HANDLE_EOF);  // the file shrank meanwhile
            check = OwnFileUnreadable;
        }
        file.size = size;
    }
    Close(handle);
    return check;
}

void ReleaseOwnFile(OwnFile& file)
{
    if (file.bytes)
        Release(file.bytes);
    file.bytes = nullptr;
    file.size = 0;
}

// The full path of the running program, in a block of the heap, or null
// when there is no memory or the path would not fit (it might have been
// cut: never open a different file than our own).
WCHAR* OwnPath()
{
    WCHAR* path = static_cast<WCHAR*>(Allocate(ModulePathSize * sizeof(WCHAR)));
    if (path != nullptr) {
        DWORD length = GetModuleFileNameW(InstanceHandle, path, ModulePathSize);
        if (length != 0 && length < ModulePathSize)
            return path;
        Release(path);
    }
    return nullptr;
}

// The loader maps the file's headers as they are: the marker is read from
// the running image, without opening the file.
bool OwnFileIsUninstaller()
{
    return ReadLittleEndian32(reinterpret_cast<const unsigned char*>(InstanceHandle) +
                              IntegrityMarkerField) == ReadLittleEndian32(UninstallerMarker);
}

PayloadCheck ExtractPayload(OwnFile& file, ErrorNumber& readError)
{
    file.bytes = nullptr;
    file.size = 0;
    WCHAR* path = OwnPath();
    if (path == nullptr) {
        readError = ErrorBadFileName;
        return OwnFileUnreadable;
    }
    PayloadCheck check = ReadWholeFile(path, file, readError);
    Release(path);
    if (check == PayloadIntact) {
        file.layout = CheckInstallerFile(file.bytes, file.size);
        check = file.layout.check;
    }
    if (check != PayloadIntact)
        ReleaseOwnFile(file);
    return check;
}

bool WritePayloadFile(OwnFile& file, ErrorNumber& error)
{
    bool written = WriteWholeFile("varnok.exe", file.bytes + file.layout.payloadStart,
                                  file.layout.payloadLength, error);
    if (!written) {
        ReleaseOwnFile(file);
        return false;
    }
    // Shrinking a block keeps its first bytes, here the image.
    void* image = Resize(file.bytes, file.layout.pe.imageEnd);
    if (image != nullptr) {
        file.bytes = static_cast<unsigned char*>(image);
        file.size = file.layout.pe.imageEnd;
    }
    return true;
}
