// Reading the few PE header fields that the installer file layout needs.

#include "install/pe_layout.h"

namespace {

const uint32_t DosHeaderSize = 0x40;
const uint32_t NewHeaderField = 0x3C;  // e_lfanew: file offset of "PE\0\0"
const uint32_t FileHeaderSize = 20;    // the COFF header after the signature
const uint32_t SectionHeaderSize = 40;
const uint32_t Pe32Magic = 0x10B;
const uint32_t Pe32PlusMagic = 0x20B;
const uint32_t SecurityDirectory = 4;

// The file offset of "PE\0\0", or 0 when the bytes have none inside them
// followed by a whole COFF header.
uint64_t FindPeHeader(const unsigned char* bytes, uint64_t size, PeProblem& problem)
{
    if (size < DosHeaderSize || bytes[0] != 'M' || bytes[1] != 'Z') {
        problem = PeNoDosHeader;
        return 0;
    }
    uint64_t peHeader = ReadLittleEndian32(bytes + NewHeaderField);
    if (peHeader + 4 + FileHeaderSize > size) {
        problem = PeHeaderPastEnd;
        return 0;
    }
    const unsigned char* signature = bytes + peHeader;
    if (signature[0] != 'P' || signature[1] != 'E' || signature[2] != 0 || signature[3] != 0) {
        problem = PeNoSignature;
        return 0;
    }
    return peHeader;
}

}  // namespace

uint32_t ReadLittleEndian16(const unsigned char* bytes)
{
    return (uint32_t)bytes[0] | (uint32_t)bytes[1] << 8;
}

uint32_t ReadLittleEndian32(const unsigned char* bytes)
{
    return ReadLittleEndian16(bytes) | ReadLittleEndian16(bytes + 2) << 16;
}

void WriteLittleEndian32(unsigned char* bytes, uint32_t value)
{
    bytes[0] = (unsigned char)value;
    bytes[1] = (unsigned char)(value >> 8);
    bytes[2] = (unsigned char)(value >> 16);
    bytes[3] = (unsigned char)(value >> 24);
}

PeProblem ReadPeLayout(const unsigned char* bytes, uint64_t size, PeLayout& layout)
{
    layout = PeLayout();
    PeProblem problem = PeSound;
    uint64_t peHeader = FindPeHeader(bytes, size, problem);
    if (peHeader == 0)
        return problem;
    const unsigned char* fileHeader = bytes + peHeader + 4;
    uint32_t sectionCount = ReadLittleEndian16(fileHeader + 2);
    uint32_t optionalHeaderSize = ReadLittleEndian16(fileHeader + 16);
    uint64_t optionalHeader = peHeader + 4 + FileHeaderSize;
    uint64_t table = optionalHeader + optionalHeaderSize;
    if (table + (uint64_t)sectionCount * SectionHeaderSize > size)
        return PeSectionTablePastEnd;

    // The data directories follow the fixed part of the optional header,
    // which is 96 bytes in PE32 and 112 in PE32+; the count precedes them.
    if (optionalHeaderSize >= 2) {
        uint32_t magic = ReadLittleEndian16(bytes + optionalHeader);
        uint32_t directories = magic == Pe32Magic ? 96 : magic == Pe32PlusMagic ? 112 : 0;
        if (directories != 0 && optionalHeaderSize >= directories) {
            layout.checksumField = (uint32_t)optionalHeader + 64;
            uint32_t count = ReadLittleEndian32(bytes + optionalHeader + directories - 4);
            uint32_t entry = directories + SecurityDirectory * 8;
            if (count > SecurityDirectory && optionalHeaderSize >= entry + 8) {
                layout.securityEntryField = (uint32_t)optionalHeader + entry;
                layout.certificateOffset = ReadLittleEndian32(bytes + optionalHeader + entry);
                layout.certificateSize = ReadLittleEndian32(bytes + optionalHeader + entry + 4);
            }
        }
    }

    uint64_t rawEnd = 0;
    for (uint32_t i = 0; i < sectionCount; ++i) {
        const unsigned char* section = bytes + table + i * SectionHeaderSize;
        uint32_t rawSize = ReadLittleEndian32(section + 16);
        uint32_t rawPointer = ReadLittleEndian32(section + 20);
        if (rawSize != 0 && (uint64_t)rawPointer + rawSize > rawEnd)
            rawEnd = (uint64_t)rawPointer + rawSize;
    }
    if (rawEnd == 0)
        return PeNoRawData;
    if (rawEnd > size || rawEnd > UINT32_MAX)
        return PeRawDataPastEnd;
    layout.imageEnd = (uint32_t)rawEnd;
    return PeSound;
}

bool LooksLikeWindowsProgram(const unsigned char* bytes, uint64_t size)
{
    PeProblem problem = PeSound;
    return FindPeHeader(bytes, size, problem) != 0;
}
