// SHA-256 against the FIPS 180-4 examples and digests made with sha256sum
// at the lengths where the padding changes shape, fed whole and in pieces.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tools/sha256.h"

static std::string Digest(const std::string& text)
{
    return Sha256Hex((const unsigned char*)text.data(), text.size());
}

TEST(Sha256, KnownVectors)
{
    EXPECT_EQ(Digest(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Digest("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Digest("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(Digest(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");

    // 55 bytes leave room for the marker and the length in one block, 56
    // to 63 push the length into a second one, 64 and 65 fill a block.
    struct {
        size_t length;
        const char* digest;
    } edges[] = {
        {55, "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        {56, "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
        {63, "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34"},
        {64, "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
        {65, "635361c48bb9eab14198e76ea8ab7f1a41685d6ad62aa9146d301d4f17eb0ae0"},
    };
    for (auto& edge : edges)
        EXPECT_EQ(Digest(std::string(edge.length, 'a')), edge.digest) << edge.length;
}

TEST(Sha256, PiecesGiveTheDigestOfTheWhole)
{
    // Bytes 0 to 255, forty times over (10,240 bytes, every byte value).
    std::vector<unsigned char> bytes;
    for (int round = 0; round < 40; ++round)
        for (int value = 0; value < 256; ++value)
            bytes.push_back((unsigned char)value);
    const std::string whole = "e96760a87768717bcebcfd25ddc7d46b4dbc95a4b0014def080c08539f7d90d0";
    EXPECT_EQ(Sha256Hex(bytes.data(), bytes.size()), whole);

    for (size_t piece : {1, 3, 63, 64, 65, 1000}) {
        Sha256 hash;
        Sha256Begin(hash);
        for (size_t at = 0; at < bytes.size(); at += piece)
            Sha256Add(hash, bytes.data() + at, std::min(piece, bytes.size() - at));
        EXPECT_EQ(Sha256End(hash), whole) << "pieces of " << piece;
    }
}
