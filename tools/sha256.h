#pragma once
// SHA-256 (FIPS 180-4), small and portable: mkinstaller prints the digests
// of an installer's image part and payload so that a downloaded installer
// can be compared with one rebuilt from the same sources.

#include <stddef.h>
#include <stdint.h>

#include <string>

struct Sha256 {
    uint32_t state[8];
    uint64_t length;  // bytes hashed so far
    unsigned char block[64];
    size_t used;  // bytes waiting in `block`
};

void Sha256Begin(Sha256& hash);
void Sha256Add(Sha256& hash, const unsigned char* bytes, size_t count);
// Finishes the hash and returns the digest as 64 lower-case hex digits.
std::string Sha256End(Sha256& hash);

// The digest of one buffer, as 64 lower-case hex digits.
std::string Sha256Hex(const unsigned char* bytes, size_t count);
