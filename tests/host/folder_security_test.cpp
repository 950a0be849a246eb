// Which reparse points are links, and which folders only the
// administrators can change: the rules an elevated removal acts by.

#include <gtest/gtest.h>

#include <vector>

#include "install/uninstall_record.h"
#include "services/folder_security.h"

namespace {

// Tags as Windows documents them (winnt.h), with what each entry is.
struct TagCase {
    uint32_t attributes;
    uint32_t tag;
    RecordKind kind;
};
const TagCase Tags[] = {
    {0x20, 0, RecordedFile},              // a plain file
    {0x10, 0, RecordedFolder},            // a plain folder
    {0x410, 0xA0000003, RecordedLink},    // junction (mount point)
    {0x400, 0xA000000C, RecordedLink},    // symbolic link to a file
    {0x410, 0xA000000C, RecordedLink},    // symbolic link to a folder
    {0x400, 0xA000001D, RecordedLink},    // WSL symbolic link
    {0x410, 0xA0000027, RecordedLink},    // container (WCI) link
    {0x400, 0x80000013, RecordedFile},    // deduplicated
    {0x400, 0x80000017, RecordedFile},    // compact /exe (WOF)
    {0x400, 0x9000001A, RecordedFile},    // cloud file (OneDrive)
    {0x410, 0x9000701A, RecordedFolder},  // cloud folder, CLOUD_7
    {0x400, 0x80000014, RecordedFile},    // NFS
    {0x400, 0x8000001B, RecordedFile},    // app execution alias
    {0x410, 0, RecordedLink},             // no tag (Wine's links): never followed
};

using Sid = std::vector<unsigned char>;
const Sid System = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
const Sid Administrators = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0};
const Sid Users = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x21, 2, 0, 0};
const Sid AUser = {1, 5, 0, 0, 0, 0, 0, 5, 21, 0, 0,    0, 1, 0,
                   0, 0, 2, 0, 0, 0, 3, 0, 0,  0, 0xE9, 3, 0, 0};
const Sid CreatorOwner = {1, 1, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0};

struct Ace {
    unsigned char type;
    uint32_t mask;
    Sid sid;
};

std::vector<unsigned char> Acl(const std::vector<Ace>& aces)
{
    std::vector<unsigned char> acl = {2, 0, 0, 0, static_cast<unsigned char>(aces.size()), 0, 0, 0};
    for (const Ace& ace : aces) {
        const size_t size = 8 + ace.sid.size();
        acl.insert(acl.end(), {ace.type, 3, static_cast<unsigned char>(size), 0});
        for (int i = 0; i < 4; ++i)
            acl.push_back(static_cast<unsigned char>(ace.mask >> 8 * i));
        acl.insert(acl.end(), ace.sid.begin(), ace.sid.end());
    }
    acl[2] = static_cast<unsigned char>(acl.size());
    return acl;
}

const uint32_t Full = 0x1F01FF, ReadExecute = 0x1200A9;

struct AclCase {
    const char* what;
    Sid owner;
    std::vector<Ace> aces;
    bool onlyAdministrators;
};

}  // namespace

TEST(KindOfEntry, OnlyNameSurrogatesAreLinks)
{
    for (const TagCase& c : Tags)
        EXPECT_EQ(KindOfEntry(c.attributes, c.tag), c.kind) << std::hex << c.tag;
}

TEST(OnlyAdministratorsCanChange, EveryCaseOfTheTable)
{
    const AclCase cases[] = {
        {"what a machine-wide installation writes",
         Administrators,
         {{0, Full, System},
          {0, Full, Administrators},
          {0, Full, Administrators},
          {0, ReadExecute, Users}},
         true},
        {"owned by SYSTEM, creator owner inherited",
         System,
         {{0, Full, System}, {0, Full, CreatorOwner}},
         true},
        {"a standard user's installation",
         AUser,
         {{0, Full, System}, {0, Full, Administrators}, {0, Full, AUser}},
         false},
        {"owned by a user, no entry for them", AUser, {{0, Full, Administrators}}, false},
        {"Users may add files",
         Administrators,
         {{0, Full, System}, {0, ReadExecute | 2, Users}},
         false},
        {"Users may write its descriptor", Administrators, {{0, 0x40000, Users}}, false},
        {"generic write", Administrators, {{0, 0x40000000, Users}}, false},
        {"a denial takes rights away", Administrators, {{1, Full, AUser}, {0, Full, System}}, true},
        {"an object entry that allows a change", Administrators, {{5, Full, Users}}, false},
        {"an entry of an unknown kind", Administrators, {{0x42, 0, Users}}, false},
    };
    for (const AclCase& c : cases) {
        std::vector<unsigned char> acl = Acl(c.aces);
        EXPECT_EQ(OnlyAdministratorsCanChange(c.owner.data(), acl.data(), Administrators.data()),
                  c.onlyAdministrators)
            << c.what;
    }
    // With UAC off, an administrator's own folder is owned by its account:
    // that account may act on it, no other.
    const Sid another = {1, 1, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0};
    std::vector<unsigned char> own = Acl({{0, Full, System}, {0, Full, Administrators}});
    EXPECT_TRUE(OnlyAdministratorsCanChange(AUser.data(), own.data(), AUser.data()));
    EXPECT_FALSE(OnlyAdministratorsCanChange(AUser.data(), own.data(), another.data()));
    EXPECT_FALSE(OnlyAdministratorsCanChange(Administrators.data(), nullptr, nullptr)) << "no DACL";
    std::vector<unsigned char> cut = Acl({{0, Full, System}});
    cut[2] = 12;  // the entry runs past the list's end
    EXPECT_FALSE(OnlyAdministratorsCanChange(System.data(), cut.data(), nullptr));
}
