#pragma once
// The installer's command line, for the tools and scripts that install with
// nobody at the screen. It is read as UTF-16, so that a log path in any
// script's language arrives whole, and split into words as Windows programs
// split theirs (quotes group, a backslash escapes a quote). Every word must
// be a switch, written with `/` or `-`, in any case:
//
//   /S            silent: no window and no message box at all
//   /PASSIVE      the window and the stage titles, but no question
//   /D=X:         the drive (also X:\ or X:\varnok)
//   /LOG=path     the log, there; /LOG alone: in the temporary folder
//   /? or /HELP   the switches and exit codes
//   /ELEVATED     the mark of the copy that an uninstaller starts with an
//                 administrator's rights ("runas"); not for people
//
// With /S and /PASSIVE both, /S holds. A later /D= or /LOG= replaces an
// earlier one.
//
// Portable: no windows.h, unit-tested natively.

#include <stddef.h>
#include <stdint.h>

// How the installer meets its user.
enum RunMode : uint8_t {
    Interactive,  // a person chooses and answers: the window and its boxes
    Passive,      // the window with its titles, no box; it closes itself
    Silent,       // no window and no box, whatever happens
};

// What is wrong with a command line, if anything.
enum CommandLineProblem : uint8_t {
    CommandLineSound,
    UnknownSwitch,  // a word that is no switch of ours (`wrongWord`)
    BadDrive,       // /D= that names no drive (`wrongWord`)
    EmptyLogPath,   // /LOG= with nothing after it (`wrongWord`)
};

struct CommandLine {
    CommandLineProblem problem;
    RunMode mode;
    bool help;
    bool log;
    bool elevatedCopy;          // /ELEVATED
    char drive;                 // upper case from /D=, 0 without it
    const char16_t* logPath;    // from /LOG=, 0 without it (NUL-terminated)
    const char16_t* wrongWord;  // the first word refused (NUL-terminated)
    const char16_t* arguments;  // in the line: what follows the program name
};

// Reads `line`, a whole command line (the program name first). The words
// are written, NUL-terminated, into `words`, which has room for as many
// characters as `line` holds with its terminator; `logPath` and
// `wrongWord` point into it.
CommandLine ParseCommandLine(const char16_t* line, char16_t* words);
