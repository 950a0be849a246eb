// The installer file layout: the descriptor, the integrity record and the
// rules by which the payload is found and checked.

#include "install/payload_layout.h"

const unsigned char IntegrityMarker[4] = {'V', 'K', 'R', '1'};
const unsigned char UninstallerMarker[4] = {'V', 'K', 'U', '1'};

PayloadDescriptor ReadPayloadDescriptor(const unsigned char* header)
{
    PayloadDescriptor descriptor;
    descriptor.payloadOffset = ReadLittleEndian32(header + PayloadOffsetField);
    descriptor.payloadLength = ReadLittleEndian32(header + PayloadLengthField);
    return descriptor;
}

void WritePayloadDescriptor(unsigned char* header, PayloadDescriptor descriptor)
{
    WriteLittleEndian32(header + PayloadOffsetField, descriptor.payloadOffset);
    WriteLittleEndian32(header + PayloadLengthField, descriptor.payloadLength);
}

namespace {

// The tables of slicing-by-8, one after another: entry n * 256 + b is the
// CRC register after byte b followed by n zero bytes. They are made at the
// first call into zero-initialised storage, so that they take 8 KiB of
// memory but no room in the image.
uint32_t CrcTables[8 * 256];

// Eight steps of the bit-serial CRC take the register over one byte; from
// entry i - 256, they give entry i (one more zero byte).
void MakeCrcTables()
{
    for (uint32_t i = 0; i < 8 * 256; ++i) {
        uint32_t entry = i < 256 ? i : CrcTables[i - 256];
        for (int bit = 0; bit < 8; ++bit)
            entry = (entry >> 1) ^ (0xEDB88320u & (0u - (entry & 1)));
        CrcTables[i] = entry;
    }
}

// Four bytes in little-endian order; the compiler makes one load of it.
inline uint32_t Word(const unsigned char* bytes)
{
    return (uint32_t)bytes[0] | (uint32_t)bytes[1] << 8 | (uint32_t)bytes[2] << 16 |
           (uint32_t)bytes[3] << 24;
}

}  // namespace

// Eight bytes at a time: the new register is the XOR of one lookup per
// byte (byte k of the first word through table 7 - k, of the second through
// table 3 - k), and these lookups do not wait for one another as those of a
// byte-at-a-time loop do. Kept out of line: inlined into the installer's
// long start-up function it would have fewer registers for its loop, and
// would take more room.
__attribute__((noinline)) uint32_t Crc32(uint32_t crc, const unsigned char* bytes, size_t length)
{
    if (CrcTables[1] == 0)  // not zero once the tables are made
        MakeCrcTables();
    crc = ~crc;
    for (; length >= 8; length -= 8, bytes += 8) {
        uint32_t low = crc ^ Word(bytes);
        uint32_t high = Word(bytes + 4);
        crc = 0;
        for (const uint32_t* table = CrcTables + 7 * 256; table != CrcTables + 3 * 256;
             table -= 256) {
            crc ^= table[low & 0xFF] ^ (table - 4 * 256)[high & 0xFF];
            low >>= 8;
            high >>= 8;
        }
    }
    for (; length != 0; --length)
        crc = (crc >> 8) ^ CrcTables[(crc ^ *bytes++) & 0xFF];
    return ~crc;
}

void WriteIntegrityRecord(unsigned char* header, uint32_t payloadChecksum, bool uninstaller)
{
    const unsigned char* marker = uninstaller ? UninstallerMarker : IntegrityMarker;
    for (int i = 0; i < 4; ++i)
        header[IntegrityMarkerField + i] = marker[i];
    WriteLittleEndian32(header + IntegrityChecksumField, payloadChecksum);
}

bool HasIntegrityRecord(const unsigned char* header)
{
    const uint32_t marker = ReadLittleEndian32(header + IntegrityMarkerField);
    return marker == ReadLittleEndian32(IntegrityMarker) ||
           marker == ReadLittleEndian32(UninstallerMarker);
}

InstallerLayout CheckInstallerFile(const unsigned char* file, uint32_t fileSize)
{
    InstallerLayout layout = InstallerLayout();
    if (ReadPeLayout(file, fileSize, layout.pe) != PeSound) {
        layout.check = NotAnInstaller;
        return layout;
    }
    layout.descriptor = ReadPayloadDescriptor(file);
    layout.recordedChecksum = ReadLittleEndian32(file + IntegrityChecksumField);
    // Files made before the record have its eight bytes zero. Anything else
    // there is a record, and one without the marker vouches for nothing.
    layout.hasRecord =
        (ReadLittleEndian32(file + IntegrityMarkerField) | layout.recordedChecksum) != 0;
    layout.isUninstaller =
        ReadLittleEndian32(file + IntegrityMarkerField) == ReadLittleEndian32(UninstallerMarker);
    layout.isSigned = layout.pe.certificateSize != 0;
    uint32_t offset = layout.descriptor.payloadOffset;
    uint32_t length = layout.descriptor.payloadLength;

    // Where the file's data ends: at the end of the file, or where the
    // certificate table of a signed file begins; that table must end it.
    // (The sums are kept within 32 bits: on i386, 64-bit ones take much
    // more code.)
    uint32_t end = fileSize;
    if (layout.isSigned) {
        uint32_t tableSize = layout.pe.certificateSize;
        if (tableSize > fileSize || layout.pe.certificateOffset > fileSize - tableSize) {
            layout.check = PayloadIncomplete;
            return layout;
        }
        end = layout.pe.certificateOffset;
        layout.check = PayloadDamaged;
        if (end != fileSize - tableSize)
            return layout;
    }
    // The payload ends where the fields say when nothing but a signing
    // tool's padding (fewer than 8 zero bytes) follows: a signed file must
    // be so, and an unsigned one is when its signature was removed, which
    // leaves the padding behind. Only the record's checksum can tell such
    // padding from the zeros that end a payload cut a few bytes short, so a
    // file without it never has padding. Otherwise an unsigned file's payload is its
    // last payloadLength bytes, so that a wrong payloadOffset does not move
    // it; nor can a wrong one that points into the image pull part of the
    // image in.
    uint32_t padding = end - length - offset;  // when the fields end before `end`
    bool padded = length <= end && offset <= end - length && padding < 8 &&
                  (layout.isSigned || (layout.hasRecord && offset >= layout.pe.imageEnd));
    for (uint32_t i = end - padding; padded && i < end; ++i)
        padded = file[i] == 0;
    if (padded)
        end -= padding;
    else if (layout.isSigned)
        return layout;
    layout.fieldsReachDataEnd = length <= end && offset == end - length;
    if (length == 0) {
        layout.check = PayloadMissing;
        return layout;
    }
    // The payload must lie wholly after the image, as read from the image's
    // own headers: a file cut short would otherwise hand out part of the
    // installer itself, or all of it.
    if (length > end || end - length < layout.pe.imageEnd) {
        layout.check = PayloadIncomplete;
        return layout;
    }
    layout.payloadStart = end - length;
    layout.payloadLength = length;
    const unsigned char* payload = file + layout.payloadStart;
    // A file cut short fails above; here a changed byte, or bytes added
    // after the payload (which shift the cut), fail the checksum, and so
    // does a changed marker.
    if (layout.hasRecord &&
        (!HasIntegrityRecord(file) || Crc32(0, payload, length) != layout.recordedChecksum)) {
        layout.check = PayloadDamaged;
        return layout;
    }
    layout.check = layout.isUninstaller || LooksLikeWindowsProgram(payload, length)
                       ? PayloadIntact
                       : PayloadNotAProgram;
    return layout;
}
