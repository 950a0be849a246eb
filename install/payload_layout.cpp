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
        // A signed file's payload ends at payloadOffset + payloadLength,
        // followed only by the signing tool's padding, fewer than 8 zero
        // bytes.
        uint32_t padding = end - length - offset;  // when the fields end before `end`
        bool padded = length <= end && offset <= end - length && padding < 8;
        for (uint32_t i = end - padding; padded && i < end; ++i)
            padded = file[i] == 0;
        if (!padded)
            return layout;
        end -= padding;
    }
    layout.fieldsReachDataEnd = length <= end && offset == end - length;
    if (length == 0) {
        layout.check = PayloadMissing;
        return layout;
    }
    // The payload must lie wholly after the image, as read from the image's
    // own headers: a file cut short would otherwise hand out part of the
    // installer itself, or all of it. Unsigned, it is the file's last
    // payloadLength bytes, so that a wrong payloadOffset does not move it.
    if (length > end || end - length < layout.pe.imageEnd) {
        layout.check = PayloadIncomplete;
        return layout;
    }
    layout.payloadStart = end - length;
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
