// The installer file layout: the two descriptor fields and the payload cut.

#include "install/payload_layout.h"

static uint32_t ReadLittleEndian32(const unsigned char* bytes)
{
    return (uint32_t)bytes[0] | (uint32_t)bytes[1] << 8 | (uint32_t)bytes[2] << 16 |
           (uint32_t)bytes[3] << 24;
}

static void WriteLittleEndian32(unsigned char* bytes, uint32_t value)
{
    bytes[0] = (unsigned char)value;
    bytes[1] = (unsigned char)(value >> 8);
    bytes[2] = (unsigned char)(value >> 16);
    bytes[3] = (unsigned char)(value >> 24);
}

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

// The payload is always the tail of the file; payloadOffset plays no part,
// so a wrong offset field or bytes appended later cannot move the cut.
PayloadSpan CutPayload(uint32_t fileSize, uint32_t payloadLength)
{
    PayloadSpan span;
    if (payloadLength >= fileSize) {
        span.start = 0;
        span.length = fileSize;
    } else {
        span.start = fileSize - payloadLength;
        span.length = payloadLength;
    }
    return span;
}

PayloadSpan LocatePayload(const unsigned char* file, uint32_t fileSize)
{
    if (fileSize < PayloadLengthField + 4) {
        PayloadSpan nothing = {0, 0};
        return nothing;
    }
    return CutPayload(fileSize, ReadPayloadDescriptor(file).payloadLength);
}
