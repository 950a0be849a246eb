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

__attribute__((noinline)) unsigned long LastError()
{
    return GetLastError();
}

__attribute__((noinline)) int TextLength(const wchar_t* text)
{
    return lstrlenW(text);
}

__attribute__((noinline)) wchar_t* CopyText(wchar_t* to, const wchar_t* from)
{
    return lstrcpyW(to, from);
}

__attribute__((noinline)) bool QueryOwnToken(int informationClass, void* out, unsigned long size)
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    DWORD length;
    const bool known = GetTokenInformation(
        token, static_cast<TOKEN_INFORMATION_CLASS>(informationClass), out, size, &length);
    Close(token);
    return known;
}

const unsigned char* OwnAccount()
{
    // A SID of 15 sub-authorities at the most.
    static union {
        TOKEN_USER record;
        unsigned char bytes[sizeof(TOKEN_USER) + 8 + 15 * 4];
    } user;
    return QueryOwnToken(TokenUser, &user, sizeof user)
               ? static_cast<const unsigned char*>(user.record.User.Sid)
               : nullptr;
}
