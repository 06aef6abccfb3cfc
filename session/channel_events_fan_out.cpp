#include "session/channel_events_fan_out.h"

#include <mutex>

namespace orvix {

void ChannelEventsFanOut::setGuest(ChannelEvents* guest, const ChannelSet& channels) {
    std::unique_lock<std::shared_mutex> lock(guestMutex_);
    guest_ = channels.empty() ? nullptr : guest;
    guestChannels_ = guest_ != nullptr ? channels.mask() : 0;
}

void ChannelEventsFanOut::picture(int channel, const ChannelPicture& frame) {
    if (owns(channel)) owner_->picture(channel, frame);
    std::shared_lock<std::shared_mutex> lock(guestMutex_);
    if (guestWatches(channel)) guest_->picture(channel, frame);
}

std::pair<int, int> ChannelEventsFanOut::pictureSize(int channel, int width, int height) {
    // The owner's size where both show it: the guest's views scale on their own.
    if (owns(channel)) return owner_->pictureSize(channel, width, height);
    std::shared_lock<std::shared_mutex> lock(guestMutex_);
    return guestWatches(channel) ? guest_->pictureSize(channel, width, height) : std::pair<int, int>{width, height};
}

bool ChannelEventsFanOut::decodes(int channel) {
    if (owns(channel) && owner_->decodes(channel)) return true;
    std::shared_lock<std::shared_mutex> lock(guestMutex_);
    return guestWatches(channel) && guest_->decodes(channel);
}

void ChannelEventsFanOut::packet(int channel, const AccessUnit& unit) {
    if (owns(channel)) owner_->packet(channel, unit);
    std::shared_lock<std::shared_mutex> lock(guestMutex_);
    if (guestWatches(channel)) guest_->packet(channel, unit);
}

void ChannelEventsFanOut::oversized(int channel, int width, int height) {
    if (owns(channel)) owner_->oversized(channel, width, height);
    std::shared_lock<std::shared_mutex> lock(guestMutex_);
    if (guestWatches(channel)) guest_->oversized(channel, width, height);
}

void ChannelEventsFanOut::dropped(int channel, uint64_t total) {
    if (owns(channel)) owner_->dropped(channel, total);
    std::shared_lock<std::shared_mutex> lock(guestMutex_);
    if (guestWatches(channel)) guest_->dropped(channel, total);
}

}  // namespace orvix
