#include "session/channel_pictures.h"

#include <algorithm>

#include "link/recorder_connection.h"
#include "media/access_unit.h"

namespace orvix {

ChannelPictures::ChannelPictures(int channel) : channel_(channel), rawConfig_(kRawConfigInitial) {
    decoder_.setConvertedSize([this](int width, int height) { return pictureSize(width, height); });
}

void ChannelPictures::add(PictureTarget* target) {
    if (target == nullptr) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (std::find(targets_.begin(), targets_.end(), target) == targets_.end()) targets_.push_back(target);
    wanted_.store(true);
}

void ChannelPictures::remove(PictureTarget* target) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::erase(targets_, target);
    wanted_.store(!targets_.empty());
}

std::pair<int, int> ChannelPictures::pictureSize(int width, int height) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (targets_.empty()) return {width, height};
    const std::pair<int, int> first = targets_.front()->pictureSize(width, height);
    for (size_t i = 1; i < targets_.size(); ++i) {
        if (targets_[i]->pictureSize(width, height) != first) return {width, height};
    }
    return first;
}

void ChannelPictures::deliver(const ChannelPicture& picture) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (PictureTarget* target : targets_) target->picture(picture);
}

void ChannelPictures::decodePacket(const uint8_t* slot, size_t length, FrameKind kind, const DeviceRecord& record) {
    // A new stream, or one whose packets went by unread: the configuration
    // memory starts afresh and decoding at the next key picture.
    if (restart_.exchange(false) || !wanted()) {
        rawConfig_ = kRawConfigInitial;
        awaitKey_ = true;
        if (!wanted()) return;
    }
    AccessUnit unit;
    const AccessUnitStep step = readAccessUnit(slot, length, kind, channel_, rawConfig_, unit);
    if (step == AccessUnitStep::NoParameterSet) decoder_.reportMissingParameterSet(unit.resolutionCode);
    if (step != AccessUnitStep::Ready || (awaitKey_ && !unit.keyPicture)) return;
    awaitKey_ = false;
    ChannelPicture picture;
    if (decoder_.decode(unit, rawConfig_, record, picture)) deliver(picture);
}

}  // namespace orvix
