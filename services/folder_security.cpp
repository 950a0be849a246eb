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
