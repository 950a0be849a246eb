// The log file: opened once, written a line at a time, closed by the end
// of the process.

#include "run/log.h"

#include <stdarg.h>

#include "run/messages.h"
#include "varnok_version.h"
#include "services/guarded_call.h"
#include "services/system_dll.h"

namespace {

// Zero until the log is open: zero-initialised data takes no room in the
// image.
HANDLE LogFile;

// Room for a path of the temporary folder and the log's own name.
const DWORD TempPathSize = MAX_PATH + 64;

}  // namespace

const char* Utf8(const WCHAR* text, size_t length)
{
    static char buffers[2][1024];
    static int next;
    next ^= 1;
    TextBuilder builder = StartText(buffers[next], sizeof buffers[next]);
    AppendUtf16(builder, reinterpret_cast<const char16_t*>(text), length);
    return buffers[next];
}

bool OpenLog(const WCHAR* path, const char* kind, ErrorNumber& error)
{
    WCHAR temporary[TempPathSize];
    if (path == nullptr) {
        // %TEMP%\VARNOK-install-20261208-134501123.log: to the millisecond,
        // so that one run never replaces the log of another.
        SYSTEMTIME now;
        GetLocalTime(&now);
        DWORD length = GetTempPathW(MAX_PATH, temporary);
        if (length == 0 || length >= MAX_PATH) {
            error = ErrorPathNotFound;
            return false;
        }
        wsprintfW(temporary + length, L"VARNOK-%hs-%04u%02u%02u-%02u%02u%02u%03u.log", kind,
                  now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                  now.wMilliseconds);
        path = temporary;
    }
    DWORD code;
    HANDLE file = GuardedOsCall(code, [&] {
        return CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    });
    if (file != INVALID_HANDLE_VALUE) {
        LogFile = file;
        return true;
    }
    error = ErrorNumberForCode(code);
    return false;
}

bool LogIsOpen()
{
    return LogFile != nullptr;
}

void LogLine(const char* format, ...)
{
    if (!LogIsOpen())
        return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    char line[1100];
    int stamp = wsprintfA(line, "%04u-%02u-%02u %02u:%02u:%02u.%03u  ", now.wYear, now.wMonth,
                          now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    va_list arguments;
    va_start(arguments, format);
    int length = stamp + wvsprintfA(line + stamp, format, arguments);
    va_end(arguments);
    for (int i = 0; i < length; ++i)
        if (line[i] == '\r' || line[i] == '\n')
            line[i] = ' ';
    line[length++] = '\r';
    line[length++] = '\n';
    DWORD written;
    WriteFile(LogFile, line, static_cast<DWORD>(length), &written, nullptr);
}

bool IsElevated()
{
    HANDLE token;
    TOKEN_ELEVATION elevation = {};
    DWORD size;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    if (!GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size))
        elevation.TokenIsElevated = 0;
    CloseHandle(token);
    return elevation.TokenIsElevated != 0;
}

void LogRunFacts(const char* program)
{
    LogLine("%s %s, built %s", program, VARNOK_VERSION, VARNOK_BUILD_TIME);
    LogLine("command line: %s", Utf8(GetCommandLineW()));
    // GetVersionEx answers what the manifest names at most; ntdll tells the
    // truth.
    typedef LONG(WINAPI * GetVersion)(OSVERSIONINFOW*);
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    const GetVersion getVersion = reinterpret_cast<GetVersion>(
        reinterpret_cast<void*>(SystemFunction("ntdll", "RtlGetVersion")));
    if (getVersion != nullptr)
        getVersion(&version);
    WCHAR account[257];
    DWORD size = 257;
    if (!GetUserNameW(account, &size))
        account[0] = 0;
    LogLine("Windows %lu.%lu build %lu; account %s, %s", version.dwMajorVersion,
            version.dwMinorVersion, version.dwBuildNumber, Utf8(account),
            IsElevated() ? "elevated" : "not elevated");
}
