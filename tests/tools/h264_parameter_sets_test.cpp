#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "media/parameter_sets.h"
#include "tools/encoder/h264_bitstream.h"
#include "tools/encoder/h264_parameter_sets.h"

using namespace orvix;
using namespace orvix::media;

namespace {

// The RBSP (after the NAL header byte) of the unit of `type` in an Annex B stream.
std::vector<uint8_t> rbspOf(const uint8_t* data, size_t size, int type) {
    for (const NalUnitSpan& unit : splitAnnexB(data, size))
        if (unit.type() == type) return unescapeRbsp(unit.data + 1, unit.size - 1);
    return {};
}

// Every field the slice rewrite relies on, decoded from the table's bytes.
TEST(FixedParameterSets, CarryTheFieldsTheSliceRewriteAssumes) {
    for (int standard = 0; standard <= 1; ++standard) {
        for (int code = 0; code <= 2; ++code) {
            SCOPED_TRACE("standard " + std::to_string(standard) + " code " + std::to_string(code));
            const RawParameterSet* set = rawParameterSet(standard, code);
            ASSERT_NE(set, nullptr);
            const std::vector<int> expectedTypes = {7, 8};
            std::vector<int> types;
            for (const NalUnitSpan& unit : splitAnnexB(set->bytes, set->length)) types.push_back(unit.type());
            EXPECT_EQ(types, expectedTypes);

            const std::vector<uint8_t> spsRbsp = rbspOf(set->bytes, set->length, 7);
            std::string error;
            const auto sps = parseSequenceParameterSet(spsRbsp.data(), spsRbsp.size(), &error);
            ASSERT_TRUE(sps) << error;
            EXPECT_EQ(sps->profileIdc, 66);
            EXPECT_EQ(sps->constraintFlags, 0);
            EXPECT_EQ(sps->levelIdc, 30);
            EXPECT_EQ(sps->id, 0);
            EXPECT_EQ(sps->log2MaxFrameNum, 9);
            EXPECT_EQ(sps->picOrderCntType, 0);
            EXPECT_EQ(sps->log2MaxPicOrderCntLsb, 10);
            EXPECT_EQ(sps->maxNumRefFrames, 1);
            EXPECT_FALSE(sps->gapsInFrameNumAllowed);
            EXPECT_TRUE(sps->frameMbsOnly);
            EXPECT_TRUE(sps->direct8x8Inference);
            EXPECT_FALSE(sps->frameCropping);
            EXPECT_FALSE(sps->vuiPresent);
            EXPECT_EQ(sps->widthInPixels(), set->width);
            EXPECT_EQ(sps->heightInPixels(), set->height);

            const std::vector<uint8_t> ppsRbsp = rbspOf(set->bytes, set->length, 8);
            const auto pps = parsePictureParameterSet(ppsRbsp.data(), ppsRbsp.size(), &error);
            ASSERT_TRUE(pps) << error;
            EXPECT_EQ(pps->id, 0);
            EXPECT_EQ(pps->spsId, 0);
            EXPECT_FALSE(pps->entropyCodingMode);
            EXPECT_FALSE(pps->bottomFieldPicOrderInFramePresent);
            EXPECT_EQ(pps->numRefIdxL0DefaultActive, 1);
            EXPECT_FALSE(pps->weightedPred);
            EXPECT_EQ(pps->weightedBipredIdc, 0);
            EXPECT_EQ(pps->picInitQp, 26);
            EXPECT_EQ(pps->picInitQs, 26);
            EXPECT_EQ(pps->chromaQpIndexOffset, 2);
            EXPECT_EQ(pps->secondChromaQpIndexOffset, 2);
            EXPECT_FALSE(pps->deblockingFilterControlPresent);
            EXPECT_TRUE(pps->constrainedIntraPred);
            EXPECT_FALSE(pps->redundantPicCntPresent);
            EXPECT_FALSE(pps->transform8x8Mode);
        }
    }
}

TEST(ParameterSetParsing, EveryTruncationIsRefused) {
    const RawParameterSet* set = rawParameterSet(1, 2);
    const std::vector<uint8_t> sps = rbspOf(set->bytes, set->length, 7);
    const std::vector<uint8_t> pps = rbspOf(set->bytes, set->length, 8);
    for (size_t length = 0; length < sps.size(); ++length) {
        const std::vector<uint8_t> cut(sps.begin(), sps.begin() + static_cast<std::ptrdiff_t>(length));
        std::string error;
        EXPECT_FALSE(parseSequenceParameterSet(cut.data(), cut.size(), &error)) << length;
        EXPECT_FALSE(error.empty());
    }
    for (size_t length = 0; length < pps.size(); ++length) {
        const std::vector<uint8_t> cut(pps.begin(), pps.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_FALSE(parsePictureParameterSet(cut.data(), cut.size())) << length;
    }
}

// A High-profile SPS with scaling lists, which x264 would write under other
// settings: the lists are walked so that the later fields come out right.
TEST(ParameterSetParsing, HighProfileScalingListsAreSkipped) {
    BitWriter w;
    w.writeBits(100, 8);
    w.writeBits(0, 8);
    w.writeBits(40, 8);
    w.writeUe(1);      // id
    w.writeUe(1);      // 4:2:0
    w.writeUe(0);      // luma depth
    w.writeUe(0);      // chroma depth
    w.writeBit(0);     // transform bypass
    w.writeBit(1);     // scaling matrix present
    w.writeBit(1);     // list 0 present: one delta that ends the list
    w.writeSe(-8);
    w.writeBit(0);     // lists 1-5 absent
    w.writeBit(0);
    w.writeBit(0);
    w.writeBit(0);
    w.writeBit(0);
    w.writeBit(1);     // list 6 (8x8) present: 64 small deltas
    for (int i = 0; i < 64; ++i) w.writeSe(i % 2 ? 1 : -1);
    w.writeBit(0);     // list 7 absent
    w.writeUe(2);      // log2_max_frame_num 6
    w.writeUe(2);      // POC type 2
    w.writeUe(3);      // refs
    w.writeBit(0);
    w.writeUe(119);    // 1920 wide
    w.writeUe(67);     // 1088 high
    w.writeBit(1);
    w.writeBit(1);
    w.writeBit(1);     // cropping to 1080
    w.writeUe(0);
    w.writeUe(0);
    w.writeUe(0);
    w.writeUe(4);
    w.writeBit(0);
    w.writeTrailingBits();
    std::string error;
    const auto sps = parseSequenceParameterSet(w.bytes().data(), w.bytes().size(), &error);
    ASSERT_TRUE(sps) << error;
    EXPECT_EQ(sps->id, 1);
    EXPECT_TRUE(sps->scalingMatrixPresent);
    EXPECT_EQ(sps->log2MaxFrameNum, 6);
    EXPECT_EQ(sps->picOrderCntType, 2);
    EXPECT_EQ(sps->maxNumRefFrames, 3);
    EXPECT_EQ(sps->widthInPixels(), 1920);
    EXPECT_EQ(sps->heightInPixels(), 1088);
    EXPECT_EQ(sps->cropBottom, 4);
}

TEST(ParameterSetParsing, OutOfRangeFieldsAreRefused) {
    BitWriter frameNum;  // log2_max_frame_num_minus4 = 13
    frameNum.writeBits(0x42001E, 24);
    frameNum.writeUe(0);
    frameNum.writeUe(13);
    frameNum.writeTrailingBits();
    EXPECT_FALSE(parseSequenceParameterSet(frameNum.bytes().data(), frameNum.bytes().size()));

    BitWriter groups;  // two slice groups
    groups.writeUe(0);
    groups.writeUe(0);
    groups.writeBit(0);
    groups.writeBit(0);
    groups.writeUe(1);
    groups.writeTrailingBits();
    std::string error;
    EXPECT_FALSE(parsePictureParameterSet(groups.bytes().data(), groups.bytes().size(), &error));
    EXPECT_NE(error.find("slice groups"), std::string::npos);

    BitWriter chroma;  // chroma_qp_index_offset 13
    chroma.writeUe(0);
    chroma.writeUe(0);
    chroma.writeBits(0, 2);
    chroma.writeUe(0);
    chroma.writeUe(0);
    chroma.writeUe(0);
    chroma.writeBit(0);
    chroma.writeBits(0, 2);
    chroma.writeSe(0);
    chroma.writeSe(0);
    chroma.writeSe(13);
    chroma.writeBits(0, 3);
    chroma.writeTrailingBits();
    EXPECT_FALSE(parsePictureParameterSet(chroma.bytes().data(), chroma.bytes().size()));
}

}  // namespace
