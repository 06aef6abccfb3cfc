// The fields of H.264 sequence and picture parameter sets that decide how a
// slice header is laid out and how the slice data decodes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace orvix::media {

struct SequenceParameterSet {
    int profileIdc = 0;
    int constraintFlags = 0;
    int levelIdc = 0;
    int id = 0;
    int chromaFormatIdc = 1;
    bool separateColourPlane = false;
    int bitDepthLuma = 8;
    int bitDepthChroma = 8;
    bool scalingMatrixPresent = false;
    int log2MaxFrameNum = 4;
    int picOrderCntType = 0;
    int log2MaxPicOrderCntLsb = 4;  // type 0 only
    bool deltaPicOrderAlwaysZero = false;  // type 1 only
    int maxNumRefFrames = 0;
    bool gapsInFrameNumAllowed = false;
    int widthInMbs = 0;
    int heightInMapUnits = 0;
    bool frameMbsOnly = true;
    bool mbAdaptiveFrameField = false;
    bool direct8x8Inference = false;
    bool frameCropping = false;
    int cropLeft = 0, cropRight = 0, cropTop = 0, cropBottom = 0;
    bool vuiPresent = false;

    int widthInPixels() const { return widthInMbs * 16; }
    int heightInPixels() const { return heightInMapUnits * 16 * (frameMbsOnly ? 1 : 2); }
};

struct PictureParameterSet {
    int id = 0;
    int spsId = 0;
    bool entropyCodingMode = false;  // true: CABAC
    bool bottomFieldPicOrderInFramePresent = false;
    int numSliceGroups = 1;
    int numRefIdxL0DefaultActive = 1;
    int numRefIdxL1DefaultActive = 1;
    bool weightedPred = false;
    int weightedBipredIdc = 0;
    int picInitQp = 26;
    int picInitQs = 26;
    int chromaQpIndexOffset = 0;
    bool deblockingFilterControlPresent = false;
    bool constrainedIntraPred = false;
    bool redundantPicCntPresent = false;
    bool transform8x8Mode = false;
    bool picScalingMatrixPresent = false;
    int secondChromaQpIndexOffset = 0;  // equals chromaQpIndexOffset when absent
};

// Parse the RBSP of a NAL unit (the bytes after the one-byte NAL header, with
// emulation prevention removed). Malformed or out-of-range input gives
// nothing and, if `error` is set, a reason.
std::optional<SequenceParameterSet> parseSequenceParameterSet(const uint8_t* rbsp, size_t size,
                                                              std::string* error = nullptr);
std::optional<PictureParameterSet> parsePictureParameterSet(const uint8_t* rbsp, size_t size,
                                                            std::string* error = nullptr);

}  // namespace orvix::media
