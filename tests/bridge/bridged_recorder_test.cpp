// A recorder as the bridge serves it, against the recorder simulator in this
// process: the connection opens for the first watcher, carries the union of
// the watched channels, closes a while after the last watcher, is made again
// after a loss while clients watch, and its failures reach the watchers.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "bridge/bridged_recorder.h"
#include "core/text_codec.h"
#include "tools/recorder_sim/recorder_simulator.h"

namespace orvix::bridge {
namespace {

using namespace std::chrono_literals;

class EndedTarget final : public FeedTarget {
public:
    bool offer(const FeedFrame& frame) override {
        pictures.fetch_add(1);
        if (frame.key) keys.fetch_add(1);
        if (frame.key && !startsDecoder(*frame.bytes)) keyWithoutParameterSets.store(true);
        if (frame.timeNs <= lastTime.load()) backwards.store(true);
        lastTime.store(frame.timeNs);
        return true;
    }
    void end() override { ended.store(true); }
    std::atomic<int> pictures{0};
    std::atomic<int> keys{0};
    std::atomic<int64_t> lastTime{-1};
    std::atomic<bool> backwards{false};
    std::atomic<bool> keyWithoutParameterSets{false};
    std::atomic<bool> ended{false};

private:
    // H.264 only: a sequence parameter set comes before the first slice.
    static bool startsDecoder(const std::vector<uint8_t>& bytes) {
        for (size_t i = 0; i + 3 < bytes.size(); ++i) {
            if (bytes[i] != 0 || bytes[i + 1] != 0 || bytes[i + 2] != 1) continue;
            const int type = bytes[i + 3] & 0x1F;
            if (type == 7) return true;
            if (type == 1 || type == 5) return false;
        }
        return true;  // not H.264
    }
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
    void startSimulator(const std::string& password = "1234", uint16_t port = 0, uint32_t modelCode = 11) {
        sim::SimOptions options;
        options.port = port;
        options.modelCode = modelCode;
        options.channels = 4;
        options.echoIntervalSeconds = 0;
        options.password = password;
        simulator = std::make_unique<sim::RecorderSimulator>(options);
        simulator->setNoticeSink([](const std::string&) {});
        std::string error;
        ASSERT_TRUE(simulator->start(&error)) << error;
    }

    std::unique_ptr<BridgedRecorder> makeRecorder(uint16_t port, std::chrono::milliseconds closeAfter = 200ms,
                                                  std::chrono::milliseconds joinWait = 10s, bool reconnect = false,
                                                  int framing = 0) {
        RecorderSettings settings;
        settings.leaveGrace = 100ms;
        settings.reconnect.enabled = reconnect;
        settings.reconnect.firstDelayMs = 100;
        settings.reconnect.maxDelayMs = 200;
        settings.reconnect.spread = 0;
        settings.name = "demo";
        settings.target = "127.0.0.1:" + std::to_string(port);
        settings.closeAfter = closeAfter;
        settings.joinWait = joinWait;
        settings.fillRecord = [port, framing](DeviceRecord& record) {
            record.id = 1;
            record.framingKind = framing;
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
    EXPECT_EQ(status.carried.text(), "2");
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

TEST_F(BridgedRecorderTest, WatchedChannelsShareOneConnectionAndEachJoinOrLeaveIsOneRequest) {
    startSimulator();
    auto recorder = makeRecorder(simulator->port(), 5s);
    const sim::CommandLog& commands = simulator->log();
    ASSERT_EQ(recorder->watch(1), WatchResult::Ready);
    EndedTarget second, third;
    recorder->feed(1).attach(&second);
    EXPECT_EQ(recorder->watch(7), WatchResult::NoSuchChannel);  // four cameras
    EXPECT_EQ(recorder->watch(16), WatchResult::NoSuchChannel);

    // A second channel joins the connection with one request for both.
    ASSERT_EQ(recorder->watch(2), WatchResult::Ready);
    recorder->feed(2).attach(&third);
    EXPECT_TRUE(waitUntil([&] { return third.keys.load() >= 1 && third.pictures.load() >= 10; }));
    const int secondBefore = second.pictures.load();
    EXPECT_TRUE(waitUntil([&] { return second.pictures.load() >= secondBefore + 10; }));
    EXPECT_EQ(commands.count("CLIENT connected"), 1u);
    EXPECT_EQ(commands.count("LOGIN"), 1u);
    EXPECT_EQ(commands.count("DATA_SEND_REQ"), 2u);
    EXPECT_EQ(commands.count("DATA_SEND_REQ flag=0 channels=1,2"), 1u);
    EXPECT_TRUE(logged("recorder demo streams channels 2,3 (was 2)"));
    EXPECT_EQ(recorder->status().carried.text(), "2,3");

    // A second watcher of a carried channel asks for nothing.
    ASSERT_EQ(recorder->watch(2), WatchResult::Ready);
    recorder->unwatch(2);

    // Channel 2 left: after the grace one request for channel 3 alone; its
    // feed ends, the other goes on.
    recorder->feed(1).detach(&second);
    recorder->unwatch(1);
    EXPECT_TRUE(commands.waitFor("DATA_SEND_REQ flag=0 channels=2"));
    EXPECT_EQ(commands.count("DATA_SEND_REQ"), 3u);
    EXPECT_TRUE(waitUntil([&] { return recorder->status().carried.text() == "3"; }));
    EXPECT_FALSE(recorder->feed(1).ready());
    const int thirdBefore = third.pictures.load();
    EXPECT_TRUE(waitUntil([&] { return third.pictures.load() >= thirdBefore + 10; }));
    EXPECT_FALSE(third.ended.load());
    EXPECT_EQ(commands.count("CLIENT connected"), 1u);
    recorder->feed(2).detach(&third);
    recorder->unwatch(2);
}

TEST_F(BridgedRecorderTest, RawKeyPicturesOfSharedChannelsCarryTheirParameterSets) {
    startSimulator("1234", 0, 61);  // the raw kind: no parameter sets in the stream
    auto recorder = makeRecorder(simulator->port(), 5s, 10s, false, 1);
    ASSERT_EQ(recorder->watch(0), WatchResult::Ready);
    ASSERT_EQ(recorder->watch(3), WatchResult::Ready);
    EndedTarget first, fourth;
    recorder->feed(0).attach(&first);
    recorder->feed(3).attach(&fourth);
    EXPECT_TRUE(waitUntil([&] { return first.keys.load() >= 2 && fourth.keys.load() >= 2; }));
    EXPECT_EQ(recorder->feed(3).codec(), VideoCodec::H264);
    EXPECT_FALSE(first.keyWithoutParameterSets.load());
    EXPECT_FALSE(fourth.keyWithoutParameterSets.load());
    recorder->feed(0).detach(&first);
    recorder->feed(3).detach(&fourth);
    recorder->unwatch(0);
    recorder->unwatch(3);
}

TEST_F(BridgedRecorderTest, AWatcherWhoLeavesAndComesBackWithinTheGraceCostsNoRequest) {
    startSimulator();
    auto recorder = makeRecorder(simulator->port(), 5s);
    ASSERT_EQ(recorder->watch(0), WatchResult::Ready);
    ASSERT_EQ(recorder->watch(3), WatchResult::Ready);
    recorder->unwatch(3);
    ASSERT_EQ(recorder->watch(3), WatchResult::Ready);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(simulator->log().count("DATA_SEND_REQ"), 2u);
    recorder->unwatch(3);
    recorder->unwatch(0);
}

TEST_F(BridgedRecorderTest, ALostConnectionIsMadeAgainWhileClientsWatchAndTheFeedsGoOn) {
    startSimulator();
    const uint16_t port = simulator->port();
    auto recorder = makeRecorder(port, 5s, 1s, true);
    std::atomic<int> lost{0};
    recorder->setLostHandler([&] { lost.fetch_add(1); });
    ASSERT_EQ(recorder->watch(0), WatchResult::Ready);
    ASSERT_EQ(recorder->watch(2), WatchResult::Ready);
    EndedTarget target;
    recorder->feed(2).attach(&target);
    EXPECT_TRUE(waitUntil([&] { return target.pictures.load() >= 5; }));

    simulator->stop();
    EXPECT_TRUE(waitUntil([&] { return logged("recorder demo reconnects in 0.1 s (attempt 1): "); }));
    EXPECT_TRUE(waitUntil([&] { return recorder->status().state == "reconnecting"; }));
    // A watcher joining while the recorder is away waits the join wait,
    // then is told.
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(recorder->watch(1), WatchResult::Unreachable);
    EXPECT_GE(std::chrono::steady_clock::now() - asked, 1s);

    startSimulator("1234", port);
    EXPECT_TRUE(waitUntil([&] { return logged("recorder demo reconnected: streams channels 1,3 (MPEG-4)"); }));
    const int before = target.pictures.load();
    EXPECT_TRUE(waitUntil([&] { return target.pictures.load() >= before + 10; }));
    EXPECT_FALSE(target.ended.load());
    EXPECT_FALSE(target.backwards.load());  // one timeline across the outage
    EXPECT_EQ(lost.load(), 0);
    EXPECT_FALSE(logged("recorder demo failed"));
    // The new connection asked for both channels at its login.
    EXPECT_TRUE(simulator->log().waitFor("DATA_SEND_REQ flag=0 channels=0,2"));
    recorder->feed(2).detach(&target);
    recorder->unwatch(2);
    recorder->unwatch(0);
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
    ListenSocket silent;
    std::string error;
    ASSERT_TRUE(silent.open("127.0.0.1", 0, 0, &error)) << error;
    auto recorder = makeRecorder(silent.port(), 300ms, 1s);
    EXPECT_EQ(recorder->watch(0), WatchResult::TimedOut);
    EXPECT_EQ(recorder->status().state, "connecting");
    EXPECT_TRUE(waitUntil([&] { return recorder->status().state == "idle"; }));
    EXPECT_TRUE(logged("recorder demo closed: no client for 300 ms"));
}

TEST_F(BridgedRecorderTest, WithoutReconnectALostConnectionEndsTheStreamsOfItsWatchers) {
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
