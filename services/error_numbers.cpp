// The fixed table from Windows error codes to error numbers.

#include "services/error_numbers.h"

const ErrorNumber ErrorNumberMap[41] = {
    0,    //  0 ERROR_SUCCESS (never used for a failure)
    75,   //  1 ERROR_INVALID_FUNCTION
    53,   //  2 ERROR_FILE_NOT_FOUND
    76,   //  3 ERROR_PATH_NOT_FOUND
    67,   //  4 ERROR_TOO_MANY_OPEN_FILES
    70,   //  5 ERROR_ACCESS_DENIED
    51,   //  6 ERROR_INVALID_HANDLE
    241,  //  7 ERROR_ARENA_TRASHED
    7,    //  8 ERROR_NOT_ENOUGH_MEMORY
    241,  //  9 ERROR_INVALID_BLOCK
    241,  // 10 ERROR_BAD_ENVIRONMENT
    51,   // 11 ERROR_BAD_FORMAT
    51,   // 12 ERROR_INVALID_ACCESS
    51,   // 13 ERROR_INVALID_DATA
    7,    // 14 ERROR_OUTOFMEMORY
    68,   // 15 ERROR_INVALID_DRIVE
    75,   // 16 ERROR_CURRENT_DIRECTORY
    74,   // 17 ERROR_NOT_SAME_DEVICE
    53,   // 18 ERROR_NO_MORE_FILES
    70,   // 19 ERROR_WRITE_PROTECT
    68,   // 20 ERROR_BAD_UNIT
    71,   // 21 ERROR_NOT_READY
    51,   // 22 ERROR_BAD_COMMAND
    72,   // 23 ERROR_CRC
    51,   // 24 ERROR_BAD_LENGTH
    72,   // 25 ERROR_SEEK
    72,   // 26 ERROR_NOT_DOS_DISK
    72,   // 27 ERROR_SECTOR_NOT_FOUND
    27,   // 28 ERROR_OUT_OF_PAPER
    72,   // 29 ERROR_WRITE_FAULT
    72,   // 30 ERROR_READ_FAULT
    72,   // 31 ERROR_GEN_FAILURE
    70,   // 32 ERROR_SHARING_VIOLATION
    70,   // 33 ERROR_LOCK_VIOLATION
    72,   // 34 ERROR_WRONG_DISK
    75,   // 35 (no name)
    70,   // 36 ERROR_SHARING_BUFFER_EXCEEDED
    75,   // 37 (no name)
    62,   // 38 ERROR_HANDLE_EOF
    61,   // 39 ERROR_HANDLE_DISK_FULL
    75,   // 40 and above: every other code
};

// Kept out of line: it is called wherever a Windows call can fail, and one
// copy keeps the image smaller than a copy at every call.
__attribute__((noinline)) ErrorNumber ErrorNumberForCode(uint32_t code)
{
    return ErrorNumberMap[code < 40 ? code : 40];
}
