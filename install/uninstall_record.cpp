// The uninstall record, byte by byte.

#include "install/uninstall_record.h"

#include "install/pe_layout.h"

namespace {

const unsigned char Magic[4] = {'V', 'K', 'U', 'R'};
const unsigned char Format = 1;

unsigned Unit(const unsigned char* path, size_t i)
{
    return ReadLittleEndian16(path + 2 * i);
}

void Put16(unsigned char* out, uint32_t value)
{
    out[0] = static_cast<unsigned char>(value);
    out[1] = static_cast<unsigned char>(value >> 8);
}

// Characters that no recorded name may hold: controls, the separator of
// other systems, the drive and stream colon, wildcards and what Windows
// refuses in names anyway.
bool IsForbidden(unsigned c)
{
    return c < 32 || c == '/' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' ||
           c == '>' || c == '|';
}

}  // namespace

void WriteRecordHeader(unsigned char* out, bool machineWide, char drive, uint32_t entryCount)
{
    for (int i = 0; i < 4; ++i)
        out[i] = Magic[i];
    out[4] = Format;
    out[5] = machineWide ? 1 : 0;
    out[6] = static_cast<unsigned char>(drive);
    out[7] = 0;
    WriteLittleEndian32(out + 8, entryCount);
}

size_t WriteRecordEntry(unsigned char* out, RecordKind kind, uint64_t size, uint32_t checksum,
                        const char16_t* path, uint16_t pathLength)
{
    out[0] = kind;
    out[1] = 0;
    Put16(out + 2, pathLength);
    WriteLittleEndian32(out + 4, static_cast<uint32_t>(size));
    WriteLittleEndian32(out + 8, static_cast<uint32_t>(size >> 32));
    WriteLittleEndian32(out + 12, checksum);
    for (uint16_t i = 0; i < pathLength; ++i)
        Put16(out + RecordEntryHeaderSize + 2 * i, path[i]);
    return RecordEntryHeaderSize + 2u * pathLength;
}

const unsigned char* ReadRecordEntry(const unsigned char* at, RecordEntry& entry)
{
    entry.kind = static_cast<RecordKind>(at[0]);
    entry.pathLength = static_cast<uint16_t>(ReadLittleEndian16(at + 2));
    entry.size = ReadLittleEndian32(at + 4) | static_cast<uint64_t>(ReadLittleEndian32(at + 8))
                                                  << 32;
    entry.checksum = ReadLittleEndian32(at + 12);
    entry.path = at + RecordEntryHeaderSize;
    return entry.path + 2u * entry.pathLength;
}

bool IsPathInside(const unsigned char* path, size_t length)
{
    if (length == 0 || length > RecordPathLimit)
        return false;
    size_t nameStart = 0;
    for (size_t i = 0; i <= length; ++i) {
        unsigned c = i < length ? Unit(path, i) : '\\';
        if (c != '\\') {
            if (IsForbidden(c))
                return false;
            continue;
        }
        // A name ends here: it must not be empty, "." or "..".
        size_t nameLength = i - nameStart;
        if (nameLength == 0)
            return false;
        bool dots = nameLength <= 2;
        for (size_t k = nameStart; k < i; ++k)
            dots = dots && Unit(path, k) == '.';
        if (dots)
            return false;
        nameStart = i + 1;
    }
    return true;
}

RecordCheck CheckRecord(const unsigned char* record, size_t size, RecordHeader& header)
{
    if (size < RecordHeaderSize || record[4] != Format || record[7] != 0 || record[5] > 1 ||
        record[6] < 'A' || record[6] > 'Z')
        return RecordDamaged;
    for (int i = 0; i < 4; ++i)
        if (record[i] != Magic[i])
            return RecordDamaged;
    header.machineWide = record[5] == 1;
    header.drive = static_cast<char>(record[6]);
    header.entryCount = ReadLittleEndian32(record + 8);
    RecordCheck check = RecordSound;
    const unsigned char* end = record + size;
    const unsigned char* at = record + RecordHeaderSize;
    for (uint32_t i = 0; i < header.entryCount; ++i) {
        if (static_cast<size_t>(end - at) < RecordEntryHeaderSize)
            return RecordDamaged;
        RecordEntry entry;
        ReadRecordEntry(at, entry);
        if (entry.kind < RecordedFile || entry.kind > RecordedLink || at[1] != 0 ||
            static_cast<size_t>(end - entry.path) < 2u * entry.pathLength)
            return RecordDamaged;
        if (!IsPathInside(entry.path, entry.pathLength))
            check = RecordOutside;
        at = entry.path + 2u * entry.pathLength;
    }
    return at == end ? check : RecordDamaged;
}

bool IsUnchanged(const RecordEntry& entry, uint64_t size, uint32_t checksum)
{
    return entry.kind == RecordedFile && entry.size == size && entry.checksum == checksum;
}

RecordKind KindOfEntry(uint32_t attributes, uint32_t reparseTag)
{
    const uint32_t Directory = 0x10, ReparsePoint = 0x400, NameSurrogate = 0x20000000;
    if ((attributes & ReparsePoint) && (reparseTag == 0 || (reparseTag & NameSurrogate)))
        return RecordedLink;
    return (attributes & Directory) ? RecordedFolder : RecordedFile;
}
