// Walking the installation folder into an uninstall record.

#include "install/tree.h"

#include "install/payload_layout.h"
#include "services/guarded_call.h"
#include "services/kernel.h"

namespace {

const size_t LongPathSize = 32768;
// Deeper folders are not walked: each level takes a frame of the stack.
const unsigned DeepestFolder = 200;
const DWORD ChecksumChunk = 1 << 16;

// Appends one entry for the path below the folder; false without memory.
bool AddEntry(RecordBuffer& record, const LongPath& path, RecordKind kind, uint64_t size,
              uint32_t checksum)
{
    const size_t pathLength = path.length - path.rootLength - 1;
    const size_t needed = record.size + RecordEntryHeaderSize + 2 * pathLength;
    if (pathLength > RecordPathLimit)
        return false;
    if (HeapSize(GetProcessHeap(), 0, record.bytes) < needed) {
        void* bigger = Resize(record.bytes, needed * 2);
        if (bigger == nullptr)
            return false;
        record.bytes = static_cast<unsigned char*>(bigger);
    }
    record.size +=
        WriteRecordEntry(record.bytes + record.size, kind, size, checksum,
                         reinterpret_cast<const char16_t*>(path.text + path.rootLength + 1),
                         static_cast<uint16_t>(pathLength));
    record.entryCount++;
    record.fileBytes += size;
    return true;
}

// Records the folder that `path` names, and below it, each folder after
// its contents.
void RecordFolder(LongPath& path, bool checksums, RecordBuffer& record, unsigned depth,
                  ErrorNumber& error)
{
    const size_t length = path.length;
    path.text[length] = '\\';
    path.text[length + 1] = '*';
    path.text[length + 2] = 0;
    WIN32_FIND_DATAW found;
    DWORD code;
    HANDLE search = GuardedOsCall(code, [&] { return FindFirstFileW(path.text, &found); });
    path.text[length] = 0;
    if (search == INVALID_HANDLE_VALUE) {
        error = ErrorNumberForCode(code);
        return;
    }
    do {
        const WCHAR* name = found.cFileName;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        size_t nameLength = TextLength(name);
        if (length + 1 + nameLength + 3 > LongPathSize) {
            error = ErrorBadFileName;
            break;
        }
        path.text[length] = '\\';
        CopyText(path.text + length + 1, name);
        path.length = length + 1 + nameLength;
        uint64_t size = 0;
        uint32_t checksum = 0;
        // A reparse point's tag is in dwReserved0 (WIN32_FIND_DATA).
        const RecordKind kind = KindOfEntry(found.dwFileAttributes, found.dwReserved0);
        if (kind == RecordedFolder) {
            if (depth >= DeepestFolder)
                error = ErrorBadFileName;
            else
                RecordFolder(path, checksums, record, depth + 1, error);
        } else if (kind == RecordedFile && checksums) {
            if (!ReadChecksum(path.text, size, checksum))
                error = ErrorAccessDenied;
        } else if (kind == RecordedFile) {
            size = static_cast<uint64_t>(found.nFileSizeHigh) << 32 | found.nFileSizeLow;
        }
        if (!AddEntry(record, path, kind, size, checksum))
            error = ErrorOutOfMemory;  // or a path too long for a record
        path.text[length] = 0;
        path.length = length;
    } while (GuardedOsCall(code, [&] { return FindNextFileW(search, &found); }));
    if (code != ERROR_NO_MORE_FILES && code != 0)
        error = ErrorNumberForCode(code);
    GuardedOsCall(code, [&] { return FindClose(search); });
}

}  // namespace

bool StartLongPath(LongPath& path, const WCHAR* folder)
{
    path.text = static_cast<WCHAR*>(Allocate(LongPathSize * sizeof(WCHAR)));
    if (path.text == nullptr)
        return false;
    // A path of a share (\\server\share) keeps its own form.
    const size_t prefix = folder[0] == '\\' ? 0 : 4;
    CopyText(path.text, L"\\\\?\\");
    lstrcpynW(path.text + prefix, folder, LongPathSize / 2);
    path.length = path.rootLength = TextLength(path.text);
    return true;
}

void ReleaseLongPath(LongPath& path)
{
    Release(path.text);
    path.text = nullptr;
}

void RecordTree(LongPath& path, bool checksums, RecordBuffer& record, ErrorNumber& error)
{
    record.entryCount = 0;
    record.fileBytes = 0;
    record.size = RecordHeaderSize;
    record.bytes = static_cast<unsigned char*>(Allocate(1 << 16));
    if (record.bytes == nullptr) {
        error = ErrorOutOfMemory;
        return;
    }
    RecordFolder(path, checksums, record, 0, error);
}

void ReleaseRecord(RecordBuffer& record)
{
    Release(record.bytes);
    record.bytes = nullptr;
}

bool ReadContent(HANDLE file, uint64_t& size, uint32_t& checksum)
{
    DWORD code;
    unsigned char* chunk = static_cast<unsigned char*>(Allocate(ChecksumChunk));
    bool read = chunk != nullptr;
    size = 0;
    checksum = 0;
    while (read) {
        DWORD got = 0;
        read = GuardedOsCall(code,
                             [&] { return ReadFile(file, chunk, ChecksumChunk, &got, nullptr); });
        if (got == 0)
            break;
        checksum = Crc32(checksum, chunk, got);
        size += got;
    }
    Release(chunk);
    return read;
}

bool ReadChecksum(const WCHAR* path, uint64_t& size, uint32_t& checksum)
{
    DWORD code;
    HANDLE file = GuardedOsCall(code, [&] {
        return CreateFileW(path, GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    });
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool read = ReadContent(file, size, checksum);
    GuardedOsCall(code, [&] { return CloseHandle(file); });
    return read;
}
