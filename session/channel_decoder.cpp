#include "session/channel_decoder.h"

namespace orvix {
namespace {

// The size a channel's decoder opens with (the pictures set their own).
constexpr int kOpenWidth = 720;
constexpr int kOpenHeight = 576;

}  // namespace

ChannelDecoder::~ChannelDecoder() { close(); }

bool ChannelDecoder::decode(const AccessUnit& unit, uint8_t& rawConfig, const DeviceRecord& record,
                            ChannelPicture& picture) {
    const int32_t model = record.modelIndex.load();
    if (decoder_ == nullptr) {
        decoder_ = std::make_unique<VideoDecoder>();
        if (size_) decoder_->setConvertedSize(size_);
        if (admission_) decoder_->setAdmission(admission_);
    }
    if (openedModel_ != model) {
        if (decoder_->open(kOpenWidth, kOpenHeight, record) != 1) return false;
        openedModel_ = model;
    }
    const DecodedPicture decoded = decoder_->decodeAccessUnit(unit, rawConfig);
    if (!decoded) return false;
    picture.pixels = decoded.pixels;
    picture.width = decoded.width;
    picture.height = decoded.height;
    picture.rowBytes = decoded.width * 4;
    picture.recorderSeconds = unit.recorderSeconds;
    picture.decodedWidth = decoded.decodedWidth;
    picture.decodedHeight = decoded.decodedHeight;
    return true;
}

void ChannelDecoder::reportMissingParameterSet(int resolutionCode) {
    if (decoder_ != nullptr) decoder_->reportMissingParameterSet(resolutionCode);
}

void ChannelDecoder::close() {
    if (decoder_ != nullptr) decoder_->close();
    openedModel_ = -1;
}

}  // namespace orvix
