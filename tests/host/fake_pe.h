#pragma once
// Small PE images and programs made in memory for the native tests: a DOS
// header, "PE" at 0x80, a PE32 optional header of 0xE0 bytes with its 16
// data directories, the section table, and filler bytes.

#include <stddef.h>
#include <stdint.h>

#include <vector>

typedef std::vector<unsigned char> Bytes;

struct FakeSection {
    uint32_t rawPointer, rawSize;
};

inline void Put16(Bytes& b, size_t at, uint32_t v)
{
    b[at] = (unsigned char)v;
    b[at + 1] = (unsigned char)(v >> 8);
}

inline void Put32(Bytes& b, size_t at, uint32_t v)
{
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

const size_t FakeOptionalHeader = 0x80 + 24;
const size_t FakeSecurityEntry = FakeOptionalHeader + 96 + 4 * 8;
const size_t FakeChecksumField = FakeOptionalHeader + 64;

inline Bytes FakeImage(const std::vector<FakeSection>& sections, size_t fileSize)
{
    Bytes b(fileSize);
    for (size_t i = 0x40; i < fileSize; ++i)
        b[i] = (unsigned char)(i * 13 + 5);
    for (size_t i = 0; i < 0x40; ++i)
        b[i] = 0;
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 0x3C, 0x80);
    b[0x80] = 'P', b[0x81] = 'E', b[0x82] = 0, b[0x83] = 0;
    Put16(b, 0x84, 0x14C);
    Put16(b, 0x86, (uint32_t)sections.size());
    Put16(b, 0x80 + 4 + 16, 0xE0);
    Put16(b, FakeOptionalHeader, 0x10B);
    Put32(b, FakeOptionalHeader + 92, 16);
    for (size_t i = 0; i < 16 * 8; ++i)
        b[FakeOptionalHeader + 96 + i] = 0;
    size_t table = FakeOptionalHeader + 0xE0;
    for (size_t i = 0; i < sections.size(); ++i) {
        Put32(b, table + i * 40 + 16, sections[i].rawSize);
        Put32(b, table + i * 40 + 20, sections[i].rawPointer);
    }
    return b;
}

// Raw data ends at 0xA00, in a section that is not the last in the table.
inline Bytes GoodImage()
{
    return FakeImage({{0x600, 0x400}, {0x200, 0x400}, {0, 0}}, 0xA00);
}

// `size` bytes that begin like a Windows program: "MZ", and "PE\0\0" at
// 0x40 where e_lfanew points.
inline Bytes FakeProgram(size_t size, unsigned seed)
{
    Bytes b(size);
    for (size_t i = 0; i < size; ++i)
        b[i] = (unsigned char)((i * 2654435761u + seed) >> 13);
    b[0] = 'M', b[1] = 'Z';
    Put32(b, 0x3C, 0x40);
    b[0x40] = 'P', b[0x41] = 'E', b[0x42] = 0, b[0x43] = 0;
    return b;
}

// What removing the signature of a file signed with the security entry at
// FakeSecurityEntry does (osslsigncode remove-signature): the entry zeroed
// and the certificate table cut off; the padding before the table stays.
// (The tool also writes the checksum of the whole file again.)
inline Bytes SignatureRemoved(Bytes file)
{
    size_t table = file[FakeSecurityEntry] | file[FakeSecurityEntry + 1] << 8 |
                   file[FakeSecurityEntry + 2] << 16 | (size_t)file[FakeSecurityEntry + 3] << 24;
    file.resize(table);
    Put32(file, FakeSecurityEntry, 0);
    Put32(file, FakeSecurityEntry + 4, 0);
    return file;
}
