// A connection's channel events shared between its owner and a guest: each
// gets the channels it shows, both the ones they share.
#include <gtest/gtest.h>

#include <vector>

#include "session/channel_events_fan_out.h"

using namespace orvix;

namespace {

class Recorded final : public ChannelEvents {
public:
    explicit Recorded(int size) : size_(size) {}
    void picture(int channel, const ChannelPicture&) override { pictures.push_back(channel); }
    std::pair<int, int> pictureSize(int, int, int) override { return {size_, size_}; }
    bool decodes(int channel) override { return channel != 7; }
    void packet(int channel, const AccessUnit&) override { packets.push_back(channel); }
    void oversized(int channel, int, int) override { tooLarge.push_back(channel); }
    std::vector<int> pictures;
    std::vector<int> packets;
    std::vector<int> tooLarge;

private:
    const int size_;
};

ChannelSet setOf(std::initializer_list<int> channels) {
    ChannelSet set;
    for (int c : channels) set.add(c);
    return set;
}

TEST(ChannelEventsFanOut, EachSideGetsItsChannelsAndBothTheSharedOne) {
    Recorded owner(100), guest(50);
    ChannelEventsFanOut fanOut;
    fanOut.setOwner(&owner);
    fanOut.setOwned(setOf({0, 1}));
    fanOut.setGuest(&guest, setOf({1, 2, 7}));
    for (int channel : {0, 1, 2, 3, 7, -1, 16}) {
        fanOut.picture(channel, ChannelPicture{});
        fanOut.packet(channel, AccessUnit{});
        fanOut.oversized(channel, 4096, 4096);
    }
    EXPECT_EQ(owner.pictures, (std::vector<int>{0, 1}));
    EXPECT_EQ(guest.pictures, (std::vector<int>{1, 2, 7}));
    EXPECT_EQ(guest.packets, (std::vector<int>{1, 2, 7}));
    EXPECT_EQ(owner.tooLarge, (std::vector<int>{0, 1}));
    EXPECT_EQ(guest.tooLarge, (std::vector<int>{1, 2, 7}));
    EXPECT_EQ(fanOut.pictureSize(1, 704, 576), (std::pair<int, int>{100, 100}));  // the owner's
    EXPECT_EQ(fanOut.pictureSize(2, 704, 576), (std::pair<int, int>{50, 50}));
    EXPECT_EQ(fanOut.pictureSize(3, 704, 576), (std::pair<int, int>{704, 576}));
    EXPECT_TRUE(fanOut.decodes(2));
    EXPECT_FALSE(fanOut.decodes(7));
    EXPECT_FALSE(fanOut.decodes(3));
    // Let go: nothing more reaches the guest.
    fanOut.setGuest(&guest, ChannelSet());
    fanOut.picture(2, ChannelPicture{});
    EXPECT_EQ(guest.pictures.size(), 3u);
}

}  // namespace
