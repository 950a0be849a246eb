#pragma once
// The drive list's item text and the drive letter taken back from it.
//
// An item reads DRIVE C: (SYSTEM): the upper-cased word DRIVE, the root
// without its backslash, then the volume label in parentheses in its own
// case. The drive letter is the character just before the first colon.
//
// Portable: no windows.h, unit-tested natively.

#include <stddef.h>

const size_t DriveStringsSize = 256;  // the buffer GetLogicalDriveStringsA fills
const size_t RootCount = 26;          // one root per drive letter
const size_t RootSize = 8;            // room for a root such as C:\ and more
const size_t LabelBufferSize = 128;   // the buffer GetVolumeInformationA fills
const size_t ItemBufferSize = 48;     // the buffer the installation reads an item into
const size_t LabelLimit = ItemBufferSize - 1 - 11;  // 36: longer labels are cut

struct RootTable {
    char root[RootCount][RootSize];  // NUL-terminated; empty when unused
};

// Splits the drive strings (roots each ended by a NUL, the list ended by a
// second NUL, the rest of the buffer spaces) into the root table. An entry
// too long for RootSize is left empty, since it cannot be a drive's root.
void SplitDriveStrings(const char (&strings)[DriveStringsSize], RootTable& table);

// Builds the item text for `root` and the label buffer as the system filled
// it (NULs removed, leading and trailing spaces trimmed, cut to LabelLimit).
// `item` has room for ItemBufferSize characters; returns the item's length.
size_t BuildDriveItem(char (&item)[ItemBufferSize], const char* root,
                      const char (&label)[LabelBufferSize]);

// The character just before the first colon among the `size` characters of
// `text`, or 0 when there is no colon or nothing before it.
char DriveLetterFromItem(const char* text, size_t size);
