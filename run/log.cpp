// The log file: opened once, written a line at a time, closed by the end
// of the process.

#include "run/log.h"

#include <stdarg.h>

#include "run/messages.h"
#include "services/guarded_call.h"
#include "services/kernel.h"
#include "services/system_dll.h"
#include "varnok_version.h"

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

DWORD RunTempPath(WCHAR* path)
{
    // GetTempPath2W (Windows 11, and 10 with the updates of 2022) gives
    // SYSTEM C:\Windows\SystemTemp, which only SYSTEM and the
    // administrators can write; GetTempPathW gives it C:\Windows\Temp,
    // where every user can create files.
    typedef DWORD(WINAPI * TempPath)(DWORD, LPWSTR);
    TempPath tempPath = reinterpret_cast<TempPath>(
        reinterpret_cast<void*>(SystemFunction("kernel32", "GetTempPath2W")));
    if (tempPath == nullptr)
        tempPath = GetTempPathW;
    const DWORD length = tempPath(MAX_PATH, path);
    return length < MAX_PATH ? length : 0;
}

bool OpenLog(const WCHAR* path, const char* kind, ErrorNumber& error)
{
    WCHAR temporary[TempPathSize];
    DWORD length = 0;
    if (path == nullptr) {
        length = RunTempPath(temporary);
        if (length == 0) {
            error = ErrorPathNotFound;
            return false;
        }
    }
    DWORD code;
    HANDLE file = INVALID_HANDLE_VALUE;
    // A log of our own naming is made new, never opened through a file or
    // a link that somebody put at its name first: another name then.
    for (unsigned attempt = 0; attempt < 16 && file == INVALID_HANDLE_VALUE; ++attempt) {
        if (path == nullptr) {
            // %TEMP%\VARNOK-install-20261208-134501123.log: to the
            // millisecond, so that one run never meets the log of another.
            SYSTEMTIME now;
            GetLocalTime(&now);
            // Taken: the milliseconds with another thousand in front.
            wsprintfW(temporary + length, L"VARNOK-%hs-%04u%02u%02u-%02u%02u%02u%03u.log", kind,
                      now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                      now.wMilliseconds + 1000 * attempt);
        }
        file = GuardedOsCall(code, [&] {
            return CreateFileW(path != nullptr ? path : temporary, GENERIC_WRITE, FILE_SHARE_READ,
                               nullptr, path != nullptr ? CREATE_ALWAYS : CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        });
        if (path != nullptr || code != ERROR_FILE_EXISTS)
            break;
    }
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
    TOKEN_ELEVATION elevation = {};
    return QueryOwnToken(TokenElevation, &elevation, sizeof elevation) &&
           elevation.TokenIsElevated != 0 && !WineTestSays("VARNOK_WINE_NOT_ELEVATED");
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
