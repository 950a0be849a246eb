// Finding the end of a PE image's sections, for packing and inspecting.

#include "tools/pe_image.h"

static uint32_t Read16(const unsigned char* bytes)
{
    return (uint32_t)bytes[0] | (uint32_t)bytes[1] << 8;
}

static uint32_t Read32(const unsigned char* bytes)
{
    return Read16(bytes) | Read16(bytes + 2) << 16;
}

const size_t DosHeaderSize = 0x40;
const size_t NewHeaderField = 0x3C;  // file offset of "PE\0\0"
const size_t FileHeaderSize = 20;    // the COFF header after the signature
const size_t SectionHeaderSize = 40;

// Where the section table starts, or 0 when there is no PE header.
static size_t FindSectionTable(const unsigned char* bytes, size_t size, std::string& problem)
{
    if (size < DosHeaderSize || bytes[0] != 'M' || bytes[1] != 'Z') {
        problem = "not a PE image: no DOS header with the signature \"MZ\"";
        return 0;
    }
    uint64_t peHeader = Read32(bytes + NewHeaderField);
    if (peHeader + 4 + FileHeaderSize > size) {
        problem = "not a PE image: the PE header offset points past the end of the file";
        return 0;
    }
    const unsigned char* signature = bytes + peHeader;
    if (signature[0] != 'P' || signature[1] != 'E' || signature[2] != 0 || signature[3] != 0) {
        problem = "not a PE image: no \"PE\" signature where the DOS header points";
        return 0;
    }
    uint32_t optionalHeaderSize = Read16(signature + 4 + 16);
    return (size_t)(peHeader + 4 + FileHeaderSize + optionalHeaderSize);
}

bool FindSectionsRawEnd(const unsigned char* bytes, size_t size, uint64_t& rawEnd,
                        std::string& problem)
{
    size_t table = FindSectionTable(bytes, size, problem);
    if (table == 0)
        return false;
    uint64_t peHeader = Read32(bytes + NewHeaderField);
    uint32_t sectionCount = Read16(bytes + peHeader + 4 + 2);
    if (table + (uint64_t)sectionCount * SectionHeaderSize > size) {
        problem = "truncated PE image: the section table runs past the end of the file";
        return false;
    }
    rawEnd = 0;
    for (uint32_t i = 0; i < sectionCount; ++i) {
        const unsigned char* section = bytes + table + i * SectionHeaderSize;
        uint32_t rawSize = Read32(section + 16);
        uint32_t rawPointer = Read32(section + 20);
        if (rawSize != 0 && (uint64_t)rawPointer + rawSize > rawEnd)
            rawEnd = (uint64_t)rawPointer + rawSize;
    }
    if (rawEnd == 0) {
        problem = "not a linked image: no section holds raw data";
        return false;
    }
    if (rawEnd > size) {
        problem = "truncated PE image: its last section's raw data ends at offset " +
                  std::to_string(rawEnd) + ", past the end of the file (" + std::to_string(size) +
                  " bytes)";
        return false;
    }
    return true;
}

bool LooksLikeWindowsProgram(const unsigned char* bytes, size_t size)
{
    std::string ignored;
    return FindSectionTable(bytes, size, ignored) != 0;
}

bool DescriptorWordsClear(const unsigned char* header)
{
    for (size_t i = 0x28; i < 0x3C; ++i)
        if (header[i] != 0)
            return false;
    return true;
}
