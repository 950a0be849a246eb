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
