#pragma once
// The installation folder as a tree: what an installation made, recorded
// in an uninstall record (uninstall_record.h), and its removal by such a
// record. Links (junctions and symbolic links) are recorded and removed as
// themselves and never followed, so nothing outside the folder is touched.

#include <windows.h>

#include "install/uninstall_record.h"
#include "services/error_numbers.h"

// A path in the \\?\ form, so that no length limit of the ANSI functions
// applies, in a block of the process heap.
struct LongPath {
    WCHAR* text;
    size_t length;
    size_t rootLength;  // the folder's own path: what follows is recorded
};

// "\\?\" and `folder` (a full path); false when there is no memory.
bool StartLongPath(LongPath& path, const WCHAR* folder);
void ReleaseLongPath(LongPath& path);

// A record in the making, in a block of the process heap; `bytes` holds
// the header and `size` bytes in all.
struct RecordBuffer {
    unsigned char* bytes;
    size_t size;
    uint32_t entryCount;
    uint64_t fileBytes;  // the recorded files' sizes added up
};

// Records everything below the folder of `path`, each folder after what it
// holds; with `checksums`, the CRC-32 of every file. The header is left
// for the caller. A failure sets `error`; what was recorded until then
// stays in `record`.
void RecordTree(LongPath& path, bool checksums, RecordBuffer& record, ErrorNumber& error);
void ReleaseRecord(RecordBuffer& record);

// Reads a file whole: its size and CRC-32. By name, shared with every
// other opener (a stage's leftover child may still write it), or through a
// handle opened for reading. False when it cannot be read.
bool ReadChecksum(const WCHAR* path, uint64_t& size, uint32_t& checksum);
bool ReadContent(HANDLE file, uint64_t& size, uint32_t& checksum);

// What names a folder for good: its volume and its file ID.
struct FolderIdentity {
    DWORD volume;
    DWORD high;
    DWORD low;
};

// Holds a folder that the installation made: open without following a
// reparse point and without delete sharing, so that nobody can rename,
// remove or replace it while the handle lives (a process may still make
// it its current directory). INVALID_HANDLE_VALUE, unless it is a plain
// folder; `identity` receives what names it.
HANDLE HoldFolder(const WCHAR* path, FolderIdentity& identity);

// Removes, below the folder of `path`, what the entries of a sound record
// name, in their order: with `checkContent` a file only when it is
// unchanged, otherwise every file; a folder when it is empty; a link as a
// link; with `removeRoot`, then the folder itself when it is empty. The
// folder and every folder on the way to the current entry are held open
// (as HoldFolder holds, with the right to delete), each entry is opened
// once without following a reparse point, and what it is, its size and
// its content are read and it is deleted through that one handle: nothing
// is deleted by name after it was checked. An entry below a link is left
// to the link. An entry that should have gone but could not (also a file
// that cannot be opened so, or read) is marked failed (RecordFailedMark on
// its kind) and counted; `error` gets its number. A folder that is a
// reparse point, or that is not `expected` (when given), is refused:
// nothing is removed and RemovalRefused returned.
const unsigned char RecordFailedMark = 0x80;
const uint32_t RemovalRefused = 0xFFFFFFFF;
uint32_t RemoveRecorded(LongPath& path, unsigned char* entries, uint32_t entryCount,
                        bool checkContent, bool removeRoot, const FolderIdentity* expected,
                        ErrorNumber& error);
