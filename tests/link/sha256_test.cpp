#include <gtest/gtest.h>

#include <string>

#include "link/sha256.h"
#include "tests/link/hex.h"

using namespace orvix;

namespace {

std::string digestHex(const std::string& text) {
    auto d = Sha256::of(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    return orvix::test::toHex(d.data(), d.size());
}

}  // namespace

TEST(Sha256, PublishedTestVectors) {
    EXPECT_EQ(digestHex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(digestHex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(digestHex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(digestHex("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrs"
                        "mnopqrstnopqrstu"),
              "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
}

TEST(Sha256, MillionAsInUnevenPieces) {
    Sha256 hash;
    std::string piece(997, 'a');
    size_t fed = 0;
    while (fed < 1000000) {
        size_t n = std::min<size_t>(piece.size(), 1000000 - fed);
        hash.update(reinterpret_cast<const uint8_t*>(piece.data()), n);
        fed += n;
    }
    uint8_t out[32];
    hash.final(out);
    EXPECT_EQ(orvix::test::toHex(out, 32), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, PaddingBoundariesFedByteByByte) {
    // Lengths around the 55/56/64-byte padding edges, against digests made by
    // an independent implementation.
    const std::pair<size_t, const char*> cases[] = {
        {55, "85528b5baff5639cb8e7daca79d085ac29ac0978e873ed7527158616b2b6c379"},
        {56, "f8ce2f8d6990c639668fe404262f35ed72d8bb145ad6bae786af7284447386df"},
        {63, "9b49777003a4143d8c3f4d3002eb631c6bda8b030a3ccc87f8a21d5f61c89e87"},
        {64, "ee8e658590c9a5e119400a774415a01db104de1ee6e2c29ec69aa73ef46544d2"},
        {65, "2b6c3f7f12b1b12fc5409626dc4e5302d8d37082cbeddea7755eac43aba039c8"},
        {119, "c8bc8a6e9626586bb888ad131d44ed2bd37fc608e902904ade3c566c4208e6ca"},
        {120, "77a2d49d72a11e41678c51f8f0cb67f5cb570f30370c3aeffe266a0d1ee43209"},
    };
    Sha256 hash;  // reused: final() starts it over
    for (const auto& [length, expected] : cases) {
        const uint8_t q = 'q';
        for (size_t i = 0; i < length; ++i) hash.update(&q, 1);
        uint8_t out[32];
        hash.final(out);
        EXPECT_EQ(orvix::test::toHex(out, 32), expected) << length;
    }
}
