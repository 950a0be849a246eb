#pragma once
// Error numbers: the one way in which the system services report failure.
//
// The caller owns an ErrorNumber, starts it at 0 and passes it by reference
// to every operation it calls. An operation that fails stores its number
// there; one that succeeds leaves it alone; nothing ever clears it. So after
// a run of operations it holds the number of the most recent failure.
//
// Portable: no windows.h, unit-tested natively.

#include <stdint.h>

typedef uint8_t ErrorNumber;

// Numbers the services raise themselves, and the ones callers test for.
enum : ErrorNumber {
    ErrorNone = 0,
    ErrorOutOfMemory = 7,        // ERROR_NOT_ENOUGH_MEMORY, ERROR_OUTOFMEMORY
    ErrorNotFound = 53,          // ERROR_FILE_NOT_FOUND, ERROR_NO_MORE_FILES
    ErrorDeviceShortWrite = 57,  // fewer bytes written to a device than asked
    ErrorDiskFull = 61,          // fewer bytes written to a disk file than asked
    ErrorBadFileName = 64,       // empty file name, wildcard in it, name too long
    ErrorAccessDenied = 70,
    ErrorPathNotFound = 76,  // also: wildcard in a directory path
    ErrorOther = 75,         // every Windows code of 40 or more
};

// Entries 0 to 39 belong to the Windows error codes 0 to 39; entry 40 to
// every larger code.
extern const ErrorNumber ErrorNumberMap[41];

// The error number of a Windows error code (0 for code 0).
ErrorNumber ErrorNumberForCode(uint32_t code);
