// The uninstall record: what may be deleted, which paths are refused, and
// which records are damaged.

#include <gtest/gtest.h>

#include <string>

#include "install/payload_layout.h"
#include "install/uninstall_record.h"
#include "tests/host/fake_pe.h"

namespace {

// A record of a file, a folder and a path given by the test.
Bytes MakeRecord(const std::u16string& third)
{
    Bytes record(RecordHeaderSize + 3 * RecordEntryHeaderSize + 2 * (11 + 3 + third.size()));
    WriteRecordHeader(record.data(), true, 'D', 3);
    size_t at = RecordHeaderSize;
    at += WriteRecordEntry(&record[at], RecordedFile, 0x100000005ull, 0xCAFE, u"lib\\one.txt", 11);
    at += WriteRecordEntry(&record[at], RecordedFolder, 0, 0, u"lib", 3);
    WriteRecordEntry(&record[at], RecordedLink, 0, 0, third.data(),
                     static_cast<uint16_t>(third.size()));
    return record;
}

RecordCheck Check(const Bytes& record)
{
    RecordHeader header;
    return CheckRecord(record.data(), record.size(), header);
}

}  // namespace

TEST(UninstallRecord, AFileGoesOnlyWhenUnchanged)
{
    Bytes record = MakeRecord(u"link");
    RecordHeader header;
    ASSERT_EQ(CheckRecord(record.data(), record.size(), header), RecordSound);
    EXPECT_TRUE(header.machineWide);
    EXPECT_EQ(header.drive, 'D');
    RecordEntry file, folder;
    ReadRecordEntry(ReadRecordEntry(record.data() + RecordHeaderSize, file), folder);
    EXPECT_TRUE(IsUnchanged(file, 0x100000005ull, 0xCAFE));
    EXPECT_FALSE(IsUnchanged(file, 0x5, 0xCAFE)) << "a changed size";
    EXPECT_FALSE(IsUnchanged(file, 0x100000005ull, 0xCAFF)) << "a changed byte";
    EXPECT_FALSE(IsUnchanged(folder, 0, 0)) << "a folder is no file";
}

TEST(UninstallRecord, PathsThatReachOutsideTheFolderAreRefused)
{
    for (const char16_t* inside : {u"a", u"a b\\c.d", u"...", u"a..", u"Журнал\\日志"})
        EXPECT_EQ(Check(MakeRecord(inside)), RecordSound) << std::u16string(inside).size();
    for (const char16_t* outside : {u"..", u"a\\..\\..\\b", u".", u"\\a", u"a\\", u"a\\\\b",
                                    u"C:\\x", u"C:x", u"a:stream", u"/a", u"a/../b", u"*", u"a\tb"})
        EXPECT_EQ(Check(MakeRecord(outside)), RecordOutside) << std::u16string(outside).size();
}

TEST(UninstallRecord, ADamagedRecordIsNoRecord)
{
    Bytes sound = MakeRecord(u"link");
    Bytes changed = sound;
    changed[0] = 'X';
    EXPECT_EQ(Check(changed), RecordDamaged) << "magic";
    Bytes cut(sound.begin(), sound.end() - 1);
    EXPECT_EQ(Check(cut), RecordDamaged) << "cut short";
    Bytes longer = sound;
    longer.push_back(0);
    EXPECT_EQ(Check(longer), RecordDamaged) << "a byte after the last entry";
    Bytes counted = sound;
    counted[8] = 4;
    EXPECT_EQ(Check(counted), RecordDamaged) << "more entries counted than held";
    Bytes kind = sound;
    kind[RecordHeaderSize] = 9;
    EXPECT_EQ(Check(kind), RecordDamaged) << "an unknown kind";

    // In an uninstaller the record is sealed like a package: any changed
    // byte, even one that leaves a sound record, makes the file damaged.
    Bytes file = GoodImage();
    file.insert(file.end(), sound.begin(), sound.end());
    WriteIntegrityRecord(file.data(), Crc32(0, sound.data(), sound.size()), true);
    WritePayloadDescriptor(file.data(), {0xA00, static_cast<uint32_t>(sound.size())});
    InstallerLayout layout = CheckInstallerFile(file.data(), static_cast<uint32_t>(file.size()));
    EXPECT_EQ(layout.check, PayloadIntact);
    EXPECT_TRUE(layout.isUninstaller);
    file[0xA00 + RecordHeaderSize + 12] ^= 1;  // the file's CRC-32 in the record
    EXPECT_EQ(CheckInstallerFile(file.data(), static_cast<uint32_t>(file.size())).check,
              PayloadDamaged);
}
