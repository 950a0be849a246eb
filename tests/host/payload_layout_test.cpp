// The installer file layout: the descriptor fields, the checksum and its
// record, and the rules by which a payload is found and refused.

#include <gtest/gtest.h>

#include <string.h>

#include <vector>

#include "install/payload_layout.h"
#include "tests/host/fake_pe.h"

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

TEST(Crc32, KnownValuesAndContinuation)
{
    const unsigned char digits[] = "123456789";
    EXPECT_EQ(Crc32(0, digits, 9), 0xCBF43926u);
    EXPECT_EQ(Crc32(0, digits, 0), 0u);
    EXPECT_EQ(Crc32(Crc32(0, digits, 4), digits + 4, 5), 0xCBF43926u);
    Bytes zeros(32, 0);
    EXPECT_EQ(Crc32(0, zeros.data(), zeros.size()), 0x190A55ADu);
}

// The CRC-32 by its definition, a bit at a time.
static uint32_t BitwiseCrc32(const unsigned char* bytes, size_t length)
{
    uint32_t crc = 0xFFFFFFFF;
    for (size_t i = 0; i < length; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320 : crc >> 1;
    }
    return ~crc;
}

TEST(Crc32, EightBytesAtATimeAgreesWithTheBitwiseDefinition)
{
    Bytes data(5000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = (unsigned char)((i * 2654435761u + 12345) >> 11);
    // Every start within a word pair, every length around the 8-byte steps
    // and a few long ones, and every way to split the bytes in two calls.
    std::vector<size_t> lengths;
    for (size_t length = 0; length <= 40; ++length)
        lengths.push_back(length);
    for (size_t length : {63, 64, 65, 255, 256, 257, 1023, 1024, 1031, 4096, 4991})
        lengths.push_back(length);
    for (size_t start = 0; start < 9; ++start) {
        for (size_t length : lengths) {
            const unsigned char* bytes = data.data() + start;
            uint32_t expected = BitwiseCrc32(bytes, length);
            ASSERT_EQ(Crc32(0, bytes, length), expected) << start << "+" << length;
            for (size_t split = 1; split < length && split < 20; ++split)
                ASSERT_EQ(Crc32(Crc32(0, bytes, split), bytes + split, length - split), expected)
                    << start << "+" << length << " split at " << split;
        }
    }
}

TEST(IntegrityRecord, MarkerAndChecksumSitBesideTheDescriptor)
{
    Bytes header(PayloadHeaderSize, 0xEE);
    EXPECT_FALSE(HasIntegrityRecord(header.data()));
    WriteIntegrityRecord(header.data(), 0x12345678);
    EXPECT_TRUE(HasIntegrityRecord(header.data()));
    EXPECT_EQ(0, memcmp(header.data() + 0x28, "VKR1\x78\x56\x34\x12", 8));
    for (size_t i = 0; i < header.size(); ++i)
        if (i < 0x28 || i >= 0x30)
            EXPECT_EQ(header[i], 0xEE) << i;
}

namespace {

// An installer made as pack makes it: image, payload, descriptor and, with
// `record`, the integrity record.
Bytes Installer(const Bytes& payload, bool record = true)
{
    Bytes file = GoodImage();
    WritePayloadDescriptor(file.data(), {(uint32_t)file.size(), (uint32_t)payload.size()});
    if (record)
        WriteIntegrityRecord(file.data(), Crc32(0, payload.data(), payload.size()));
    file.insert(file.end(), payload.begin(), payload.end());
    return file;
}

// What a signing tool does: zero padding to a multiple of 8, then a
// certificate table of `size` bytes that the security directory points at.
Bytes Signed(Bytes file, uint32_t size = 0x300)
{
    while (file.size() % 8 != 0)
        file.push_back(0);
    Put32(file, FakeSecurityEntry, (uint32_t)file.size());
    Put32(file, FakeSecurityEntry + 4, size);
    for (uint32_t i = 0; i < size; ++i)
        file.push_back((unsigned char)(i * 31 + 7));
    return file;
}

InstallerLayout Check(const Bytes& file)
{
    return CheckInstallerFile(file.data(), (uint32_t)file.size());
}

const uint32_t ImageEnd = 0xA00;

}  // namespace

TEST(CheckInstallerFile, SoundFilesOldAndNewSignedOrNot)
{
    Bytes payload = FakeProgram(7001, 1);  // 7001: the signed copy gets padding
    for (bool record : {true, false}) {
        for (bool sign : {false, true}) {
            Bytes file = Installer(payload, record);
            if (sign)
                file = Signed(file);
            InstallerLayout layout = Check(file);
            SCOPED_TRACE(std::string(record ? "record" : "old layout") + (sign ? ", signed" : ""));
            EXPECT_EQ(layout.check, PayloadIntact);
            EXPECT_EQ(layout.hasRecord, record);
            EXPECT_EQ(layout.isSigned, sign);
            EXPECT_EQ(layout.pe.imageEnd, ImageEnd);
            EXPECT_EQ(layout.payloadStart, ImageEnd);
            EXPECT_EQ(layout.payloadLength, payload.size());
            EXPECT_TRUE(layout.fieldsReachDataEnd);
        }
    }

    // Unsigned, the payload is the file's tail whatever payloadOffset says.
    for (uint32_t offset : {0u, 4u, 0xFFFFFFF0u}) {
        Bytes file = Installer(payload);
        Put32(file, PayloadOffsetField, offset);
        EXPECT_EQ(Check(file).check, PayloadIntact) << offset;
        EXPECT_EQ(Check(file).payloadStart, ImageEnd) << offset;
        EXPECT_FALSE(Check(file).fieldsReachDataEnd) << offset;
    }

    // Signed, then the signature removed: up to 7 zero bytes of padding
    // follow the payload, which then lies where the fields say. Without the
    // record, such a file cannot be told from one whose length field is a
    // few bytes short of a payload that ends in zeros: it is refused.
    for (size_t size = 7001; size <= 7008; ++size) {
        for (bool record : {true, false}) {
            Bytes shorter = FakeProgram(size, 4);
            Bytes file = SignatureRemoved(Signed(Installer(shorter, record)));
            size_t padding = file.size() - ImageEnd - size;
            SCOPED_TRACE(std::to_string(padding) + " zero bytes after " +
                         (record ? "a payload with a record" : "an old layout"));
            InstallerLayout layout = Check(file);
            EXPECT_FALSE(layout.isSigned);
            if (!record && padding != 0) {
                EXPECT_EQ(layout.check, PayloadNotAProgram);
                continue;
            }
            EXPECT_EQ(layout.check, PayloadIntact);
            EXPECT_EQ(layout.payloadStart, ImageEnd);
            EXPECT_EQ(layout.payloadLength, size);
            EXPECT_TRUE(layout.fieldsReachDataEnd);
        }
    }

    // A payloadOffset a few bytes inside the image, with a payload that ends
    // in zero bytes, as programs often do: the fields would end short of the
    // file's end by what looks like padding, but the payload is still the
    // tail, never part of the image.
    for (uint32_t inside : {1u, 4u, 7u}) {
        Bytes zeroEnd = payload;
        std::fill(zeroEnd.end() - 8, zeroEnd.end(), 0);
        Bytes file = Installer(zeroEnd);
        Put32(file, PayloadOffsetField, ImageEnd - inside);
        EXPECT_EQ(Check(file).check, PayloadIntact) << inside;
        EXPECT_EQ(Check(file).payloadStart, ImageEnd) << inside;
    }

    // Without a record, another program of the same length appended after
    // the payload is what files made before the record always gave: the
    // file's tail.
    Bytes file = Installer(payload, false);
    Bytes other = FakeProgram(payload.size(), 9);
    file.insert(file.end(), other.begin(), other.end());
    EXPECT_EQ(Check(file).check, PayloadIntact);
    EXPECT_EQ(Check(file).payloadStart, ImageEnd + payload.size());
}

TEST(CheckInstallerFile, RefusesWhatCannotInstall)
{
    Bytes payload = FakeProgram(7001, 2);
    Bytes good = Installer(payload);
    struct Case {
        const char* what;
        Bytes file;
        PayloadCheck expected;
    };
    std::vector<Case> cases;
    auto add = [&](const char* what, Bytes file, PayloadCheck expected) {
        cases.push_back({what, std::move(file), expected});
    };
    add("cut by one byte", Bytes(good.begin(), good.end() - 1), PayloadIncomplete);
    add("cut to half the payload", Bytes(good.begin(), good.end() - 3500), PayloadIncomplete);
    add("cut to the image", Bytes(good.begin(), good.begin() + ImageEnd), PayloadIncomplete);
    add("cut inside the image", Bytes(good.begin(), good.begin() + 0x900), NotAnInstaller);
    add("cut inside the header", Bytes(good.begin(), good.begin() + 0x30), NotAnInstaller);
    Bytes old = Installer(payload, false);
    add("old layout cut short", Bytes(old.begin(), old.end() - 100), PayloadIncomplete);
    Bytes longer = old;
    Put32(longer, PayloadLengthField, (uint32_t)longer.size());
    add("old layout, length the file size", longer, PayloadIncomplete);
    Put32(longer, PayloadLengthField, 0xFFFFFFFF);
    add("old layout, length past the file", longer, PayloadIncomplete);
    Bytes empty = GoodImage();
    add("no payload at all", empty, PayloadMissing);
    Bytes changed = good;
    changed[ImageEnd + 5000] ^= 0x01;
    add("a payload byte changed", changed, PayloadDamaged);
    Bytes appended = good;
    appended.push_back('\n');
    add("a byte appended", appended, PayloadDamaged);
    Bytes text(500, 'x');
    add("a checked package that is no program", Installer(text), PayloadNotAProgram);
    add("an old package that is no program", Installer(text, false), PayloadNotAProgram);
    Bytes stub = FakeProgram(0x43, 3);  // "PE" cut off
    add("a package too short for its PE header", Installer(stub), PayloadNotAProgram);

    Bytes sign = Signed(good);
    Bytes signedChanged = sign;
    signedChanged[ImageEnd + 5000] ^= 0x80;
    add("signed, a payload byte changed", signedChanged, PayloadDamaged);
    add("signed, cut short", Bytes(sign.begin(), sign.end() - 1), PayloadIncomplete);
    Bytes signedAppended = sign;
    signedAppended.push_back(0);
    add("signed, a byte after the certificate", signedAppended, PayloadDamaged);
    Bytes padding = sign;
    padding[good.size()] = 1;  // the first byte of the padding
    add("signed, padding not zero", padding, PayloadDamaged);
    Bytes offset = sign;
    Put32(offset, PayloadOffsetField, ImageEnd - 8);
    add("signed, payloadOffset wrong", offset, PayloadDamaged);
    // A payload ending in 8 zero bytes, with a length that leaves them out:
    // more than a signing tool pads.
    Bytes zeroTail = FakeProgram(7000, 2);  // the file needs no padding
    for (size_t i = 6992; i < 7000; ++i)
        zeroTail[i] = 0;
    Bytes unpadded = Signed(Installer(zeroTail, false));
    Put32(unpadded, PayloadLengthField, 6992);
    add("signed, 8 zero bytes before the table", unpadded, PayloadDamaged);
    Put32(unpadded, PayloadLengthField, 6993);
    EXPECT_EQ(Check(unpadded).check, PayloadIntact) << "7 zero bytes before the table";

    // The integrity record: bytes 0x28 to 0x2F are zero or the record; a
    // changed marker must not switch the checksum off.
    Bytes marker = changed;
    marker[IntegrityMarkerField + 3] = '2';
    add("the marker and a payload byte changed", marker, PayloadDamaged);
    Bytes garbage = Installer(payload, false);
    garbage[IntegrityMarkerField + 1] = 0x5A;
    add("marker bytes not zero, CRC-32 zero", garbage, PayloadDamaged);
    garbage = Installer(payload, false);
    Put32(garbage, IntegrityChecksumField, Crc32(0, payload.data(), payload.size()));
    add("marker zero, CRC-32 right", garbage, PayloadDamaged);

    // After the fields' end, only up to 7 zero bytes; anything else falls
    // back to the file's tail, which the record then refuses.
    Bytes zeros8 = good;
    zeros8.insert(zeros8.end(), 8, 0);
    add("8 zero bytes after the payload", zeros8, PayloadDamaged);
    Bytes nonZero = SignatureRemoved(Signed(good));
    nonZero.back() = 0x01;
    add("signature removed, the padding not zero", nonZero, PayloadDamaged);
    Bytes oldZeros8 = Installer(payload, false);
    oldZeros8.insert(oldZeros8.end(), 8, 0);
    add("old layout, 8 zero bytes after the payload", oldZeros8, PayloadNotAProgram);

    for (const Case& c : cases)
        EXPECT_EQ(Check(c.file).check, c.expected) << c.what;
}

TEST(PeLayout, FindsTheSecurityDirectoryInPe32AndPe32Plus)
{
    Bytes image = GoodImage();
    Put32(image, FakeSecurityEntry, 0x1234);
    Put32(image, FakeSecurityEntry + 4, 0x56);
    PeLayout layout;
    ASSERT_EQ(ReadPeLayout(image.data(), image.size(), layout), PeSound);
    EXPECT_EQ(layout.certificateOffset, 0x1234u);
    EXPECT_EQ(layout.certificateSize, 0x56u);
    EXPECT_EQ(layout.securityEntryField, FakeSecurityEntry);
    EXPECT_EQ(layout.checksumField, FakeOptionalHeader + 64);

    // Too few data directories: no security directory, whatever lies there.
    Put32(image, FakeOptionalHeader + 92, 4);
    ASSERT_EQ(ReadPeLayout(image.data(), image.size(), layout), PeSound);
    EXPECT_EQ(layout.securityEntryField, 0u);
    EXPECT_EQ(layout.certificateSize, 0u);

    // PE32+: the directories start 16 bytes later.
    Bytes plus = FakeImage({{0x200, 0x800}}, 0xA00);
    Put16(plus, FakeOptionalHeader, 0x20B);
    Put16(plus, 0x80 + 4 + 16, 0xF0);
    Put32(plus, FakeOptionalHeader + 108, 16);
    Put32(plus, FakeOptionalHeader + 112 + 32, 0x800);
    Put32(plus, FakeOptionalHeader + 112 + 36, 0x200);
    // The section table moved with the larger optional header.
    Put32(plus, FakeOptionalHeader + 0xF0 + 16, 0x800);
    Put32(plus, FakeOptionalHeader + 0xF0 + 20, 0x200);
    ASSERT_EQ(ReadPeLayout(plus.data(), plus.size(), layout), PeSound);
    EXPECT_EQ(layout.certificateOffset, 0x800u);
    EXPECT_EQ(layout.certificateSize, 0x200u);
    EXPECT_EQ(layout.imageEnd, 0xA00u);
}
