// Files and directories: the current drive and directory, one new directory,
// deletion by name or pattern, and a whole file written in one call.

#include <windows.h>

#include "services/files.h"
#include "services/guarded_call.h"
#include "services/kernel.h"
#include "services/working_copy.h"

// The attributes of entries that DeleteFiles passes over: hidden, system,
// the old volume-label bit and directory.
static const DWORD SkippedAttributes = 0x1E;

// The longest ANSI path, without its terminator.
static const size_t LongestPath = MAX_PATH - 1;

static bool IsSeparator(char c)
{
    return c == '\\' || c == '/' || c == ':';
}

// Records the error number of a failed guarded call.
static void RecordFailure(DWORD code, ErrorNumber& error)
{
    if (code != 0)
        error = ErrorNumberForCode(code);
}

void ChangeDrive(const char* text, ErrorNumber& error)
{
    char copy[PathLimit + 1];
    if (MakeWorkingCopy(copy, PathLimit, text) == 0)
        return;
    char drive[3] = {copy[0], ':', '\0'};
    DWORD code;
    GuardedOsCall(code, [&] { return SetCurrentDirectoryA(drive); });
    RecordFailure(code, error);
}

// Makes the working copy of a directory path; a path with a wildcard is
// refused with 76 before Windows sees it.
static bool MakeDirectoryCopy(char (&copy)[PathLimit + 1], const char* path, ErrorNumber& error)
{
    MakeWorkingCopy(copy, PathLimit, path);
    if (HasWildcard(copy)) {
        error = ErrorPathNotFound;
        return false;
    }
    return true;
}

void ChangeDirectory(const char* path, ErrorNumber& error)
{
    char copy[PathLimit + 1];
    if (!MakeDirectoryCopy(copy, path, error))
        return;
    DWORD code;
    GuardedOsCall(code, [&] { return SetCurrentDirectoryA(copy); });
    RecordFailure(code, error);
}

void MakeDirectory(const char* path, ErrorNumber& error, const void* security)
{
    char copy[PathLimit + 1];
    if (!MakeDirectoryCopy(copy, path, error))
        return;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, const_cast<void*>(security), FALSE};
    DWORD code;
    GuardedOsCall(code, [&] { return CreateDirectoryA(copy, security ? &attributes : NULL); });
    RecordFailure(code, error);
}

bool MakeFolderSecurity(unsigned char (&descriptor)[FolderSecuritySize], bool machineWide,
                        ErrorNumber& error)
{
    // What an elevated process makes is owned by the administrators, and
    // its own account gets no entry of its own: no account that may one day
    // lose the administrators' rights can change a machine-wide folder.
    static const unsigned char Administrators[] = {1, 2, 0, 0, 0, 0, 0, 5,
                                                   32, 0, 0, 0, 0x20, 2, 0, 0};
    if (machineWide)
        return BuildFolderSecurity(descriptor, Administrators) != 0;
    const unsigned char* user = OwnAccount();
    if (user != nullptr && BuildFolderSecurity(descriptor, user))
        return true;
    error = ErrorNumberForCode(ERROR_INVALID_SID);
    return false;
}

bool FileExists(const char* name, ErrorNumber& error)
{
    char copy[PathLimit + 1];
    if (MakeWorkingCopy(copy, PathLimit, name) == 0 || HasWildcard(copy))
        return false;
    DWORD code;
    DWORD attributes = GuardedOsCall(code, [&] { return GetFileAttributesA(copy); });
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        ErrorNumber number = ErrorNumberForCode(code);
        if (number != ErrorNotFound && number != ErrorPathNotFound && number != ErrorNone)
            error = number;
        return false;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void DeleteFiles(const char* pattern, ErrorNumber& error)
{
    // Room for "*.*" behind the longest copy.
    char copy[PatternLimit + 4];
    size_t length = MakeWorkingCopy(copy, PatternLimit, pattern);
    if (length == 0)
        return;
    if (IsSeparator(copy[length - 1])) {
        copy[length++] = '*';
        copy[length++] = '.';
        copy[length++] = '*';
        copy[length] = '\0';
    }

    WIN32_FIND_DATAA found;
    DWORD code;
    HANDLE search = GuardedOsCall(code, [&] { return FindFirstFileA(copy, &found); });
    if (search == INVALID_HANDLE_VALUE || code != 0) {
        if (search != INVALID_HANDLE_VALUE)
            GuardedOsCall(code, [&] { return FindClose(search); });
        if (code != 0)
            error = ErrorNumberForCode(code);
        return;
    }

    // The directory part: up to and including the last separator.
    size_t directoryLength = 0;
    for (size_t i = 0; i < length; i++) {
        if (IsSeparator(copy[i]))
            directoryLength = i + 1;
    }

    char name[MAX_PATH];
    ErrorNumber failure = ErrorNone;
    for (;;) {
        if ((found.dwFileAttributes & SkippedAttributes) == 0) {
            size_t nameLength = (size_t)lstrlenA(found.cFileName);
            if (directoryLength + nameLength > LongestPath) {
                failure = ErrorBadFileName;
                break;
            }
            for (size_t i = 0; i < directoryLength; i++)
                name[i] = copy[i];
            for (size_t i = 0; i <= nameLength; i++)
                name[directoryLength + i] = found.cFileName[i];
            GuardedOsCall(code, [&] { return DeleteFileA(name); });
            if (code != 0) {
                failure = ErrorNumberForCode(code);
                break;
            }
        }
        GuardedOsCall(code, [&] { return FindNextFileA(search, &found); });
        if (code != 0) {
            // Running out of entries is the normal end.
            if (ErrorNumberForCode(code) != ErrorNotFound)
                failure = ErrorNumberForCode(code);
            break;
        }
    }
    GuardedOsCall(code, [&] { return FindClose(search); });
    if (failure != ErrorNone)
        error = failure;
}

bool WriteWholeFile(const char* name, const void* bytes, size_t length, ErrorNumber& error)
{
    char copy[PathLimit + 1];
    if (MakeWorkingCopy(copy, PathLimit, name) == 0 || HasWildcard(copy)) {
        error = ErrorBadFileName;
        return false;
    }

    // OPEN_ALWAYS, not CREATE_ALWAYS: an existing file keeps its attributes.
    // Opening an existing file leaves ERROR_ALREADY_EXISTS behind, so the
    // handle decides.
    DWORD code;
    HANDLE file = GuardedOsCall(code, [&] {
        return CreateFileA(copy, GENERIC_WRITE, 0, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    });
    if (file == INVALID_HANDLE_VALUE) {
        if (code != 0)
            error = ErrorNumberForCode(code);
        return false;
    }

    ErrorNumber failure = ErrorNone;
    bool disk = GuardedOsCall(code, [&] { return GetFileType(file); }) == FILE_TYPE_DISK;
    if (disk) {
        // Cut the file to length 0 before writing.
        LONG high = 0;
        GuardedOsCall(code, [&] { return SetFilePointer(file, 0, &high, FILE_BEGIN); });
        if (code == 0)
            GuardedOsCall(code, [&] { return SetEndOfFile(file); });
        if (code != 0) {
            error = ErrorNumberForCode(code);
            GuardedOsCall(code, [&] { return CloseHandle(file); });
            return false;
        }
    }

    if (length != 0) {
        // The whole byte string in one call, straight from the caller's memory.
        DWORD written = 0;
        GuardedOsCall(code, [&] { return WriteFile(file, bytes, (DWORD)length, &written, NULL); });
        if (code == ERROR_DISK_FULL) {
            failure = ErrorDiskFull;  // as a short write: the table has no number for it
        } else if (code != 0) {
            failure = ErrorNumberForCode(code);
        } else if (written < length) {
            failure = disk ? ErrorDiskFull : ErrorDeviceShortWrite;
        }
    }

    // Both closing calls are always made; the first that fails counts. A
    // failed or short write keeps its own number: on a full disk the cut
    // at the end of what was written can fail as well (disk full), and the
    // short write is what the caller needs to hear about.
    DWORD endCode;
    GuardedOsCall(endCode, [&] { return SetEndOfFile(file); });
    GuardedOsCall(code, [&] { return CloseHandle(file); });
    if (failure == ErrorNone) {
        if (endCode != 0) {
            failure = ErrorNumberForCode(endCode);
        } else if (code != 0) {
            failure = ErrorNumberForCode(code);
        }
    }

    if (failure == ErrorNone)
        return true;
    error = failure;
    return false;
}
