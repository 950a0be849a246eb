// What a run of the installer image shares, whether it installs or
// removes: the command line, the claim, the log, the boxes and the end.

#include "run/run.h"

#include <aclapi.h>

#include "run/log.h"
#include "run/messages.h"
#include "services/folder_security.h"
#include "services/kernel.h"

HINSTANCE InstanceHandle;
HWND MainWindowHandle;
CommandLine Options;

void ReadCommandLine()
{
    const WCHAR* line = GetCommandLineW();
    void* words = Allocate((TextLength(line) + 1) * sizeof(WCHAR));
    if (words != nullptr)
        Options = ParseCommandLine(reinterpret_cast<const char16_t*>(line),
                                   static_cast<char16_t*>(words));
}

namespace {

// The names of the one installation running at a time, for every session
// of the machine: an installation by SYSTEM and a person's must not meet.
// Every copy claims the first; an unattended copy and an uninstaller, which
// never hand over, claim the second before it. The kernel objects are
// mutexes that are never released; the process's end frees them.
const WCHAR InstanceName[] = L"Global\\vnki_Class";
const WCHAR UnattendedName[] = L"Global\\vnki_Class unattended";

// Claims a name; false when another copy holds it. Without elevation, a
// name held with rights that keep this copy out (an elevated copy's) is
// held. An object of the global namespace can be made first by any user,
// though, and held for good to keep every SYSTEM run out: an elevated copy
// counts it only when it was made by a copy that ran with such rights, its
// owner SYSTEM, the administrators (the owner of what an elevated process
// makes) or this very account (with UAC switched off, an administrator's
// objects are its own), which no standard user can give an object.
// Our copies' objects let the administrators read their owner (the
// default access of an elevated or SYSTEM token); Wine names no owner.
bool Claim(const WCHAR* name, bool elevated)
{
    SetLastError(0);
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name);
    const DWORD code = LastError();
    if (code != ERROR_ALREADY_EXISTS && code != ERROR_ACCESS_DENIED)
        return true;
    if (!elevated)
        return false;
    if (mutex == nullptr)
        mutex = OpenMutexW(READ_CONTROL, FALSE, name);
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (mutex == nullptr ||
        GetSecurityInfo(mutex, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                        nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return true;
    const unsigned char* self = OwnAccount();
    const bool held = owner == nullptr || IsTrustedOwner(static_cast<unsigned char*>(owner)) ||
                      (self != nullptr && EqualSid(owner, const_cast<unsigned char*>(self)));
    LocalFree(descriptor);
    return !held;
}

bool IsClaimed(const WCHAR* name)
{
    const HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, name);
    return mutex != nullptr || LastError() == ERROR_ACCESS_DENIED;
}

}  // namespace

// Claimed before the file check, which takes seconds for a large package: a
// copy started meanwhile ends without reading its package. A person's
// second copy hands over to a person's running one (which may still be
// checking its file, without a window yet); anything else is told that an
// installation runs.
int StartAlone(bool handsOver)
{
    const bool elevated = IsElevated();
    if (handsOver ? Claim(InstanceName, elevated)
                  : Claim(UnattendedName, elevated) && Claim(InstanceName, elevated))
        return GoOn;
    if (handsOver && !IsClaimed(UnattendedName))
        return HandOver;
    return ExitAnotherRunning;
}

int Ended(int code)
{
    LogLine("exit code %d: %s", code, ExitCodeMeaning(code));
    return code;
}

bool StartLog(const char* kind, const char* program, ErrorNumber& error)
{
    if ((Options.log || Options.mode != Interactive) &&
        !OpenLog(reinterpret_cast<const WCHAR*>(Options.logPath), kind, error) && Options.log)
        return false;
    // Asking who runs it costs a moment at every start: only for a log.
    if (LogIsOpen())
        LogRunFacts(program);
    return true;
}

int RefuseCommandLine(ErrorNumber logError)
{
    RefusedSwitch refusal = DriveNotChoosable;
    const char16_t* word = Options.wrongWord;
    char16_t drive[] = u"X:";
    if (logError != ErrorNone) {
        refusal = LogNotMade;
        word = Options.logPath != nullptr ? Options.logPath : u"%TEMP%";
    } else if (Options.problem == EmptyLogPath) {
        refusal = LogNotMade;
    } else if (Options.problem == UnknownSwitch) {
        refusal = SwitchUnknown;
    } else if (Options.problem == CommandLineSound) {
        drive[0] = static_cast<char16_t>(Options.drive);
        word = drive;
    }
    char text[768];
    FormatRefusedSwitch(text, sizeof text, refusal, word, logError);
    Tell(text, FailureCaption);
    return ExitBadCommandLine;
}

int ShowBox(const char* text, const char* caption, UINT type)
{
    WCHAR wideText[1024];
    WCHAR wideCaption[64];
    if (!MultiByteToWideChar(CP_UTF8, 0, text, -1, wideText, 1024))
        wideText[0] = 0;
    if (!MultiByteToWideChar(CP_UTF8, 0, caption, -1, wideCaption, 64))
        wideCaption[0] = 0;
    return MessageBoxW(MainWindowHandle, wideText, wideCaption, type);
}

void Tell(const char* text, const char* caption)
{
    LogLine("%s: %s", caption, text);
    if (Options.mode == Interactive)
        ShowBox(text, caption, MB_OK);
}

// The claim comes before the log: a second copy must not touch the log of
// the copy that runs, where it would end with 87 when 1618 is the truth. A
// refused copy writes a log only of its own, in the temporary folder. A
// command line that is refused, or that asks for help, claims nothing.
int StartRun(const char* kind, const char* program, bool handsOver)
{
    const bool sound = Options.problem == CommandLineSound;
    const int alone = sound && !Options.help ? StartAlone(handsOver) : GoOn;
    if (alone == HandOver)
        return alone;
    ErrorNumber logError = ErrorNone;
    if (((alone == GoOn || Options.logPath == nullptr) && !StartLog(kind, program, logError)) ||
        !sound)
        return Ended(RefuseCommandLine(logError));
    if (alone != GoOn) {
        Tell(AnotherRunningText, FailureCaption);
        return Ended(alone);
    }
    if (Options.help) {
        if (Options.mode != Silent)
            ShowBox(HelpText, HelpCaption, MB_OK);
        return Ended(ExitDone);
    }
    return GoOn;
}
