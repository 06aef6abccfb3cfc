#include "tools/recorder_sim/channel_stream.h"

#include <algorithm>

namespace orvix::sim {
namespace {

constexpr int kReferenceArea = 352 * 288;
constexpr int64_t kReferenceBitRate = 800000;

}  // namespace

ChannelStream::ChannelStream(const SimOptions& options, const SimProfile& profile)
    : width_(options.width), height_(options.height), framesPerSecond_(options.framesPerSecond) {
    settings_.codec = profile.codec == VideoCodec::H264 ? media::Codec::H264 : media::Codec::Mpeg4;
    settings_.width = options.width;
    settings_.height = options.height;
    settings_.framesPerSecond = options.framesPerSecond;
    // Key pictures are asked for explicitly, once a second and on demand.
    settings_.keyInterval = 600;  // longer than any second; the MPEG-4 encoder allows no more
    const int64_t rate = kReferenceBitRate * options.width * options.height / kReferenceArea;
    settings_.bitRate = static_cast<int>(std::clamp<int64_t>(rate, 200000, 4000000));
    settings_.fixedParameterSets = profile.frameKind == FrameKind::Header32Raw;
    settings_.videoStandardBit = profile.videoStandardBit;
    settings_.resolutionCode = profile.resolutionCode;
    picture_.assign(static_cast<size_t>(width_) * height_ * 4, 0);
}

void ChannelStream::restartKeys() {
    framesSinceKey_ = 0;
    // A loop starts again at its first picture, a key picture.
    loopPosition_ = 0;
}

void ChannelStream::requestKey() {
    keyWanted_ = true;
    loopPosition_ = 0;
}

bool ChannelStream::keyDue() const {
    if (!loop_.empty()) return loop_[loopPosition_].key;
    return framesSinceKey_ == 0 || keyWanted_;
}

void ChannelStream::skipPicture() {
    framesSinceKey_ = (framesSinceKey_ + 1) % framesPerSecond_;
    if (!loop_.empty()) loopPosition_ = (loopPosition_ + 1) % loop_.size();
}

bool ChannelStream::prepareLoop(const PictureContent& content, int seconds, std::string& error) {
    std::vector<media::EncodedPicture> pictures;
    PictureContent frame = content;
    restartKeys();
    for (int i = 0; i < seconds * framesPerSecond_; ++i) {
        frame.frameNumber = content.frameNumber + static_cast<uint64_t>(i);
        media::EncodedPicture picture;
        if (!encode(frame, picture, error)) return false;
        pictures.push_back(std::move(picture));
    }
    loop_ = std::move(pictures);
    loopPosition_ = 0;
    return true;
}

bool ChannelStream::encode(const PictureContent& content, media::EncodedPicture& out, std::string& error) {
    if (!loop_.empty()) {
        out = loop_[loopPosition_];
        loopPosition_ = (loopPosition_ + 1) % loop_.size();
        return true;
    }
    if (!encoder_.isOpen() && !encoder_.open(settings_, &error)) {
        keyWanted_ = true;
        return false;
    }
    paintPicture(content, picture_.data(), width_, height_, width_ * 4);
    if (keyDue()) encoder_.requestKeyPicture();
    const bool wasKeyDue = keyDue();
    framesSinceKey_ = (framesSinceKey_ + 1) % framesPerSecond_;
    keyWanted_ = false;
    if (!encoder_.encode(picture_.data(), width_ * 4, out)) {
        error = encoder_.lastError();
        keyWanted_ = true;
        return false;
    }
    if (wasKeyDue && !out.key) {
        error = "the encoder gave no key picture when asked";
        keyWanted_ = true;
        return false;
    }
    return true;
}

}  // namespace orvix::sim
