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
