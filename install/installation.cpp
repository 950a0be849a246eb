// The installation sequence: runs inside the install button's WM_COMMAND,
// or, with nobody at the screen, straight from WinMain.
//
// It takes the drive (the selected one, or the one of the command line),
// enters its root, refuses a drive that already holds \varnok, creates and
// enters X:\varnok, writes there as varnok.exe the package that was read
// and checked from the installer's own file at start-up, swaps the choosing
// controls for the release notes and runs the six stage programs one after
// another with the stage in the title bar. Then it records what the
// installation made, writes X:\varnok\uninstall.exe with that record and
// registers the installation where Windows lists programs. While a stage
// runs the window stays alive (the wait handles its messages), but nothing
// the user does can close it or start the sequence again.
//
// The mode decides only whether the user is asked and told in boxes; the
// log, when there is one, hears everything. When anything fails once the
// folder exists, everything below it and the folder itself are removed, so
// that the drive is left as it was.

#include "app/drive_item.h"
#include "app/installer.h"
#include "install/payload.h"
#include "install/registration.h"
#include "run/log.h"
#include "run/messages.h"
#include "services/files.h"
#include "services/kernel.h"
#include "services/launch.h"

int QuitCode = 0;
InstallerPhase Phase = Choosing;

namespace {

// The installer's own file, read and checked at start-up and held until its
// payload is written: the bytes that were checked are the bytes written,
// whatever happens to the file meanwhile, and a large file needs its block
// of memory only once. Its image part stays for the uninstaller.
OwnFile Package;

const int WhatsNewPanel = HintLabel;  // the panel takes the hint line's id

char Letter;      // the drive of this installation
bool FolderMade;  // X:\varnok is this installation's, and held:
// X:\varnok from the moment it was made until the end, so that nobody can
// rename it or put anything in its place; and what names it for good.
HANDLE MadeFolder;
FolderIdentity MadeIdentity;
bool ChoosingControlsGone;

void ShowPayloadProblem(PayloadCheck check, ErrorNumber readError)
{
    char text[256];
    FormatPayloadProblem(text, sizeof text, check, readError);
    Tell(text, FailureCaption);
}

__attribute__((noinline)) void SetTitle(const char* title)
{
    if (MainWindowHandle != nullptr)
        SetWindowTextA(MainWindowHandle, title);
}

__attribute__((noinline)) LRESULT AskDriveList(UINT message, WPARAM wParam, LPARAM lParam)
{
    return SendMessageA(DriveListHandle, message, wParam, lParam);
}

// The drive letter of the selected item, or 0 when nothing usable is
// selected. An item is read only when it fits the item buffer.
char SelectedDriveLetter()
{
    LRESULT index = AskDriveList(LB_GETCURSEL, 0, 0);
    if (index == LB_ERR)
        return 0;
    LRESULT length = AskDriveList(LB_GETTEXTLEN, index, 0);
    if (length < 0 || length >= static_cast<LRESULT>(ItemBufferSize))
        return 0;
    char item[ItemBufferSize];
    for (size_t i = 0; i < sizeof item; ++i)
        item[i] = ' ';
    AskDriveList(LB_GETTEXT, index, reinterpret_cast<LPARAM>(item));
    char letter = DriveLetterFromItem(item, sizeof item);
    bool isLetter = (letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z');
    return isLetter ? letter : 0;
}

// Tries to enter \varnok from the drive's root; only "not found" means that
// the target is free. The root is made current again either way, so that an
// existing folder is not held open while the user renames it.
bool TargetIsFree()
{
    ErrorNumber error = ErrorNone;
    ChangeDirectory("\\varnok", error);
    ErrorNumber ignored = ErrorNone;
    ChangeDirectory("\\", ignored);
    return error == ErrorNotFound;
}

// X:\varnok of this installation.
void TargetFolder(WCHAR (&folder)[10])
{
    CopyText(folder, L"X:\\varnok");
    folder[0] = static_cast<WCHAR>(Letter);
}

void LetGoOfFolder()
{
    if (MadeFolder != nullptr)
        Close(MadeFolder);
    MadeFolder = nullptr;
}

// Whether the \varnok in the way is an installation: the drive's entry
// (the user's or the machine's) or its uninstall.exe. Anything else is
// what an earlier removal kept or a folder made by hand, which is not
// VARNOK installed; the log says how many files it holds (at any depth).
// Only looks.
bool HoldsInstallation()
{
    char folder[] = "X:\\varnok";
    folder[0] = Letter;
    char program[32];
    wsprintfA(program, "%s\\%s", folder, "uninstall.exe");
    // A missing file has every attribute bit set, the directory's too.
    if (IsRegistered(Letter) || (GetFileAttributesA(program) & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return true;
    WCHAR wideFolder[10];
    TargetFolder(wideFolder);
    LongPath path;
    RecordBuffer found = {};
    DWORD files = 0;
    if (StartLongPath(path, wideFolder)) {
        ErrorNumber error = ErrorNone;
        RecordTree(path, false, found, error);
        const unsigned char* at = found.bytes + RecordHeaderSize;
        for (uint32_t i = 0; i < found.entryCount; ++i) {
            RecordEntry entry;
            at = ReadRecordEntry(at, entry);
            files += entry.kind == RecordedFile;
        }
        ReleaseRecord(found);
        ReleaseLongPath(path);
    }
    LogLine("%s exists but holds no installation: %u files, kept by an earlier removal or made "
            "by hand",
            folder, files);
    return false;
}

// A disk that filled up is said so; any other failure is a failure.
int FailureCode(ErrorNumber error)
{
    return error == ErrorDiskFull ? ExitDiskFull : ExitFailed;
}

// Removes everything below X:\varnok and the folder itself, links as
// links, by the walk that the uninstaller uses: the one removal for every
// failure once the folder exists. It acts only while the path still names
// the folder that this installation made.
void RemoveInstallation()
{
    ErrorNumber error = ErrorNone;
    ChangeDirectory("\\", error);
    // The walk holds the folder itself, with the right to delete it.
    LetGoOfFolder();
    FolderMade = false;
    WCHAR folder[10];
    TargetFolder(folder);
    LongPath path;
    RecordBuffer made = {};
    uint32_t failed = 1;
    if (StartLongPath(path, folder)) {
        RecordTree(path, false, made, error);
        failed = RemoveRecorded(
            path, made.bytes != nullptr ? made.bytes + RecordHeaderSize : nullptr,
            made.bytes != nullptr ? made.entryCount : 0, false, true, &MadeIdentity, error);
        ReleaseRecord(made);
        ReleaseLongPath(path);
    }
    if (failed == RemovalRefused)
        LogLine("%s is a link, moved, or open to others", Utf8(folder));
    else if (failed == 0)
        LogLine("removed what the installation made");
    else
        LogLine("could not remove all that the installation made: error %u (%s)", error,
                ErrorNumberText(error));
}

// Records what the installation made, writes the uninstaller and the
// entry. What the user can change (the entry) goes where the rights of
// this run reach: the machine's for an administrator.
bool Register(ErrorNumber& error)
{
    WCHAR folder[10];
    TargetFolder(folder);
    LongPath path;
    RecordBuffer made = {};
    if (!StartLongPath(path, folder)) {
        error = ErrorOutOfMemory;
        return false;
    }
    RecordTree(path, true, made, error);
    ReleaseLongPath(path);
    const bool machineWide = IsElevated();
    bool registered =
        error == ErrorNone && made.bytes != nullptr &&
        WriteUninstaller(Package.bytes, Package.layout.pe, made, machineWide, Letter, error) &&
        RegisterInstallation(Letter, machineWide, made.fileBytes, error);
    if (registered)
        LogLine("recorded %u entries (%u KiB); registered as VARNOK-8-%c for %s", made.entryCount,
                static_cast<DWORD>(made.fileBytes / 1024), Letter,
                machineWide ? "the machine (HKLM)" : "the user (HKCU)");
    ReleaseRecord(made);
    return registered;
}

void ShowReleaseNotes(HWND window)
{
    // Keys go to the window from now on, not to a control that is gone.
    SetFocus(window);
    DestroyWindow(InstallButtonHandle);
    DestroyWindow(DriveListHandle);
    DestroyWindow(HintLabelHandle);
    InstallButtonHandle = 0;
    DriveListHandle = 0;
    ChoosingControlsGone = true;

    HintLabelHandle =
        CreateLabelControl(window, ReleaseNotesText, 9, 120, 421, 190, AlignLeft, WhatsNewPanel);
    SetFont(HintLabelHandle, GetStockObject(ANSI_VAR_FONT));

    RECT client;
    GetClientRect(window, &client);
    InvalidateRect(window, &client, TRUE);
}

// Ends the run with `code`: the window, when there is one, closes, and the
// process exits with QuitCode.
InstallationEnding Finish(HWND window, int code)
{
    QuitCode = code;
    SetPhase(Choosing);
    if (window != nullptr)
        SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    return EndedOtherwise;
}

// An installation that cannot go on: what it made is removed, the user is
// told why, and the run ends with `code`, unless a person can still choose
// another drive.
InstallationEnding Stop(HWND window, Failure failure, ErrorNumber number, int code,
                        const char* program = nullptr)
{
    const bool ends = Options.mode != Interactive || ChoosingControlsGone;
    if (ends)
        QuitCode = code;  // also for a close that arrives while the box is up
    if (FolderMade)
        RemoveInstallation();
    if (ChoosingControlsGone)
        SetTitle(FailedTitle);
    char text[256];
    FormatFailureText(text, sizeof text, failure, Letter, number, program);
    Tell(text, FailureCaption);
    return ends ? Finish(window, code) : EndedOtherwise;
}

// A refusal that leaves nothing to remove.
InstallationEnding Refuse(HWND window, const char* text, const char* caption, int code)
{
    Tell(text, caption);
    return Options.mode != Interactive ? Finish(window, code) : EndedOtherwise;
}

// The sequence itself; RunInstallation puts it into its phase.
InstallationEnding RunSequence(HWND window)
{
    ErrorNumber error = ErrorNone;

    Letter = Options.mode == Interactive ? SelectedDriveLetter() : Options.drive;
    if (Letter == 0) {
        Tell(NoSelectionText, NoSelectionCaption);
        return EndedWithoutSelection;
    }
    LogLine("installing on drive %c:", Letter);

    // The root in one step: when the drive cannot be entered, nothing may
    // go on wherever the process happens to be.
    const char root[] = {Letter, ':', '\\', '\0'};
    ChangeDirectory(root, error);
    if (error != ErrorNone)
        return Stop(window, DriveNotEntered, error, ExitFailed);
    if (!TargetIsFree())
        return Refuse(window, RefusalText, RefusalCaption,
                      HoldsInstallation() ? ExitAlreadyInstalled : ExitFailed);

    // Held since start-up; read and checked again only after a failed
    // write released it. Nothing is made before it is held.
    if (!PackageIsSound())
        return Options.mode != Interactive ? Finish(window, ExitDamagedFile) : EndedOtherwise;

    // Only the user, the administrators and SYSTEM may change what the
    // stages run: the folder inherits nothing from the drive's root, where
    // every user may create and change files. Windows takes a descriptor
    // aligned as a pointer is.
    union {
        unsigned char bytes[FolderSecuritySize];
        void* alignment;
    } security;
    if (!MakeFolderSecurity(security.bytes, IsElevated(), error))
        return Stop(window, TargetNotSecured, error, ExitFailed);
    // A folder that appeared since the test is not used: creating it fails.
    MakeDirectory("varnok", error, security.bytes);
    if (error != ErrorNone)
        return Stop(window, TargetNotMade, error, ExitFailed);
    WCHAR made[10];
    TargetFolder(made);
    MadeFolder = HoldFolder(made, MadeIdentity);
    if (MadeFolder == INVALID_HANDLE_VALUE) {
        MadeFolder = nullptr;
        return Stop(window, TargetNotMade, ErrorAccessDenied, ExitFailed);
    }
    FolderMade = true;
    // From here on the drive is being changed: logging off is refused.
    SetPhase(RunningStages);
    LogLine("made the folder %c:\\varnok", Letter);
    ChangeDirectory("varnok", error);
    if (error != ErrorNone)
        return Stop(window, TargetNotMade, error, ExitFailed);

    const DWORD start = GetTickCount();
    const DWORD bytes = Package.layout.payloadLength;
    if (!WritePayloadFile(Package, error))
        return Stop(window, PayloadNotWritten, error, FailureCode(error));
    LogLine("wrote varnok.exe: %u bytes in %u ms", bytes, GetTickCount() - start);

    if (window != nullptr)
        ShowReleaseNotes(window);
    if (Options.mode == Interactive)
        ShowBox(WarningText, WarningCaption, MB_OK);

    for (size_t i = 0; i < StageCount; ++i) {
        const Stage& stage = Stages[i];
        if (stage.title[0] != 0)
            SetTitle(stage.title);
        LogLine("stage %u: %s", static_cast<unsigned>(i + 1), stage.program);
        ErrorNumber startError = ErrorNone;
        const unsigned long exitCode = RunAndWait(
            stage.program, Options.mode == Silent ? SW_HIDE : SW_SHOWNORMAL, true, startError);
        // A program that cannot be started is a broken package; one that
        // runs and fails is the package's own business.
        if (startError != ErrorNone) {
            LogLine("stage %u: %s could not be started: error %u (%s)",
                    static_cast<unsigned>(i + 1), stage.program, startError,
                    ErrorNumberText(startError));
            return Stop(window, StageNotStarted, startError, ExitFailed, stage.program);
        }
        LogLine("stage %u: %s ended with exit code %lu", static_cast<unsigned>(i + 1),
                stage.program, exitCode);
        // A program that stays (read-only, or held by a scanner) is
        // logged and recorded like the rest: it is no failure.
        ErrorNumber deleteError = ErrorNone;
        if (stage.deleteAfter)
            DeleteFiles(stage.program, deleteError);
        if (deleteError != ErrorNone)
            LogLine("%s could not be deleted: error %u", stage.program, deleteError);
    }

    ErrorNumber registerError = ErrorNone;
    if (!Register(registerError))
        return Stop(window, NotRegistered, registerError, FailureCode(registerError));
    FolderMade = false;
    LetGoOfFolder();

    SetTitle(CompleteTitle);
    SetPhase(Choosing);
    if (Options.mode == Interactive)
        ShowBox(ClosingText, ClosingCaption, MB_OK);
    return Finish(window, ExitDone);
}

}  // namespace

// Close is greyed in the system menu (and with it the close box) while the
// sequence runs, and enabled again before the closing message, after which
// the sequence closes the window itself. Once the stages have run, logging
// off is allowed again.
void SetPhase(InstallerPhase phase)
{
    if (Phase == RunningStages && phase != RunningStages)
        AllowEndOfSession(MainWindowHandle);
    Phase = phase;
    if (MainWindowHandle != nullptr)
        EnableMenuItem(GetSystemMenu(MainWindowHandle, FALSE), SC_CLOSE,
                       phase == Choosing ? MF_ENABLED : MF_GRAYED);
}

// Reads and checks the installer's own file into Package, unless it is
// held already; says why when its payload cannot be installed.
bool PackageIsSound()
{
    if (Package.bytes != nullptr)
        return true;
    ErrorNumber readError = ErrorNone;
    PayloadCheck check = ExtractPayload(Package, readError);
    if (check == PayloadIntact) {
        LogLine("checked the installer's file: %lu bytes, a package of %lu bytes", Package.size,
                Package.layout.payloadLength);
        return true;
    }
    ShowPayloadProblem(check, readError);
    return false;
}

InstallationEnding RunInstallation(HWND window)
{
    SetPhase(Installing);
    InstallationEnding ending = RunSequence(window);
    if (Phase != Choosing)
        SetPhase(Choosing);
    return ending;
}
