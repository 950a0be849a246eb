// The installation sequence: runs inside the install button's WM_COMMAND.
//
// It checks the selection, refuses a drive whose root already holds
// \varnok, creates and enters X:\varnok, writes the payload there as
// varnok.exe, swaps the choosing controls for the release notes and runs the
// six stage programs one after another with the stage in the title bar.
// When the target cannot be made or the payload cannot be written, it says
// so, leaves nothing of its own behind and lets the user choose again; when
// the package cannot even be started, it removes it too, says so and ends
// the installer with exit code 1.

#include "app/installer.h"
#include "app/drive_item.h"
#include "install/messages.h"
#include "install/payload.h"
#include "services/files.h"
#include "services/launch.h"

int QuitCode = 0;

namespace {

const int WhatsNewPanel = HintLabel;  // the panel takes the hint line's id

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

// The drive letter of the selected item, or 0 when nothing usable is
// selected. An item is read only when it fits the item buffer.
char SelectedDriveLetter()
{
    LRESULT index = SendMessageA(DriveListHandle, LB_GETCURSEL, 0, 0);
    if (index == LB_ERR)
        return 0;
    LRESULT length = SendMessageA(DriveListHandle, LB_GETTEXTLEN, index, 0);
    if (length < 0 || length >= static_cast<LRESULT>(ItemBufferSize))
        return 0;
    char item[ItemBufferSize];
    for (size_t i = 0; i < sizeof item; ++i)
        item[i] = ' ';
    SendMessageA(DriveListHandle, LB_GETTEXT, index, reinterpret_cast<LPARAM>(item));
    char letter = DriveLetterFromItem(item, sizeof item);
    bool isLetter = (letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z');
    return isLetter ? letter : 0;
}

// Goes to the root of the drive and tries to enter \varnok. Only "not found"
// means that the target is free.
bool TargetIsFree(char letter)
{
    ErrorNumber error = ErrorNone;
    const char drive[] = {letter, '\0'};
    ChangeDrive(drive, error);
    ChangeDirectory("\\", error);
    ChangeDirectory("\\varnok", error);
    return error == ErrorNotFound;
}

// Removes what a stopped installation made: the partial varnok.exe and the
// directory it created, from the drive's root.
void RemoveTarget()
{
    ErrorNumber ignored = ErrorNone;
    DeleteFiles("varnok.exe", ignored);
    ChangeDirectory("\\", ignored);
    DeleteDirectory("varnok", ignored);
}

void ShowReleaseNotes(HWND window)
{
    DestroyWindow(InstallButtonHandle);
    DestroyWindow(DriveListHandle);
    DestroyWindow(HintLabelHandle);
    InstallButtonHandle = 0;
    DriveListHandle = 0;

    HGDIOBJ font = GetStockObject(ANSI_VAR_FONT);
    HintLabelHandle =
        CreateLabelControl(window, ReleaseNotesText, 9, 120, 421, 190, AlignLeft, WhatsNewPanel);
    SendMessageA(HintLabelHandle, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);

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

}  // namespace

InstallationEnding RunInstallation(HWND window)
{
    ErrorNumber error = ErrorNone;

    char letter = SelectedDriveLetter();
    if (letter == 0) {
        ShowMessage(NoSelectionText, NoSelectionCaption);
        return EndedWithoutSelection;
    }

    if (!TargetIsFree(letter)) {
        ShowMessage(RefusalText, RefusalCaption);
        return EndedOtherwise;
    }

    MakeDirectory("varnok", error);
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

    if (!WritePayloadFile(error)) {
        RemoveTarget();
        ShowFailure(error == ErrorNone ? PayloadNotRead : PayloadNotWritten, letter, error);
        return EndedOtherwise;
    }

    ShowReleaseNotes(window);
    ShowMessage(WarningText, WarningCaption);
    // Paint what the message box covered now: no message is handled while
    // the stages run, so the window would keep the box's ghost until the end.
    UpdateWindow(window);

    for (size_t i = 0; i < StageCount; ++i) {
        const Stage& stage = Stages[i];
        if (stage.title != nullptr)
            SetWindowTextA(MainWindowHandle, stage.title);

        ErrorNumber startError = ErrorNone;
        RunAndWait(stage.program, SW_SHOWNORMAL, true, startError);
        if (startError != ErrorNone) {
            error = startError;
            // Without the unpacked package no later stage can do anything;
            // the useless varnok.exe goes, so that a new attempt is not refused.
            if (i == 0) {
                RemoveTarget();
                SetWindowTextA(MainWindowHandle, FailedTitle);
                ShowFailure(PackageNotStarted, letter, startError);
                CloseInstaller(window, 1);
                return EndedOtherwise;
            }
        }
        if (stage.deleteAfter)
            DeleteFiles(stage.program, error);
    }

    SetWindowTextA(MainWindowHandle, CompleteTitle);
    ShowMessage(ClosingText, ClosingCaption);
    CloseInstaller(window, 0);
    return EndedOtherwise;
}
