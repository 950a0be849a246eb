// Removing what an uninstall record names, below the folder it names it
// in, in the record's order: everything inside a folder comes before the
// folder, so a folder is empty by the time it is reached, unless it holds
// something that stays. Nothing is followed through a link: an entry below
// a link is passed over, and the link itself is removed as a link.

#include "install/tree.h"

#include "services/guarded_call.h"

namespace {

// The entry's full path in `path`; false when it does not fit.
bool EnterPath(LongPath& path, const RecordEntry& entry)
{
    if (path.rootLength + 1 + entry.pathLength + 1 > 32768)
        return false;
    path.text[path.rootLength] = '\\';
    WCHAR* name = path.text + path.rootLength + 1;
    for (size_t i = 0; i < entry.pathLength; ++i)
        name[i] = static_cast<WCHAR>(entry.path[2 * i] | entry.path[2 * i + 1] << 8);
    name[entry.pathLength] = 0;
    path.length = path.rootLength + 1 + entry.pathLength;
    return true;
}

__attribute__((noinline)) DWORD Attributes(const WCHAR* path)
{
    DWORD code;
    return GuardedOsCall(code, [&] { return GetFileAttributesW(path); });
}

// Whether a folder on the way from the root to the entry is a link.
bool BelowALink(LongPath& path)
{
    for (size_t i = path.rootLength + 1; i < path.length; ++i) {
        if (path.text[i] != '\\')
            continue;
        path.text[i] = 0;
        DWORD attributes = Attributes(path.text);
        path.text[i] = '\\';
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return true;
    }
    return false;
}

// Removes one file or folder, or a link as itself; returns the Windows
// code of a failure, or 0. Hidden and read-only entries go like the
// others; a link keeps its attributes, which would be set on what it
// points to.
DWORD Remove(const WCHAR* path, DWORD attributes)
{
    DWORD code;
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)))
        GuardedOsCall(code, [&] { return SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL); });
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        GuardedOsCall(code, [&] { return RemoveDirectoryW(path); });
    // A link to a folder that is no directory of its own (Wine shows a
    // Unix symbolic link so) goes as a file; on Windows, where such a
    // link is a directory, the call fails and deletes nothing.
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (code != 0 && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)))
        GuardedOsCall(code, [&] { return DeleteFileW(path); });
    return code;
}

}  // namespace

uint32_t RemoveRecorded(LongPath& path, unsigned char* entries, uint32_t entryCount,
                        bool checkContent, ErrorNumber& error)
{
    uint32_t failed = 0;
    unsigned char* at = entries;
    for (uint32_t i = 0; i < entryCount; ++i) {
        unsigned char* kind = at;
        RecordEntry entry;
        at = const_cast<unsigned char*>(ReadRecordEntry(at, entry));
        if (!EnterPath(path, entry) || BelowALink(path))
            continue;
        const DWORD attributes = Attributes(path.text);
        if (attributes == INVALID_FILE_ATTRIBUTES)
            continue;  // gone already
        const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        DWORD code = 0;
        if (link) {
            code = Remove(path.text, attributes);
        } else if (entry.kind == RecordedFile && !folder) {
            uint64_t size;
            uint32_t checksum;
            if (!checkContent)
                code = Remove(path.text, attributes);
            else if (!ReadChecksum(path.text, size, checksum))
                code = ERROR_SHARING_VIOLATION;  // in use: it cannot be told from the user's
            else if (IsUnchanged(entry, size, checksum))
                code = Remove(path.text, attributes);
        } else if (entry.kind == RecordedFolder && folder) {
            code = Remove(path.text, attributes);
            if (code == ERROR_DIR_NOT_EMPTY)
                code = 0;  // it holds what stays
        }
        // A recorded link that is no link any more, or an entry that has
        // changed between file and folder, is the user's now: it stays.
        if (code != 0) {
            *kind |= RecordFailedMark;
            failed++;
            error = ErrorNumberForCode(code);
        }
    }
    path.text[path.rootLength] = 0;
    path.length = path.rootLength;
    return failed;
}
