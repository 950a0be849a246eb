#include "services/kernel.h"

#include <windows.h>

__attribute__((noinline)) void* Allocate(size_t size)
{
    return HeapAlloc(GetProcessHeap(), 0, size);
}

__attribute__((noinline)) void Release(void* block)
{
    if (block != nullptr)
        HeapFree(GetProcessHeap(), 0, block);
}

__attribute__((noinline)) void* Resize(void* block, size_t size)
{
    return HeapReAlloc(GetProcessHeap(), 0, block, size);
}

__attribute__((noinline)) void Close(void* handle)
{
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
}
