// Removing what an uninstall record names, below the folder it names it
// in, in the record's order: everything inside a folder comes before the
// folder, so a folder is empty by the time it is reached, unless it holds
// something that stays.
//
// The removal often runs as an administrator or SYSTEM in a folder that
// others may reach, so it trusts no name twice. It holds the folder and
// every folder on the way to the current entry open without delete
// sharing: none of them can be renamed, removed or swapped for a junction
// while it works (a junction to the object manager is the well-known way
// to make a privileged deleter delete any file). Each entry is opened once
// with FILE_FLAG_OPEN_REPARSE_POINT, so that a link is opened as itself,
// and what it is, its size and its content are read through that handle,
// which then deletes it: "Deleting a file through a handle" in
// SetFileInformationByHandle(FileDispositionInfo). A file is opened with
// read sharing only, so nobody can write it between the check and the
// delete; one that somebody holds open for writing is kept and named.

#include "install/tree.h"

#include "services/guarded_call.h"
#include "services/kernel.h"

namespace {

// Deeper folders are not walked: the record holds none.
const unsigned DeepestWay = 200;

const DWORD HeldAccess = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE;
const DWORD HeldSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;

// FileDispositionInfoEx (Windows 10 1709 and later; the names of its flags
// are newer than these headers): delete at once, POSIX-style (the name
// goes even while a virus scanner still holds the file open, so that the
// folder can go right after), read-only or not.
const FILE_INFO_BY_HANDLE_CLASS DispositionEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
const DWORD DeleteAtOnce = 0x1 | 0x2 | 0x10;

struct Entry {
    HANDLE handle;
    RecordKind kind;
    uint64_t size;
    FolderIdentity identity;
};

// The held folders: [0] the folder itself, each one inside the one before;
// `ends[i]` is the length of held folder i's path in `held`.
struct Way {
    HANDLE handles[DeepestWay + 1];
    size_t ends[DeepestWay + 1];
    unsigned depth;
    WCHAR* held;
};

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

// Calls on an open handle cannot bring up Windows' critical-error box, so
// only the calls that name a path go through GuardedOsCall.

__attribute__((noinline)) HANDLE Open(const WCHAR* path, DWORD access, DWORD sharing, DWORD flags)
{
    DWORD code;
    return GuardedOsCall(code, [&] {
        return CreateFileW(path, access, sharing, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
    });
}

// Reads what the handle is; false when Windows cannot say.
bool Describe(Entry& entry)
{
    FILE_ATTRIBUTE_TAG_INFO tag;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandleEx(entry.handle, FileAttributeTagInfo, &tag, sizeof tag) ||
        !GetFileInformationByHandle(entry.handle, &info))
        return false;
    entry.kind = KindOfEntry(tag.FileAttributes, tag.ReparseTag);
    entry.size = static_cast<uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    entry.identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return true;
}

bool Same(const FolderIdentity& a, const FolderIdentity& b)
{
    return a.volume == b.volume && a.high == b.high && a.low == b.low;
}

// Opens one entry itself, never what it points to, and reads what it is.
// A reparse point that is no link (deduplicated, cloud, compressed) is
// opened again as the file it is, so that its content is read as its
// owner sees it, and kept only when that is still the same file. Windows
// opens a link as itself; Wine follows a Unix symbolic link whatever the
// flags say, and only its name shows it a link: such an entry comes back
// as a link without a handle.
bool OpenEntry(const WCHAR* path, DWORD access, DWORD sharing, Entry& entry)
{
    entry.handle = Open(path, access, sharing, FILE_FLAG_OPEN_REPARSE_POINT);
    if (entry.handle == INVALID_HANDLE_VALUE)
        return false;
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    GetFileInformationByHandleEx(entry.handle, FileAttributeTagInfo, &tag, sizeof tag);
    if ((tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
        KindOfEntry(tag.FileAttributes, tag.ReparseTag) != RecordedLink) {
        // The first handle goes first: it shares no deletion, and the
        // second asks for it. What comes back must be the same file.
        Entry reparse = entry;
        const bool described = Describe(reparse);
        Close(reparse.handle);
        entry.handle = Open(path, access, sharing, 0);
        const bool same = described && entry.handle != INVALID_HANDLE_VALUE && Describe(entry) &&
                          Same(reparse.identity, entry.identity);
        if (!same) {
            Close(entry.handle);
            entry.handle = INVALID_HANDLE_VALUE;
            return false;
        }
    }
    if (!Describe(entry)) {
        Close(entry.handle);
        entry.handle = INVALID_HANDLE_VALUE;
        return false;
    }
    DWORD code;
    const DWORD byName = GuardedOsCall(code, [&] { return GetFileAttributesW(path); });
    if (entry.kind != RecordedLink && byName != INVALID_FILE_ATTRIBUTES &&
        (byName & FILE_ATTRIBUTE_REPARSE_POINT) &&
        !(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        Close(entry.handle);
        entry.handle = INVALID_HANDLE_VALUE;
        entry.kind = RecordedLink;
    }
    return true;
}

// Deletes the entry through its handle, at its close; returns the Windows
// code of a failure, or 0. A non-empty folder answers ERROR_DIR_NOT_EMPTY.
DWORD DeleteThrough(HANDLE handle)
{
    DWORD now = DeleteAtOnce;
    if (SetFileInformationByHandle(handle, DispositionEx, &now, sizeof now))
        return 0;
    // Read-only: cleared through the same handle first. Times of 0 stay
    // as they are.
    FILE_BASIC_INFO basic;
    if (GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) &&
        (basic.FileAttributes & FILE_ATTRIBUTE_READONLY)) {
        basic.CreationTime.QuadPart = basic.LastAccessTime.QuadPart = 0;
        basic.LastWriteTime.QuadPart = basic.ChangeTime.QuadPart = 0;
        basic.FileAttributes &= ~FILE_ATTRIBUTE_READONLY;
        if (basic.FileAttributes == 0)
            basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic);
    }
    FILE_DISPOSITION_INFO disposition = {TRUE};
    if (SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition))
        return 0;
    // Wine refuses a folder that is not empty without saying why.
    const DWORD code = LastError();
    return code != 0 ? code : ERROR_DIR_NOT_EMPTY;
}

bool SamePrefix(const WCHAR* a, const WCHAR* b, size_t length)
{
    for (size_t i = 0; i < length; ++i)
        if (a[i] != b[i])
            return false;
    return true;
}

// Whether held folder `level` is on the way to the entry in `path`.
bool Leads(const Way& way, unsigned level, const LongPath& path)
{
    const size_t end = way.ends[level];
    return end < path.length && path.text[end] == '\\' && SamePrefix(path.text, way.held, end);
}

// Holds the folders on the way to the entry in `path`, letting go of the
// others; the entry's own handle, when it is a folder held already (its
// contents came before it), is handed over in `reused`. False when the way
// passes through something that is no folder (a link): the entry is left
// to it.
bool FollowWay(Way& way, const LongPath& path, HANDLE& reused)
{
    unsigned keep = 1;
    while (keep < way.depth && Leads(way, keep, path))
        keep++;
    reused = INVALID_HANDLE_VALUE;
    if (keep < way.depth && way.ends[keep] == path.length &&
        SamePrefix(path.text, way.held, path.length)) {
        reused = way.handles[keep];
        way.handles[keep] = INVALID_HANDLE_VALUE;
    }
    while (way.depth > keep)
        Close(way.handles[--way.depth]);
    for (size_t i = way.ends[way.depth - 1] + 1; i < path.length; ++i) {
        if (path.text[i] != '\\')
            continue;
        if (way.depth > DeepestWay)
            return false;
        path.text[i] = 0;
        Entry folder;
        const bool opened = OpenEntry(path.text, HeldAccess, HeldSharing, folder);
        path.text[i] = '\\';
        if (!opened || folder.kind != RecordedFolder) {
            Close(folder.handle);
            return false;
        }
        for (size_t c = way.ends[way.depth - 1]; c < i; ++c)
            way.held[c] = path.text[c];
        way.handles[way.depth] = folder.handle;
        way.ends[way.depth++] = i;
    }
    return true;
}

}  // namespace

HANDLE HoldFolder(const WCHAR* path, FolderIdentity& identity)
{
    Entry folder;
    // READ_CONTROL: the uninstaller reads the folder's descriptor through
    // this handle (GetSecurityInfo needs it).
    if (!OpenEntry(path, FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE, HeldSharing, folder))
        return INVALID_HANDLE_VALUE;
    if (folder.kind != RecordedFolder) {
        Close(folder.handle);
        return INVALID_HANDLE_VALUE;
    }
    identity = folder.identity;
    return folder.handle;
}

uint32_t RemoveRecorded(LongPath& path, unsigned char* entries, uint32_t entryCount,
                        bool checkContent, bool removeRoot, const FolderIdentity* expected,
                        ErrorNumber& error)
{
    Way way;
    Entry root = {INVALID_HANDLE_VALUE, RecordedFile, 0, {}};
    way.held = static_cast<WCHAR*>(Allocate(32768 * sizeof(WCHAR)));
    if (way.held == nullptr || !OpenEntry(path.text, HeldAccess, HeldSharing, root) ||
        root.kind != RecordedFolder || (expected != nullptr && !Same(root.identity, *expected))) {
        Close(root.handle);
        if (way.held != nullptr)
            Release(way.held);
        error = ErrorAccessDenied;
        return RemovalRefused;
    }
    way.handles[0] = root.handle;
    way.ends[0] = path.rootLength;
    way.depth = 1;
    for (size_t i = 0; i < path.rootLength; ++i)
        way.held[i] = path.text[i];

    uint32_t failed = 0;
    unsigned char* at = entries;
    for (uint32_t i = 0; i < entryCount; ++i) {
        unsigned char* kind = at;
        RecordEntry recorded;
        at = const_cast<unsigned char*>(ReadRecordEntry(at, recorded));
        Entry entry = {INVALID_HANDLE_VALUE, RecordedFile, 0, {}};
        if (!EnterPath(path, recorded) || !FollowWay(way, path, entry.handle))
            continue;
        // Gone already, or in use by another writer, or not to be read:
        // what cannot be opened so cannot be told from the user's, and stays.
        if (entry.handle != INVALID_HANDLE_VALUE)
            entry.kind = RecordedFolder;
        else if (!OpenEntry(path.text, HeldAccess | FILE_READ_DATA, FILE_SHARE_READ, entry))
            continue;
        DWORD code = 0;
        if (entry.kind == RecordedLink) {
            // A link that Wine's handle followed is not deleted through
            // it: it stays, named as one that could not go.
            code = entry.handle != INVALID_HANDLE_VALUE ? DeleteThrough(entry.handle)
                                                        : ERROR_NOT_SUPPORTED;
        } else if (recorded.kind == RecordedFile && entry.kind == RecordedFile) {
            uint64_t size;
            uint32_t checksum;
            if (!checkContent)
                code = DeleteThrough(entry.handle);
            else if (ReadContent(entry.handle, size, checksum) &&
                     IsUnchanged(recorded, size, checksum))
                code = DeleteThrough(entry.handle);
        } else if (recorded.kind == RecordedFolder && entry.kind == RecordedFolder) {
            code = DeleteThrough(entry.handle);
            if (code == ERROR_DIR_NOT_EMPTY)
                code = 0;  // it holds what stays
        }
        // A recorded link that is no link any more, or an entry that has
        // changed between file and folder, is the user's now: it stays.
        Close(entry.handle);
        if (code != 0) {
            *kind |= RecordFailedMark;
            failed++;
            error = ErrorNumberForCode(code);
        }
    }
    while (way.depth > 1)
        Close(way.handles[--way.depth]);
    if (removeRoot) {
        const DWORD code = DeleteThrough(root.handle);
        if (code != 0) {
            failed++;
            error = ErrorNumberForCode(code);
        }
    }
    Close(root.handle);
    Release(way.held);
    path.text[path.rootLength] = 0;
    path.length = path.rootLength;
    return failed;
}
