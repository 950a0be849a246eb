#pragma once
// Working copies of texts: before a Windows call, every operation copies its
// text into a NUL-terminated buffer of its own, cut to a fixed limit.
//
// Portable: no windows.h, unit-tested natively.

#include <stddef.h>

const size_t PathLimit = 255;         // directory paths and file names
const size_t CommandLineLimit = 256;  // command lines
const size_t PatternLimit = 256;      // deletion patterns

// Copies at most `limit` characters of the NUL-terminated `text` into `copy`,
// which has room for limit + 1 characters, and terminates it. Returns the
// length of the copy.
size_t MakeWorkingCopy(char* copy, size_t limit, const char* text);

// True when the text holds `*` or `?`.
bool HasWildcard(const char* text);
