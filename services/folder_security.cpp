// The folder's security descriptor, laid out byte by byte in the
// self-relative form that Windows takes (little-endian throughout).

#include "services/folder_security.h"

namespace {

// The descriptor's header, its access list's header and the first two
// entries; the user's entry follows, then the last one.
const unsigned char Head[] = {
    // Revision 1; control: DACL present, protected, self-relative; no
    // owner, group or SACL; the DACL right behind these 20 bytes.
    1,
    0,
    0x04,
    0x90,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    20,
    0,
    0,
    0,
    // ACL revision 2, its size (filled in), 4 entries.
    2,
    0,
    0,
    0,
    4,
    0,
    0,
    0,
    // Allowed, inherited by files and folders, 20 bytes: full control for
    // S-1-5-18, SYSTEM.
    0,
    3,
    20,
    0,
    0xFF,
    0x01,
    0x1F,
    0,
    1,
    1,
    0,
    0,
    0,
    0,
    0,
    5,
    18,
    0,
    0,
    0,
    // The same, 24 bytes, for S-1-5-32-544, the administrators.
    0,
    3,
    24,
    0,
    0xFF,
    0x01,
    0x1F,
    0,
    1,
    2,
    0,
    0,
    0,
    0,
    0,
    5,
    32,
    0,
    0,
    0,
    0x20,
    2,
    0,
    0,
};
const size_t AclSizeField = 22;

// Full control, inherited by files and folders: the user's entry.
const unsigned char UserEntry[] = {0, 3, 0, 0, 0xFF, 0x01, 0x1F, 0};
const size_t EntrySizeField = 2;

// Read and execute (0x1200A9) for S-1-5-32-545, Users.
const unsigned char Tail[] = {0, 3, 24, 0, 0xA9, 0, 0x12, 0, 1,    2, 0, 0,
                              0, 0, 0,  5, 32,   0, 0,    0, 0x21, 2, 0, 0};

size_t Put(unsigned char* out, const unsigned char* bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        out[i] = bytes[i];
    return count;
}

}  // namespace

size_t BuildFolderSecurity(unsigned char* descriptor, const unsigned char* userSid)
{
    // A SID: revision 1, the count of its sub-authorities, a 6-byte
    // authority, then the sub-authorities of 4 bytes each.
    if (userSid[0] != 1 || userSid[1] > 15)
        return 0;
    const size_t sidSize = 8 + 4 * userSid[1];
    size_t size = Put(descriptor, Head, sizeof Head);
    unsigned char* entry = descriptor + size;
    size += Put(entry, UserEntry, sizeof UserEntry);
    size += Put(descriptor + size, userSid, sidSize);
    entry[EntrySizeField] = static_cast<unsigned char>(sizeof UserEntry + sidSize);
    size += Put(descriptor + size, Tail, sizeof Tail);
    descriptor[AclSizeField] = static_cast<unsigned char>(size - 20);
    return size;
}

namespace {

const unsigned char SystemSid[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
const unsigned char AdministratorsSid[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0};
// S-1-3-0: whoever creates a file inside, and only they could.
const unsigned char CreatorOwnerSid[] = {1, 1, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0};

// Any right that changes a folder or what it holds: write data, append
// (add file, add folder), write extended attributes, delete a child, write
// attributes, delete, write the access list, take ownership, and the
// generic all and write.
const uint32_t ChangeRights = 0x500D0156;

bool SameSid(const unsigned char* sid, const unsigned char* known, size_t size)
{
    for (size_t i = 0; i < size; ++i)
        if (sid[i] != known[i])
            return false;
    return true;
}

unsigned ReadField(const unsigned char* at, int bytes)
{
    unsigned value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = value << 8 | at[i];
    return value;
}

}  // namespace

bool IsTrustedOwner(const unsigned char* sid)
{
    return sid != nullptr && (SameSid(sid, SystemSid, sizeof SystemSid) ||
                              SameSid(sid, AdministratorsSid, sizeof AdministratorsSid));
}

// SYSTEM, the administrators, or the account that asks.
static bool Trusted(const unsigned char* sid, const unsigned char* self)
{
    return IsTrustedOwner(sid) ||
           (self != nullptr && sid[1] == self[1] && sid[1] <= 15 && SameSid(sid, self, 8 + 4 * sid[1]));
}

bool OnlyAdministratorsCanChange(const unsigned char* owner, const unsigned char* acl,
                                 const unsigned char* self)
{
    if (!Trusted(owner, self) || acl == nullptr)
        return false;
    const unsigned size = ReadField(acl + 2, 2);
    const unsigned count = ReadField(acl + 4, 2);
    unsigned at = 8;
    for (unsigned i = 0; i < count; ++i) {
        const unsigned char* entry = acl + at;
        if (size < 8 || at + 8 > size || ReadField(entry + 2, 2) < 8 ||
            at + ReadField(entry + 2, 2) > size)
            return false;
        const unsigned type = entry[0];
        const bool denies = type == 1 || type == 6 || type == 10 || type == 12;
        const bool allows = type == 0 || type == 5 || type == 9 || type == 11;
        const unsigned char* sid = entry + 8;
        if (allows && (ReadField(entry + 4, 4) & ChangeRights) != 0) {
            // Only the plain entries are read to their SID; it must fit.
            const bool plain = (type == 0 || type == 9) && ReadField(entry + 2, 2) >= 20 &&
                               ReadField(entry + 2, 2) >= 16 + 4u * sid[1];
            if (!plain ||
                !(IsTrustedOwner(sid) || SameSid(sid, CreatorOwnerSid, sizeof CreatorOwnerSid)))
                return false;
        } else if (!allows && !denies) {
            return false;
        }
        at += ReadField(entry + 2, 2);
    }
    return true;
}
