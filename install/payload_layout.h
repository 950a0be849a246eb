#pragma once
// The installer file layout: a PE image, the payload appended after its
// last byte, and the PayloadDescriptor in the DOS header's reserved words.
//
// Portable: no windows.h; shared by the installer and mkinstaller.

#include <stddef.h>
#include <stdint.h>

const uint32_t PayloadOffsetField = 0x30;  // unsigned 32-bit little-endian
const uint32_t PayloadLengthField = 0x34;
const uint32_t PayloadHeaderSize = 0x40;  // the DOS header holds both fields

struct PayloadDescriptor {
    uint32_t payloadOffset;  // where the payload starts (the reader ignores it)
    uint32_t payloadLength;  // how many bytes at the end of the file it holds
};

// Reads and writes the two fields of a header of at least PayloadHeaderSize bytes.
PayloadDescriptor ReadPayloadDescriptor(const unsigned char* header);
void WritePayloadDescriptor(unsigned char* header, PayloadDescriptor descriptor);

// Where the payload lies in a file of `fileSize` bytes: its last
// `payloadLength` bytes, the whole file when the length is not smaller than
// the file size, nothing when it is 0.
struct PayloadSpan {
    uint32_t start;
    uint32_t length;
};
PayloadSpan CutPayload(uint32_t fileSize, uint32_t payloadLength);

// Where the payload lies in a whole-file image of `fileSize` bytes: the cut
// by the image's own payloadLength, or nothing when the file is too short to
// hold that field.
PayloadSpan LocatePayload(const unsigned char* file, uint32_t fileSize);
