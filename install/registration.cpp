// The uninstaller file and the entry in the list of programs.

#include "install/registration.h"

#include "install/payload_layout.h"
#include "run/messages.h"
#include "services/files.h"
#include "services/kernel.h"
#include "varnok_version.h"

namespace {

const char UninstallKeys[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

HKEY Root(bool machineWide)
{
    return machineWide ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

// "VARNOK-8-X".
void KeyName(char (&name)[11], char letter)
{
    lstrcpyA(name, "VARNOK-8-X");
    name[9] = letter;
}

// That key's path below the root.
void EntryPath(char (&path)[96], char letter)
{
    char name[11];
    KeyName(name, letter);
    wsprintfA(path, "%s\\%s", UninstallKeys, name);
}

// Sets a text value; returns the Windows code of a failure, or 0.
LONG SetText(HKEY key, const char* name, const char* value)
{
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                          lstrlenA(value) + 1);
}

LONG SetNumber(HKEY key, const char* name, DWORD value)
{
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof value);
}

}  // namespace

bool WriteUninstaller(const unsigned char* image, const PeLayout& pe, RecordBuffer& record,
                      bool machineWide, char letter, ErrorNumber& error)
{
    WriteRecordHeader(record.bytes, machineWide, letter, record.entryCount);
    const size_t size = pe.imageEnd + record.size;
    unsigned char* file = static_cast<unsigned char*>(Allocate(size));
    if (file == nullptr) {
        error = ErrorOutOfMemory;
        return false;
    }
    CopyMemory(file, image, pe.imageEnd);
    CopyMemory(file + pe.imageEnd, record.bytes, record.size);
    WriteIntegrityRecord(file, Crc32(0, record.bytes, record.size), true);
    WritePayloadDescriptor(file, {pe.imageEnd, static_cast<uint32_t>(record.size)});
    // An installer that was signed: its image still names the certificate
    // table, which is not copied.
    if (pe.securityEntryField != 0)
        ZeroMemory(file + pe.securityEntryField, 8);
    bool written = WriteWholeFile("uninstall.exe", file, size, error);
    Release(file);
    return written;
}

bool RegisterInstallation(char letter, bool machineWide, uint64_t bytes, ErrorNumber& error)
{
    char path[96];
    EntryPath(path, letter);
    HKEY key;
    LONG code = RegCreateKeyExA(Root(machineWide), path, 0, nullptr, 0,
                                KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key, nullptr);
    if (code != ERROR_SUCCESS) {
        error = ErrorNumberForCode(static_cast<DWORD>(code));
        return false;
    }
    char folder[] = "X:\\varnok";
    folder[0] = letter;
    char program[32];
    wsprintfA(program, "%s\\%s", folder, "uninstall.exe");
    char command[40];
    wsprintfA(command, "\"%s\"", program);
    char quiet[40];
    wsprintfA(quiet, "%s /S", command);
    SYSTEMTIME today;
    GetLocalTime(&today);
    char date[16];
    wsprintfA(date, "%04u%02u%02u", today.wYear, today.wMonth, today.wDay);
    LONG failed = SetText(key, "DisplayName", "VARNOK Version 8 Compact");
    failed |= SetText(key, "DisplayVersion", VARNOK_VERSION);
    failed |= SetText(key, "Publisher", VARNOK_PUBLISHER);
    failed |= SetText(key, "InstallLocation", folder);
    failed |= SetText(key, "DisplayIcon", program);
    failed |= SetText(key, "UninstallString", command);
    failed |= SetText(key, "QuietUninstallString", quiet);
    failed |= SetText(key, "InstallDate", date);
    failed |= SetNumber(key, "EstimatedSize", static_cast<DWORD>((bytes + 1023) / 1024));
    failed |= SetNumber(key, "NoModify", 1);
    failed |= SetNumber(key, "NoRepair", 1);
    RegCloseKey(key);
    if (failed == ERROR_SUCCESS)
        return true;
    UnregisterInstallation(letter, machineWide);
    error = ErrorOther;
    return false;
}

bool UnregisterInstallation(char letter, bool machineWide)
{
    const LONG code = Unregister(letter, machineWide);
    return code == ERROR_SUCCESS || code == ERROR_FILE_NOT_FOUND;
}

bool NamesFolder(char letter, bool machineWide, const FolderIdentity& identity)
{
    char path[96];
    EntryPath(path, letter);
    HKEY key;
    if (RegOpenKeyExA(Root(machineWide), path, 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, &key) !=
        ERROR_SUCCESS)
        return false;
    WCHAR location[MAX_PATH];
    DWORD size = sizeof location - sizeof(WCHAR);
    DWORD type = 0;
    const LONG read = RegQueryValueExW(key, L"InstallLocation", nullptr, &type,
                                       reinterpret_cast<BYTE*>(location), &size);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS || type != REG_SZ)
        return false;
    location[size / sizeof(WCHAR)] = 0;
    FolderIdentity listed;
    const HANDLE folder = HoldFolder(location, listed);
    if (folder == INVALID_HANDLE_VALUE)
        return false;
    Close(folder);
    return listed.volume == identity.volume && listed.high == identity.high &&
           listed.low == identity.low;
}

LONG Unregister(char letter, bool machineWide)
{
    char name[11];
    KeyName(name, letter);
    HKEY keys;
    LONG code = RegOpenKeyExA(Root(machineWide), UninstallKeys, 0,
                              KEY_QUERY_VALUE | KEY_WOW64_32KEY, &keys);
    if (code != ERROR_SUCCESS)
        return code;
    code = RegDeleteKeyA(keys, name);
    RegCloseKey(keys);
    return code;
}

bool IsRegistered(char letter)
{
    char path[96];
    EntryPath(path, letter);
    for (int machineWide = 0; machineWide < 2; ++machineWide) {
        HKEY key;
        if (RegOpenKeyExA(Root(machineWide != 0), path, 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY,
                          &key) == ERROR_SUCCESS) {
            RegCloseKey(key);
            return true;
        }
    }
    return false;
}
