// A recorder as the bridge serves it, against the recorder simulator in this
// process: the connection opens for the first watcher, carries one channel,
// closes a while after the last watcher, and its failures reach the watchers.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "bridge/bridged_recorder.h"
#include "link/text_codec.h"
#include "tools/recorder_sim/recorder_simulator.h"

namespace orvix::bridge {
namespace {

using namespace std::chrono_literals;

class EndedTarget final : public FeedTarget {
public:
    bool offer(const FeedFrame& frame) override {
        pictures.fetch_add(1);
        if (frame.key) keys.fetch_add(1);
        return true;
    }
    void end() override { ended.store(true); }
    std::atomic<int> pictures{0};
    std::atomic<int> keys{0};
    std::atomic<bool> ended{false};
};

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 15s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

class BridgedRecorderTest : public ::testing::Test {
protected:
    void startSimulator(const std::string& password = "1234") {
        sim::SimOptions options;
        options.channels = 4;
        options.echoIntervalSeconds = 0;
        options.password = password;
        simulator = std::make_unique<sim::RecorderSimulator>(options);
        simulator->setNoticeSink([](const std::string&) {});
        std::string error;
        ASSERT_TRUE(simulator->start(&error)) << error;
    }

    std::unique_ptr<BridgedRecorder> makeRecorder(uint16_t port, std::chrono::milliseconds closeAfter = 200ms,
                                                  std::chrono::milliseconds joinWait = 10s) {
        RecorderSettings settings;
        settings.name = "demo";
        settings.target = "127.0.0.1:" + std::to_string(port);
        settings.closeAfter = closeAfter;
        settings.joinWait = joinWait;
        settings.fillRecord = [port](DeviceRecord& record) {
            record.id = 1;
            setText(record.account, u"admin");
            setText(record.password, u"1234");
            record.useStatic = 1;
            setText(record.address, u"127.0.0.1");
            record.port = port;
        };
        auto recorder = std::make_unique<BridgedRecorder>(settings, log);
        recorder->start();
        return recorder;
    }

    bool logged(const std::string& part) {
        std::lock_guard<std::mutex> lock(mutex);
        for (const std::string& line : lines) {
            if (line.find(part) != std::string::npos) return true;
        }
        return false;
    }

    std::mutex mutex;
    std::vector<std::string> lines;
    EventLog log{[this](const std::string& line) {
        std::lock_guard<std::mutex> lock(mutex);
        lines.push_back(line);
    }};
    std::unique_ptr<sim::RecorderSimulator> simulator;
};

TEST_F(BridgedRecorderTest, FirstWatcherConnectsAndTheConnectionClosesAfterTheLastLeft) {
    startSimulator();
    auto recorder = makeRecorder(simulator->port());
    EXPECT_EQ(simulator->sessions(), 0);  // nothing before a watcher

    ASSERT_EQ(recorder->watch(1), WatchResult::Ready);
    EXPECT_TRUE(simulator->log().waitFor("DATA_SEND_REQ flag=0 channels=1"));
    EndedTarget target;
    recorder->feed(1).attach(&target);
    EXPECT_TRUE(waitUntil([&] { return target.pictures.load() >= 5; }));
    EXPECT_GE(target.keys.load(), 1);
    EXPECT_EQ(recorder->feed(1).codec(), VideoCodec::Mpeg4);

    // A second watcher of the channel shares the connection.
    ASSERT_EQ(recorder->watch(1), WatchResult::Ready);
    EXPECT_EQ(simulator->sessions(), 1);
    const RecorderStatus status = recorder->status();
    EXPECT_EQ(status.state, "streaming");
    EXPECT_EQ(status.carried, 2);
    EXPECT_EQ(status.cameras, 4);
    ASSERT_EQ(status.channels.size(), 1u);
    EXPECT_EQ(status.channels[0].watchers, 2);
    EXPECT_GT(status.bytes, 0u);

    recorder->feed(1).detach(&target);
    recorder->unwatch(1);
    recorder->unwatch(1);
    EXPECT_TRUE(simulator->log().waitFor("CLIENT closed"));
    EXPECT_TRUE(waitUntil([&] { return recorder->status().state == "idle"; }));
    EXPECT_TRUE(logged("recorder demo closed: no client for 200 ms"));

    // Asked again, it connects again.
    ASSERT_EQ(recorder->watch(0), WatchResult::Ready);
    EXPECT_EQ(simulator->sessions(), 2);
    recorder->unwatch(0);
}

TEST_F(BridgedRecorderTest, OneChannelAtATimeAndOnlyTheRecordersCameras) {
    startSimulator();
    auto recorder = makeRecorder(simulator->port(), 5s);
    ASSERT_EQ(recorder->watch(1), WatchResult::Ready);
    EXPECT_EQ(recorder->watch(2), WatchResult::NotCarried);
    EXPECT_EQ(recorder->watch(7), WatchResult::NoSuchChannel);  // four cameras
    EXPECT_EQ(recorder->watch(16), WatchResult::NoSuchChannel);

    // Once channel 2 is left, channel 3 takes its place on the same connection.
    recorder->unwatch(1);
    ASSERT_EQ(recorder->watch(2), WatchResult::Ready);
    EXPECT_EQ(simulator->sessions(), 1);
    EXPECT_TRUE(simulator->log().waitFor("DATA_SEND_REQ flag=0 channels=2"));
    EXPECT_TRUE(logged("recorder demo streams channel 3 instead of 2"));
    recorder->unwatch(2);
}

TEST_F(BridgedRecorderTest, ARefusedLoginIsNeverTriedAgain) {
    startSimulator("secret");
    auto recorder = makeRecorder(simulator->port());
    EXPECT_EQ(recorder->watch(0), WatchResult::LoginRefused);
    EXPECT_EQ(recorder->watch(1), WatchResult::LoginRefused);
    EXPECT_EQ(simulator->log().count("LOGIN"), 1u);
    EXPECT_EQ(recorder->status().state, "refused");
    EXPECT_TRUE(logged("recorder demo refused the login (not tried again)"));
}

TEST_F(BridgedRecorderTest, AnUnreachableRecorderIsToldToTheWatcher) {
    startSimulator();
    const uint16_t port = simulator->port();
    simulator->stop();
    auto recorder = makeRecorder(port);
    EXPECT_EQ(recorder->watch(0), WatchResult::Unreachable);
    EXPECT_TRUE(logged("recorder demo failed: Connection refused by 127.0.0.1:"));
    EXPECT_EQ(recorder->status().state, "idle");
}

TEST_F(BridgedRecorderTest, ARecorderThatNeverAnswersTimesTheWatcherOutAndIsClosedLater) {
    // A listener that takes connections and says nothing.
    sim::ListenSocket silent;
    std::string error;
    ASSERT_TRUE(silent.open("127.0.0.1", 0, 0, &error)) << error;
    auto recorder = makeRecorder(silent.port(), 300ms, 1s);
    EXPECT_EQ(recorder->watch(0), WatchResult::TimedOut);
    EXPECT_EQ(recorder->status().state, "connecting");
    EXPECT_TRUE(waitUntil([&] { return recorder->status().state == "idle"; }));
    EXPECT_TRUE(logged("recorder demo closed: no client for 300 ms"));
}

TEST_F(BridgedRecorderTest, ALostConnectionEndsTheStreamsOfItsWatchers) {
    startSimulator();
    auto recorder = makeRecorder(simulator->port());
    std::atomic<int> lost{0};
    recorder->setLostHandler([&] { lost.fetch_add(1); });
    ASSERT_EQ(recorder->watch(3), WatchResult::Ready);
    EndedTarget target;
    recorder->feed(3).attach(&target);
    simulator->stop();
    EXPECT_TRUE(waitUntil([&] { return target.ended.load(); }));
    EXPECT_TRUE(waitUntil([&] { return lost.load() == 1; }));
    EXPECT_FALSE(recorder->feed(3).ready());
    EXPECT_TRUE(logged("recorder demo failed: Connection closed by the recorder"));
    // The watcher left over does not bring the connection back by itself.
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(recorder->status().state, "idle");
    recorder->unwatch(3);
}

}  // namespace
}  // namespace orvix::bridge
