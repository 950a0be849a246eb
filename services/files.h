#pragma once
// Files and directories. Every operation takes the caller's ErrorNumber and
// sets it only on failure; none shows anything or stops the caller.

#include <stddef.h>

#include "services/error_numbers.h"
#include "services/folder_security.h"

// Makes the drive named by the text's first character the current drive.
void ChangeDrive(const char* text, ErrorNumber& error);

// Sets the process's current directory.
void ChangeDirectory(const char* path, ErrorNumber& error);

// Creates one directory; the directories on the way must exist. With a
// `security` descriptor (from MakeFolderSecurity) the directory gets that
// one instead of what it would inherit; a drive without permissions (FAT)
// ignores it.
void MakeDirectory(const char* path, ErrorNumber& error, const void* security = nullptr);

// Writes the descriptor of a folder that only its owner and the
// administrators can change (BuildFolderSecurity), for the user who runs
// this program; `machineWide`, for the administrators alone. Returns false
// when the user cannot be found out.
bool MakeFolderSecurity(unsigned char (&descriptor)[FolderSecuritySize], bool machineWide,
                        ErrorNumber& error);

// Deletes every ordinary file (not hidden, system or directory) that matches
// the pattern; a pattern ending in `:` or `\` means every file there.
void DeleteFiles(const char* pattern, ErrorNumber& error);

// Whether a file (not a directory) of that name exists. Not finding it is
// no failure; any other failure to look sets `error`.
bool FileExists(const char* name, ErrorNumber& error);

// Makes the file hold exactly `length` bytes from `bytes`, written in one
// call. Returns true only when every byte was written and the file closed.
bool WriteWholeFile(const char* name, const void* bytes, size_t length, ErrorNumber& error);
