// The reasons why bytes are not a linked PE image, in words.

#include "tools/pe_image.h"

static std::string DescribePeProblem(PeProblem problem, uint64_t size)
{
    switch (problem) {
    case PeSound:
        return "";
    case PeNoDosHeader:
        return "not a PE image: no DOS header with the signature \"MZ\"";
    case PeHeaderPastEnd:
        return "not a PE image: the PE header offset points past the end of the file";
    case PeNoSignature:
        return "not a PE image: no \"PE\" signature where the DOS header points";
    case PeSectionTablePastEnd:
        return "truncated PE image: the section table runs past the end of the file";
    case PeNoRawData:
        return "not a linked image: no section holds raw data";
    case PeRawDataPastEnd:
        return "truncated PE image: its last section's raw data runs past the end of the file (" +
               std::to_string(size) + " bytes)";
    }
    return "not a PE image";
}

bool ReadImageLayout(const unsigned char* bytes, size_t size, PeLayout& layout,
                     std::string& problem)
{
    PeProblem found = ReadPeLayout(bytes, size, layout);
    if (found != PeSound) {
        problem = DescribePeProblem(found, size);
        return false;
    }
    return true;
}

uint32_t PeChecksum(const unsigned char* bytes, size_t size, uint32_t checksumField)
{
    auto byteAt = [&](size_t i) -> uint32_t {
        if (i >= size || (i >= checksumField && i < (size_t)checksumField + 4))
            return 0;
        return bytes[i];
    };
    uint32_t sum = 0;
    for (size_t i = 0; i < size; i += 2) {
        sum += byteAt(i) | byteAt(i + 1) << 8;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return sum + (uint32_t)size;
}

bool DescriptorWordsClear(const unsigned char* header)
{
    for (size_t i = 0x28; i < 0x3C; ++i)
        if (header[i] != 0)
            return false;
    return true;
}
