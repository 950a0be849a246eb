#pragma once
// Just enough of the PE format to find where a linked image's file ends and
// whether it has been signed: the section table and the security directory.
//
// Portable: no windows.h; shared by the installer (its own file) and
// mkinstaller.

#include <stddef.h>
#include <stdint.h>

struct PeLayout {
    uint32_t imageEnd;            // end of the raw data of the last section
    uint32_t checksumField;       // file offset of the optional header's CheckSum
    uint32_t securityEntryField;  // file offset of data directory entry 4; 0 when there is none
    uint32_t certificateOffset;   // the security directory: where the certificate table
    uint32_t certificateSize;     // starts (a file offset) and its size; 0 and 0 when unsigned
};

// What keeps bytes from being a linked PE image whose headers and sections
// lie inside them.
enum PeProblem : uint8_t {
    PeSound,
    PeNoDosHeader,          // shorter than a DOS header, or no "MZ"
    PeHeaderPastEnd,        // the PE header offset points past the end
    PeNoSignature,          // no "PE\0\0" where the DOS header points
    PeSectionTablePastEnd,  // the section table runs past the end
    PeNoRawData,            // no section holds raw data
    PeRawDataPastEnd,       // a section's raw data runs past the end
};

PeProblem ReadPeLayout(const unsigned char* bytes, uint64_t size, PeLayout& layout);

// Whether the bytes begin like a Windows program: "MZ", and "PE\0\0" where
// the DOS header's e_lfanew points, inside the bytes. Anything else would be
// started, if at all, as a DOS program.
bool LooksLikeWindowsProgram(const unsigned char* bytes, uint64_t size);

uint32_t ReadLittleEndian16(const unsigned char* bytes);
uint32_t ReadLittleEndian32(const unsigned char* bytes);
void WriteLittleEndian32(unsigned char* bytes, uint32_t value);
