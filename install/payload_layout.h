#pragma once
// The installer file layout: a PE image, the payload appended after its
// last section, and in the DOS header's reserved words the PayloadDescriptor
// and the integrity record that vouches for the payload.
//
//   0x28  4  integrity marker "VKR1" ("VKU1" in an uninstaller, whose
//            payload is the uninstall record of uninstall_record.h)
//   0x2C  4  CRC-32 of the payload
//            (0x28 to 0x2F are zero in files made before the record)
//   0x30  4  payloadOffset
//   0x34  4  payloadLength
//   0x38  4  reserved, zero
//
// A signing tool later pads the file with up to 7 zero bytes and appends a
// certificate table, which the security directory points at; removing the
// signature again leaves the padding.
//
// Portable: no windows.h; shared by the installer and mkinstaller.

#include <stddef.h>
#include <stdint.h>

#include "install/pe_layout.h"

const uint32_t IntegrityMarkerField = 0x28;
const uint32_t IntegrityChecksumField = 0x2C;
const uint32_t PayloadOffsetField = 0x30;  // unsigned 32-bit little-endian
const uint32_t PayloadLengthField = 0x34;
const uint32_t PayloadHeaderSize = 0x40;  // the DOS header holds all of it
extern const unsigned char IntegrityMarker[4];
extern const unsigned char UninstallerMarker[4];

// The largest payload that pack accepts: 512 MiB. The installer holds its
// whole file in one block of memory. Under 32-bit Wine the largest block to
// be had was 560 MiB (997 MiB for a large-address-aware program); in the
// 2 GiB of a 32-bit process on 32-bit Windows it is larger, but DLLs that
// other software loads into every process can split it.
const uint32_t LargestPayload = 512u << 20;

struct PayloadDescriptor {
    uint32_t payloadOffset;  // where the payload starts
    uint32_t payloadLength;  // how many bytes it holds
};

// Reads and writes the two fields of a header of at least PayloadHeaderSize bytes.
PayloadDescriptor ReadPayloadDescriptor(const unsigned char* header);
void WritePayloadDescriptor(unsigned char* header, PayloadDescriptor descriptor);

// The CRC-32 of IEEE 802.3 (as zip and PNG use it) of `length` bytes,
// continued from `crc` (0 to begin).
uint32_t Crc32(uint32_t crc, const unsigned char* bytes, size_t length);

// Writes the marker ("VKU1" for an uninstaller) and the payload's checksum
// into a header.
void WriteIntegrityRecord(unsigned char* header, uint32_t payloadChecksum,
                          bool uninstaller = false);
// Whether the header holds a marker: an installer's "VKR1" or an
// uninstaller's "VKU1".
bool HasIntegrityRecord(const unsigned char* header);

// What an installer file's bytes say about its payload, worst first.
enum PayloadCheck : uint8_t {
    PayloadIntact,
    NotAnInstaller,      // its own headers are not those of a linked image
    PayloadMissing,      // payloadLength is 0
    PayloadIncomplete,   // the file is shorter than its payload needs
    PayloadDamaged,      // bytes differ from what the record vouches for, or follow the payload
    PayloadNotAProgram,  // the payload does not begin like a Windows program
    // What the installer meets before it can look at the bytes:
    OwnFileUnreadable,  // its own file cannot be opened or read whole
    NotEnoughMemory,    // no block of memory as large as its own file
};

struct InstallerLayout {
    PayloadCheck check;
    PeLayout pe;
    PayloadDescriptor descriptor;
    bool hasRecord;      // bytes 0x28 to 0x2F are not all zero; damaged without the marker
    bool isUninstaller;  // the marker is "VKU1": the payload is an uninstall record
    bool isSigned;
    // Whether payloadOffset + payloadLength is where the file's data ends:
    // the end of the file, or the certificate table of a signed file, less
    // the signing tool's padding (which a removed signature leaves).
    bool fieldsReachDataEnd;
    uint32_t recordedChecksum;  // with hasRecord
    uint32_t payloadStart;      // where the payload lies: meaningful unless the
    uint32_t payloadLength;     // check is NotAnInstaller or PayloadIncomplete
};

// Where the payload of an installer file lies, and whether it may be
// installed. In a signed file it ends at payloadOffset + payloadLength,
// followed only by the signing tool's zero padding and the certificate
// table. So it does in an unsigned file with the integrity record that ends
// in such padding (its signature removed) when payloadOffset is not inside
// the image; any other unsigned file's payload is its last payloadLength
// bytes, so a wrong payloadOffset does not move it. It must lie wholly
// after the image, match the record when there is one (any bytes at 0x28 to
// 0x2F but zeros and a record with a marker make the file damaged), and
// begin like a Windows program unless it is an uninstall record.
InstallerLayout CheckInstallerFile(const unsigned char* file, uint32_t fileSize);
