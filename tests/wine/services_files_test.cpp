// Drive, directory, deletion and whole-file operations on real folders
// under Wine.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <windows.h>

#include <sddl.h>

#include "services/files.h"
#include "services_support.h"

namespace {

using svc::Exists;
using svc::ReadWhole;

const char Root[] = "C:\\svc";

std::string Fresh(const char* name)
{
    std::string path = std::string(Root) + "\\" + name;
    svc::MakePath(path);
    return path;
}

TEST(ChangeDirectory, MissingDirectoriesAndWildcards)
{
    std::string dir = Fresh("cd");
    ErrorNumber error = 0;
    ChangeDirectory(dir.c_str(), error);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(svc::CurrentDirectory(), dir);

    ChangeDirectory((dir + "\\missing").c_str(), error);
    EXPECT_EQ(error, 53) << "missing last component";
    error = 0;
    ChangeDirectory((dir + "\\missing\\below").c_str(), error);
    EXPECT_EQ(error, 76) << "missing parent";
    EXPECT_EQ(svc::CurrentDirectory(), dir);

    // Relative and rooted paths.
    error = 0;
    MakeDirectory("sub", error);
    ChangeDirectory("sub", error);
    EXPECT_EQ(svc::CurrentDirectory(), dir + "\\sub");
    ChangeDirectory("\\", error);
    EXPECT_EQ(svc::CurrentDirectory(), "C:\\");
    EXPECT_EQ(error, 0);

    // A wildcard is refused before any Windows call: the last error that
    // was set here stays.
    SetLastError(12345);
    ChangeDirectory("C:\\sv*", error);
    EXPECT_EQ(error, 76);
    EXPECT_EQ(GetLastError(), 12345u);
    EXPECT_EQ(svc::CurrentDirectory(), "C:\\");
}

TEST(MakeDirectory, ExistingMissingParentAndWildcards)
{
    std::string dir = Fresh("md");
    ErrorNumber error = 0;
    MakeDirectory((dir + "\\new").c_str(), error);
    EXPECT_EQ(error, 0);
    EXPECT_TRUE(Exists(dir + "\\new"));
    MakeDirectory((dir + "\\new").c_str(), error);
    EXPECT_EQ(error, 75) << "ERROR_ALREADY_EXISTS";
    MakeDirectory((dir + "\\missing\\new").c_str(), error);
    EXPECT_EQ(error, 76);
    EXPECT_FALSE(Exists(dir + "\\missing"));

    error = 0;
    SetLastError(12345);
    MakeDirectory((dir + "\\a?b").c_str(), error);
    EXPECT_EQ(error, 76);
    EXPECT_EQ(GetLastError(), 12345u);
}

// Wine keeps no descriptors on disk, so the descriptor itself is read back
// as Windows reads it; the folder made with it must still come into being,
// and one that is there already must not be taken over.
TEST(MakeFolderSecurity, ProtectedFullControlForSystemAdministratorsAndTheUser)
{
    unsigned char descriptor[FolderSecuritySize];
    ErrorNumber error = 0;
    ASSERT_TRUE(MakeFolderSecurity(descriptor, false, error));
    EXPECT_EQ(error, 0);
    ASSERT_TRUE(IsValidSecurityDescriptor(descriptor));

    HANDLE token;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    unsigned char buffer[256];
    DWORD length;
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &length));
    CloseHandle(token);
    char* user;
    ASSERT_TRUE(ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &user));
    char* text;
    ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorA(
        descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, NULL));
    EXPECT_EQ(std::string(text), std::string("D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;") +
                                     user + ")(A;OICI;0x1200a9;;;BU)");
    LocalFree(text);
    LocalFree(user);

    std::string dir = Fresh("secured");
    MakeDirectory((dir + "\\varnok").c_str(), error, descriptor);
    EXPECT_EQ(error, 0);
    EXPECT_TRUE(Exists(dir + "\\varnok"));
    MakeDirectory((dir + "\\varnok").c_str(), error, descriptor);
    EXPECT_EQ(error, 75) << "a folder that is there already";
}

TEST(ChangeDrive, TakesTheFirstCharacterOnly)
{
    std::string dir = Fresh("drive");
    SetCurrentDirectoryA("Z:\\");
    ErrorNumber error = 0;
    ChangeDrive("Cdefgh", error);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(svc::CurrentDirectory().substr(0, 3), "C:\\");
    SetCurrentDirectoryA("Z:\\");
    ChangeDrive("C", error);
    EXPECT_EQ(svc::CurrentDirectory().substr(0, 3), "C:\\");

    // An empty text does nothing, not even clear the number.
    error = 9;
    SetCurrentDirectoryA(dir.c_str());
    ChangeDrive("", error);
    EXPECT_EQ(error, 9);
    EXPECT_EQ(svc::CurrentDirectory(), dir);

    // A drive that is not there.
    error = 0;
    ChangeDrive("Q", error);
    EXPECT_EQ(error, 76);
    EXPECT_EQ(svc::CurrentDirectory(), dir);
}

TEST(LongPaths, AreCutBeforeWindowsSeesThem)
{
    std::string dir = Fresh("l");  // "C:\svc\l\" is 9 characters
    std::string prefix = dir + "\\";
    std::string tail(300 - prefix.size(), 'q');

    // 255 characters for directories and file names.
    std::string name255 = prefix + std::string(255 - prefix.size(), 'a');
    ErrorNumber error = 0;
    MakeDirectory((name255 + tail).substr(0, 300).c_str(), error);
    EXPECT_EQ(error, 0);
    EXPECT_TRUE(Exists(name255));
    ChangeDirectory((name255 + tail).substr(0, 300).c_str(), error);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(svc::CurrentDirectory(), name255);
    SetCurrentDirectoryA(dir.c_str());

    std::string file255 = prefix + std::string(255 - prefix.size(), 'f');
    EXPECT_TRUE(WriteWholeFile((file255 + tail).substr(0, 300).c_str(), "abc", 3, error));
    EXPECT_EQ(ReadWhole(file255), "abc");

    // 256 characters for deletion patterns: a name one character longer.
    std::string file256 = prefix + std::string(256 - prefix.size(), 'g');
    ASSERT_TRUE(svc::PutFile(file256, "x"));
    DeleteFiles((file256 + tail).substr(0, 300).c_str(), error);
    EXPECT_EQ(error, 0);
    EXPECT_FALSE(Exists(file256));
}

TEST(DeleteFiles, NoMatchAndMissingDirectory)
{
    std::string dir = Fresh("nomatch");
    ASSERT_TRUE(svc::PutFile(dir + "\\keep.txt", "k"));
    ErrorNumber error = 0;
    DeleteFiles((dir + "\\*.bin").c_str(), error);
    EXPECT_EQ(error, 53);
    DeleteFiles((dir + "\\missing\\*.txt").c_str(), error);
    EXPECT_EQ(error, 76);
    EXPECT_TRUE(Exists(dir + "\\keep.txt"));

    // An empty pattern does nothing and keeps the number.
    error = 9;
    SetCurrentDirectoryA(dir.c_str());
    DeleteFiles("", error);
    EXPECT_EQ(error, 9);
    EXPECT_TRUE(Exists(dir + "\\keep.txt"));
}

TEST(DeleteFiles, PassesOverHiddenSystemAndDirectoryEntries)
{
    std::string dir = Fresh("kinds");
    ASSERT_TRUE(svc::PutFile(dir + "\\plain.txt", "p"));
    ASSERT_TRUE(svc::PutFile(dir + "\\archive.txt", "a", FILE_ATTRIBUTE_ARCHIVE));
    ASSERT_TRUE(svc::PutFile(dir + "\\hidden.txt", "h", FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(svc::PutFile(dir + "\\system.txt", "s", FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(CreateDirectoryA((dir + "\\folder.txt").c_str(), NULL));
    ASSERT_TRUE(svc::Attributes(dir + "\\hidden.txt") & FILE_ATTRIBUTE_HIDDEN);
    ASSERT_TRUE(svc::Attributes(dir + "\\system.txt") & FILE_ATTRIBUTE_SYSTEM);

    ErrorNumber error = 0;
    DeleteFiles((dir + "\\*.txt").c_str(), error);
    EXPECT_EQ(error, 0);
    EXPECT_FALSE(Exists(dir + "\\plain.txt"));
    EXPECT_FALSE(Exists(dir + "\\archive.txt"));
    EXPECT_TRUE(Exists(dir + "\\hidden.txt"));
    EXPECT_TRUE(Exists(dir + "\\system.txt"));
    EXPECT_TRUE(Exists(dir + "\\folder.txt"));

    // Only passed-over entries match: nothing happens, the number stays.
    DeleteFiles((dir + "\\*.txt").c_str(), error);
    EXPECT_EQ(error, 0);
    EXPECT_TRUE(Exists(dir + "\\hidden.txt"));
}

TEST(DeleteFiles, ADriveOrATrailingBackslashMeansEveryFile)
{
    std::string dir = Fresh("all");
    for (const char* name : {"a.bin", "noextension", "b.c.d"}) {
        ASSERT_TRUE(svc::PutFile(dir + "\\" + name, "x"));
    }
    svc::MakePath(dir + "\\sub");
    ASSERT_TRUE(svc::PutFile(dir + "\\sub\\inner.bin", "i"));

    ErrorNumber error = 0;
    DeleteFiles((dir + "\\").c_str(), error);
    EXPECT_EQ(error, 0);
    EXPECT_FALSE(Exists(dir + "\\a.bin"));
    EXPECT_FALSE(Exists(dir + "\\noextension"));
    EXPECT_FALSE(Exists(dir + "\\b.c.d"));
    EXPECT_TRUE(Exists(dir + "\\sub\\inner.bin")) << "subdirectories are left alone";

    // "C:" means every file in the current directory of drive C:, and the
    // names are deleted there, not in the process's current directory.
    ASSERT_TRUE(svc::PutFile(dir + "\\sub\\other.bin", "o"));
    ASSERT_TRUE(svc::PutFile(dir + "\\stays.bin", "s"));
    SetCurrentDirectoryA((dir + "\\sub").c_str());
    DeleteFiles("C:", error);
    EXPECT_EQ(error, 0);
    EXPECT_FALSE(Exists(dir + "\\sub\\inner.bin"));
    EXPECT_FALSE(Exists(dir + "\\sub\\other.bin"));
    EXPECT_TRUE(Exists(dir + "\\stays.bin"));
}

TEST(DeleteFiles, DeletesInTheDirectoryOfThePattern)
{
    std::string dir = Fresh("where");
    svc::MakePath(dir + "\\other");
    ASSERT_TRUE(svc::PutFile(dir + "\\other\\same.bin", "in other"));
    ASSERT_TRUE(svc::PutFile(dir + "\\same.bin", "current"));
    SetCurrentDirectoryA(dir.c_str());
    ErrorNumber error = 0;
    DeleteFiles("other\\same.*", error);
    EXPECT_EQ(error, 0);
    EXPECT_FALSE(Exists(dir + "\\other\\same.bin"));
    EXPECT_TRUE(Exists(dir + "\\same.bin"));
}

TEST(DeleteFiles, StopsAtTheFirstFileItCannotDelete)
{
    std::string dir = Fresh("stop");
    for (const char* name : {"f1", "f2", "f3", "f4", "f5"}) {
        ASSERT_TRUE(svc::PutFile(dir + "\\" + name, name));
    }
    // The order in which the search returns them.
    std::vector<std::string> order;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\f*").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    do
        order.push_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    ASSERT_EQ(order.size(), 5u);

    // The third one is held open without delete sharing.
    HANDLE held = CreateFileA((dir + "\\" + order[2]).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ErrorNumber error = 0;
    DeleteFiles((dir + "\\f*").c_str(), error);
    CloseHandle(held);

    EXPECT_EQ(error, 70) << "ERROR_SHARING_VIOLATION";
    for (size_t i = 0; i < order.size(); i++) {
        EXPECT_EQ(Exists(dir + "\\" + order[i]), i >= 2) << order[i];
    }
}

TEST(DeleteFiles, RefusesANameLongerThanAnAnsiPath)
{
    // A directory part of 248 characters and a found name of 20: 268 in all.
    std::string dir = Fresh("long");
    std::string deep = dir + "\\" + std::string(248 - dir.size() - 2, 'd');
    ASSERT_TRUE(CreateDirectoryA(deep.c_str(), NULL));
    std::wstring wide(deep.begin(), deep.end());
    wide += L"\\" + std::wstring(20, L'n');
    HANDLE file = CreateFileW((L"\\\\?\\" + wide).c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);

    ErrorNumber error = 0;
    DeleteFiles((deep + "\\*").c_str(), error);
    EXPECT_EQ(error, 64);
    EXPECT_NE(GetFileAttributesW((L"\\\\?\\" + wide).c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(WriteWholeFile, LeavesExactlyTheNewBytes)
{
    std::string dir = Fresh("write");
    std::string path = dir + "\\data.bin";
    ASSERT_TRUE(svc::PutFile(path, std::string(100, 'o')));

    // Opening the existing file leaves ERROR_ALREADY_EXISTS: still success.
    ErrorNumber error = 0;
    EXPECT_TRUE(WriteWholeFile(path.c_str(), "new\0bytes", 9, error));
    EXPECT_EQ(error, 0);
    EXPECT_EQ(ReadWhole(path), std::string("new\0bytes", 9));

    // Empty bytes: an existing file is cut to 0, a missing one created empty.
    EXPECT_TRUE(WriteWholeFile(path.c_str(), "", 0, error));
    EXPECT_TRUE(Exists(path));
    EXPECT_EQ(ReadWhole(path), "");
    EXPECT_TRUE(WriteWholeFile((dir + "\\empty.bin").c_str(), "", 0, error));
    EXPECT_EQ(ReadWhole(dir + "\\empty.bin"), "");
    EXPECT_EQ(error, 0);

    // A payload-sized string, relative to the current directory.
    std::string big(3110379, '\0');
    for (size_t i = 0; i < big.size(); i++)
        big[i] = (char)(i * 7 + i / 251);
    SetCurrentDirectoryA(dir.c_str());
    EXPECT_TRUE(WriteWholeFile("varnok.exe", big.data(), big.size(), error));
    EXPECT_EQ(error, 0);
    EXPECT_TRUE(ReadWhole(dir + "\\varnok.exe") == big);
}

TEST(WriteWholeFile, KeepsTheAttributesOfAnExistingFile)
{
    std::string dir = Fresh("attrs");
    std::string path = dir + "\\hidden.bin";
    ASSERT_TRUE(svc::PutFile(path, "old content", FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(svc::Attributes(path) & FILE_ATTRIBUTE_HIDDEN);
    ErrorNumber error = 0;
    EXPECT_TRUE(WriteWholeFile(path.c_str(), "new", 3, error));
    EXPECT_EQ(error, 0);
    EXPECT_EQ(ReadWhole(path), "new");
    EXPECT_TRUE(svc::Attributes(path) & FILE_ATTRIBUTE_HIDDEN);
}

TEST(WriteWholeFile, RefusesBadNamesAndMissingDirectories)
{
    std::string dir = Fresh("badname");
    SetCurrentDirectoryA(dir.c_str());
    for (const char* name : {"", "a*.bin", "a?.bin", "C:\\svc\\badname\\*"}) {
        ErrorNumber error = 0;
        SetLastError(12345);
        EXPECT_FALSE(WriteWholeFile(name, "x", 1, error)) << name;
        EXPECT_EQ(error, 64) << name;
        EXPECT_EQ(GetLastError(), 12345u) << name << ": no Windows call";
    }
    ErrorNumber error = 0;
    EXPECT_FALSE(WriteWholeFile((dir + "\\missing\\file.bin").c_str(), "x", 1, error));
    EXPECT_EQ(error, 76);

    // Nothing was created.
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    int entries = 0;
    if (search != INVALID_HANDLE_VALUE) {
        do
            entries += found.cFileName[0] != '.';
        while (FindNextFileA(search, &found));
        FindClose(search);
    }
    EXPECT_EQ(entries, 0);
}

// Set up by tests/e2e/services_immutable_file.sh: a file that even root
// cannot open for writing, and its content.
TEST(WriteWholeFile, AnImmutableFileStaysUntouched)
{
    const char* path = std::getenv("SVC_IMMUTABLE_FILE");
    const char* content = std::getenv("SVC_IMMUTABLE_CONTENT");
    if (!path || !content)
        GTEST_SKIP() << "needs SVC_IMMUTABLE_FILE (run by an e2e script)";
    ErrorNumber error = 0;
    EXPECT_FALSE(WriteWholeFile(path, "changed", 7, error));
    EXPECT_EQ(error, 70);
    EXPECT_EQ(ReadWhole(path), content);
}

// Set up by tests/e2e/services_full_disk.sh: a directory on a 1 MiB disk.
TEST(WriteWholeFile, AFullDiskGivesTheShortWriteNumber)
{
    const char* dir = std::getenv("SVC_FULL_DISK_DIR");
    if (!dir)
        GTEST_SKIP() << "needs SVC_FULL_DISK_DIR (run by an e2e script)";
    std::string path = std::string(dir) + "\\full.bin";
    std::string bytes(3 * 1024 * 1024, 'z');
    ErrorNumber error = 0;
    EXPECT_FALSE(WriteWholeFile(path.c_str(), bytes.data(), bytes.size(), error));
    EXPECT_EQ(error, 61);

    // The file was closed: it opens without sharing, and holds a part.
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "still open: " << GetLastError();
    DWORD size = GetFileSize(file, NULL);
    CloseHandle(file);
    EXPECT_GT(size, 0u);
    EXPECT_LT(size, bytes.size());
}

}  // namespace
