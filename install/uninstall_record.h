#pragma once
// The uninstall record: what a complete installation made under X:\varnok,
// so that removing VARNOK takes exactly that and nothing the user made. It
// travels inside X:\varnok\uninstall.exe as a package travels inside an
// installer (the installer's image, then the record), under the marker
// "VKU1" with the CRC-32 of the record at 0x2C (payload_layout.h). All
// numbers are little-endian.
//
//   offset  size  content
//   0       4     "VKUR"
//   4       1     format, 1
//   5       1     where the uninstall entry is: 0 the user's (HKCU), 1 the
//                 machine's (HKLM)
//   6       1     the drive of the installation, 'A' to 'Z'
//   7       1     zero
//   8       4     the number of entries
//   12      ...   the entries, each inside a folder before the folder itself
//
// An entry:
//   0       1     kind: 1 file, 2 folder, 3 link (a junction or a symbolic
//                 link, to a file or a folder, which is never followed)
//   1       1     zero
//   2       2     n, the length of the path in UTF-16 units (1 to 4096)
//   4       8     a file's size in bytes (zero for the others)
//   12      4     a file's CRC-32, as zip computes it (zero for the others)
//   16      2n    the path below the installation folder, UTF-16, its
//                 names separated by "\": no drive, no colon, no "." or
//                 ".." name, no separator first, last or twice
//
// Portable: no windows.h, unit-tested natively.

#include <stddef.h>
#include <stdint.h>

const uint32_t RecordHeaderSize = 12;
const uint32_t RecordEntryHeaderSize = 16;
const uint32_t RecordPathLimit = 4096;

enum RecordKind : uint8_t {
    RecordedFile = 1,
    RecordedFolder = 2,
    RecordedLink = 3,
};

// What a record's bytes say, worst first.
enum RecordCheck : uint8_t {
    RecordSound,
    RecordDamaged,  // not a record of this format, or cut short
    RecordOutside,  // a path that would reach outside the folder
};

struct RecordHeader {
    bool machineWide;
    char drive;
    uint32_t entryCount;
};

struct RecordEntry {
    RecordKind kind;
    uint16_t pathLength;
    uint64_t size;
    uint32_t checksum;
    const unsigned char* path;  // pathLength UTF-16 units, little-endian
};

// Writes the header for `entryCount` entries into `out` (RecordHeaderSize
// bytes).
void WriteRecordHeader(unsigned char* out, bool machineWide, char drive, uint32_t entryCount);

// Writes one entry into `out` (RecordEntryHeaderSize + 2 * pathLength
// bytes) and returns its size.
size_t WriteRecordEntry(unsigned char* out, RecordKind kind, uint64_t size, uint32_t checksum,
                        const char16_t* path, uint16_t pathLength);

// Checks a whole record: its header, that its entries fill it exactly, and
// every path.
RecordCheck CheckRecord(const unsigned char* record, size_t size, RecordHeader& header);

// Reads the entry at `at` of a record that CheckRecord found sound and
// returns where the next one begins.
const unsigned char* ReadRecordEntry(const unsigned char* at, RecordEntry& entry);

// Whether a path (n UTF-16 units) stays inside the folder it is taken from.
bool IsPathInside(const unsigned char* path, size_t length);

// Whether a recorded file may be deleted: it is still exactly what the
// installation made, with the recorded size and CRC-32.
bool IsUnchanged(const RecordEntry& entry, uint64_t size, uint32_t checksum);

// What an entry of the folder is, from its attributes and, for a reparse
// point, its tag. Only a name surrogate (a junction, a symbolic link, and
// the other tags with bit 29 set, which Windows documents as standing for
// another name) is a link: removed as itself, never followed. Every other
// reparse point (a deduplicated or cloud file, one that compact /exe
// compressed) is a file or a folder like any other, checked by its
// content. A reparse point without a tag, which Windows never reports, is
// taken for a link: nothing is followed on a guess.
RecordKind KindOfEntry(uint32_t attributes, uint32_t reparseTag);
