#pragma once
// Reading the installer's own file and writing its payload out.

#include <windows.h>

#include "services/error_numbers.h"

// A byte string on the process heap, owned by whoever holds it.
struct ByteString {
    unsigned char* bytes;
    DWORD length;
};

// The payload of the running installer, or an empty string when its file
// cannot be read completely. Never touches an ErrorNumber.
ByteString ExtractPayload();

void ReleaseByteString(ByteString& string);

// Writes the payload as "varnok.exe" into the current directory and releases
// it. Returns true only when a non-empty payload was written completely;
// failures of the write set `error`.
bool WritePayloadFile(ErrorNumber& error);
