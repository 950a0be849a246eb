// The walk that removes by a record, in the process: what it deletes
// through its handles, what it keeps, and the folder it refuses.

#include <gtest/gtest.h>

#include <string>

#include "install/tree.h"
#include "services_support.h"

namespace {

const std::string Root = "C:\\walk\\varnok";

}  // namespace

TEST(RemoveRecorded, DeletesTheUnchangedKeepsTheChangedAndTheHeldRefusesAnotherFolder)
{
    svc::MakePath(Root + "\\lib\\deep");
    svc::PutFile(Root + "\\same.txt", "same");
    svc::PutFile(Root + "\\held.txt", "held");
    svc::PutFile(Root + "\\lib\\changed.txt", "before");
    svc::PutFile(Root + "\\lib\\deep\\readonly.txt", "ro", FILE_ATTRIBUTE_READONLY);
    LongPath path;
    ASSERT_TRUE(StartLongPath(path, L"C:\\walk\\varnok"));
    RecordBuffer record = {};
    ErrorNumber error = ErrorNone;
    RecordTree(path, true, record, error);
    ASSERT_EQ(error, ErrorNone);
    unsigned char* entries = record.bytes + RecordHeaderSize;

    FolderIdentity another = {1, 2, 3};
    EXPECT_EQ(RemoveRecorded(path, entries, record.entryCount, true, true, &another, error),
              RemovalRefused);
    EXPECT_TRUE(svc::Exists(Root + "\\same.txt")) << "a refused walk removes nothing";

    svc::PutFile(Root + "\\lib\\changed.txt", "after!");
    // A writer that shares everything: what it writes cannot be checked.
    const HANDLE writer =
        CreateFileA((Root + "\\held.txt").c_str(), GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    0, nullptr);
    FolderIdentity made;
    CloseHandle(HoldFolder(L"C:\\walk\\varnok", made));
    EXPECT_EQ(RemoveRecorded(path, entries, record.entryCount, true, false, &made, error), 0u);
    CloseHandle(writer);
    EXPECT_FALSE(svc::Exists(Root + "\\same.txt"));
    EXPECT_FALSE(svc::Exists(Root + "\\lib\\deep")) << "read-only and all";
    EXPECT_EQ(svc::ReadWhole(Root + "\\lib\\changed.txt"), "after!");
    EXPECT_EQ(svc::ReadWhole(Root + "\\held.txt"), "held");
    ReleaseRecord(record);
    ReleaseLongPath(path);
}
