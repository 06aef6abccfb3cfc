#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "media/parameter_sets.h"
#include "tools/encoder/h264_bitstream.h"
#include "tools/encoder/h264_parameter_sets.h"
#include "tools/encoder/h264_slice_rewriter.h"

using namespace orvix;
using namespace orvix::media;

namespace {

std::vector<uint8_t> rbspOf(const RawParameterSet& set, int type) {
    for (const NalUnitSpan& unit : splitAnnexB(set.bytes, set.length))
        if (unit.type() == type) return unescapeRbsp(unit.data + 1, unit.size - 1);
    return {};
}

// Slice data bits with start-code-like runs, a length that is no multiple of
// eight, and zero bits before the end.
const std::vector<uint8_t> kData = {0x00, 0x00, 0x01, 0xA5, 0x00, 0x00, 0x00, 0x03, 0xF0};
constexpr size_t kDataBits = 69;  // 8 bytes and 5 bits of the 9

// A slice header as an encoder with the source sets below writes it:
// 4-bit frame_num, POC type 2, pic_init_qp 30, deblocking fields present.
struct SourceSlice {
    int nalType = 5;
    int refIdc = 3;
    uint32_t firstMb = 0;
    uint32_t sliceType = 7;  // I, all slices alike
    uint32_t ppsId = 0;
    uint32_t frameNum = 0;
    uint32_t idrPicId = 0;
    std::optional<uint32_t> refIdxOverride;  // P: num_ref_idx_l0_active_minus1
    std::vector<uint32_t> markingOperations;  // P: adaptive marking ops (op, argument), ended by 0
    int32_t qpDelta = 0;
    uint32_t deblockingIdc = 0;
    int32_t alpha = 0, beta = 0;
    bool withData = true;

    std::vector<uint8_t> nal() const {
        BitWriter w;
        w.writeUe(firstMb);
        w.writeUe(sliceType);
        w.writeUe(ppsId);
        w.writeBits(frameNum, 4);
        if (nalType == 5) w.writeUe(idrPicId);
        const bool p = sliceType % 5 == 0;
        if (p) {
            w.writeBit(refIdxOverride ? 1 : 0);
            if (refIdxOverride) w.writeUe(*refIdxOverride);
            w.writeBit(0);  // no reference list modification
        }
        if (refIdc != 0) {
            if (nalType == 5) {
                w.writeBits(0, 2);
            } else {
                w.writeBit(markingOperations.empty() ? 0 : 1);
                for (uint32_t v : markingOperations) w.writeUe(v);
            }
        }
        w.writeSe(qpDelta);
        w.writeUe(deblockingIdc);
        if (deblockingIdc != 1) {
            w.writeSe(alpha);
            w.writeSe(beta);
        }
        if (withData) w.copyBits(kData.data(), kData.size(), 0, kDataBits);
        w.writeTrailingBits();
        std::vector<uint8_t> out;
        appendNalUnit(static_cast<uint8_t>(refIdc << 5 | nalType), w.bytes(), out);
        return {out.begin() + 4, out.end()};  // without the start code
    }
};

// The rewritten slice read back with the fixed set's layout.
struct TargetSlice {
    int nalHeader = 0;
    uint32_t firstMb = 0, sliceType = 0, ppsId = 0, frameNum = 0, idrPicId = 0, pocLsb = 0;
    bool refIdxOverride = false;
    uint32_t refIdxMinus1 = 0;
    std::vector<uint32_t> markingOperations;
    int32_t qpDelta = 0;
    std::vector<uint8_t> dataBits;  // one byte per bit
    bool wellFormed = false;
};

TargetSlice readTarget(const std::vector<uint8_t>& annexB) {
    TargetSlice t;
    const std::vector<NalUnitSpan> units = splitAnnexB(annexB.data(), annexB.size());
    if (units.size() != 1 || annexB.size() < 4 || annexB[3] != 1) return t;
    t.nalHeader = units[0].data[0];
    const std::vector<uint8_t> rbsp = unescapeRbsp(units[0].data + 1, units[0].size - 1);
    BitReader r(rbsp.data(), rbsp.size());
    t.firstMb = r.readUe();
    t.sliceType = r.readUe();
    t.ppsId = r.readUe();
    t.frameNum = r.readBits(9);
    if ((t.nalHeader & 0x1F) == 5) t.idrPicId = r.readUe();
    t.pocLsb = r.readBits(10);
    if (t.sliceType % 5 == 0) {
        t.refIdxOverride = r.readBit() != 0;
        if (t.refIdxOverride) t.refIdxMinus1 = r.readUe();
        if (r.readBit() != 0) return t;  // no modification was written
    }
    if ((t.nalHeader & 0x60) != 0) {
        if ((t.nalHeader & 0x1F) == 5) {
            if (r.readBits(2) != 0) return t;
        } else if (r.readBit() != 0) {
            for (uint32_t op = r.readUe(); !r.failed(); op = r.readUe()) {
                t.markingOperations.push_back(op);
                if (op == 0) break;
                t.markingOperations.push_back(r.readUe());
            }
        }
    }
    t.qpDelta = r.readSe();
    const size_t stop = r.stopBitPosition();
    while (r.bitPosition() < stop) t.dataBits.push_back(static_cast<uint8_t>(r.readBit()));
    t.wellFormed = !r.failed() && stop + 8 > r.bitSize() && stop / 8 == rbsp.size() - 1;
    return t;
}

std::vector<uint8_t> expectedDataBits() {
    std::vector<uint8_t> bits;
    BitReader r(kData.data(), kData.size());
    for (size_t i = 0; i < kDataBits; ++i) bits.push_back(static_cast<uint8_t>(r.readBit()));
    return bits;
}

class SliceRewriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        const RawParameterSet& set = *rawParameterSet(1, 0);  // 352 x 288
        const std::vector<uint8_t> spsRbsp = rbspOf(set, 7);
        const std::vector<uint8_t> ppsRbsp = rbspOf(set, 8);
        targetSps = *parseSequenceParameterSet(spsRbsp.data(), spsRbsp.size());
        targetPps = *parsePictureParameterSet(ppsRbsp.data(), ppsRbsp.size());
        sourceSps = targetSps;
        sourceSps.log2MaxFrameNum = 4;
        sourceSps.picOrderCntType = 2;
        sourceSps.vuiPresent = true;
        sourcePps = targetPps;
        sourcePps.picInitQp = 30;
        sourcePps.deblockingFilterControlPresent = true;
    }

    bool configure(std::string* error = nullptr) {
        return rewriter.configure(sourceSps, sourcePps, targetSps, targetPps, error);
    }

    // Rewrites and reads back; a refused slice gives a malformed result.
    TargetSlice rewrite(const SourceSlice& slice, std::string* error = nullptr) {
        const std::vector<uint8_t> nal = slice.nal();
        std::vector<uint8_t> out;
        if (!rewriter.rewrite(nal.data(), nal.size(), out, error)) {
            EXPECT_TRUE(out.empty());
            return {};
        }
        return readTarget(out);
    }

    SequenceParameterSet sourceSps, targetSps;
    PictureParameterSet sourcePps, targetPps;
    SliceRewriter rewriter;
};

// A group of 40 pictures: frame_num passes the source's 4-bit range and is
// written with 9 bits; the POC LSB counts two per picture; the slice QP is
// kept against the other pic_init_qp; the data bits follow unchanged.
TEST_F(SliceRewriterTest, RenumbersPicturesAndKeepsQpAndData) {
    ASSERT_TRUE(configure());
    const std::vector<uint8_t> data = expectedDataBits();
    SourceSlice idr;
    idr.idrPicId = 3;
    idr.qpDelta = -8;
    const TargetSlice first = rewrite(idr);
    ASSERT_TRUE(first.wellFormed);
    EXPECT_EQ(first.nalHeader, 0x65);
    EXPECT_EQ(first.sliceType, 7u);
    EXPECT_EQ(first.ppsId, 0u);
    EXPECT_EQ(first.frameNum, 0u);
    EXPECT_EQ(first.idrPicId, 3u);
    EXPECT_EQ(first.pocLsb, 0u);
    EXPECT_EQ(first.qpDelta, 30 - 8 - 26);
    EXPECT_EQ(first.dataBits, data);
    for (uint32_t n = 1; n < 40; ++n) {
        SourceSlice p;
        p.nalType = 1;
        p.refIdc = 2;
        p.sliceType = 5;
        p.frameNum = n % 16;
        p.qpDelta = static_cast<int32_t>(n % 5) - 2;
        const TargetSlice t = rewrite(p);
        ASSERT_TRUE(t.wellFormed) << n;
        EXPECT_EQ(t.nalHeader, 0x41);
        EXPECT_EQ(t.frameNum, n);
        EXPECT_EQ(t.pocLsb, 2 * n);
        EXPECT_FALSE(t.refIdxOverride);
        EXPECT_EQ(t.qpDelta, 30 + static_cast<int32_t>(n % 5) - 2 - 26);
        EXPECT_EQ(t.dataBits, data);
    }
    // A new IDR picture starts over.
    idr.idrPicId = 4;
    const TargetSlice again = rewrite(idr);
    EXPECT_EQ(again.frameNum, 0u);
    EXPECT_EQ(again.pocLsb, 0u);
    EXPECT_EQ(again.idrPicId, 4u);
}

TEST_F(SliceRewriterTest, FurtherSlicesOfAPictureShareItsNumbers) {
    ASSERT_TRUE(configure());
    ASSERT_TRUE(rewrite(SourceSlice{}).wellFormed);
    SourceSlice p;
    p.nalType = 1;
    p.refIdc = 2;
    p.sliceType = 0;
    p.frameNum = 1;
    const TargetSlice top = rewrite(p);
    p.firstMb = 198;
    const TargetSlice bottom = rewrite(p);
    ASSERT_TRUE(bottom.wellFormed);
    EXPECT_EQ(bottom.firstMb, 198u);
    EXPECT_EQ(bottom.frameNum, top.frameNum);
    EXPECT_EQ(bottom.pocLsb, top.pocLsb);
    p.frameNum = 2;  // a later picture cannot start in the middle
    std::string error;
    EXPECT_FALSE(rewrite(p, &error).wellFormed);
    EXPECT_FALSE(error.empty());
    p.firstMb = 396;  // past the last macroblock
    p.frameNum = 1;
    EXPECT_FALSE(rewrite(p).wellFormed);
}

// num_ref_idx_active keeps its value whatever the defaults of the two sets.
TEST_F(SliceRewriterTest, ReferenceCountIsCarriedOver) {
    sourcePps.numRefIdxL0DefaultActive = 2;
    ASSERT_TRUE(configure());
    ASSERT_TRUE(rewrite(SourceSlice{}).wellFormed);
    SourceSlice p;
    p.nalType = 1;
    p.refIdc = 2;
    p.sliceType = 5;
    p.frameNum = 1;
    const TargetSlice fromDefault = rewrite(p);  // source default 2: must be spelled out
    ASSERT_TRUE(fromDefault.wellFormed);
    EXPECT_TRUE(fromDefault.refIdxOverride);
    EXPECT_EQ(fromDefault.refIdxMinus1, 1u);
    p.frameNum = 2;
    p.refIdxOverride = 0;  // one reference, which is the target's default
    const TargetSlice overridden = rewrite(p);
    ASSERT_TRUE(overridden.wellFormed);
    EXPECT_FALSE(overridden.refIdxOverride);
}

TEST_F(SliceRewriterTest, MarkingOperationsAreCopied) {
    ASSERT_TRUE(configure());
    ASSERT_TRUE(rewrite(SourceSlice{}).wellFormed);
    SourceSlice p;
    p.nalType = 1;
    p.refIdc = 2;
    p.sliceType = 5;
    p.frameNum = 1;
    p.markingOperations = {1, 0, 0};
    const TargetSlice t = rewrite(p);
    ASSERT_TRUE(t.wellFormed);
    EXPECT_EQ(t.markingOperations, (std::vector<uint32_t>{1, 0, 0}));
    EXPECT_EQ(t.dataBits, expectedDataBits());
    p.frameNum = 2;
    p.markingOperations = {5, 0};  // renumbers pictures: refused
    EXPECT_FALSE(rewrite(p).wellFormed);
}

TEST_F(SliceRewriterTest, RefusesSlicesItCannotCarryOver) {
    ASSERT_TRUE(configure());
    const auto refused = [this](const SourceSlice& slice) {
        std::string error;
        const bool ok = rewrite(slice, &error).wellFormed;
        EXPECT_FALSE(error.empty());
        return !ok;
    };
    SourceSlice p;
    p.nalType = 1;
    p.refIdc = 2;
    p.sliceType = 5;
    p.frameNum = 0;
    EXPECT_TRUE(refused(p));  // no IDR picture yet
    ASSERT_TRUE(rewrite(SourceSlice{}).wellFormed);

    SourceSlice gap = p;
    gap.frameNum = 2;  // frame_num 1 is missing
    EXPECT_TRUE(refused(gap));
    SourceSlice deblock = p;
    deblock.frameNum = 1;
    deblock.deblockingIdc = 1;  // the target always deblocks
    EXPECT_TRUE(refused(deblock));
    SourceSlice offsets = p;
    offsets.frameNum = 1;
    offsets.alpha = 1;
    EXPECT_TRUE(refused(offsets));
    SourceSlice bSlice = p;
    bSlice.frameNum = 1;
    bSlice.sliceType = 1;
    EXPECT_TRUE(refused(bSlice));
    SourceSlice otherPps = p;
    otherPps.frameNum = 1;
    otherPps.ppsId = 1;
    EXPECT_TRUE(refused(otherPps));
    SourceSlice qp = p;
    qp.frameNum = 1;
    qp.qpDelta = 22;  // QP 52
    EXPECT_TRUE(refused(qp));
    SourceSlice empty = p;
    empty.frameNum = 1;
    empty.withData = false;
    EXPECT_TRUE(refused(empty));
    SourceSlice idrP;
    idrP.sliceType = 5;
    EXPECT_TRUE(refused(idrP));

    // The refusals left the numbering alone: frame_num 1 still comes next.
    p.frameNum = 1;
    EXPECT_EQ(rewrite(p).frameNum, 1u);

    std::vector<uint8_t> out;
    const std::vector<uint8_t> sei = {0x06, 0x05, 0x01, 0x80};
    EXPECT_FALSE(rewriter.rewrite(sei.data(), sei.size(), out));
    const std::vector<uint8_t> truncated = {0x65, 0x88};
    EXPECT_FALSE(rewriter.rewrite(truncated.data(), truncated.size(), out));
    EXPECT_FALSE(rewriter.rewrite(nullptr, 0, out));
    EXPECT_TRUE(out.empty());
}

// Each difference that changes how slice data decodes is refused up front.
TEST_F(SliceRewriterTest, RefusesParameterSetsThatDecodeDifferently) {
    const std::vector<std::pair<const char*, std::function<void(SequenceParameterSet&, PictureParameterSet&)>>>
        changes = {
            {"chroma offset", [](SequenceParameterSet&, PictureParameterSet& p) { p.chromaQpIndexOffset = 0; }},
            {"second chroma offset",
             [](SequenceParameterSet&, PictureParameterSet& p) { p.secondChromaQpIndexOffset = 0; }},
            {"CABAC", [](SequenceParameterSet&, PictureParameterSet& p) { p.entropyCodingMode = true; }},
            {"intra prediction", [](SequenceParameterSet&, PictureParameterSet& p) { p.constrainedIntraPred = false; }},
            {"8x8 transform", [](SequenceParameterSet&, PictureParameterSet& p) { p.transform8x8Mode = true; }},
            {"weighted prediction", [](SequenceParameterSet&, PictureParameterSet& p) { p.weightedPred = true; }},
            {"redundant pictures",
             [](SequenceParameterSet&, PictureParameterSet& p) { p.redundantPicCntPresent = true; }},
            {"width", [](SequenceParameterSet& s, PictureParameterSet&) { s.widthInMbs = 44; }},
            {"cropping", [](SequenceParameterSet& s, PictureParameterSet&) { s.frameCropping = true; }},
            {"references", [](SequenceParameterSet& s, PictureParameterSet&) { s.maxNumRefFrames = 2; }},
            {"fields", [](SequenceParameterSet& s, PictureParameterSet&) { s.frameMbsOnly = false; }},
            {"POC type 1", [](SequenceParameterSet& s, PictureParameterSet&) { s.picOrderCntType = 1; }},
            {"chroma format", [](SequenceParameterSet& s, PictureParameterSet&) { s.chromaFormatIdc = 0; }},
        };
    ASSERT_TRUE(configure());
    for (const auto& [name, change] : changes) {
        SequenceParameterSet sps = sourceSps;
        PictureParameterSet pps = sourcePps;
        change(sps, pps);
        std::string error;
        EXPECT_FALSE(rewriter.configure(sps, pps, targetSps, targetPps, &error)) << name;
        EXPECT_FALSE(error.empty()) << name;
        std::vector<uint8_t> out;
        const std::vector<uint8_t> nal = SourceSlice{}.nal();
        EXPECT_FALSE(rewriter.rewrite(nal.data(), nal.size(), out)) << name << ": left configured";
    }
}

}  // namespace
