#pragma once
// The security descriptor of the folder that the installation makes. It
// lies at a drive's root, where on Windows every local user may create
// folders and change the files in them: with what it would inherit from
// there, anyone could replace a stage program, or put a DLL beside it,
// between two stages and have it run with the installer's rights.
//
// The descriptor is protected (nothing is inherited from above) and grants
// full control to SYSTEM, the administrators and the installing user, and
// read and execute to Users, each entry inherited by the files and folders
// made inside; in Windows' own notation:
//   D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;user)(A;OICI;0x1200a9;;;BU)
// It has no owner and no group: the folder gets the creator's defaults.
//
// Portable: no windows.h, unit-tested natively; Windows reads it back in a
// Wine test.

#include <stddef.h>
#include <stdint.h>

// The largest SID: revision, count, authority and 15 sub-authorities.
const size_t LargestSidSize = 8 + 15 * 4;
// Header, access list header, the entries for SYSTEM, the administrators,
// the user and Users.
const size_t FolderSecuritySize = 20 + 8 + 20 + 24 + (8 + LargestSidSize) + 24;

// Writes the self-relative descriptor for the user with the SID at
// `userSid` into `descriptor` (room for FolderSecuritySize bytes) and
// returns its size; 0, writing nothing, when `userSid` is not a SID of
// revision 1.
size_t BuildFolderSecurity(unsigned char* descriptor, const unsigned char* userSid);

// Whether the SID is SYSTEM's (S-1-5-18) or the administrators'
// (S-1-5-32-544): the owners that no standard user can give anything.
bool IsTrustedOwner(const unsigned char* sid);

// Whether a folder with this owner and access list (`acl`, a DACL as
// Windows lays it out; null for none, which lets everyone in) lets nobody
// but SYSTEM, the administrators and `self` (the account that asks, or
// null) change it, its contents, its descriptor or its owner, and is owned
// by one of them: the folder that a machine-wide installation makes (with
// UAC switched off, an administrator's folders are owned by its own
// account). Entries that deny are passed over (they can only take rights
// away); entries that allow a change to anyone else, entries of a kind not
// read here, and a malformed list all say no.
bool OnlyAdministratorsCanChange(const unsigned char* owner, const unsigned char* acl,
                                 const unsigned char* self);
