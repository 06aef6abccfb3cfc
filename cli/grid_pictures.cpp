#include "cli/grid_pictures.h"

#include <cstring>
#include <utility>

#include "cli/segmented_recording.h"

namespace orvix::cli {

void GridPictures::picture(int channel, const ChannelPicture& frame) {
    if (channel < 0 || channel >= 16 || frame.pixels == nullptr || frame.width <= 0 || frame.height <= 0) return;
    if (recorder_ != nullptr) {
        // The recording keeps the pictures as the codec gave them.
        const bool decodedKnown = frame.decodedWidth > 0 && frame.decodedHeight > 0;
        recorder_->pictureSize(channel, decodedKnown ? frame.decodedWidth : frame.width,
                               decodedKnown ? frame.decodedHeight : frame.height);
    }
    const uint32_t seconds = static_cast<uint32_t>(overlaySeconds(frame.recorderSeconds));
    if (keepPictures_) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!frozen_) {
            ChannelKept& kept = kept_[static_cast<size_t>(channel)];
            const size_t rowBytes = static_cast<size_t>(frame.width) * 4;
            kept.pixels.resize(rowBytes * static_cast<size_t>(frame.height));
            for (int y = 0; y < frame.height; ++y) {
                std::memcpy(kept.pixels.data() + rowBytes * static_cast<size_t>(y),
                            frame.pixels + static_cast<size_t>(frame.rowBytes) * static_cast<size_t>(y), rowBytes);
            }
            kept.width = frame.width;
            kept.height = frame.height;
            kept.seconds = seconds;
        }
    }
    PictureEvent event;
    event.width = frame.width;
    event.height = frame.height;
    event.channel = channel;
    event.timeKnown = true;
    event.seconds = seconds;
    loop_.postPicture(event);
}

void GridPictures::packet(int channel, const AccessUnit& unit) {
    if (recorder_ != nullptr) recorder_->packet(channel, unit);
}

void GridPictures::oversized(int channel, int width, int height) {
    if (recorder_ != nullptr) recorder_->pictureSize(channel, width, height);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        oversized_.push_back(Oversized{channel, width, height});
    }
    loop_.wake();
}

std::vector<GridPictures::Oversized> GridPictures::takeOversized() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(oversized_, {});
}

void GridPictures::freeze() {
    std::lock_guard<std::mutex> lock(mutex_);
    frozen_ = true;
}

ChannelKept GridPictures::kept(int channel) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (channel < 0 || channel >= 16) return {};
    return kept_[static_cast<size_t>(channel)];
}

}  // namespace orvix::cli
