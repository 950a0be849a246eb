#include "install/messages.h"

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

// clang-format on

const char FailureCaption[] = "Sorry";

namespace {

// Appends text to a bounded buffer, keeping room for the terminator.
struct TextBuilder {
    char* text;
    size_t size;
    size_t length;
};

void Append(TextBuilder& builder, const char* piece)
{
    for (; *piece != '\0' && builder.length + 1 < builder.size; ++piece)
        builder.text[builder.length++] = *piece;
    builder.text[builder.length] = '\0';
}

void AppendNumber(TextBuilder& builder, unsigned number)
{
    char digits[4];
    size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number != 0 && count < sizeof digits);
    char piece[5];
    for (size_t i = 0; i < count; ++i)
        piece[i] = digits[count - 1 - i];
    piece[count] = '\0';
    Append(builder, piece);
}

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

size_t FormatFailureText(char* text, size_t size, Failure failure, char letter, ErrorNumber number)
{
    TextBuilder builder = {text, size, 0};
    if (size == 0)
        return 0;
    text[0] = '\0';
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
    case PackageNotStarted:
        Append(builder, "The package in ");
        AppendTarget(builder, letter);
        Append(builder, " could not be unpacked");
        AppendError(builder, number);
        Append(builder, CRLF "the installation has been stopped");
        break;
    case PackageUnpackedNothing:
        Append(builder, "The package in ");
        AppendTarget(builder, letter);
        Append(builder, " unpacked none of its" CRLF "programs, the installation has been stopped");
        break;
    }
    return builder.length;
}

size_t FormatPayloadProblem(char* text, size_t size, PayloadCheck check, ErrorNumber number)
{
    TextBuilder builder = {text, size, 0};
    if (size == 0)
        return 0;
    text[0] = '\0';
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
