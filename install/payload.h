#pragma once
// Reading the installer's own file, checking its payload and writing the
// payload out.

#include <windows.h>

#include "install/payload_layout.h"
#include "services/error_numbers.h"

// The installer's own file, read whole onto the process heap.
struct OwnFile {
    unsigned char* bytes;
    DWORD size;
    InstallerLayout layout;
};

// Reads the file of the module InstanceHandle (the running program when
// that is 0) and checks its payload. Only a PayloadIntact file is kept in
// `file`, to be written and released; for anything else nothing is held.
// A failed read leaves its error number in `readError`; nothing here
// touches any other ErrorNumber.
PayloadCheck ExtractPayload(OwnFile& file, ErrorNumber& readError);

void ReleaseOwnFile(OwnFile& file);

// Writes the checked payload as "varnok.exe" into the current directory,
// straight from the file's memory. Returns true only when every byte was
// written, and then keeps only the image part of the file (for the
// uninstaller); a failure of the write sets `error` and releases the file.
bool WritePayloadFile(OwnFile& file, ErrorNumber& error);

// The full path of the running program in a block of the heap, or null.
WCHAR* OwnPath();

// Whether the running program's file is an uninstaller: the marker of its
// header says so (InstanceHandle set). The whole file is checked later,
// like an installer's.
bool OwnFileIsUninstaller();
