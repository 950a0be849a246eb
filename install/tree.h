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

// Reads a file whole: its size and CRC-32. False when it cannot be read.
bool ReadChecksum(const WCHAR* path, uint64_t& size, uint32_t& checksum);

// Removes, below the folder of `path`, what the entries of a sound record
// name, in their order: with `checkContent` a file only when it is
// unchanged, otherwise every file; a folder when it is empty; a link as a
// link. An entry below a link is left to the link. An entry that should
// have gone but could not is marked failed (RecordFailedMark on its kind)
// and counted; `error` gets its number.
const unsigned char RecordFailedMark = 0x80;
uint32_t RemoveRecorded(LongPath& path, unsigned char* entries, uint32_t entryCount,
                        bool checkContent, ErrorNumber& error);
