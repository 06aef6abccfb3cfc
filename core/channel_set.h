// The channels a session shows: 1 to 16 channels (0-based inside, 1-based in
// text), in the order they were given. The order is how a mosaic or a grid
// lays them out; membership is what the data request and the video filter
// ask about. A plain value: copied, compared, kept by the session.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvix {

constexpr int kMaxChannels = 16;

class ChannelSet {
public:
    ChannelSet() = default;
    // The set of one channel (0-based); out of range gives the empty set.
    static ChannelSet single(int channel);

    // Adds a channel (0-based) at the end; false when out of range or
    // already in the set.
    bool add(int channel);

    bool contains(int channel) const { return channel >= 0 && channel < kMaxChannels && (mask_ >> channel) & 1u; }
    int size() const { return count_; }
    bool empty() const { return count_ == 0; }
    // The n-th channel in the given order (0-based index and channel).
    int at(int index) const { return order_[static_cast<size_t>(index)]; }
    int first() const { return count_ > 0 ? order_[0] : -1; }
    // Bit c set for channel c.
    uint16_t mask() const { return mask_; }
    // Where a channel stands in the order, -1 when not in the set.
    int indexOf(int channel) const;

    // "1,3,5" style, 1-based.
    std::string text() const;

    bool operator==(const ChannelSet& other) const {
        return count_ == other.count_ && order_ == other.order_;
    }

private:
    std::array<int8_t, kMaxChannels> order_{};
    int count_ = 0;
    uint16_t mask_ = 0;
};

// A channel list as a user writes it: "3", "1-4", "1,3,5", "1-3,8" (1-based,
// channels 1 to `cameraLimit`, each once). Empty, malformed, out-of-range,
// reversed or repeated lists give nothing.
std::optional<ChannelSet> parseChannelList(std::string_view text, int cameraLimit = kMaxChannels);

}  // namespace orvix
