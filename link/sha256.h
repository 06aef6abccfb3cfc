// SHA-256 (FIPS 180-2), used for the salted login digests.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace orvix {

class Sha256 {
public:
    static constexpr size_t kDigestLength = 32;
    using Digest = std::array<uint8_t, kDigestLength>;

    Sha256() { init(); }
    void init();
    void update(const uint8_t* data, size_t length);
    void final(uint8_t out[kDigestLength]);

    static Digest of(const uint8_t* data, size_t length);

private:
    void compress(const uint8_t block[64]);

    uint32_t state_[8];
    uint64_t bitCount_ = 0;
    uint8_t block_[64];
    size_t blockLength_ = 0;
};

}  // namespace orvix
