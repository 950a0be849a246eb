#pragma once
// Starting a program and waiting for it.

#include "services/error_numbers.h"

// What RunAndWait returns when there is no exit code to give: the program
// was not started, was not waited for, or the wait failed.
const unsigned long NoExitCode = 0xFFFFFFFF;

// Starts the program named by the first token of `commandLine` with the show
// mode `showMode`, in the current directory and environment, and with `wait`
// returns only when it has ended, handling the thread's window messages
// meanwhile, with its exit code. A bare program name is taken from the
// current directory only. A hidden program (SW_HIDE) gets no console window
// either. A program that cannot be started, or a wait that fails, sets
// `error`.
unsigned long RunAndWait(const char* commandLine, int showMode, bool wait, ErrorNumber& error);
