// The installer file layout: the descriptor, the integrity record and the
// rules by which the payload is found and checked.

#include "install/payload_layout.h"

const unsigned char IntegrityMarker[4] = {'V', 'K', 'R', '1'};

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

// Byte at a time through a table made on the stack for each call: no state,
// no table in the image, and making it costs far less than the payload.
uint32_t Crc32(uint32_t crc, const unsigned char* bytes, size_t length)
{
    uint32_t table[256];
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t entry = i;
        for (int bit = 0; bit < 8; ++bit)
            entry = (entry >> 1) ^ (0xEDB88320u & (0u - (entry & 1)));
        table[i] = entry;
    }
    crc = ~crc;
    for (size_t i = 0; i < length; ++i)
        crc = (crc >> 8) ^ table[(crc ^ bytes[i]) & 0xFF];
    return ~crc;
}

void WriteIntegrityRecord(unsigned char* header, uint32_t payloadChecksum)
{
    for (int i = 0; i < 4; ++i)
        header[IntegrityMarkerField + i] = IntegrityMarker[i];
    WriteLittleEndian32(header + IntegrityChecksumField, payloadChecksum);
}

bool HasIntegrityRecord(const unsigned char* header)
{
    for (int i = 0; i < 4; ++i)
        if (header[IntegrityMarkerField + i] != IntegrityMarker[i])
            return false;
    return true;
}

namespace {

// Where a signed file's payload ends: at payloadOffset + payloadLength,
// followed by fewer than 8 zero bytes and then the certificate table, which
// runs to the end of the file. 0 when the file does not hold together so.
uint64_t SignedPayloadEnd(const unsigned char* file, uint32_t fileSize,
                          const InstallerLayout& layout, PayloadCheck& check)
{
    uint64_t certificateEnd = (uint64_t)layout.pe.certificateOffset + layout.pe.certificateSize;
    uint64_t end = (uint64_t)layout.descriptor.payloadOffset + layout.descriptor.payloadLength;
    if (certificateEnd > fileSize) {
        check = PayloadIncomplete;
        return 0;
    }
    check = PayloadDamaged;
    if (certificateEnd < fileSize || end > layout.pe.certificateOffset ||
        layout.pe.certificateOffset - end >= 8)
        return 0;
    for (uint64_t i = end; i < layout.pe.certificateOffset; ++i)
        if (file[i] != 0)
            return 0;
    return end;
}

}  // namespace

InstallerLayout CheckInstallerFile(const unsigned char* file, uint32_t fileSize)
{
    InstallerLayout layout = InstallerLayout();
    if (ReadPeLayout(file, fileSize, layout.pe) != PeSound) {
        layout.check = NotAnInstaller;
        return layout;
    }
    layout.descriptor = ReadPayloadDescriptor(file);
    layout.hasRecord = HasIntegrityRecord(file);
    layout.recordedChecksum = ReadLittleEndian32(file + IntegrityChecksumField);
    layout.isSigned = layout.pe.certificateSize != 0;
    uint32_t length = layout.descriptor.payloadLength;

    uint64_t end = fileSize;
    if (layout.isSigned) {
        end = SignedPayloadEnd(file, fileSize, layout, layout.check);
        if (end == 0)
            return layout;
    }
    layout.fieldsReachDataEnd = (uint64_t)layout.descriptor.payloadOffset + length == end;
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
    layout.payloadStart = (uint32_t)(end - length);
    layout.payloadLength = length;
    const unsigned char* payload = file + layout.payloadStart;
    // A file cut short fails above; here a changed byte, or bytes added
    // after the payload (which shift the cut), fail the checksum.
    if (layout.hasRecord && Crc32(0, payload, length) != layout.recordedChecksum) {
        layout.check = PayloadDamaged;
        return layout;
    }
    layout.check = LooksLikeWindowsProgram(payload, length) ? PayloadIntact : PayloadNotAProgram;
    return layout;
}
