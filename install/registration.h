#pragma once
// Registering a complete installation where Windows lists programs, with
// X:\varnok\uninstall.exe to remove it, and taking the entry away again.
//
// The entry is the key VARNOK-8-X (X the drive) below
// Software\Microsoft\Windows\CurrentVersion\Uninstall, in the 32-bit
// view, as Windows keeps a 32-bit program's entries: under
// HKEY_LOCAL_MACHINE when the installation was made with an administrator's
// rights, otherwise under HKEY_CURRENT_USER.

#include <windows.h>

#include "install/pe_layout.h"
#include "install/tree.h"

// Writes uninstall.exe into the current directory: the installer's image
// (its first pe.imageEnd bytes, a signature's directory entry cleared)
// with the record appended under the uninstaller's marker. The record's
// header is written here. False with `error` when it cannot be written.
bool WriteUninstaller(const unsigned char* image, const PeLayout& pe, RecordBuffer& record,
                      bool machineWide, char letter, ErrorNumber& error);

// Writes the entry for the installation on drive `letter` whose files
// take `bytes`.
bool RegisterInstallation(char letter, bool machineWide, uint64_t bytes, ErrorNumber& error);

// Deletes that entry; true when it is gone.
bool UnregisterInstallation(char letter, bool machineWide);

// Whether the entry of drive `letter` (of the machine or of the user)
// names, as its InstallLocation, the folder that `identity` names, however
// that folder was reached (another drive letter for it, a share, a path
// in the \\?\ form).
bool NamesFolder(char letter, bool machineWide, const FolderIdentity& identity);

// Deletes the entry of drive `letter`; the Windows code of a failure, or 0.
LONG Unregister(char letter, bool machineWide);

// Whether an entry for drive `letter` exists, the user's or the machine's.
bool IsRegistered(char letter);
