#include "tools/encoder/h264_bitstream.h"

namespace orvix::media {

uint32_t BitReader::readBit() {
    if (position_ >= bitSize()) {
        failed_ = true;
        return 0;
    }
    const uint32_t bit = (data_[position_ / 8] >> (7 - position_ % 8)) & 1u;
    ++position_;
    return bit;
}

uint32_t BitReader::readBits(int n) {
    if (n < 0 || n > 32 || static_cast<size_t>(n) > bitsLeft()) {
        failed_ = true;
        position_ = bitSize();
        return 0;
    }
    uint32_t value = 0;
    for (int i = 0; i < n; ++i) value = (value << 1) | readBit();
    return value;
}

uint32_t BitReader::readUe() {
    int leadingZeros = 0;
    while (true) {
        if (bitsLeft() == 0) {
            failed_ = true;
            return 0;
        }
        if (readBit() != 0) break;
        if (++leadingZeros > 31) {
            failed_ = true;
            return 0;
        }
    }
    if (leadingZeros == 0) return 0;
    const uint32_t suffix = readBits(leadingZeros);
    if (failed_) return 0;
    return ((1u << leadingZeros) - 1u) + suffix;
}

int32_t BitReader::readSe() {
    const uint32_t code = readUe();
    if (failed_) return 0;
    // Odd codes are positive, even codes negative: 1 -> 1, 2 -> -1, 3 -> 2, ...
    const int64_t magnitude = (static_cast<int64_t>(code) + 1) / 2;
    return static_cast<int32_t>(code % 2 == 1 ? magnitude : -magnitude);
}

size_t BitReader::stopBitPosition() const {
    size_t last = size_;
    while (last > 0 && data_[last - 1] == 0) --last;
    if (last == 0) return bitSize();
    const uint8_t byte = data_[last - 1];
    int bit = 0;  // index of the lowest set bit, counted from the least significant end
    while (((byte >> bit) & 1u) == 0) ++bit;
    return (last - 1) * 8 + static_cast<size_t>(7 - bit);
}

void BitWriter::writeBit(uint32_t bit) {
    if (bitCount_ % 8 == 0) bytes_.push_back(0);
    if (bit & 1u) bytes_.back() |= static_cast<uint8_t>(0x80u >> (bitCount_ % 8));
    ++bitCount_;
}

void BitWriter::writeBits(uint32_t value, int n) {
    if (n < 0 || n > 32) {
        failed_ = true;
        return;
    }
    if (n == 8 && byteAligned()) {
        bytes_.push_back(static_cast<uint8_t>(value));
        bitCount_ += 8;
        return;
    }
    for (int i = n - 1; i >= 0; --i) writeBit((value >> i) & 1u);
}

void BitWriter::writeUe(uint32_t value) {
    if (value == UINT32_MAX) {
        failed_ = true;
        return;
    }
    const uint64_t coded = static_cast<uint64_t>(value) + 1;
    int length = 0;
    while ((coded >> (length + 1)) != 0) ++length;
    writeBits(0, length);
    writeBits(static_cast<uint32_t>(coded), length + 1);
}

void BitWriter::writeSe(int32_t value) {
    if (value == INT32_MIN) {
        failed_ = true;
        return;
    }
    const int64_t v = value;
    writeUe(static_cast<uint32_t>(v > 0 ? 2 * v - 1 : -2 * v));
}

void BitWriter::copyBits(const uint8_t* source, size_t sourceSize, size_t from, size_t to) {
    if (from > to || to > sourceSize * 8) {
        failed_ = true;
        return;
    }
    size_t position = from;
    // Leading bits up to a source byte boundary, then whole source bytes.
    while (position < to && position % 8 != 0) {
        writeBit((source[position / 8] >> (7 - position % 8)) & 1u);
        ++position;
    }
    const unsigned shift = bitCount_ % 8;
    while (to - position >= 8) {
        const uint8_t byte = source[position / 8];
        if (shift == 0) {
            bytes_.push_back(byte);
        } else {
            bytes_.back() |= static_cast<uint8_t>(byte >> shift);
            bytes_.push_back(static_cast<uint8_t>(byte << (8 - shift)));
        }
        bitCount_ += 8;
        position += 8;
    }
    while (position < to) {
        writeBit((source[position / 8] >> (7 - position % 8)) & 1u);
        ++position;
    }
}

void BitWriter::writeTrailingBits() {
    writeBit(1);
    while (!byteAligned()) writeBit(0);
}

std::vector<NalUnitSpan> splitAnnexB(const uint8_t* data, size_t size) {
    std::vector<NalUnitSpan> units;
    if (data == nullptr) return units;
    // Offsets just past each 00 00 01.
    std::vector<size_t> starts;
    for (size_t i = 0; i + 2 < size; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            starts.push_back(i + 3);
            i += 2;
        }
    }
    for (size_t k = 0; k < starts.size(); ++k) {
        const size_t begin = starts[k];
        size_t end = k + 1 < starts.size() ? starts[k + 1] - 3 : size;
        // Zero bytes before the next start code (its leading zero or
        // trailing_zero_8bits) do not belong to the unit.
        while (end > begin && data[end - 1] == 0) --end;
        if (end > begin) units.push_back({data + begin, end - begin});
    }
    return units;
}

std::vector<uint8_t> unescapeRbsp(const uint8_t* data, size_t size) {
    std::vector<uint8_t> rbsp;
    rbsp.reserve(size);
    int zeros = 0;
    for (size_t i = 0; i < size; ++i) {
        const uint8_t byte = data[i];
        if (zeros >= 2 && byte == 3) {
            zeros = 0;
            continue;
        }
        rbsp.push_back(byte);
        zeros = byte == 0 ? zeros + 1 : 0;
    }
    return rbsp;
}

void appendEscaped(const uint8_t* rbsp, size_t size, std::vector<uint8_t>& out) {
    int zeros = 0;
    for (size_t i = 0; i < size; ++i) {
        const uint8_t byte = rbsp[i];
        if (zeros >= 2 && byte <= 3) {
            out.push_back(3);
            zeros = 0;
        }
        out.push_back(byte);
        zeros = byte == 0 ? zeros + 1 : 0;
    }
    if (size > 0 && rbsp[size - 1] == 0) out.push_back(3);
}

void appendNalUnit(uint8_t header, const std::vector<uint8_t>& rbsp, std::vector<uint8_t>& out) {
    static constexpr uint8_t kStartCode[] = {0, 0, 0, 1};
    out.insert(out.end(), kStartCode, kStartCode + sizeof kStartCode);
    out.push_back(header);
    appendEscaped(rbsp.data(), rbsp.size(), out);
}

}  // namespace orvix::media
