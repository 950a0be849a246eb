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
#include "services/system_dll.h"

#include <shellapi.h>

namespace {

// The first two names of a list, then how many more.
struct NameList {
    char text[600];
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
// switches, and its exit code is this one's. Returns ExitDeclined when the
// user refused, or -1 when Windows could not be asked.
int RunElevated()
{
    typedef BOOL(WINAPI * Execute)(SHELLEXECUTEINFOW*);
    const HMODULE shell = LoadSystemDll("shell32");
    const Execute execute = reinterpret_cast<Execute>(
        reinterpret_cast<void*>(shell ? GetProcAddress(shell, "ShellExecuteExW") : nullptr));
    WCHAR* self = OwnPath();
    if (execute == nullptr || self == nullptr)
        return -1;
    SHELLEXECUTEINFOW run = {};
    run.cbSize = sizeof run;
    run.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC;
    run.lpVerb = L"runas";
    run.lpFile = self;
    run.lpParameters = reinterpret_cast<const WCHAR*>(Options.arguments);
    run.nShow = SW_SHOWNORMAL;
    if (!execute(&run))
        return GetLastError() == ERROR_CANCELLED ? ExitDeclined : -1;
    DWORD code = ExitFailed;
    WaitForSingleObject(run.hProcess, INFINITE);
    GetExitCodeProcess(run.hProcess, &code);
    return static_cast<int>(code);
}

// A running program cannot delete its own file: cmd.exe of the system
// folder does it once this process has ended, and then removes the folder
// when nothing else is in it. It waits for the end of a pipe whose other
// end this process holds until it ends (set /p reads until then); then it
// tries once a second for half a minute, for a copy that started this one
// with an administrator's rights and ends just after it. It starts in the
// system folder, with no window. A path that cmd would read otherwise (a
// %) is left alone.
void RemoveSelfAfterExit(const WCHAR* self, const WCHAR* folder)
{
    WCHAR system[MAX_PATH];
    UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || lstrlenW(self) >= MAX_PATH)
        return;
    for (const WCHAR* c = self; *c != 0; ++c)
        if (*c == '%')
            return;
    WCHAR* command = static_cast<WCHAR*>(HeapAlloc(GetProcessHeap(), 0, 1024 * sizeof(WCHAR)));
    HANDLE untilEnd, kept;
    if (command == nullptr || !CreatePipe(&untilEnd, &kept, nullptr, 0))
        return;
    int written = wsprintfW(command,
                            L"\"%s\\cmd.exe\" /d /q /c set /p x= & for /l %%i in (1,1,30) do "
                            L"(del /f /a /q \"%s\" >nul 2>&1 & if not exist \"%s\" (rd \"%s\" "
                            L">nul 2>&1 & exit) & ping -n 2 127.0.0.1 >nul)",
                            system, self, self, folder);
    SetHandleInformation(untilEnd, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = untilEnd;
    PROCESS_INFORMATION process;
    if (written < 1023 && CreateProcessW(nullptr, command, nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                         nullptr, system, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(untilEnd);
    HeapFree(GetProcessHeap(), 0, command);
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
    if (sound && header.machineWide && !IsElevated() && Options.problem == CommandLineSound &&
        !Options.help) {
        const int code = RunElevated();
        if (code == ExitDeclined) {
            StartLog("uninstall", "VARNOK uninstaller", error);
            LogLine("the rights of an administrator were not given");
        }
        if (code != -1)
            return Ended(code);
    }
    ErrorNumber logError = ErrorNone;
    if (!StartLog("uninstall", "VARNOK uninstaller", logError) ||
        Options.problem != CommandLineSound)
        return Ended(RefuseCommandLine(logError));
    if (Options.help) {
        if (Options.mode != Silent)
            ShowBox(HelpText, HelpCaption, MB_OK);
        return Ended(ExitDone);
    }
    if (!sound) {
        Tell(DamagedRecordText, UninstallCaption);
        return Ended(ExitDamagedFile);
    }
    const int alone = StartAlone(false);
    if (alone >= 0)
        return Ended(alone);

    WCHAR* program = OwnPath();
    if (program == nullptr)
        return Ended(ExitFailed);
    WCHAR* folder = static_cast<WCHAR*>(HeapAlloc(GetProcessHeap(), 0, 32768 * sizeof(WCHAR)));
    if (folder == nullptr)
        return Ended(ExitFailed);
    // The folder: the program's path up to its last backslash.
    lstrcpyW(folder, program);
    WCHAR* last = folder;
    for (WCHAR* c = folder; *c != 0; ++c)
        if (*c == '\\')
            last = c;
    *last = 0;

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
    // Out of the folder, which is to go.
    ChangeDirectory("\\", error);

    unsigned char* entries = self.bytes + self.layout.payloadStart + RecordHeaderSize;
    LongPath path;
    RecordBuffer left = {};
    if (!StartLongPath(path, folder))
        return Ended(ExitFailed);
    const uint32_t failed = RemoveRecorded(path, entries, header.entryCount, true, error);
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

    builder = StartText(text, sizeof text);
    Append(builder, failed == 0 ? RemovedText : NotAllRemovedText);
    AppendUtf16(builder, reinterpret_cast<const char16_t*>(folder));
    Append(builder, ".");
    AppendList(builder, NotRemovedText, notRemoved);
    AppendList(builder, KeptText, kept);
    if (failed != 0) {
        Append(builder, NotRemovedAdvice);
    } else {
        WCHAR installed[] = L"X:\\varnok";
        installed[0] = static_cast<WCHAR>(header.drive);
        // The entry of the installation that this uninstaller belongs to.
        if (lstrcmpiW(folder, installed) == 0 &&
            UnregisterInstallation(header.drive, header.machineWide))
            LogLine("removed the entry VARNOK-8-%c", header.drive);
        RemoveSelfAfterExit(program, folder);
    }
    Tell(text, UninstallCaption);
    return Ended(failed != 0 ? ExitFailed : ExitDone);
}
