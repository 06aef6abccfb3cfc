// The decode workers behind the per-channel queues: a slow channel drops its
// own packets up to its next key picture and holds up nobody else; each
// channel's packets reach their sink in order, one worker at a time.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "core/device_record.h"
#include "session/decode_workers.h"
#include "tests/link/stream_builders.h"

using namespace orvix;
using namespace orvix::test;

namespace {

// Takes packets only; channel 0 is slow.
class SlowSink : public ChannelEvents {
public:
    void picture(int, const ChannelPicture&) override {}
    void packet(int channel, const AccessUnit& unit) override {
        const int busy = ++inside[static_cast<size_t>(channel)];
        if (busy > 1) overlapped = true;
        if (channel == 0) std::this_thread::sleep_for(std::chrono::milliseconds(30));
        {
            std::lock_guard<std::mutex> lock(mutex);
            tags[static_cast<size_t>(channel)].push_back(unit.payload[0]);
            keys[static_cast<size_t>(channel)].push_back(unit.keyPicture);
        }
        --inside[static_cast<size_t>(channel)];
    }
    void dropped(int channel, uint64_t total) override { drops[static_cast<size_t>(channel)] = total; }

    std::mutex mutex;
    std::array<std::vector<int>, 16> tags;
    std::array<std::vector<bool>, 16> keys;
    std::array<std::atomic<int>, 16> inside{};
    std::array<std::atomic<uint64_t>, 16> drops{};
    std::atomic<bool> overlapped{false};
};

bool keyAt(int index) { return index % 10 == 0; }

}  // namespace

TEST(DecodeWorkers, SlowChannelDropsItsOwnPacketsUntilItsKeyPicture) {
    DeviceRecord* record = createRecord();
    record->modelIndex = 0;  // packets with the 64-byte header
    LinkShared shared;
    SlowSink sink;
    ChannelQueues queues(4);
    queues.setDropListener(nullptr);
    DecodeWorkers workers(queues, *record, shared, sink, false);
    workers.start(3);
    EXPECT_EQ(workers.workerCount(), 3);

    // As the link thread would: both channels' packets as fast as they come.
    constexpr int kPackets = 60;
    for (int i = 0; i < kPackets; ++i) {
        for (int channel : {0, 1}) {
            const Bytes packet = f5Header64Packet({static_cast<uint8_t>(i), 0x55, 0x55}, 1000, channel, keyAt(i));
            queues.push(channel, keyAt(i), packet.data(), packet.size());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    // Let the slow channel finish what it has queued.
    for (int i = 0; i < 200 && (queues.queued(0) > 0 || queues.queued(1) > 0 || sink.inside[0] > 0); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    workers.stop();

    std::lock_guard<std::mutex> lock(sink.mutex);
    // The fast channel got everything, in order.
    ASSERT_EQ(sink.tags[1].size(), static_cast<size_t>(kPackets));
    for (int i = 0; i < kPackets; ++i) EXPECT_EQ(sink.tags[1][static_cast<size_t>(i)], i);
    EXPECT_EQ(queues.dropped(1), 0u);

    // The slow one dropped, and after each gap it starts again at a key picture.
    const std::vector<int>& slow = sink.tags[0];
    ASSERT_FALSE(slow.empty());
    EXPECT_LT(slow.size(), static_cast<size_t>(kPackets));
    EXPECT_EQ(queues.dropped(0), static_cast<uint64_t>(kPackets) - slow.size());
    EXPECT_EQ(slow.front(), 0);
    for (size_t k = 1; k < slow.size(); ++k) {
        EXPECT_GT(slow[k], slow[k - 1]);
        if (slow[k] != slow[k - 1] + 1) {
            EXPECT_TRUE(keyAt(slow[k])) << "after a gap: " << slow[k];
        }
    }
    // One worker per channel at a time.
    EXPECT_FALSE(sink.overlapped.load());
    destroyRecord(record);
}
