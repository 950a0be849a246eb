#pragma once
// Blocks of the process heap, and closing a handle: one place calls
// Windows for them, so that the many places that need them cost the image
// a near call each (a call of an imported function takes a relocation).

#include <stddef.h>

// A block of `size` bytes, or null.
void* Allocate(size_t size);

// Gives a block back; null is no block.
void Release(void* block);

// The block made `size` bytes long, or null (the block stays as it was).
void* Resize(void* block, size_t size);

// Closes a handle; INVALID_HANDLE_VALUE is none.
void Close(void* handle);

// The calling thread's last error.
unsigned long LastError();

// lstrlenW and lstrcpyW.
int TextLength(const wchar_t* text);
wchar_t* CopyText(wchar_t* to, const wchar_t* from);

// Reads one class of information about this process's token
// (GetTokenInformation); false when Windows cannot say.
bool QueryOwnToken(int informationClass, void* out, unsigned long size);

// The SID of the account that the process runs as (kept for the
// process's life), or null.
const unsigned char* OwnAccount();
