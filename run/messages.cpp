#include "run/messages.h"

#define CRLF "\r\n"

// One piece of text a source line, as the texts are read.
// clang-format off

const char NoSelectionCaption[] = " No Drive Selected";
const char NoSelectionText[] = "Please select the drive to install VARNOK on";

const char RefusalCaption[] = "Sorry";
const char RefusalText[] =
    "The VARNOK directory already exists on this," CRLF
    "drive, either rename the old directory or" CRLF
    "install this package on another drive";

const char ReleaseNotesText[] =
    "What's new in version 8 ?" CRLF CRLF
    "1. The latest debugging system by Dravik." CRLF CRLF
    "2. A completely new floating point maths library"
    " written by Quenlor." CRLF CRLF
    "3. A new coded dialog system that does not need"
    " a dialog editor." CRLF CRLF
    "4. A new version of Scrivlet which has scripting"
    " support and more display control." CRLF CRLF
    "5. Extra example code including new dialog examples." CRLF CRLF
    "and more ....";

const char WarningCaption[] = "Click OK to continue";
const char WarningText[] =
    "Some of the operations in the installation may be" CRLF
    "slow on older machine, the stages are displayed" CRLF
    "on the title bar through the installation.";

const char ClosingCaption[] = "Warning, Secret information";
const char ClosingText[] =
    "There is a file hidden in the VARNOK directory called" CRLF
    "README.HTM that tells you how VARNOK really works." CRLF CRLF
    "Take advantage of this hidden feature and run it in your" CRLF
    "browser to check out the new features in VARNOK." CRLF CRLF
    "OK, What do I do next ?" CRLF
    "Go to the VARNOK directory on the installation drive" CRLF
    "and start SCRIVLET.EXE. Browse the example code and" CRLF
    "select an example as a test piece to test the installation." CRLF
    "Select the BUILD ALL option and verify that the file" CRLF
    "builds OK, the select RUN from the Project menu to test" CRLF
    "the executable file that was built.";

const char CompleteTitle[] = "Installation Is Now Complete";
const char FailedTitle[] = "Installation Failed";

const Stage Stages[StageCount] = {
    {"Creating Build Environment And Tool", "varnok.exe", true},
    {"Installing Tarvesh's Tutorials", "tute.exe", true},
    {"Installing The Introductory Example Code", "ex1.exe", true},
    {"Installing The Intermediate Example Code", "ex2.exe", true},
    {"Installing The Advanced Example Code", "ex3.exe", true},
    {"", "makelibs.bat", false},
};

const char HelpCaption[] = "VARNOK Version 8 Compact Installation";
const char HelpText[] =
    "Switches, with / or -, in any case:" CRLF
    "/S\tsilent: no window and no message box" CRLF
    "/PASSIVE\tthe window and its stages, no question" CRLF
    "/D=X:\tinstall on drive X:, a fixed disk (unattended:" CRLF
    "\tthe drive of Windows without it)" CRLF
    "/LOG=file\twrite a log there; /LOG alone: in %TEMP%" CRLF
    "/?\tthis list" CRLF
    "X:\\varnok\\uninstall.exe takes /S, /LOG and /LOG=file." CRLF CRLF
    "Exit codes:" CRLF
    "0\tinstalled or removed; closed before installing;" CRLF
    "\thanded over to the running copy" CRLF
    "2\tthe installer file is damaged" CRLF
    "87\tthe command line is wrong" CRLF
    "112\tthe disk is full" CRLF
    "1602\tthe removal was declined" CRLF
    "1603\tfailed; what the installation made is removed" CRLF
    "1618\tanother VARNOK installation is running" CRLF
    "1638\tVARNOK is already installed on that drive";

const char AnotherRunningText[] =
    "Another VARNOK installation is running." CRLF CRLF
    "Please wait until it has finished, then try again.";

const char UninstallCaption[] = "Remove VARNOK";
const char UninstallQuestion[] = "Remove VARNOK Version 8 Compact from ";
const char UninstallQuestionEnd[] =
    "?" CRLF CRLF "What you changed or added there after the installation is kept.";
const char RemovedText[] = "VARNOK Version 8 Compact has been removed from ";
const char NotAllRemovedText[] = "VARNOK Version 8 Compact could not be removed whole from ";
const char KeptText[] =
    CRLF CRLF "Kept because they were changed or added after the installation: ";
const char NotRemovedText[] =
    CRLF CRLF "These could not be removed because they are in use: ";
const char NotRemovedAdvice[] =
    CRLF CRLF "Close the programs that use them and run the uninstaller again.";
const char EntryNotRemovedText[] = CRLF CRLF "Its entry stays: run the uninstaller again.";
const char NotElevatedText[] = "Nothing was removed: VARNOK needs an administrator.";
const char SteerableText[] = "Other users can change this folder: nothing was removed.";
const char DamagedRecordText[] =
    "This uninstaller is damaged: its record of what the" CRLF
    "installation made is not the one it was made with." CRLF CRLF
    "Nothing has been removed.";

// clang-format on

const char FailureCaption[] = "Sorry";

namespace {

// "X:" for the chosen drive.
void AppendDrive(TextBuilder& builder, char letter)
{
    const char drive[] = {letter, ':', '\0'};
    Append(builder, drive);
}

// "X:\varnok" for the chosen drive.
void AppendTarget(TextBuilder& builder, char letter)
{
    AppendDrive(builder, letter);
    Append(builder, "\\varnok");
}

void AppendError(TextBuilder& builder, ErrorNumber number)
{
    Append(builder, " (error ");
    AppendNumber(builder, number);
    Append(builder, "),");
}

}  // namespace

TextBuilder StartText(char* text, size_t size)
{
    TextBuilder builder = {text, size, 0};
    if (size != 0)
        text[0] = '\0';
    return builder;
}

void Append(TextBuilder& builder, const char* piece)
{
    for (; *piece != '\0' && builder.length + 1 < builder.size; ++piece)
        builder.text[builder.length++] = *piece;
    if (builder.size != 0)
        builder.text[builder.length] = '\0';
}

void AppendNumber(TextBuilder& builder, uint32_t number)
{
    char digits[11];
    size_t at = sizeof digits - 1;
    digits[at] = '\0';
    do {
        digits[--at] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number != 0);
    Append(builder, digits + at);
}

void AppendUtf16(TextBuilder& builder, const char16_t* text, size_t length)
{
    for (size_t i = 0; i < length && text[i] != 0; ++i) {
        uint32_t c = text[i];
        // A surrogate pair is one character; a lone surrogate stays as it is.
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < length && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        char bytes[5];
        size_t count = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        bytes[count] = '\0';
        for (size_t k = count - 1; k > 0; --k, c >>= 6)
            bytes[k] = static_cast<char>(0x80 | (c & 0x3F));
        static const unsigned char Lead[5] = {0, 0, 0xC0, 0xE0, 0xF0};
        bytes[0] = static_cast<char>(Lead[count] | c);
        // A character is written whole or not at all.
        if (builder.length + count < builder.size)
            Append(builder, bytes);
    }
}

size_t FormatFailureText(char* text, size_t size, Failure failure, char letter, ErrorNumber number,
                         const char* program)
{
    TextBuilder builder = StartText(text, size);
    switch (failure) {
    case DriveNotEntered:
        Append(builder, "The drive ");
        AppendDrive(builder, letter);
        Append(builder, " cannot be used");
        AppendError(builder, number);
        Append(builder, CRLF "check that it is still there, or" CRLF
                             "install this package on another drive");
        break;
    case TargetNotSecured:
        Append(builder, "The permissions of the directory ");
        AppendTarget(builder, letter);
        Append(builder, CRLF "could not be set up");
        AppendError(builder, number);
        Append(builder, " nothing has been installed");
        break;
    case TargetNotMade:
        Append(builder, "The directory ");
        AppendTarget(builder, letter);
        Append(builder, " could not be created");
        AppendError(builder, number);
        Append(builder, CRLF "check that the drive can be written to, or" CRLF
                             "install this package on another drive");
        break;
    case PayloadNotWritten:
        Append(builder, "The package could not be written to ");
        AppendTarget(builder, letter);
        AppendError(builder, number);
        Append(builder, CRLF "check that the drive has room enough, or" CRLF
                             "install this package on another drive");
        break;
    case StageNotStarted:
        Append(builder, "The program ");
        Append(builder, program);
        Append(builder, " of the package in ");
        AppendTarget(builder, letter);
        Append(builder, CRLF "could not be started");
        AppendError(builder, number);
        Append(builder, " the installation has been" CRLF "stopped and everything it made removed");
        break;
    case NotRegistered:
        Append(builder, "The installation in ");
        AppendTarget(builder, letter);
        Append(builder, " could not be registered");
        AppendError(builder, number);
        Append(builder, CRLF "it has been stopped and everything it made removed");
        break;
    }
    return builder.length;
}

size_t FormatPayloadProblem(char* text, size_t size, PayloadCheck check, ErrorNumber number)
{
    TextBuilder builder = StartText(text, size);
    const char* advice = CRLF CRLF "Nothing has been installed. Please get a new copy" CRLF
                                   "of the installer and run that one.";
    switch (check) {
    case PayloadIntact:
        break;
    case NotAnInstaller:
        Append(builder, "This installer file is damaged: its own headers" CRLF "cannot be read.");
        break;
    case PayloadMissing:
        Append(builder, "This installer file holds no package.");
        break;
    case PayloadIncomplete:
        Append(builder, "This installer file is incomplete: part of it is" CRLF
                        "missing, as when a download is cut short.");
        break;
    case PayloadDamaged:
        Append(builder, "This installer file is damaged: its package is not" CRLF
                        "the one it was made with.");
        break;
    case PayloadNotAProgram:
        Append(builder,
               "This installer file is damaged: its package is not" CRLF "a Windows program.");
        break;
    case OwnFileUnreadable:
        Append(builder, "The installer could not read its own file (error ");
        AppendNumber(builder, number);
        Append(builder, ").");
        advice = CRLF CRLF "Nothing has been installed. Please copy the installer" CRLF
                           "to this computer and run it from there.";
        break;
    case NotEnoughMemory:
        Append(builder, "There is not enough memory to read the package of" CRLF "this installer.");
        advice = CRLF CRLF "Nothing has been installed. Please close other" CRLF
                           "programs and try again.";
        break;
    }
    if (check != PayloadIntact)
        Append(builder, advice);
    return builder.length;
}

const char* ExitCodeMeaning(int code)
{
    switch (code) {
    case ExitDone:
        return "done";
    case ExitDamagedFile:
        return "the file is damaged";
    case ExitBadCommandLine:
        return "the command line is wrong";
    case ExitDiskFull:
        return "the disk is full";
    case ExitDeclined:
        return "declined";
    case ExitFailed:
        return "failed";
    case ExitAnotherRunning:
        return "another VARNOK installation is running";
    case ExitAlreadyInstalled:
        return "VARNOK is already installed on that drive";
    default:
        return "failed to start";
    }
}

const char* ErrorNumberText(ErrorNumber number)
{
    switch (number) {
    case 7:
        return "out of memory";
    case ErrorNotFound:
        return "not found";
    case ErrorDeviceShortWrite:
    case ErrorDiskFull:
        return "disk full";
    case ErrorBadFileName:
        return "bad file name";
    case 67:
        return "too many open files";
    case 68:
        return "no such drive";
    case ErrorAccessDenied:
        return "access denied";
    case 71:
        return "drive not ready";
    case 72:
        return "device error";
    case ErrorPathNotFound:
        return "path not found";
    default:
        return "other error";
    }
}

size_t FormatRefusedSwitch(char* text, size_t size, RefusedSwitch refusal, const char16_t* word,
                           ErrorNumber number)
{
    TextBuilder builder = StartText(text, size);
    switch (refusal) {
    case SwitchUnknown:
        Append(builder, "The installer does not know the switch" CRLF);
        AppendUtf16(builder, word);
        Append(builder, CRLF CRLF "/? lists the switches it knows.");
        break;
    case DriveNotChoosable:
        AppendUtf16(builder, word);
        Append(builder, " names no drive that VARNOK can be installed on:" CRLF
                        "it must be a fixed disk whose root can be entered.");
        break;
    case LogNotMade:
        Append(builder, "The log file cannot be made (error ");
        AppendNumber(builder, number);
        Append(builder, "):" CRLF);
        AppendUtf16(builder, word);
        break;
    }
    return builder.length;
}
