#include "tools/encoder/h264_slice_rewriter.h"

#include "tools/encoder/h264_bitstream.h"

namespace orvix::media {
namespace {

constexpr int kSliceP = 0;
constexpr int kSliceI = 2;
constexpr int kNalSlice = 1;
constexpr int kNalIdrSlice = 5;

bool reject(std::string* error, const std::string& reason) {
    if (error) *error = reason;
    return false;
}

// Walks ref_pic_list_modification() of a P slice.
bool skipRefPicListModification(BitReader& reader) {
    if (reader.readBit() == 0) return !reader.failed();
    for (int i = 0; i <= 32; ++i) {
        const uint32_t idc = reader.readUe();
        if (reader.failed()) return false;
        if (idc == 3) return true;
        if (idc > 2) return false;
        reader.readUe();  // abs_diff_pic_num_minus1 or long_term_pic_num
    }
    return false;
}

// Walks dec_ref_pic_marking(). Operation 5 (which renumbers frame_num and the
// picture order count behind the rewriter's back) is refused.
bool skipDecRefPicMarking(BitReader& reader, bool idr, std::string* error) {
    if (idr) {
        reader.readBit();  // no_output_of_prior_pics_flag
        if (reader.readBit() != 0) return reject(error, "long-term IDR pictures are not supported");
        return !reader.failed();
    }
    if (reader.readBit() == 0) return !reader.failed();
    for (int i = 0; i <= 66; ++i) {
        const uint32_t operation = reader.readUe();
        if (reader.failed()) break;
        if (operation == 0) return true;
        if (operation == 5) return reject(error, "memory management operation 5 is not supported");
        if (operation > 6) break;
        if (operation == 1 || operation == 3) reader.readUe();  // difference_of_pic_nums_minus1
        if (operation == 2) reader.readUe();                     // long_term_pic_num
        if (operation == 3 || operation == 6) reader.readUe();  // long_term_frame_idx
        if (operation == 4) reader.readUe();                     // max_long_term_frame_idx_plus1
    }
    return reject(error, "bad reference picture marking");
}

}  // namespace

bool SliceRewriter::configure(const SequenceParameterSet& sourceSps, const PictureParameterSet& sourcePps,
                              const SequenceParameterSet& targetSps, const PictureParameterSet& targetPps,
                              std::string* error) {
    configured_ = false;
    reset();
    if (sourcePps.spsId != sourceSps.id || targetPps.spsId != targetSps.id)
        return reject(error, "picture parameter set refers to another sequence parameter set");
    if (!sourceSps.frameMbsOnly || !targetSps.frameMbsOnly)
        return reject(error, "only frame pictures are supported");
    if (sourceSps.chromaFormatIdc != targetSps.chromaFormatIdc || sourceSps.separateColourPlane ||
        targetSps.separateColourPlane || sourceSps.bitDepthLuma != targetSps.bitDepthLuma ||
        sourceSps.bitDepthChroma != targetSps.bitDepthChroma)
        return reject(error, "sample format differs");
    if (sourceSps.scalingMatrixPresent || targetSps.scalingMatrixPresent)
        return reject(error, "scaling matrices are not supported");
    if (sourceSps.widthInMbs != targetSps.widthInMbs || sourceSps.heightInMapUnits != targetSps.heightInMapUnits)
        return reject(error, "picture size differs: " + std::to_string(sourceSps.widthInPixels()) + "x" +
                                 std::to_string(sourceSps.heightInPixels()) + " against " +
                                 std::to_string(targetSps.widthInPixels()) + "x" +
                                 std::to_string(targetSps.heightInPixels()));
    if (sourceSps.frameCropping != targetSps.frameCropping || sourceSps.cropLeft != targetSps.cropLeft ||
        sourceSps.cropRight != targetSps.cropRight || sourceSps.cropTop != targetSps.cropTop ||
        sourceSps.cropBottom != targetSps.cropBottom)
        return reject(error, "cropping differs");
    if (sourceSps.picOrderCntType == 1 || targetSps.picOrderCntType == 1)
        return reject(error, "picture order count type 1 is not supported");
    if (sourceSps.maxNumRefFrames != targetSps.maxNumRefFrames)
        return reject(error, "reference frame count differs: " + std::to_string(sourceSps.maxNumRefFrames) +
                                 " against " + std::to_string(targetSps.maxNumRefFrames));
    if (sourcePps.entropyCodingMode || targetPps.entropyCodingMode)
        return reject(error, "only CAVLC slices are supported");
    if (sourcePps.bottomFieldPicOrderInFramePresent || targetPps.bottomFieldPicOrderInFramePresent)
        return reject(error, "bottom field picture order is not supported");
    if (sourcePps.weightedPred || targetPps.weightedPred)
        return reject(error, "weighted prediction is not supported");
    if (sourcePps.chromaQpIndexOffset != targetPps.chromaQpIndexOffset ||
        sourcePps.secondChromaQpIndexOffset != targetPps.secondChromaQpIndexOffset)
        return reject(error, "chroma QP offset differs: " + std::to_string(sourcePps.chromaQpIndexOffset) +
                                 " against " + std::to_string(targetPps.chromaQpIndexOffset));
    if (sourcePps.constrainedIntraPred != targetPps.constrainedIntraPred)
        return reject(error, "constrained intra prediction differs");
    if (sourcePps.transform8x8Mode != targetPps.transform8x8Mode)
        return reject(error, "8x8 transform mode differs");
    if (sourcePps.redundantPicCntPresent || targetPps.redundantPicCntPresent)
        return reject(error, "redundant pictures are not supported");
    sourceSps_ = sourceSps;
    sourcePps_ = sourcePps;
    targetSps_ = targetSps;
    targetPps_ = targetPps;
    configured_ = true;
    return true;
}

void SliceRewriter::reset() {
    started_ = false;
    currentIdr_ = false;
    currentSourceFrameNum_ = 0;
    frameNumber_ = 0;
    prevRefFrameNumber_ = 0;
    pictureCount_ = 0;
}

bool SliceRewriter::rewrite(const uint8_t* nal, size_t size, std::vector<uint8_t>& out, std::string* error) {
    if (!configured_) return reject(error, "slice rewriter is not configured");
    if (nal == nullptr || size < 2 || (nal[0] & 0x80) != 0) return reject(error, "bad NAL unit");
    const int nalType = nal[0] & 0x1F;
    const int refIdc = (nal[0] >> 5) & 0x03;
    if (nalType != kNalSlice && nalType != kNalIdrSlice) return reject(error, "not a coded slice");
    const bool idr = nalType == kNalIdrSlice;
    if (idr && refIdc == 0) return reject(error, "IDR slice without reference");

    const std::vector<uint8_t> rbsp = unescapeRbsp(nal + 1, size - 1);
    BitReader reader(rbsp.data(), rbsp.size());

    const uint32_t firstMb = reader.readUe();
    const uint32_t sliceType = reader.readUe();
    const uint32_t ppsId = reader.readUe();
    const uint32_t sourceFrameNum = reader.readBits(sourceSps_.log2MaxFrameNum);
    uint32_t idrPicId = 0;
    if (idr) idrPicId = reader.readUe();
    if (sourceSps_.picOrderCntType == 0) reader.readBits(sourceSps_.log2MaxPicOrderCntLsb);
    if (reader.failed()) return reject(error, "slice header is truncated");
    const uint32_t totalMbs = static_cast<uint32_t>(sourceSps_.widthInMbs * sourceSps_.heightInMapUnits);
    if (firstMb >= totalMbs) return reject(error, "bad first macroblock");
    if (sliceType > 9) return reject(error, "bad slice type");
    const int baseType = static_cast<int>(sliceType % 5);
    if (baseType != kSliceP && baseType != kSliceI) return reject(error, "only I and P slices are supported");
    if (idr && baseType != kSliceI) return reject(error, "IDR picture with a P slice");
    if (ppsId != static_cast<uint32_t>(sourcePps_.id)) return reject(error, "slice refers to another parameter set");
    if (idrPicId > 65535) return reject(error, "bad idr_pic_id");

    int refIdxActive = 0;
    if (baseType == kSliceP) {
        refIdxActive = sourcePps_.numRefIdxL0DefaultActive;
        if (reader.readBit() != 0) {
            const uint32_t count = reader.readUe();
            if (count > 15) return reject(error, "bad reference index count");
            refIdxActive = static_cast<int>(count) + 1;
        }
    }
    // ref_pic_list_modification() and dec_ref_pic_marking() do not depend on
    // the parameter sets: their bits are copied as they stand.
    const size_t copiedFrom = reader.bitPosition();
    if (baseType == kSliceP && !skipRefPicListModification(reader))
        return reject(error, "bad reference list modification");
    if (refIdc != 0 && !skipDecRefPicMarking(reader, idr, error)) return false;
    const size_t copiedTo = reader.bitPosition();

    const int sliceQp = sourcePps_.picInitQp + reader.readSe();
    if (sliceQp < 0 || sliceQp > 51) return reject(error, "bad slice QP");
    uint32_t deblockingIdc = 0;
    int32_t alphaOffset = 0, betaOffset = 0;
    if (sourcePps_.deblockingFilterControlPresent) {
        deblockingIdc = reader.readUe();
        if (deblockingIdc > 2) return reject(error, "bad deblocking filter mode");
        if (deblockingIdc != 1) {
            alphaOffset = reader.readSe();
            betaOffset = reader.readSe();
        }
    }
    if (reader.failed()) return reject(error, "slice header is truncated");
    if (!targetPps_.deblockingFilterControlPresent && (deblockingIdc != 0 || alphaOffset != 0 || betaOffset != 0))
        return reject(error, "slice deblocking differs from the default the target implies");
    const size_t dataFrom = reader.bitPosition();
    const size_t dataTo = reader.stopBitPosition();
    if (dataTo >= reader.bitSize() || dataTo <= dataFrom) return reject(error, "slice has no data");

    // Number the picture. frame_num counts reference pictures since the IDR
    // picture; the source's value must agree with that count.
    const uint64_t sourceMaxFrameNum = uint64_t{1} << sourceSps_.log2MaxFrameNum;
    if (firstMb == 0) {
        uint64_t frameNumber = 0;
        if (!idr) {
            if (!started_) return reject(error, "the stream must start with an IDR picture");
            frameNumber = prevRefFrameNumber_ + 1;
        }
        if (frameNumber % sourceMaxFrameNum != sourceFrameNum)
            return reject(error, "frame_num " + std::to_string(sourceFrameNum) + " is not the expected " +
                                     std::to_string(frameNumber % sourceMaxFrameNum));
        started_ = true;
        currentIdr_ = idr;
        currentSourceFrameNum_ = sourceFrameNum;
        frameNumber_ = frameNumber;
        pictureCount_ = idr ? 0 : pictureCount_ + 1;
        if (refIdc != 0) prevRefFrameNumber_ = frameNumber;
    } else if (!started_ || idr != currentIdr_ || sourceFrameNum != currentSourceFrameNum_) {
        return reject(error, "slice does not belong to the current picture");
    }

    BitWriter writer;
    writer.writeUe(firstMb);
    writer.writeUe(sliceType);
    writer.writeUe(static_cast<uint32_t>(targetPps_.id));
    const uint64_t targetMaxFrameNum = uint64_t{1} << targetSps_.log2MaxFrameNum;
    writer.writeBits(static_cast<uint32_t>(frameNumber_ % targetMaxFrameNum), targetSps_.log2MaxFrameNum);
    if (idr) writer.writeUe(idrPicId);
    if (targetSps_.picOrderCntType == 0) {
        // Pictures are shown in decoding order: two counts per frame picture.
        const uint64_t maxLsb = uint64_t{1} << targetSps_.log2MaxPicOrderCntLsb;
        writer.writeBits(static_cast<uint32_t>((2 * pictureCount_) % maxLsb), targetSps_.log2MaxPicOrderCntLsb);
    }
    if (baseType == kSliceP) {
        const bool overrideCount = refIdxActive != targetPps_.numRefIdxL0DefaultActive;
        writer.writeBit(overrideCount ? 1 : 0);
        if (overrideCount) writer.writeUe(static_cast<uint32_t>(refIdxActive - 1));
    }
    writer.copyBits(rbsp.data(), rbsp.size(), copiedFrom, copiedTo);
    writer.writeSe(sliceQp - targetPps_.picInitQp);
    if (targetPps_.deblockingFilterControlPresent) {
        writer.writeUe(deblockingIdc);
        if (deblockingIdc != 1) {
            writer.writeSe(alphaOffset);
            writer.writeSe(betaOffset);
        }
    }
    writer.copyBits(rbsp.data(), rbsp.size(), dataFrom, dataTo);
    writer.writeTrailingBits();
    if (writer.failed()) return reject(error, "slice could not be written");
    appendNalUnit(nal[0], writer.bytes(), out);
    return true;
}

}  // namespace orvix::media
