#pragma once
// The texts that the installation shows: message boxes, the release notes
// panel and the stage titles. Multi-line texts join fixed pieces with CR LF.
//
// Portable: no windows.h, unit-tested natively.

#include <stddef.h>

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
    DriveNotEntered,         // the root of the chosen drive could not be entered
    TargetNotSecured,        // the security of X:\varnok could not be made
    TargetNotMade,           // X:\varnok could not be created or entered
    PayloadNotWritten,       // varnok.exe could not be written completely
    PackageNotStarted,       // varnok.exe could not be started
    PackageUnpackedNothing,  // varnok.exe left none of the later stages' programs
};

extern const char FailureCaption[];

// Writes the message for a failure on drive `letter` with error number
// `number` into `text` (room for `size` characters, always terminated) and
// returns its length.
size_t FormatFailureText(char* text, size_t size, Failure failure, char letter, ErrorNumber number);

// Writes the message for an installer file whose payload cannot be
// installed (any check but PayloadIntact), with the error number of a
// failed read, and returns its length.
size_t FormatPayloadProblem(char* text, size_t size, PayloadCheck check, ErrorNumber number);
