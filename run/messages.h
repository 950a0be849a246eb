#pragma once
// The texts that the installation shows: message boxes, the release notes
// panel and the stage titles. Multi-line texts join fixed pieces with CR LF.
//
// Portable: no windows.h, unit-tested natively.

#include <stddef.h>
#include <stdint.h>

#include "run/command_line.h"
#include "install/payload_layout.h"
#include "services/error_numbers.h"

extern const char NoSelectionCaption[];
extern const char NoSelectionText[];
extern const char RefusalCaption[];
extern const char RefusalText[];
extern const char ReleaseNotesText[];
extern const char WarningCaption[];
extern const char WarningText[];
extern const char ClosingCaption[];
extern const char ClosingText[];
extern const char CompleteTitle[];
extern const char FailedTitle[];

// One program that the installation runs, in the target directory. The
// texts are held in the record itself: a table of pointers would need a
// relocation for each of them in the image.
struct Stage {
    char title[41];    // set on the main window before the run; empty keeps the last
    char program[13];  // the bare file name, run and waited for
    bool deleteAfter;  // whether the file is deleted after its run
};
const size_t StageCount = 6;
extern const Stage Stages[StageCount];

// The failures after which the installation stops and says why.
enum Failure {
    DriveNotEntered,    // the root of the chosen drive could not be entered
    TargetNotSecured,   // the security of X:\varnok could not be made
    TargetNotMade,      // X:\varnok could not be created or entered
    PayloadNotWritten,  // varnok.exe could not be written completely
    StageNotStarted,    // a program of the package could not be started
    NotRegistered,      // the uninstaller or its entry could not be written
};

extern const char FailureCaption[];

// Writes the message for a failure on drive `letter` with error number
// `number` (and the stage's `program`, for StageNotStarted) into `text`
// (room for `size` characters, always terminated) and returns its length.
size_t FormatFailureText(char* text, size_t size, Failure failure, char letter, ErrorNumber number,
                         const char* program = nullptr);

// The exit codes of the installer and of the uninstaller, as deployment
// tools know them from Windows Installer.
enum ExitCode : int {
    ExitDone = 0,                 // installed or removed; closed; handed over
    ExitDamagedFile = 2,          // the installer file or the uninstall record is damaged
    ExitBadCommandLine = 87,      // unknown switch, a drive that cannot be chosen, no log
    ExitDiskFull = 112,           // the disk is full
    ExitDeclined = 1602,          // the user said no
    ExitFailed = 1603,            // failed; what the installation made is removed
    ExitAnotherRunning = 1618,    // another VARNOK installation is running
    ExitAlreadyInstalled = 1638,  // X:\varnok exists
};

// What an exit code means, for the log.
const char* ExitCodeMeaning(int code);

// A short text for an error number, for the log.
const char* ErrorNumberText(ErrorNumber number);

extern const char HelpCaption[];
extern const char HelpText[];
extern const char AnotherRunningText[];
extern const char UninstallCaption[];
extern const char UninstallQuestion[];  // the folder follows
extern const char UninstallQuestionEnd[];
extern const char RemovedText[];        // the folder follows
extern const char NotAllRemovedText[];  // the folder follows
extern const char KeptText[];           // the names follow
extern const char NotRemovedText[];     // the names follow
extern const char NotRemovedAdvice[];
extern const char EntryNotRemovedText[];
extern const char NotElevatedText[];
extern const char SteerableText[];
extern const char DamagedRecordText[];

// A text built piece by piece in a buffer of `size` characters; pieces
// that do not fit are cut, and the text is always terminated.
struct TextBuilder {
    char* text;
    size_t size;
    size_t length;
};
TextBuilder StartText(char* text, size_t size);
void Append(TextBuilder& builder, const char* piece);
void AppendNumber(TextBuilder& builder, uint32_t number);
// UTF-16 text (up to its NUL, or `length` units), appended as UTF-8.
void AppendUtf16(TextBuilder& builder, const char16_t* text, size_t length = SIZE_MAX);

// What the user is told of a command line that is refused: the switch, and
// for a log that cannot be made, its error number.
enum RefusedSwitch { SwitchUnknown, DriveNotChoosable, LogNotMade };
size_t FormatRefusedSwitch(char* text, size_t size, RefusedSwitch refusal, const char16_t* word,
                           ErrorNumber number);

// Writes the message for an installer file whose payload cannot be
// installed (any check but PayloadIntact), with the error number of a
// failed read, and returns its length.
size_t FormatPayloadProblem(char* text, size_t size, PayloadCheck check, ErrorNumber number);
