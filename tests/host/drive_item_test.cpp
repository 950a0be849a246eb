// The drive strings, the item text and the letter taken back from an item.

#include "app/drive_item.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A drive-strings buffer as the system leaves it: the given bytes over a
// buffer filled with spaces.
struct DriveStrings {
    char bytes[DriveStringsSize];
    explicit DriveStrings(const std::string& written)
    {
        std::memset(bytes, ' ', sizeof bytes);
        std::memcpy(bytes, written.data(), std::min(written.size(), sizeof bytes));
    }
};

// A label buffer filled with spaces and then written by the system.
struct Label {
    char bytes[LabelBufferSize];
    explicit Label(const std::string& written)
    {
        std::memset(bytes, ' ', sizeof bytes);
        std::memcpy(bytes, written.data(), std::min(written.size(), sizeof bytes));
    }
};

RootTable Split(const std::string& written)
{
    DriveStrings strings(written);
    RootTable table;
    std::memset(&table, 'x', sizeof table);  // stale contents must not survive
    SplitDriveStrings(strings.bytes, table);
    return table;
}

// Builds an item in a buffer followed by a guard zone, and checks that
// nothing was written past the item buffer.
std::string Build(const char* root, const std::string& written)
{
    Label label(written);
    struct {
        char item[ItemBufferSize];
        char guard[64];
    } out;
    std::memset(&out, '#', sizeof out);
    const size_t length = BuildDriveItem(out.item, root, label.bytes);
    for (char c : out.guard) {
        EXPECT_EQ('#', c) << "written past the item buffer";
    }
    EXPECT_LT(length, ItemBufferSize);
    EXPECT_EQ(length, std::strlen(out.item));
    return out.item;
}

TEST(SplitDriveStrings, TakesEachRootInOrderAndLeavesTheRestEmpty)
{
    RootTable table = Split(std::string("A:\\\0C:\\\0D:\\\0\0", 13));
    EXPECT_STREQ("A:\\", table.root[0]);
    EXPECT_STREQ("C:\\", table.root[1]);
    EXPECT_STREQ("D:\\", table.root[2]);
    for (size_t i = 3; i < RootCount; ++i) {
        EXPECT_STREQ("", table.root[i]) << i;
    }
}

TEST(SplitDriveStrings, FillsAll26EntriesWhenEveryLetterIsInUse)
{
    std::string written;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        written += letter;
        written += std::string(":\\\0", 3);
    }
    written += '\0';
    RootTable table = Split(written);
    for (size_t i = 0; i < RootCount; ++i) {
        EXPECT_EQ(std::string(1, char('A' + i)) + ":\\", table.root[i]);
    }
}

TEST(SplitDriveStrings, AnEmptyListOrAFailedCallGivesNoRoot)
{
    // An empty list is two NULs; a failed call leaves the 256 spaces, which
    // are too long for any root.
    for (const std::string& written : {std::string("\0\0", 2), std::string()}) {
        RootTable table = Split(written);
        for (size_t i = 0; i < RootCount; ++i) {
            EXPECT_STREQ("", table.root[i]) << i;
        }
    }
}

TEST(SplitDriveStrings, StaysInsideTheTableForMalformedLists)
{
    // More than 26 roots and an over-long entry: the table keeps what fits,
    // leaves the over-long entry empty, and every entry stays terminated
    // within its RootSize characters.
    std::string written = std::string("C:\\\0", 4) + std::string("\\\\server\\share\0", 15);
    for (int i = 0; i < 40; ++i) {
        written += std::string("Q:\\\0", 4);
    }
    RootTable table = Split(written + '\0');
    EXPECT_STREQ("C:\\", table.root[0]);
    EXPECT_STREQ("", table.root[1]);
    EXPECT_STREQ("Q:\\", table.root[25]);
    for (size_t i = 0; i < RootCount; ++i) {
        EXPECT_LT(strnlen(table.root[i], RootSize), RootSize) << i;
    }
}

TEST(BuildDriveItem, UpperCasesTheDrivePartAndKeepsTheLabelsCase)
{
    EXPECT_EQ("DRIVE C: (SYSTEM)", Build("C:\\", std::string("SYSTEM\0", 7)));
    EXPECT_EQ("DRIVE D: (Data)", Build("d:\\", std::string("Data\0", 5)));
    EXPECT_EQ("DRIVE E: ()", Build("E:\\", std::string("\0", 1)));
    // Untouched buffer (the volume could not be read): an empty label.
    EXPECT_EQ("DRIVE F: ()", Build("F:\\", ""));
}

TEST(BuildDriveItem, TrimsOnlyOuterSpacesAndDropsNuls)
{
    EXPECT_EQ("DRIVE C: (My Disk)", Build("C:\\", std::string("  My Disk  \0", 12)));
    EXPECT_EQ("DRIVE C: (\tTab\t)", Build("C:\\", std::string("\tTab\t\0", 6)));
    // NULs anywhere in the buffer are removed before the trimming.
    EXPECT_EQ("DRIVE C: (ab)", Build("C:\\", std::string("\0 a\0b \0", 7)));
}

TEST(BuildDriveItem, CutsLongLabelsSoThatTheItemFitsItsBuffer)
{
    const std::string label36(LabelLimit, 'L');
    const std::string item36 = Build("C:\\", label36 + '\0');
    EXPECT_EQ("DRIVE C: (" + label36 + ")", item36);
    EXPECT_EQ(ItemBufferSize - 1, item36.size());

    EXPECT_EQ(item36, Build("C:\\", label36 + "XYZ" + '\0'));
    // A label filling the whole buffer with no NUL at all.
    EXPECT_EQ(item36, Build("C:\\", std::string(LabelBufferSize, 'L')));
    // An unusual root longer than a drive's cannot push the item past its buffer.
    EXPECT_EQ(')', Build("VERYLONGROOTNAME\\", label36).back());
}

TEST(DriveLetterFromItem, TakesTheCharacterBeforeTheFirstColon)
{
    const char* item = "DRIVE C: (a:b)";
    EXPECT_EQ('C', DriveLetterFromItem(item, std::strlen(item)));
    EXPECT_EQ(0, DriveLetterFromItem(":C:", 3));
    EXPECT_EQ(0, DriveLetterFromItem("DRIVE C", 7));
    // Only the given characters are looked at.
    EXPECT_EQ(0, DriveLetterFromItem("DRIVE C:", 7));

    // Every item built from a root gives back that root's letter.
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const char root[] = {letter, ':', '\\', 0};
        const std::string built = Build(root, std::string("x:y\0", 4));
        EXPECT_EQ(letter, DriveLetterFromItem(built.data(), built.size()));
    }
}

}  // namespace
