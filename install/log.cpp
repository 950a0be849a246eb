// The log file: opened once, written a line at a time, closed by the end
// of the process.

#include "install/log.h"

#include <stdarg.h>

#include "app/main_window.h"
#include "install/messages.h"
#include "varnok_version.h"
#include "services/guarded_call.h"

namespace {

HANDLE LogFile = INVALID_HANDLE_VALUE;

// Room for a path of the temporary folder and the log's own name.
const DWORD TempPathSize = MAX_PATH + 64;

void AppendDigits(TextBuilder& builder, unsigned value, unsigned width)
{
    char digits[8];
    for (unsigned i = width; i-- > 0; value /= 10)
        digits[i] = static_cast<char>('0' + value % 10);
    digits[width] = '\0';
    Append(builder, digits);
}

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
        char name[64];
        TextBuilder builder = StartText(name, sizeof name);
        Append(builder, "VARNOK-");
        Append(builder, kind);
        Append(builder, "-");
        AppendDigits(builder, now.wYear * 10000u + now.wMonth * 100u + now.wDay, 8);
        Append(builder, "-");
        AppendDigits(builder, now.wHour * 10000u + now.wMinute * 100u + now.wSecond, 6);
        AppendDigits(builder, now.wMilliseconds, 3);
        Append(builder, ".log");
        for (size_t i = 0; i <= builder.length; ++i)
            temporary[length + i] = static_cast<unsigned char>(name[i]);
        path = temporary;
    }
    DWORD code;
    LogFile = GuardedOsCall(code, [&] {
        return CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    });
    if (LogFile != INVALID_HANDLE_VALUE)
        return true;
    error = ErrorNumberForCode(code);
    return false;
}

bool LogIsOpen()
{
    return LogFile != INVALID_HANDLE_VALUE;
}

void LogLine(const char* format, ...)
{
    if (!LogIsOpen())
        return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    char line[1100];
    TextBuilder builder = StartText(line, sizeof line);
    AppendDigits(builder, now.wYear, 4);
    Append(builder, "-");
    AppendDigits(builder, now.wMonth, 2);
    Append(builder, "-");
    AppendDigits(builder, now.wDay, 2);
    Append(builder, " ");
    AppendDigits(builder, now.wHour, 2);
    Append(builder, ":");
    AppendDigits(builder, now.wMinute, 2);
    Append(builder, ":");
    AppendDigits(builder, now.wSecond, 2);
    Append(builder, ".");
    AppendDigits(builder, now.wMilliseconds, 3);
    Append(builder, "  ");
    va_list arguments;
    va_start(arguments, format);
    int length = wvsprintfA(line + builder.length, format, arguments);
    va_end(arguments);
    length += static_cast<int>(builder.length);
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
