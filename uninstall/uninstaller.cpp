// The uninstaller: X:\varnok\uninstall.exe, the installer's own image with
// the uninstall record in place of the package. It removes what the record
// names below the folder it sits in (files only while they are exactly
// what the installation made), keeps everything else, takes the entry out
// of the list of programs and has its own file and the emptied folder
// removed once it has ended.

#include "uninstall/uninstaller.h"

#include "install/payload.h"
#include "install/registration.h"
#include "install/tree.h"
#include "run/log.h"
#include "run/messages.h"
#include "run/run.h"
#include "services/files.h"
#include "services/folder_security.h"
#include "services/kernel.h"
#include "services/system_dll.h"

#include <aclapi.h>
#include <shellapi.h>

namespace {

// The first two names of a list, then how many more.
struct NameList {
    char text[300];
    TextBuilder builder;
    uint32_t count;
};

void AddName(NameList& list, const RecordEntry& entry)
{
    if (list.count == 0)
        list.builder = StartText(list.text, sizeof list.text);
    if (++list.count > 2)
        return;
    if (list.count == 2)
        Append(list.builder, ", ");
    AppendUtf16(list.builder, reinterpret_cast<const char16_t*>(entry.path), entry.pathLength);
}

void AppendList(TextBuilder& builder, const char* heading, NameList& list)
{
    if (list.count == 0)
        return;
    Append(builder, heading);
    Append(builder, list.text);
    if (list.count > 2) {
        Append(builder, " and ");
        AppendNumber(builder, list.count - 2);
        Append(builder, " more");
    }
}

// The entry's path as UTF-8, for the log.
const char* Name(const RecordEntry& entry)
{
    return Utf8(reinterpret_cast<const WCHAR*>(entry.path), entry.pathLength);
}

// Whether the entry is uninstall.exe at the top of the folder.
bool IsUninstaller(const RecordEntry& entry)
{
    const char name[] = "uninstall.exe";
    if (entry.pathLength != sizeof name - 1)
        return false;
    for (size_t i = 0; i < entry.pathLength; ++i)
        if ((entry.path[2 * i] | 0x20) != name[i] || entry.path[2 * i + 1] != 0)
            return false;
    return true;
}

bool SamePath(const RecordEntry& a, const RecordEntry& b)
{
    if (a.pathLength != b.pathLength)
        return false;
    for (size_t i = 0; i < 2u * a.pathLength; ++i)
        if (a.path[i] != b.path[i])
            return false;
    return true;
}

// Whether the record marks an entry of that path as one that could not go.
bool FailedToGo(const unsigned char* entries, uint32_t count, const RecordEntry& wanted)
{
    RecordEntry entry;
    for (uint32_t i = 0; i < count; ++i) {
        const unsigned char* kind = entries;
        entries = ReadRecordEntry(entries, entry);
        if ((*kind & RecordFailedMark) && SamePath(entry, wanted))
            return true;
    }
    return false;
}

// A machine-wide installation needs an administrator's rights to go:
// Windows is asked to run this program again with them, with the same
// switches and the mark of that copy (/ELEVATED), and its exit code is
// this one's. A silent run lets Windows show nothing either. Returns
// ExitDeclined when the user refused, or ExitFailed when Windows could not
// start the copy (no prompt possible, as in a remote shell), with the
// Windows code in `code`.
int RunElevated(DWORD& code)
{
    typedef BOOL(WINAPI * Execute)(SHELLEXECUTEINFOW*);
    const HMODULE shell = LoadSystemDll("shell32");
    const Execute execute = reinterpret_cast<Execute>(
        reinterpret_cast<void*>(shell ? GetProcAddress(shell, "ShellExecuteExW") : nullptr));
    WCHAR* self = OwnPath();
    const WCHAR* arguments = reinterpret_cast<const WCHAR*>(Options.arguments);
    WCHAR* marked = static_cast<WCHAR*>(Allocate((TextLength(arguments) + 16) * sizeof(WCHAR)));
    code = ERROR_PROC_NOT_FOUND;
    if (execute == nullptr || self == nullptr || marked == nullptr)
        return ExitFailed;
    wsprintfW(marked, L"%s /ELEVATED", arguments);
    SHELLEXECUTEINFOW run = {};
    run.cbSize = sizeof run;
    run.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC |
                (Options.mode == Silent ? SEE_MASK_FLAG_NO_UI : 0);
    run.lpVerb = L"runas";
    run.lpFile = self;
    run.lpParameters = marked;
    run.nShow = SW_SHOWNORMAL;
    if (!execute(&run)) {
        code = LastError();
        return code == ERROR_CANCELLED ? ExitDeclined : ExitFailed;
    }
    DWORD exitCode = ExitFailed;
    WaitForSingleObject(run.hProcess, INFINITE);
    GetExitCodeProcess(run.hProcess, &exitCode);
    code = 0;
    return static_cast<int>(exitCode);
}

}  // namespace

// Whether the folder may be worked on with this run's rights. Run
// elevated, only a folder that nobody but SYSTEM and the administrators can
// change: in a folder that a standard user controls, that user could have
// swapped what is checked for a link between the check and the act, or put
// a program of their own in the uninstaller's place, and an elevated
// deleter is the classic way to have any file of the machine deleted. A
// volume that keeps no access control (FAT32, exFAT) lets everybody change
// everything, but it has no reparse points either: nothing in it can lead
// out of it, and the walk removes there only what is unchanged, so the
// rule lets it be.
bool FolderIsSteerable(void* folder)
{
    // Wine keeps no descriptor on disk (it makes one up from the Unix
    // file's mode): there the answer is the test's.
    if (UnderWine())
        return WineTestSays("VARNOK_WINE_STEERABLE");
    DWORD flags = 0;
    if (GetVolumeInformationByHandleW(folder, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) &&
        !(flags & FILE_PERSISTENT_ACLS))
        return false;
    PSID owner = nullptr;
    PACL acl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(folder, SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                        &acl, nullptr, &descriptor) != ERROR_SUCCESS)
        return true;
    const bool safe = OnlyAdministratorsCanChange(
        static_cast<unsigned char*>(owner), reinterpret_cast<unsigned char*>(acl), OwnAccount());
    LocalFree(descriptor);
    return !safe;
}

namespace {

// Moves the running program's file out of the folder, so that the folder
// can go before this process ends (Windows lets a running program's file
// be renamed, not deleted): into the temporary folder of this run when it
// is on the same volume, otherwise to the volume's root. Returns the new
// path, or null when it stays.
WCHAR* MoveOutOfFolder(const WCHAR* self, const WCHAR* folder)
{
    WCHAR* moved = static_cast<WCHAR*>(Allocate(2 * MAX_PATH * sizeof(WCHAR)));
    if (moved == nullptr || TextLength(folder) >= MAX_PATH - 40)
        return nullptr;
    for (int place = 0; place < 2; ++place) {
        DWORD length = 0;
        if (place == 0) {
            length = RunTempPath(moved);
        } else {
            // X:\ of X:\varnok, or \\server\share\ of a share.
            CopyText(moved, folder);
            WCHAR* last = moved;
            for (WCHAR* c = moved; *c != 0; ++c)
                if (*c == '\\')
                    last = c;
            last[1] = 0;
            length = static_cast<DWORD>(last + 1 - moved);
        }
        if (length == 0 || length >= MAX_PATH)
            continue;
        wsprintfW(moved + length, L"~VARNOK-%lu.tmp", GetTickCount());
        if (MoveFileExW(self, moved, 0))
            return moved;
    }
    return nullptr;
}

// The moved file can go only once this process (and the copy that started
// it with an administrator's rights) has ended: cmd.exe of the system
// folder tries once a second for half a minute. It runs in the file's
// folder and names only the file's own name, which is ours and plain
// ASCII: no path reaches its command line, where cmd would read a %, a !
// or a ^. It inherits no handle (a caller that reads this program's output
// waits for this process only), and has no window. Elevated, Windows also
// deletes the file at the next restart, in case nothing else could.
// Returns whether the helper runs.
bool RemoveAfterExit(WCHAR* moved, bool elevated)
{
    if (elevated)
        MoveFileExW(moved, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    char system[MAX_PATH];
    const UINT length = GetSystemDirectoryA(system, MAX_PATH);
    WCHAR* name = moved;
    for (WCHAR* c = moved; *c != 0; ++c)
        if (*c == '\\')
            name = c;
    *name++ = 0;
    char narrow[400];
    const int size =
        wsprintfA(narrow,
                  "\"%s\\cmd.exe\" /d /c for /l %%i in (1,1,30) do (del /f /q %ls & if not "
                  "exist %ls exit & ping -n 2 127.0.0.1)",
                  system, name, name);
    WCHAR command[400];
    if (length == 0 || length >= MAX_PATH ||
        !MultiByteToWideChar(CP_ACP, 0, narrow, size + 1, command, 400))
        return false;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    // A hidden console of its own, which the ping it runs shares: with
    // DETACHED_PROCESS, CREATE_NO_WINDOW would be ignored (CreateProcess's
    // documentation) and every console program it starts would open a
    // window.
    if (!CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        moved, &startup, &process))
        return false;
    Close(process.hThread);
    Close(process.hProcess);
    return true;
}

// Out of the folder, which is to go (a process's current directory cannot
// be removed), and into one that nobody but the administrators can change.
void LeaveFolder()
{
    char system[MAX_PATH];
    if (GetSystemDirectoryA(system, MAX_PATH) != 0)
        SetCurrentDirectoryA(system);
}

int RefuseFolder(const WCHAR* folder)
{
    LogLine("%s is a link, moved, or open to others", Utf8(folder));
    Tell(SteerableText, UninstallCaption);
    return Ended(ExitFailed);
}

}  // namespace

int RunUninstaller()
{
    OwnFile self;
    ErrorNumber error = ErrorNone;
    RecordHeader header = {};
    bool sound = ExtractPayload(self, error) == PayloadIntact && self.layout.isUninstaller &&
                 CheckRecord(self.bytes + self.layout.payloadStart, self.layout.payloadLength,
                             header) == RecordSound;
    const bool elevated = IsElevated();
    if (sound && header.machineWide && !elevated && Options.problem == CommandLineSound &&
        !Options.help) {
        // The marked copy that is still not elevated (UAC is off, and a
        // standard user runs it) starts nothing: no copy without end.
        DWORD code = 0;
        LeaveFolder();  // a current directory of this copy would keep it
        const int ended = Options.elevatedCopy ? ExitFailed : RunElevated(code);
        // The copy wrote its own log; only a copy that did not run leaves
        // this one's to be written.
        if (Options.elevatedCopy || code != 0) {
            StartLog("uninstall", "VARNOK uninstaller", error);
            if (ended == ExitDeclined) {
                LogLine("the rights of an administrator were not given");
            } else {
                // Error 0: the marked copy, still not elevated.
                LogLine("not elevated: error %u", code);
                Tell(NotElevatedText, UninstallCaption);
            }
        }
        return Ended(ended);
    }
    const int start = StartRun("uninstall", "VARNOK uninstaller", false);
    if (start != GoOn)
        return start;
    if (!sound) {
        Tell(DamagedRecordText, UninstallCaption);
        return Ended(ExitDamagedFile);
    }

    WCHAR* program = OwnPath();
    WCHAR* folder = static_cast<WCHAR*>(Allocate(32768 * sizeof(WCHAR)));
    if (program == nullptr || folder == nullptr)
        return Ended(ExitFailed);
    // The folder: the program's path up to its last backslash.
    CopyText(folder, program);
    WCHAR* last = folder;
    for (WCHAR* c = folder; *c != 0; ++c)
        if (*c == '\\')
            last = c;
    *last = 0;

    LeaveFolder();

    // A folder that is a link, or that others can change.
    FolderIdentity identity;
    const HANDLE held = HoldFolder(folder, identity);
    const bool steerable = held == INVALID_HANDLE_VALUE || (elevated && FolderIsSteerable(held));
    Close(held);
    if (steerable)
        return RefuseFolder(folder);

    char text[1024];
    TextBuilder builder = StartText(text, sizeof text);
    if (Options.mode == Interactive) {
        Append(builder, UninstallQuestion);
        AppendUtf16(builder, reinterpret_cast<const char16_t*>(folder));
        Append(builder, UninstallQuestionEnd);
        if (ShowBox(text, UninstallCaption, MB_YESNO | MB_ICONQUESTION) != IDYES) {
            LogLine("the user said no");
            return Ended(ExitDeclined);
        }
    }
    LogLine("removing VARNOK from %s", Utf8(folder));

    unsigned char* entries = self.bytes + self.layout.payloadStart + RecordHeaderSize;
    LongPath path;
    RecordBuffer left = {};
    if (!StartLongPath(path, folder))
        return Ended(ExitFailed);
    uint32_t failed =
        RemoveRecorded(path, entries, header.entryCount, true, false, &identity, error);
    if (failed == RemovalRefused)
        return RefuseFolder(folder);
    ErrorNumber ignored = ErrorNone;
    RecordTree(path, false, left, ignored);

    NameList notRemoved = {};
    NameList kept = {};
    RecordEntry entry;
    const unsigned char* at = entries;
    for (uint32_t i = 0; i < header.entryCount; ++i) {
        const bool marked = (*at & RecordFailedMark) != 0;
        at = ReadRecordEntry(at, entry);
        if (marked) {
            AddName(notRemoved, entry);
            LogLine("could not remove: %s", Name(entry));
        }
    }
    at = left.bytes != nullptr ? left.bytes + RecordHeaderSize : nullptr;
    for (uint32_t i = 0; i < left.entryCount; ++i) {
        at = ReadRecordEntry(at, entry);
        if (entry.kind == RecordedFolder || IsUninstaller(entry))
            continue;
        if (failed != 0 && FailedToGo(entries, header.entryCount, entry))
            continue;
        AddName(kept, entry);
        LogLine("kept: %s", Name(entry));
    }

    // The entry goes once the files have, and uninstall.exe only with the
    // entry: what is left can be removed by running it again.
    bool entryStays = false;
    if (failed == 0) {
        // The entry of the drive the installation was made on, only while
        // it names this folder, whatever letter this program was started by.
        if (!NamesFolder(header.drive, header.machineWide, identity)) {
            LogLine("no entry names %s", Utf8(folder));
        } else if (const LONG code = Unregister(header.drive, header.machineWide)) {
            LogLine("%s stays: error %u", "the entry", code);
            entryStays = true;
        } else {
            LogLine("removed the entry VARNOK-8-%c", header.drive);
        }
    }
    // The folder goes before this process ends, so that whoever installs
    // again right after the end never meets it; only the moved program is
    // left to go after the end.
    bool folderStays = false;
    if (failed == 0 && !entryStays) {
        WCHAR* moved = MoveOutOfFolder(program, folder);
        if (moved == nullptr) {
            LogLine("%s stays: error %u", "uninstall.exe", LastError());
            folderStays = kept.count == 0;
        } else {
            if (kept.count == 0 &&
                RemoveRecorded(path, nullptr, 0, false, true, &identity, error) != 0) {
                // Another process works in it: it stays, empty.
                LogLine("%s stays: error %u", Utf8(folder), error);
                folderStays = true;
            }
            const bool helper = RemoveAfterExit(moved, elevated);
            LogLine("moved uninstall.exe to %s\\%s: it goes within seconds %u, at the restart %u",
                    Utf8(moved), Utf8(moved + TextLength(moved) + 1), helper, elevated);
        }
    }
    failed += folderStays;

    builder = StartText(text, sizeof text);
    Append(builder, failed == 0 && !entryStays ? RemovedText : NotAllRemovedText);
    AppendUtf16(builder, reinterpret_cast<const char16_t*>(folder));
    Append(builder, ".");
    AppendList(builder, NotRemovedText, notRemoved);
    AppendList(builder, KeptText, kept);
    if (failed != 0)
        Append(builder, NotRemovedAdvice);
    if (entryStays)
        Append(builder, EntryNotRemovedText);
    Tell(text, UninstallCaption);
    return Ended(failed != 0 || entryStays ? ExitFailed : ExitDone);
}
