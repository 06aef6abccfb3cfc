// Bit-level reading and writing of H.264 syntax (fixed-width fields and
// Exp-Golomb codes), Annex B splitting and emulation prevention.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvix::media {

// Reads bits most significant first from a byte range (RBSP, i.e. with the
// emulation prevention bytes already removed). Reading past the end or an
// over-long Exp-Golomb code sets failed() and yields 0; the reader never
// touches memory outside the range.
class BitReader {
public:
    BitReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint32_t readBit();
    // n in 0..32.
    uint32_t readBits(int n);
    // ue(v): values 0 .. 2^32 - 2 (at most 31 leading zero bits).
    uint32_t readUe();
    // se(v): values -(2^31 - 1) .. 2^31 - 1.
    int32_t readSe();

    bool failed() const { return failed_; }
    size_t bitPosition() const { return position_; }
    size_t bitSize() const { return size_ * 8; }
    size_t bitsLeft() const { return position_ < bitSize() ? bitSize() - position_ : 0; }
    // Index of the RBSP stop bit (the last 1 bit of the range), or bitSize()
    // when the range holds no 1 bit.
    size_t stopBitPosition() const;
    // True while there is syntax before the stop bit (more_rbsp_data()).
    bool moreRbspData() const { return position_ < stopBitPosition(); }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
    bool failed_ = false;
};

// Appends bits most significant first. Values that cannot be coded set
// failed() and write nothing.
class BitWriter {
public:
    void writeBit(uint32_t bit);
    // The low n bits of value, n in 0..32.
    void writeBits(uint32_t value, int n);
    // ue(v) for 0 .. 2^32 - 2.
    void writeUe(uint32_t value);
    // se(v) for -(2^31 - 1) .. 2^31 - 1.
    void writeSe(int32_t value);
    // Copies bits [from, to) of `source` (bit indexes into its byte range).
    void copyBits(const uint8_t* source, size_t sourceSize, size_t from, size_t to);
    // rbsp_trailing_bits(): a 1 bit, then zero bits up to the byte boundary.
    void writeTrailingBits();

    bool failed() const { return failed_; }
    bool byteAligned() const { return bitCount_ % 8 == 0; }
    size_t bitCount() const { return bitCount_; }
    // The bytes written so far; a partial last byte is padded with zero bits.
    const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    size_t bitCount_ = 0;
    bool failed_ = false;
};

// One NAL unit inside an Annex B byte stream: the bytes after the start code,
// without trailing zero bytes; still with emulation prevention bytes.
struct NalUnitSpan {
    const uint8_t* data;
    size_t size;
    int type() const { return size > 0 ? data[0] & 0x1F : -1; }
    int refIdc() const { return size > 0 ? (data[0] >> 5) & 0x03 : 0; }
};

// The NAL units of an Annex B stream (start codes 00 00 01 or 00 00 00 01).
// Bytes before the first start code are ignored; empty units are skipped.
std::vector<NalUnitSpan> splitAnnexB(const uint8_t* data, size_t size);

// Removes the emulation prevention bytes (the 03 of each 00 00 03).
std::vector<uint8_t> unescapeRbsp(const uint8_t* data, size_t size);

// Inserts an emulation prevention byte wherever two zero bytes would be
// followed by a byte of 00-03, and after a final zero byte, then appends the
// result to `out`.
void appendEscaped(const uint8_t* rbsp, size_t size, std::vector<uint8_t>& out);

// Appends a four-byte start code and the escaped NAL unit (header byte plus RBSP).
void appendNalUnit(uint8_t header, const std::vector<uint8_t>& rbsp, std::vector<uint8_t>& out);

}  // namespace orvix::media
