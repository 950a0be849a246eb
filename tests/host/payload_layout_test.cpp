// The payload descriptor fields and the rules by which the payload is cut
// out of the installer's file.

#include <gtest/gtest.h>

#include <vector>

#include "install/payload_layout.h"

TEST(PayloadDescriptor, FieldsAreLittleEndianAtTheirOffsetsAndTouchNothingElse)
{
    std::vector<unsigned char> header(PayloadHeaderSize, 0xEE);
    PayloadDescriptor written = {0x00010A00, 0x002F75EB};
    WritePayloadDescriptor(header.data(), written);

    const unsigned char offsetBytes[4] = {0x00, 0x0A, 0x01, 0x00};
    const unsigned char lengthBytes[4] = {0xEB, 0x75, 0x2F, 0x00};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(header[0x30 + i], offsetBytes[i]) << i;
        EXPECT_EQ(header[0x34 + i], lengthBytes[i]) << i;
    }
    for (size_t i = 0; i < header.size(); ++i)
        if (i < 0x30 || i >= 0x38)
            EXPECT_EQ(header[i], 0xEE) << i;

    PayloadDescriptor read = ReadPayloadDescriptor(header.data());
    EXPECT_EQ(read.payloadOffset, 0x00010A00u);
    EXPECT_EQ(read.payloadLength, 0x002F75EBu);

    // High bytes are read unsigned, not sign-extended.
    WritePayloadDescriptor(header.data(), PayloadDescriptor{0xFFFFFFFEu, 0x80000001u});
    EXPECT_EQ(ReadPayloadDescriptor(header.data()).payloadOffset, 0xFFFFFFFEu);
}

TEST(CutPayload, TakesTheLastLengthBytesWholeFileOrNothing)
{
    struct Case {
        uint32_t fileSize, length, start, cut;
    } cases[] = {
        {3178475, 3110379, 68096, 3110379},  // a release-sized installer
        {100, 0, 100, 0},                    // 0: empty
        {100, 99, 1, 99},
        {100, 100, 0, 100},  // exactly the file size: whole file
        {100, 101, 0, 100},  // larger: whole file
        {100, 0xFFFFFFFFu, 0, 100},
        {0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        PayloadSpan span = CutPayload(c.fileSize, c.length);
        EXPECT_EQ(span.start, c.start) << c.fileSize << " " << c.length;
        EXPECT_EQ(span.length, c.cut) << c.fileSize << " " << c.length;
    }
}

// A whole-file image of an installer: header, image bytes, payload, then
// `trailing` extra bytes, with the descriptor as given.
static std::vector<unsigned char> FileImage(uint32_t imageSize, uint32_t payloadSize,
                                            uint32_t trailing, PayloadDescriptor descriptor)
{
    std::vector<unsigned char> file(imageSize + payloadSize + trailing);
    for (size_t i = 0; i < file.size(); ++i)
        file[i] = (unsigned char)(i * 7 + i / 251);
    WritePayloadDescriptor(file.data(), descriptor);
    return file;
}

TEST(LocatePayload, FollowsTheLengthFieldOnlyAndNeverLeavesTheFile)
{
    // Right fields.
    std::vector<unsigned char> file = FileImage(512, 300, 0, {512, 300});
    PayloadSpan span = LocatePayload(file.data(), (uint32_t)file.size());
    EXPECT_EQ(span.start, 512u);
    EXPECT_EQ(span.length, 300u);

    // A wrong offset with a right length still finds the payload.
    file = FileImage(512, 300, 0, {4, 300});
    span = LocatePayload(file.data(), (uint32_t)file.size());
    EXPECT_EQ(span.start, 512u);
    EXPECT_EQ(span.length, 300u);

    // Extra bytes after the payload shift the cut to the file's tail.
    file = FileImage(512, 300, 10, {512, 300});
    span = LocatePayload(file.data(), (uint32_t)file.size());
    EXPECT_EQ(span.start, 522u);
    EXPECT_EQ(span.length, 300u);

    // A file too short to hold the length field has no payload at all, even
    // when the bytes it does hold look like a huge length.
    std::vector<unsigned char> stub(0x37, 0xFF);
    span = LocatePayload(stub.data(), (uint32_t)stub.size());
    EXPECT_EQ(span.length, 0u);
    stub.push_back(0x00);  // now the field is complete: 0x00FFFFFF, whole file
    span = LocatePayload(stub.data(), (uint32_t)stub.size());
    EXPECT_EQ(span.start, 0u);
    EXPECT_EQ(span.length, 0x38u);
}
