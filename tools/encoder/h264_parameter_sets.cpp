#include "tools/encoder/h264_parameter_sets.h"

#include "tools/encoder/h264_bitstream.h"

namespace orvix::media {
namespace {

std::nullopt_t reject(std::string* error, const char* reason) {
    if (error) *error = reason;
    return std::nullopt;
}

bool skipScalingList(BitReader& reader, int size) {
    int lastScale = 8;
    int nextScale = 8;
    for (int j = 0; j < size; ++j) {
        if (nextScale != 0) {
            const int32_t delta = reader.readSe();
            if (delta < -128 || delta > 127) return false;
            nextScale = (lastScale + delta + 256) % 256;
        }
        lastScale = nextScale == 0 ? lastScale : nextScale;
    }
    return !reader.failed();
}

bool hasChromaFormatFields(int profileIdc) {
    switch (profileIdc) {
        case 100: case 110: case 122: case 244: case 44: case 83:
        case 86: case 118: case 128: case 138: case 139: case 134: case 135:
            return true;
        default:
            return false;
    }
}

}  // namespace

std::optional<SequenceParameterSet> parseSequenceParameterSet(const uint8_t* rbsp, size_t size,
                                                              std::string* error) {
    BitReader reader(rbsp, size);
    SequenceParameterSet sps;
    sps.profileIdc = static_cast<int>(reader.readBits(8));
    sps.constraintFlags = static_cast<int>(reader.readBits(8));
    sps.levelIdc = static_cast<int>(reader.readBits(8));
    const uint32_t id = reader.readUe();
    if (reader.failed() || id > 31) return reject(error, "bad sequence parameter set id");
    sps.id = static_cast<int>(id);

    if (hasChromaFormatFields(sps.profileIdc)) {
        const uint32_t chroma = reader.readUe();
        if (chroma > 3) return reject(error, "bad chroma format");
        sps.chromaFormatIdc = static_cast<int>(chroma);
        if (chroma == 3) sps.separateColourPlane = reader.readBit() != 0;
        const uint32_t lumaDepth = reader.readUe();
        const uint32_t chromaDepth = reader.readUe();
        if (lumaDepth > 6 || chromaDepth > 6) return reject(error, "bad bit depth");
        sps.bitDepthLuma = 8 + static_cast<int>(lumaDepth);
        sps.bitDepthChroma = 8 + static_cast<int>(chromaDepth);
        reader.readBit();  // qpprime_y_zero_transform_bypass_flag
        sps.scalingMatrixPresent = reader.readBit() != 0;
        if (sps.scalingMatrixPresent) {
            const int lists = chroma != 3 ? 8 : 12;
            for (int i = 0; i < lists; ++i) {
                if (reader.readBit() != 0 && !skipScalingList(reader, i < 6 ? 16 : 64))
                    return reject(error, "bad scaling list");
            }
        }
    }

    const uint32_t log2FrameNum = reader.readUe();
    if (log2FrameNum > 12) return reject(error, "bad log2_max_frame_num");
    sps.log2MaxFrameNum = 4 + static_cast<int>(log2FrameNum);

    const uint32_t pocType = reader.readUe();
    if (pocType > 2) return reject(error, "bad picture order count type");
    sps.picOrderCntType = static_cast<int>(pocType);
    if (pocType == 0) {
        const uint32_t log2Lsb = reader.readUe();
        if (log2Lsb > 12) return reject(error, "bad log2_max_pic_order_cnt_lsb");
        sps.log2MaxPicOrderCntLsb = 4 + static_cast<int>(log2Lsb);
    } else if (pocType == 1) {
        sps.deltaPicOrderAlwaysZero = reader.readBit() != 0;
        reader.readSe();  // offset_for_non_ref_pic
        reader.readSe();  // offset_for_top_to_bottom_field
        const uint32_t cycle = reader.readUe();
        if (cycle > 255) return reject(error, "bad picture order count cycle");
        for (uint32_t i = 0; i < cycle && !reader.failed(); ++i) reader.readSe();
    }

    const uint32_t refFrames = reader.readUe();
    if (refFrames > 16) return reject(error, "bad max_num_ref_frames");
    sps.maxNumRefFrames = static_cast<int>(refFrames);
    sps.gapsInFrameNumAllowed = reader.readBit() != 0;
    const uint32_t widthMbs = reader.readUe();
    const uint32_t heightUnits = reader.readUe();
    if (widthMbs > 1023 || heightUnits > 1023) return reject(error, "bad picture size");
    sps.widthInMbs = static_cast<int>(widthMbs) + 1;
    sps.heightInMapUnits = static_cast<int>(heightUnits) + 1;
    sps.frameMbsOnly = reader.readBit() != 0;
    if (!sps.frameMbsOnly) sps.mbAdaptiveFrameField = reader.readBit() != 0;
    sps.direct8x8Inference = reader.readBit() != 0;
    sps.frameCropping = reader.readBit() != 0;
    if (sps.frameCropping) {
        const uint32_t left = reader.readUe(), right = reader.readUe();
        const uint32_t top = reader.readUe(), bottom = reader.readUe();
        if (left > 8192 || right > 8192 || top > 8192 || bottom > 8192)
            return reject(error, "bad cropping");
        sps.cropLeft = static_cast<int>(left);
        sps.cropRight = static_cast<int>(right);
        sps.cropTop = static_cast<int>(top);
        sps.cropBottom = static_cast<int>(bottom);
    }
    sps.vuiPresent = reader.readBit() != 0;
    if (reader.failed()) return reject(error, "sequence parameter set is truncated");
    return sps;
}

std::optional<PictureParameterSet> parsePictureParameterSet(const uint8_t* rbsp, size_t size,
                                                            std::string* error) {
    BitReader reader(rbsp, size);
    PictureParameterSet pps;
    const uint32_t id = reader.readUe();
    const uint32_t spsId = reader.readUe();
    if (reader.failed() || id > 255 || spsId > 31)
        return reject(error, "bad picture parameter set id");
    pps.id = static_cast<int>(id);
    pps.spsId = static_cast<int>(spsId);
    pps.entropyCodingMode = reader.readBit() != 0;
    pps.bottomFieldPicOrderInFramePresent = reader.readBit() != 0;
    const uint32_t sliceGroups = reader.readUe();
    if (sliceGroups != 0) return reject(error, "slice groups are not supported");
    const uint32_t refL0 = reader.readUe();
    const uint32_t refL1 = reader.readUe();
    if (refL0 > 31 || refL1 > 31) return reject(error, "bad reference index count");
    pps.numRefIdxL0DefaultActive = static_cast<int>(refL0) + 1;
    pps.numRefIdxL1DefaultActive = static_cast<int>(refL1) + 1;
    pps.weightedPred = reader.readBit() != 0;
    pps.weightedBipredIdc = static_cast<int>(reader.readBits(2));
    const int32_t initQp = reader.readSe();
    const int32_t initQs = reader.readSe();
    const int32_t chromaOffset = reader.readSe();
    if (initQp < -62 || initQp > 25 || initQs < -26 || initQs > 25)
        return reject(error, "bad initial quantiser");
    if (chromaOffset < -12 || chromaOffset > 12) return reject(error, "bad chroma offset");
    pps.picInitQp = 26 + initQp;
    pps.picInitQs = 26 + initQs;
    pps.chromaQpIndexOffset = chromaOffset;
    pps.secondChromaQpIndexOffset = chromaOffset;
    pps.deblockingFilterControlPresent = reader.readBit() != 0;
    pps.constrainedIntraPred = reader.readBit() != 0;
    pps.redundantPicCntPresent = reader.readBit() != 0;
    if (reader.failed()) return reject(error, "picture parameter set is truncated");
    if (reader.moreRbspData()) {
        pps.transform8x8Mode = reader.readBit() != 0;
        pps.picScalingMatrixPresent = reader.readBit() != 0;
        if (pps.picScalingMatrixPresent)
            return reject(error, "picture scaling matrices are not supported");
        const int32_t second = reader.readSe();
        if (reader.failed() || second < -12 || second > 12)
            return reject(error, "bad second chroma offset");
        pps.secondChromaQpIndexOffset = second;
    }
    return pps;
}

}  // namespace orvix::media
