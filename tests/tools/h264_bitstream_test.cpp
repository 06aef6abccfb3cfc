#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "tests/link/hex.h"
#include "tools/encoder/h264_bitstream.h"

using namespace orvix::media;
using orvix::test::hexBytes;

namespace {

std::vector<uint8_t> escaped(const std::vector<uint8_t>& rbsp) {
    std::vector<uint8_t> out;
    appendEscaped(rbsp.data(), rbsp.size(), out);
    return out;
}

TEST(ExpGolomb, KnownCodes) {
    BitWriter writer;
    writer.writeUe(0);   // 1
    writer.writeUe(1);   // 010
    writer.writeUe(3);   // 00100
    writer.writeSe(-1);  // 011
    writer.writeSe(2);   // 00100
    writer.writeSe(0);   // 1
    // 1010 0010 0011 0010 01 -> A2 32 40
    EXPECT_EQ(writer.bitCount(), 18u);
    EXPECT_EQ(writer.bytes(), hexBytes("A2 32 40"));
}

TEST(ExpGolomb, EdgeValuesRoundTripAtEveryAlignment) {
    const std::vector<uint32_t> unsignedValues = {0, 1, 2, 6, 7, 254, 255, 256, 65535, 0x7FFFFFFF,
                                                  0x80000000u, 0xFFFFFFFDu, 0xFFFFFFFEu};
    const std::vector<int32_t> signedValues = {0, 1, -1, 2, -2, 127, -128, INT32_MAX, -INT32_MAX};
    for (int shift = 0; shift < 8; ++shift) {
        BitWriter writer;
        writer.writeBits(0x5A, shift);
        for (uint32_t v : unsignedValues) writer.writeUe(v);
        for (int32_t v : signedValues) writer.writeSe(v);
        ASSERT_FALSE(writer.failed());
        BitReader reader(writer.bytes().data(), writer.bytes().size());
        EXPECT_EQ(reader.readBits(shift), 0x5Au & ((1u << shift) - 1u));
        for (uint32_t v : unsignedValues) EXPECT_EQ(reader.readUe(), v) << "shift " << shift;
        for (int32_t v : signedValues) EXPECT_EQ(reader.readSe(), v) << "shift " << shift;
        EXPECT_FALSE(reader.failed());
        EXPECT_EQ(reader.bitPosition(), writer.bitCount());
    }
}

TEST(ExpGolomb, ValuesOutsideTheCodeAreRefusedUnwritten) {
    BitWriter writer;
    writer.writeUe(UINT32_MAX);
    EXPECT_TRUE(writer.failed());
    EXPECT_EQ(writer.bitCount(), 0u);
    BitWriter signedWriter;
    signedWriter.writeSe(INT32_MIN);
    EXPECT_TRUE(signedWriter.failed());
    EXPECT_EQ(signedWriter.bitCount(), 0u);
}

TEST(BitReaderBounds, OverlongAndTruncatedCodesFail) {
    // 32 zero bits before the 1: longer than any 32-bit value.
    const std::vector<uint8_t> overlong = hexBytes("00 00 00 00 80 00 00 00 00");
    BitReader tooLong(overlong.data(), overlong.size());
    EXPECT_EQ(tooLong.readUe(), 0u);
    EXPECT_TRUE(tooLong.failed());

    const std::vector<uint8_t> cut = hexBytes("01");  // 0000 0001, suffix of 7 bits missing
    BitReader truncated(cut.data(), cut.size());
    EXPECT_EQ(truncated.readUe(), 0u);
    EXPECT_TRUE(truncated.failed());

    BitReader zeros(cut.data(), 0);
    EXPECT_EQ(zeros.readBit(), 0u);
    EXPECT_TRUE(zeros.failed());

    BitReader wide(overlong.data(), 2);
    EXPECT_EQ(wide.readBits(17), 0u);
    EXPECT_TRUE(wide.failed());
    BitReader tooWide(overlong.data(), overlong.size());
    tooWide.readBits(33);
    EXPECT_TRUE(tooWide.failed());
}

TEST(BitReaderBounds, StopBitIsTheLastSetBit) {
    const auto stop = [](const std::string& hex) {
        const std::vector<uint8_t> bytes = hexBytes(hex);
        return BitReader(bytes.data(), bytes.size()).stopBitPosition();
    };
    EXPECT_EQ(stop("80"), 0u);
    EXPECT_EQ(stop("01"), 7u);
    EXPECT_EQ(stop("12 80 00 00"), 8u);
    EXPECT_EQ(stop("FF 02"), 14u);
    EXPECT_EQ(stop("00 00"), 16u);  // none: the whole range
    EXPECT_EQ(stop(""), 0u);
}

TEST(BitCopy, CopiesAnyBitRangeToAnyAlignment) {
    std::mt19937 random(7);
    std::vector<uint8_t> source(12);
    for (uint8_t& b : source) b = static_cast<uint8_t>(random());
    for (size_t lead = 0; lead < 8; ++lead) {
        for (size_t from = 0; from < 12; ++from) {
            for (size_t to : {from, from + 1, from + 7, from + 8, from + 9, size_t{70}, size_t{96}}) {
                if (to < from) continue;
                BitWriter writer;
                writer.writeBits(0, static_cast<int>(lead));
                writer.copyBits(source.data(), source.size(), from, to);
                ASSERT_FALSE(writer.failed());
                ASSERT_EQ(writer.bitCount(), lead + (to - from));
                BitReader copy(writer.bytes().data(), writer.bytes().size());
                BitReader original(source.data(), source.size());
                copy.readBits(static_cast<int>(lead));
                original.readBits(static_cast<int>(from));
                for (size_t i = from; i < to; ++i)
                    ASSERT_EQ(copy.readBit(), original.readBit()) << lead << " " << from << " " << to << " " << i;
            }
        }
    }
    BitWriter outside;
    outside.copyBits(source.data(), source.size(), 8, 97);
    EXPECT_TRUE(outside.failed());
}

TEST(EmulationPrevention, EscapesEveryForbiddenPattern) {
    EXPECT_EQ(escaped(hexBytes("00 00 00")), hexBytes("00 00 03 00 03"));
    EXPECT_EQ(escaped(hexBytes("00 00 01")), hexBytes("00 00 03 01"));
    EXPECT_EQ(escaped(hexBytes("00 00 02 07")), hexBytes("00 00 03 02 07"));
    EXPECT_EQ(escaped(hexBytes("00 00 03 07")), hexBytes("00 00 03 03 07"));
    EXPECT_EQ(escaped(hexBytes("00 00 04 00 01")), hexBytes("00 00 04 00 01"));
    EXPECT_EQ(escaped(hexBytes("00 00 00 00 00 01")), hexBytes("00 00 03 00 00 03 00 01"));
    EXPECT_EQ(escaped(hexBytes("12 00 00")), hexBytes("12 00 00 03"));
    EXPECT_EQ(escaped(hexBytes("00")), hexBytes("00 03"));
    EXPECT_EQ(escaped(hexBytes("00 01 00 01")), hexBytes("00 01 00 01"));
    EXPECT_TRUE(escaped({}).empty());
}

TEST(EmulationPrevention, RoundTripsZeroHeavyData) {
    std::mt19937 random(11);
    for (int round = 0; round < 300; ++round) {
        std::vector<uint8_t> rbsp(static_cast<size_t>(random() % 40));
        for (uint8_t& b : rbsp) b = random() % 3 == 0 ? static_cast<uint8_t>(random() % 4) : 0;
        // An RBSP ends in the byte with its stop bit, perhaps followed by
        // cabac_zero_words (00 00).
        rbsp.push_back(0x80);
        for (int words = round % 3; words > 0; --words) rbsp.insert(rbsp.end(), {0, 0});
        const std::vector<uint8_t> nal = escaped(rbsp);
        for (size_t i = 0; i + 2 < nal.size(); ++i)
            ASSERT_FALSE(nal[i] == 0 && nal[i + 1] == 0 && nal[i + 2] <= 2) << "start code pattern at " << i;
        if (!nal.empty()) {
            EXPECT_NE(nal.back(), 0);
        }
        EXPECT_EQ(unescapeRbsp(nal.data(), nal.size()), rbsp);
    }
}

TEST(AnnexB, SplitsOnThreeAndFourByteStartCodes) {
    const std::vector<uint8_t> stream =
        hexBytes("12 34 00 00 00 01 67 AA 00 00 01 68 BB 00 00 00 00 01 00 00 01 65 CC 03 00 00");
    const std::vector<NalUnitSpan> units = splitAnnexB(stream.data(), stream.size());
    ASSERT_EQ(units.size(), 3u);
    EXPECT_EQ(std::vector<uint8_t>(units[0].data, units[0].data + units[0].size), hexBytes("67 AA"));
    EXPECT_EQ(std::vector<uint8_t>(units[1].data, units[1].data + units[1].size), hexBytes("68 BB"));
    EXPECT_EQ(std::vector<uint8_t>(units[2].data, units[2].data + units[2].size), hexBytes("65 CC 03"));
    EXPECT_EQ(units[0].type(), 7);
    EXPECT_EQ(units[2].type(), 5);
    EXPECT_EQ(units[2].refIdc(), 3);

    const std::vector<uint8_t> none = hexBytes("00 00 02 41 00 00");
    EXPECT_TRUE(splitAnnexB(none.data(), none.size()).empty());
    EXPECT_TRUE(splitAnnexB(nullptr, 10).empty());
    const std::vector<uint8_t> bare = hexBytes("00 00 01");
    EXPECT_TRUE(splitAnnexB(bare.data(), bare.size()).empty());
}

TEST(AnnexB, NalUnitGetsStartCodeAndEscaping) {
    std::vector<uint8_t> out = hexBytes("AA");
    appendNalUnit(0x65, hexBytes("00 00 01 80"), out);
    EXPECT_EQ(out, hexBytes("AA 00 00 00 01 65 00 00 03 01 80"));
}

}  // namespace
