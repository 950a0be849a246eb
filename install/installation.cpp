// The installation sequence: runs inside the install button's WM_COMMAND.
//
// It checks the selection, enters the chosen drive's root, refuses a drive
// that already holds \varnok, creates and enters X:\varnok, writes there
// as varnok.exe the package that was read and checked from the installer's
// own file at start-up, swaps the choosing controls for the release notes and
// runs the six stage programs one after another with the stage in the title
// bar. While a stage runs the window stays alive (the wait handles its
// messages), but nothing the user does can close it or start the sequence
// again.
// When the drive cannot be entered, the target cannot be made or the
// package cannot be read or written, it says so, leaves nothing of its own
// behind and lets the user choose again; when the package cannot be started,
// or unpacks none of the later stages' programs, it removes what it wrote,
// says so and ends the installer with exit code 1.

#include "app/installer.h"
#include "app/drive_item.h"
#include "install/messages.h"
#include "install/payload.h"
#include "services/files.h"
#include "services/launch.h"

int QuitCode = 0;
InstallerPhase Phase = Choosing;

namespace {

// The installer's own file, read and checked at start-up and held until its
// payload is written: the bytes that were checked are the bytes written,
// whatever happens to the file meanwhile, and a large file needs its block
// of memory only once.
OwnFile Package;

const int WhatsNewPanel = HintLabel;  // the panel takes the hint line's id

// The main window owns every box; at start-up there is none yet, and the
// box has no owner.
void ShowMessage(const char* text, const char* caption)
{
    MessageBoxA(MainWindowHandle, text, caption, MB_OK);
}

void ShowFailure(Failure failure, char letter, ErrorNumber number)
{
    char text[256];
    FormatFailureText(text, sizeof text, failure, letter, number);
    ShowMessage(text, FailureCaption);
}

void ShowPayloadProblem(PayloadCheck check, ErrorNumber readError)
{
    char text[256];
    FormatPayloadProblem(text, sizeof text, check, readError);
    ShowMessage(text, FailureCaption);
}

__attribute__((noinline)) void SetTitle(const char* title)
{
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

// Makes the root of the chosen drive current, as "X:\" in one step: when
// the drive cannot be entered, nothing may go on wherever the process
// happens to be.
bool EnterDriveRoot(char letter, ErrorNumber& error)
{
    const char root[] = {letter, ':', '\\', '\0'};
    ChangeDirectory(root, error);
    return error == ErrorNone;
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

// Removes what a stopped installation made: the partial varnok.exe and the
// directory it created (when nothing else is in it), from the drive's root.
void RemoveTarget()
{
    ErrorNumber ignored = ErrorNone;
    DeleteFiles("varnok.exe", ignored);
    ChangeDirectory("\\", ignored);
    DeleteDirectory("varnok", ignored);
}

// Whether the unpack stage left any of the later stages' programs.
bool LaterStagesUnpacked()
{
    ErrorNumber ignored = ErrorNone;
    for (size_t i = 1; i < StageCount; ++i)
        if (FileExists(Stages[i].program, ignored))
            return true;
    return false;
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

    HintLabelHandle =
        CreateLabelControl(window, ReleaseNotesText, 9, 120, 421, 190, AlignLeft, WhatsNewPanel);
    SetFont(HintLabelHandle, GetStockObject(ANSI_VAR_FONT));

    RECT client;
    GetClientRect(window, &client);
    InvalidateRect(window, &client, TRUE);
}

// Ends the installer: the window closes and the process exits with QuitCode.
void CloseInstaller(HWND window, int quitCode)
{
    QuitCode = quitCode;
    SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

// Stops an installation whose package did nothing useful in stage 1.
void StopAfterUnpacking(HWND window, Failure failure, char letter, ErrorNumber number)
{
    RemoveTarget();
    SetPhase(Choosing);
    SetTitle(FailedTitle);
    ShowFailure(failure, letter, number);
    CloseInstaller(window, 1);
}

}  // namespace

// Close is greyed in the system menu (and with it the close box) while the
// sequence runs, and enabled again before the closing message, after which
// the sequence closes the window itself.
void SetPhase(InstallerPhase phase)
{
    Phase = phase;
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
    if (check == PayloadIntact)
        return true;
    ShowPayloadProblem(check, readError);
    return false;
}

namespace {

// The sequence itself; RunInstallation puts it into its phase.
InstallationEnding RunSequence(HWND window)
{
    ErrorNumber error = ErrorNone;

    char letter = SelectedDriveLetter();
    if (letter == 0) {
        ShowMessage(NoSelectionText, NoSelectionCaption);
        return EndedWithoutSelection;
    }

    if (!EnterDriveRoot(letter, error)) {
        ShowFailure(DriveNotEntered, letter, error);
        return EndedOtherwise;
    }
    if (!TargetIsFree()) {
        ShowMessage(RefusalText, RefusalCaption);
        return EndedOtherwise;
    }

    // Held since start-up; read and checked again only after a failed
    // write released it. Nothing is made before it is held.
    if (!PackageIsSound())
        return EndedOtherwise;

    // Only the user, the administrators and SYSTEM may change what the
    // stages run: the folder inherits nothing from the drive's root, where
    // every user may create and change files.
    unsigned char security[FolderSecuritySize];
    if (!MakeFolderSecurity(security, error)) {
        ShowFailure(TargetNotSecured, letter, error);
        return EndedOtherwise;
    }
    // A folder that appeared since the test is not used: creating it fails.
    MakeDirectory("varnok", error, security);
    if (error != ErrorNone) {
        ShowFailure(TargetNotMade, letter, error);
        return EndedOtherwise;
    }
    ChangeDirectory("varnok", error);
    if (error != ErrorNone) {
        ErrorNumber ignored = ErrorNone;
        DeleteDirectory("varnok", ignored);
        ShowFailure(TargetNotMade, letter, error);
        return EndedOtherwise;
    }

    if (!WritePayloadFile(Package, error)) {
        RemoveTarget();
        ShowFailure(PayloadNotWritten, letter, error);
        return EndedOtherwise;
    }

    ShowReleaseNotes(window);
    ShowMessage(WarningText, WarningCaption);
    SetPhase(RunningStages);

    for (size_t i = 0; i < StageCount; ++i) {
        const Stage& stage = Stages[i];
        if (stage.title[0] != 0)
            SetTitle(stage.title);

        ErrorNumber startError = ErrorNone;
        RunAndWait(stage.program, SW_SHOWNORMAL, true, startError);
        // Without the unpacked package no later stage can do anything; the
        // useless varnok.exe goes, so that a new attempt is not refused.
        if (i == 0 && startError != ErrorNone) {
            StopAfterUnpacking(window, PackageNotStarted, letter, startError);
            return EndedOtherwise;
        }
        if (i == 0 && !LaterStagesUnpacked()) {
            StopAfterUnpacking(window, PackageUnpackedNothing, letter, ErrorNone);
            return EndedOtherwise;
        }
        if (startError != ErrorNone)
            error = startError;
        if (stage.deleteAfter)
            DeleteFiles(stage.program, error);
    }

    SetTitle(CompleteTitle);
    SetPhase(Choosing);
    ShowMessage(ClosingText, ClosingCaption);
    CloseInstaller(window, 0);
    return EndedOtherwise;
}

}  // namespace

InstallationEnding RunInstallation(HWND window)
{
    SetPhase(Installing);
    InstallationEnding ending = RunSequence(window);
    SetPhase(Choosing);
    return ending;
}
