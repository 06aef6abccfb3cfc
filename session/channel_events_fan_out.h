// The channel events of a session whose connection also carries another
// front end's channels (a guest's: the recorder pool's, while the same
// recorder is shown in a window of its own): each channel's pictures and
// packets go to the owner for the channels it shows and to the guest for
// those it watches, so that one connection serves both.
//
// The owner is set before the decode workers start; the sets change on the
// owner's thread while they run. setGuest() returns once no call into the
// guest it replaced runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <shared_mutex>

#include "core/channel_set.h"
#include "session/channel_events.h"

namespace orvix {

class ChannelEventsFanOut final : public ChannelEvents {
public:
    void setOwner(ChannelEvents* owner) { owner_ = owner; }
    // The channels the owner is given (a shown set; none for a single view).
    void setOwned(const ChannelSet& channels) { owned_.store(channels.mask()); }
    void setGuest(ChannelEvents* guest, const ChannelSet& channels);

    // Decode workers and link thread.
    void picture(int channel, const ChannelPicture& frame) override;
    std::pair<int, int> pictureSize(int channel, int width, int height) override;
    bool decodes(int channel) override;
    void packet(int channel, const AccessUnit& unit) override;
    void oversized(int channel, int width, int height) override;
    void dropped(int channel, uint64_t total) override;

private:
    static bool in(uint32_t mask, int channel) { return channel >= 0 && channel < 16 && ((mask >> channel) & 1u) != 0; }
    bool owns(int channel) const { return owner_ != nullptr && in(owned_.load(), channel); }
    bool guestWatches(int channel) const { return guest_ != nullptr && in(guestChannels_, channel); }

    ChannelEvents* owner_ = nullptr;
    std::atomic<uint32_t> owned_{0};
    // The guest and its channels change under the lock, calls into it run
    // under its shared side.
    mutable std::shared_mutex guestMutex_;
    ChannelEvents* guest_ = nullptr;
    uint32_t guestChannels_ = 0;
};

}  // namespace orvix
