#pragma once
// Starting a program and waiting for it.

#include "services/error_numbers.h"

// Starts the program named by the first token of `commandLine` with the show
// mode `showMode`, in the current directory and environment, and with `wait`
// returns only when it has ended, handling the thread's window messages
// meanwhile. A bare program name is taken from the current directory only.
// A program that cannot be started sets `error`.
void RunAndWait(const char* commandLine, int showMode, bool wait, ErrorNumber& error);
