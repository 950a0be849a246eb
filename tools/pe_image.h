#pragma once
// What mkinstaller reads of a PE image beyond the portable layout: the
// reasons an image is refused, in words.

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "install/pe_layout.h"

// The layout of a PE image: where its last section's raw data ends (where a
// linked image's file ends), its CheckSum field and its security directory.
// False, with the reason in words in `problem`, when the bytes are not a PE
// image whose headers and sections lie inside them.
bool ReadImageLayout(const unsigned char* bytes, size_t size, PeLayout& layout,
                     std::string& problem);

// The PE checksum of `size` bytes as a linker or signing tool writes it into
// the optional header: the 16-bit little-endian words summed with the carry
// folded back in after each addition (an odd last byte is a word of its
// own), the 4 bytes at `checksumField` counted as zero, then the file size
// added.
uint32_t PeChecksum(const unsigned char* bytes, size_t size, uint32_t checksumField);

// Whether the DOS header's reserved bytes 0x28 to 0x3B, which hold the
// payload descriptor, are all zero.
bool DescriptorWordsClear(const unsigned char* header);
