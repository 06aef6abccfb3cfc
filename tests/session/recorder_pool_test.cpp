// The recorder pool against recorder simulators in this process: one
// connection per recorder carries the union of its handles' channels, opens
// for the first handle and closes a while after the last, is made again
// after a loss while handles watch, and each recorder's state and failures
// reach its own handles only.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

#include "core/text_codec.h"
#include "frontend/listen_socket.h"
#include "link/link_status.h"
#include "session/message_loop.h"
#include "session/packet_sink.h"
#include "session/recorder_pool.h"
#include "session/video_session.h"
#include "tools/recorder_sim/picture_painter.h"
#include "tools/recorder_sim/recorder_simulator.h"

namespace orvix {
namespace {

using namespace std::chrono_literals;

constexpr auto kJoinWait = 10s;

class CountingTarget final : public FeedTarget {
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

// Keeps the size and the simulator's channel colour of the pictures.
class PictureCounter final : public PictureTarget {
public:
    explicit PictureCounter(std::pair<int, int> wanted = {0, 0}) : wanted_(wanted) {}
    void picture(const ChannelPicture& picture) override {
        std::lock_guard<std::mutex> lock(mutex);
        ++count;
        width = picture.width;
        height = picture.height;
        colour = dominantColour(picture);
    }
    std::pair<int, int> pictureSize(int w, int h) override {
        return wanted_.first > 0 ? wanted_ : std::pair<int, int>{w, h};
    }
    int pictures() {
        std::lock_guard<std::mutex> lock(mutex);
        return count;
    }

    std::mutex mutex;
    int count = 0;
    int width = 0;
    int height = 0;
    int colour = -1;

private:
    // The simulator's channel whose colour most of the lower half has.
    static int dominantColour(const ChannelPicture& picture) {
        std::vector<int> votes(sim::kColourCount, 0);
        for (int y = picture.height / 2; y < picture.height; y += 4) {
            for (int x = 0; x < picture.width; x += 4) {
                const uint8_t* p = picture.pixels + static_cast<size_t>(y) * static_cast<size_t>(picture.rowBytes) +
                                   static_cast<size_t>(x) * 4;
                const int c = sim::nearestChannelColour(sim::Rgb{p[2], p[1], p[0]});
                if (c >= 0) ++votes[static_cast<size_t>(c)];
            }
        }
        const auto top = std::max_element(votes.begin(), votes.end());
        return *top > 0 ? static_cast<int>(top - votes.begin()) : -1;
    }

    const std::pair<int, int> wanted_;
};

// A window of its own showing channel 1 of a recorder alone (its single
// view, here a packet sink) that lends its connection to the pool: what the
// pool asks of it is applied on this (the owner's) thread, as a window would.
class LendingWindow final : private LoopHandler, private PacketSink, private SessionEvents {
public:
    explicit LendingWindow(uint16_t port) : loop_(this), session_(loop_, *this), record_(createRecord()) {
        setText(record_->account, u"admin");
        setText(record_->password, u"1234");
        record_->useStatic = 1;
        setText(record_->address, u"127.0.0.1");
        record_->port = port;
        session_.setIFrameOnly(false);
    }
    ~LendingWindow() override {
        close();
        destroyRecord(record_);
    }
    bool connect() {
        if (session_.setUp(record_, static_cast<PacketSink&>(*this)) != VideoSession::SetUpResult::Started) return false;
        session_.startLink();
        return pumpUntil([&] { return session_.status() == kStatusDataSendOk; });
    }
    void close() {
        session_.disconnect([&](int ms) { loop_.runFor(ms); });
        session_.tearDown();
    }
    AdoptedConnection adoption() {
        AdoptedConnection connection;
        connection.codec = VideoCodec::Mpeg4;
        connection.cameras = 4;
        connection.carry = [this](const ChannelSet& channels) {
            std::lock_guard<std::mutex> lock(mutex_);
            wanted_ = channels;
            asked_ = true;
        };
        connection.control = [this](int channel, int action, int32_t preset) {
            std::lock_guard<std::mutex> lock(mutex_);
            controls_.push_back({channel, action, preset});
        };
        return connection;
    }
    // Handles the link's notifications and the pool's wishes until `done`.
    bool pumpUntil(const std::function<bool()>& done, ChannelEvents* guest = nullptr) {
        const auto deadline = std::chrono::steady_clock::now() + 15s;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            loop_.runFor(10);
            if (guest != nullptr) applyWishes(guest);
        }
        return true;
    }
    VideoSession& session() { return session_; }
    int ringPackets() const { return ringPackets_.load(); }

private:
    void applyWishes(ChannelEvents* guest) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (std::exchange(asked_, false)) session_.setGuestChannels(wanted_, guest);
        for (const auto& [channel, action, preset] : controls_) {
            const int current = record_->currentChannel.load();
            record_->currentChannel.store(channel);
            session_.ptz(action, preset);
            record_->currentChannel.store(current);
        }
        controls_.clear();
    }
    void packet(const uint8_t*, size_t) override { ringPackets_.fetch_add(1); }
    void onPicture(const PictureEvent&) override {}

    MessageLoop loop_;
    VideoSession session_;
    DeviceRecord* record_;
    std::atomic<int> ringPackets_{0};
    std::mutex mutex_;
    ChannelSet wanted_;
    bool asked_ = false;
    std::vector<std::tuple<int, int, int32_t>> controls_;
};

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 15s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

struct RecorderOptions {
    std::chrono::milliseconds closeAfter = 200ms;
    bool reconnect = false;
    int framing = 0;
    bool retry = false;
};

class RecorderPoolTest : public ::testing::Test {
protected:
    std::unique_ptr<sim::RecorderSimulator> startSimulator(const std::string& password = "1234", uint16_t port = 0,
                                                           uint32_t modelCode = 11) {
        sim::SimOptions options;
        options.port = port;
        options.modelCode = modelCode;
        options.channels = 4;
        options.echoIntervalSeconds = 0;
        options.password = password;
        auto started = std::make_unique<sim::RecorderSimulator>(options);
        started->setNoticeSink([](const std::string&) {});
        std::string error;
        EXPECT_TRUE(started->start(&error)) << error;
        return started;
    }

    void addRecorder(const std::string& name, uint16_t port, RecorderOptions options = {}) {
        RecorderSettings settings;
        settings.leaveGrace = 100ms;
        settings.reconnect.enabled = options.reconnect;
        settings.reconnect.firstDelayMs = 100;
        settings.reconnect.maxDelayMs = 200;
        settings.reconnect.spread = 0;
        settings.name = name;
        settings.target = "127.0.0.1:" + std::to_string(port);
        settings.closeAfter = options.closeAfter;
        settings.retryFailed = options.retry;
        settings.fillRecord = [port, framing = options.framing](DeviceRecord& record) {
            record.id = 1;
            record.framingKind = framing;
            setText(record.account, u"admin");
            setText(record.password, u"1234");
            record.useStatic = 1;
            setText(record.address, u"127.0.0.1");
            record.port = port;
        };
        ASSERT_TRUE(pool.add(settings));
    }

    // A handle on `channel` of `recorder` whose packets flow.
    PoolHandle watchReady(const std::string& recorder, int channel, FeedTarget* target = nullptr) {
        PoolHandle handle = pool.watch(recorder, channel);
        EXPECT_EQ(handle.waitReady(kJoinWait), WatchResult::Ready) << recorder << " channel " << channel;
        if (target != nullptr) handle.attachPackets(target);
        return handle;
    }

    RecorderStatus status(const std::string& recorder) {
        for (const RecorderStatus& s : pool.status()) {
            if (s.name == recorder) return s;
        }
        return {};
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
    std::unique_ptr<sim::RecorderSimulator> simulator;
    std::unique_ptr<sim::RecorderSimulator> other;
    RecorderPool pool{[this](const std::string& line) {
        std::lock_guard<std::mutex> lock(mutex);
        lines.push_back(line);
    }};
};

TEST_F(RecorderPoolTest, FirstHandleConnectsAndTheConnectionClosesAfterTheLastWent) {
    simulator = startSimulator();
    addRecorder("demo", simulator->port());
    EXPECT_EQ(simulator->sessions(), 0);  // nothing before a handle
    EXPECT_FALSE(pool.watch("nowhere", 0));
    EXPECT_FALSE(pool.watch("demo", 16));

    CountingTarget target;
    PoolHandle first = watchReady("demo", 1, &target);
    EXPECT_TRUE(simulator->log().waitFor("DATA_SEND_REQ flag=0 channels=1"));
    EXPECT_TRUE(waitUntil([&] { return target.pictures.load() >= 5; }));
    EXPECT_GE(target.keys.load(), 1);
    EXPECT_EQ(first.codec(), VideoCodec::Mpeg4);
    EXPECT_EQ(first.state().words(), "streaming");

    PoolHandle second = watchReady("demo", 1);
    const RecorderStatus shared = status("demo");
    EXPECT_EQ(shared.carried.text(), "2");
    EXPECT_EQ(shared.cameras, 4);
    ASSERT_EQ(shared.channels.size(), 1u);
    EXPECT_EQ(shared.channels[0].watchers, 2);
    EXPECT_GT(shared.bytes, 0u);

    first.release();
    second = PoolHandle();
    EXPECT_TRUE(simulator->log().waitFor("CLIENT closed"));
    EXPECT_TRUE(waitUntil([&] { return status("demo").state.phase == RecorderPhase::Idle; }));
    EXPECT_TRUE(logged("recorder demo closed: no client for 200 ms"));

    // Asked again, it connects again.
    PoolHandle again = watchReady("demo", 0);
    EXPECT_EQ(simulator->sessions(), 2);
}

TEST_F(RecorderPoolTest, AnyNumberOfHandlesShareOneConnectionAndOneLogin) {
    simulator = startSimulator();
    addRecorder("demo", simulator->port(), {5s});
    CountingTarget packets[2];
    PictureCounter shown[2];
    std::vector<PoolHandle> handles;
    for (int i = 0; i < 2; ++i) handles.push_back(watchReady("demo", 0, &packets[i]));
    for (int i = 0; i < 2; ++i) {
        handles.push_back(watchReady("demo", i));
        handles.back().setPictures(&shown[i]);
    }
    EXPECT_TRUE(waitUntil([&] { return shown[0].pictures() >= 5 && shown[1].pictures() >= 5; }));
    EXPECT_TRUE(waitUntil([&] { return packets[0].pictures.load() >= 5 && packets[1].pictures.load() >= 5; }));
    EXPECT_EQ(simulator->log().count("CLIENT connected"), 1u);
    EXPECT_EQ(simulator->log().count("LOGIN"), 1u);
    EXPECT_EQ(status("demo").channels[0].watchers, 3);
}

TEST_F(RecorderPoolTest, PicturesComeDecodedInSetsOfOneAndOfSeveralAtTheSizeTheirHandlesAgreeOn) {
    simulator = startSimulator();
    addRecorder("demo", simulator->port(), {5s});
    // A set of one: decoded from the packets of the frame ring.
    PictureCounter small({176, 144}), alsoSmall({176, 144});
    PoolHandle first = watchReady("demo", 1);
    first.setPictures(&small);
    PoolHandle second = watchReady("demo", 1);
    second.setPictures(&alsoSmall);
    EXPECT_TRUE(waitUntil([&] { return small.pictures() >= 5 && alsoSmall.pictures() >= 5; }));
    {
        std::lock_guard<std::mutex> lock(small.mutex);
        EXPECT_EQ(small.width, 176);
        EXPECT_EQ(small.height, 144);
        EXPECT_EQ(small.colour, 1);
    }

    // A set of several: the decode workers; a handle that wants another
    // size gets the pictures as decoded.
    PictureCounter third({320, 240});
    PoolHandle another = watchReady("demo", 3);
    another.setPictures(&third);
    const int before = small.pictures();
    EXPECT_TRUE(waitUntil([&] { return third.pictures() >= 5 && small.pictures() >= before + 5; }));
    {
        std::lock_guard<std::mutex> lock(third.mutex);
        EXPECT_EQ(third.width, 320);
        EXPECT_EQ(third.colour, 3);
    }
    PictureCounter native;
    second.setPictures(&native);
    EXPECT_TRUE(waitUntil([&] { return native.pictures() >= 5; }));
    std::lock_guard<std::mutex> lock(native.mutex);
    EXPECT_EQ(native.width, 352);
    EXPECT_EQ(native.colour, 1);
}

TEST_F(RecorderPoolTest, EachChannelJoinedOrLeftIsOneRequest) {
    simulator = startSimulator();
    addRecorder("demo", simulator->port(), {5s});
    const sim::CommandLog& commands = simulator->log();
    CountingTarget second, third;
    PoolHandle secondHandle = watchReady("demo", 1, &second);
    EXPECT_EQ(pool.watch("demo", 7).waitReady(kJoinWait), WatchResult::NoSuchChannel);  // four cameras

    // A second channel joins the connection with one request for both.
    PoolHandle thirdHandle = watchReady("demo", 2, &third);
    EXPECT_TRUE(waitUntil([&] { return third.keys.load() >= 1 && third.pictures.load() >= 10; }));
    const int secondBefore = second.pictures.load();
    EXPECT_TRUE(waitUntil([&] { return second.pictures.load() >= secondBefore + 10; }));
    EXPECT_EQ(commands.count("DATA_SEND_REQ"), 2u);
    EXPECT_EQ(commands.count("DATA_SEND_REQ flag=0 channels=1,2"), 1u);
    EXPECT_TRUE(logged("recorder demo streams channels 2,3 (was 2)"));

    // A second handle of a carried channel asks for nothing.
    watchReady("demo", 2).release();

    // Channel 2 left: after the grace one request for channel 3 alone; its
    // packets end, the other's go on.
    secondHandle.release();
    EXPECT_TRUE(commands.waitFor("DATA_SEND_REQ flag=0 channels=2"));
    EXPECT_EQ(commands.count("DATA_SEND_REQ"), 3u);
    EXPECT_TRUE(waitUntil([&] { return status("demo").carried.text() == "3"; }));
    const int thirdBefore = third.pictures.load();
    EXPECT_TRUE(waitUntil([&] { return third.pictures.load() >= thirdBefore + 10; }));
    EXPECT_FALSE(third.ended.load());
    EXPECT_EQ(commands.count("CLIENT connected"), 1u);
}

TEST_F(RecorderPoolTest, AChannelLeftAndWatchedAgainWithinTheGraceCostsNoRequest) {
    simulator = startSimulator();
    addRecorder("demo", simulator->port(), {5s});
    PoolHandle first = watchReady("demo", 0);
    watchReady("demo", 3).release();
    PoolHandle back = watchReady("demo", 3);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(simulator->log().count("DATA_SEND_REQ"), 2u);
}

TEST_F(RecorderPoolTest, AHandleMovedToAnotherRecorderChangesBothChannelSetsWithOneRequestEach) {
    simulator = startSimulator();
    other = startSimulator();
    addRecorder("hall", simulator->port(), {5s});
    addRecorder("gate", other->port(), {5s});
    PoolHandle hall = watchReady("hall", 0);
    PoolHandle moving = watchReady("hall", 1);
    PoolHandle gate = watchReady("gate", 2);
    PictureCounter shown;
    moving.setPictures(&shown);
    EXPECT_TRUE(waitUntil([&] { return shown.pictures() >= 3; }));

    ASSERT_TRUE(moving.moveTo("gate", 3));
    EXPECT_FALSE(moving.moveTo("nowhere", 0));
    EXPECT_EQ(moving.recorder(), "gate");
    EXPECT_EQ(moving.waitReady(kJoinWait), WatchResult::Ready);
    EXPECT_TRUE(waitUntil([&] { return simulator->log().count("DATA_SEND_REQ") == 3; }));
    EXPECT_TRUE(other->log().waitFor("DATA_SEND_REQ flag=0 channels=2,3"));
    EXPECT_TRUE(waitUntil([&] {
        std::lock_guard<std::mutex> lock(shown.mutex);
        return shown.colour == 3;
    }));
    EXPECT_EQ(status("hall").carried.text(), "1");
    EXPECT_EQ(simulator->log().count("DATA_SEND_REQ"), 3u);
    EXPECT_EQ(other->log().count("DATA_SEND_REQ"), 2u);
    EXPECT_EQ(simulator->log().count("CLIENT connected"), 1u);
    EXPECT_EQ(other->log().count("CLIENT connected"), 1u);
}

TEST_F(RecorderPoolTest, AFailingRecordersStateReachesItsHandlesWhileAnotherRecordersKeepReceiving) {
    simulator = startSimulator();
    other = startSimulator();
    addRecorder("hall", simulator->port());
    addRecorder("gate", other->port());
    std::vector<std::string> hallStates, gateStates;
    std::mutex statesMutex;
    PoolHandle hall = watchReady("hall", 0);
    hall.setStateListener([&](const RecorderState& state) {
        std::lock_guard<std::mutex> lock(statesMutex);
        hallStates.push_back(state.words());
    });
    CountingTarget gatePackets;
    PoolHandle gate = watchReady("gate", 1, &gatePackets);
    gate.setStateListener([&](const RecorderState& state) {
        std::lock_guard<std::mutex> lock(statesMutex);
        gateStates.push_back(state.words());
    });

    simulator->stop();
    EXPECT_TRUE(waitUntil([&] { return hall.state().phase == RecorderPhase::Unreachable; }));
    EXPECT_EQ(hall.state().words(), "unreachable: Connection closed by the recorder");
    const int before = gatePackets.pictures.load();
    EXPECT_TRUE(waitUntil([&] { return gatePackets.pictures.load() >= before + 10; }));
    EXPECT_EQ(gate.state().words(), "streaming");
    std::lock_guard<std::mutex> lock(statesMutex);
    EXPECT_EQ(hallStates, std::vector<std::string>{"unreachable: Connection closed by the recorder"});
    EXPECT_TRUE(gateStates.empty()) << gateStates.front();
}

TEST_F(RecorderPoolTest, ALostConnectionIsMadeAgainWhileHandlesWatchAndThePacketsGoOn) {
    simulator = startSimulator();
    const uint16_t port = simulator->port();
    addRecorder("demo", port, {5s, true});
    std::atomic<int> lost{0};
    pool.setLostHandler([&](const std::string&) { lost.fetch_add(1); });
    std::vector<RecorderState> states;
    std::mutex statesMutex;
    PoolHandle first = watchReady("demo", 0);
    first.setStateListener([&](const RecorderState& state) {
        std::lock_guard<std::mutex> lock(statesMutex);
        states.push_back(state);
    });
    CountingTarget target;
    PoolHandle third = watchReady("demo", 2, &target);
    EXPECT_TRUE(waitUntil([&] { return target.pictures.load() >= 5; }));

    simulator->stop();
    EXPECT_TRUE(waitUntil([&] { return logged("recorder demo reconnects in 0.1 s (attempt 1): "); }));
    // A handle coming while the recorder is away waits, then is told.
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(pool.watch("demo", 1).waitReady(1s), WatchResult::Unreachable);
    EXPECT_GE(std::chrono::steady_clock::now() - asked, 1s);

    simulator = startSimulator("1234", port);
    EXPECT_TRUE(waitUntil([&] { return logged("recorder demo reconnected: streams channels 1,3 (MPEG-4)"); }));
    const int before = target.pictures.load();
    EXPECT_TRUE(waitUntil([&] { return target.pictures.load() >= before + 10; }));
    EXPECT_FALSE(target.ended.load());
    EXPECT_FALSE(target.backwards.load());  // one timeline across the outage
    EXPECT_EQ(lost.load(), 0);
    EXPECT_FALSE(logged("recorder demo failed"));
    // The new connection asked for both channels at its login.
    EXPECT_TRUE(simulator->log().waitFor("DATA_SEND_REQ flag=0 channels=0,2"));
    std::lock_guard<std::mutex> lock(statesMutex);
    ASSERT_GE(states.size(), 2u);
    EXPECT_EQ(states.front().phase, RecorderPhase::Reconnecting);
    EXPECT_EQ(states.front().attempt, 1);
    EXPECT_FALSE(states.front().cause.empty());
    EXPECT_EQ(states.back().phase, RecorderPhase::Streaming);
}

TEST_F(RecorderPoolTest, ARefusedLoginIsTriedAgainAfterItsPauseOrOnceThePasswordChanged) {
    simulator = startSimulator("secret");
    std::mutex passwordMutex;
    std::u16string password = u"1234";
    std::string stamp = "1";
    auto settingsFor = [&](const std::string& name, std::chrono::milliseconds pause) {
        RecorderSettings settings;
        settings.name = name;
        settings.target = "simulator";
        settings.loginRetry = pause;
        settings.credentialStamp = [&] {
            std::lock_guard<std::mutex> lock(passwordMutex);
            return stamp;
        };
        settings.fillRecord = [&, port = simulator->port()](DeviceRecord& record) {
            std::lock_guard<std::mutex> lock(passwordMutex);
            record.id = 1;
            setText(record.account, u"admin");
            setText(record.password, password);
            record.useStatic = 1;
            setText(record.address, u"127.0.0.1");
            record.port = port;
        };
        return settings;
    };
    ASSERT_TRUE(pool.add(settingsFor("slow", 1h)));
    ASSERT_TRUE(pool.add(settingsFor("soon", 300ms)));
    const sim::CommandLog& commands = simulator->log();

    // Within its pause a refused login is not tried again.
    PoolHandle watching = pool.watch("slow", 0);
    EXPECT_EQ(watching.waitReady(kJoinWait), WatchResult::LoginRefused);
    EXPECT_EQ(pool.watch("slow", 1).waitReady(kJoinWait), WatchResult::LoginRefused);
    EXPECT_EQ(commands.count("LOGIN"), 1u);
    EXPECT_EQ(watching.state().words(), "login refused");
    EXPECT_TRUE(logged("recorder slow refused the login (tried again in 60 min, or when its password changes)"));

    // After it, a handle that still watches has it tried again by itself.
    PoolHandle waiting = pool.watch("soon", 0);
    EXPECT_EQ(waiting.waitReady(kJoinWait), WatchResult::LoginRefused);
    EXPECT_TRUE(waitUntil([&] { return commands.count("LOGIN") >= 3; }));

    // A changed password is tried as soon as a handle asks.
    {
        std::lock_guard<std::mutex> lock(passwordMutex);
        password = u"secret";
        stamp = "2";
    }
    EXPECT_EQ(pool.watch("slow", 2).waitReady(kJoinWait), WatchResult::Ready);
    EXPECT_EQ(watching.state().words(), "streaming");
}

TEST_F(RecorderPoolTest, WhileHandlesWatchTheAttemptsAreNeverFartherApartThanTheCap) {
    simulator = startSimulator();
    RecorderSettings settings;
    settings.name = "demo";
    settings.target = "simulator";
    settings.reconnect.enabled = true;
    settings.reconnect.firstDelayMs = 100;
    settings.reconnect.maxDelayMs = 30000;
    settings.reconnect.spread = 0;
    settings.watchedRetryCap = 300ms;
    settings.fillRecord = [port = simulator->port()](DeviceRecord& record) {
        record.id = 1;
        setText(record.account, u"admin");
        setText(record.password, u"1234");
        record.useStatic = 1;
        setText(record.address, u"127.0.0.1");
        record.port = port;
    };
    ASSERT_TRUE(pool.add(settings));
    PoolHandle handle = watchReady("demo", 0);
    simulator->stop();
    EXPECT_TRUE(waitUntil([&] { return logged("recorder demo reconnects in 0.3 s (attempt 5)"); }));
    EXPECT_TRUE(logged("recorder demo reconnects in 0.2 s (attempt 2)"));
    EXPECT_FALSE(logged("reconnects in 0.4 s"));
    EXPECT_GE(status("demo").reconnects, 5u);
}

TEST_F(RecorderPoolTest, ARetiredRecorderIsClosedAndComesBackByNameWithNewSettings) {
    simulator = startSimulator();
    other = startSimulator();
    addRecorder("demo", simulator->port(), {5s});
    PoolHandle old = watchReady("demo", 0);
    ASSERT_TRUE(pool.retire("demo", "its settings changed"));
    EXPECT_FALSE(pool.retire("demo", "again"));
    EXPECT_TRUE(simulator->log().waitFor("CLIENT closed"));
    EXPECT_TRUE(logged("recorder demo closed: its settings changed"));
    EXPECT_FALSE(pool.watch("demo", 0));
    EXPECT_TRUE(pool.recorders().empty());
    EXPECT_EQ(old.waitReady(1s), WatchResult::Stopping);

    addRecorder("demo", other->port(), {5s});
    old.release();
    PoolHandle renewed = watchReady("demo", 2);
    EXPECT_TRUE(other->log().waitFor("DATA_SEND_REQ flag=0 channels=2"));
    EXPECT_EQ(simulator->sessions(), 1);
}

TEST_F(RecorderPoolTest, AnUnreachableRecorderIsToldToItsHandleWithTheCause) {
    simulator = startSimulator();
    const uint16_t port = simulator->port();
    simulator->stop();
    addRecorder("demo", port);
    PoolHandle handle = pool.watch("demo", 0);
    EXPECT_EQ(handle.waitReady(kJoinWait), WatchResult::Unreachable);
    const std::string cause = "Connection refused by 127.0.0.1:" + std::to_string(port);
    EXPECT_TRUE(logged("recorder demo failed: " + cause));
    EXPECT_EQ(handle.state().words(), "unreachable: " + cause);
}

TEST_F(RecorderPoolTest, ARecorderThatNeverAnswersTimesTheHandleOutAndIsClosedLater) {
    // A listener that takes connections and says nothing.
    ListenSocket silent;
    std::string error;
    ASSERT_TRUE(silent.open("127.0.0.1", 0, 0, &error)) << error;
    addRecorder("demo", silent.port(), {300ms});
    EXPECT_EQ(pool.watch("demo", 0).waitReady(1s), WatchResult::TimedOut);
    EXPECT_EQ(status("demo").state.words(), "connecting");
    EXPECT_TRUE(waitUntil([&] { return status("demo").state.phase == RecorderPhase::Idle; }));
    EXPECT_TRUE(logged("recorder demo closed: no client for 300 ms"));
}

TEST_F(RecorderPoolTest, WithoutReconnectALostConnectionEndsTheStreamsOfItsHandles) {
    simulator = startSimulator();
    addRecorder("demo", simulator->port());
    std::atomic<int> lost{0};
    pool.setLostHandler([&](const std::string& recorder) {
        if (recorder == "demo") lost.fetch_add(1);
    });
    CountingTarget target;
    PoolHandle handle = watchReady("demo", 3, &target);
    simulator->stop();
    EXPECT_TRUE(waitUntil([&] { return target.ended.load(); }));
    EXPECT_TRUE(waitUntil([&] { return lost.load() == 1; }));
    EXPECT_TRUE(logged("recorder demo failed: Connection closed by the recorder"));
    EXPECT_TRUE(status("demo").state.reached);  // it had answered: no network fault
    // The handle left over does not bring the connection back by itself.
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(status("demo").state.phase, RecorderPhase::Unreachable);
    EXPECT_EQ(simulator->sessions(), 1);
}

TEST_F(RecorderPoolTest, WithRetryAFailedConnectIsTriedAgainWhileHandlesWatchAndNoLonger) {
    simulator = startSimulator();
    const uint16_t port = simulator->port();
    simulator->stop();
    addRecorder("demo", port, {200ms, false, 0, true});
    PoolHandle handle = pool.watch("demo", 2);
    EXPECT_TRUE(waitUntil([&] { return handle.state().attempt >= 2; }));
    const RecorderState away = handle.state();
    EXPECT_EQ(away.phase, RecorderPhase::Unreachable);
    EXPECT_EQ(away.cause, "Connection refused by 127.0.0.1:" + std::to_string(port));
    EXPECT_FALSE(away.reached);
    EXPECT_GT(away.reconnectAt, std::chrono::steady_clock::now() - 1s);
    EXPECT_TRUE(logged("recorder demo tries again in 0.2 s (attempt 2)"));

    simulator = startSimulator("1234", port);
    EXPECT_TRUE(waitUntil([&] { return handle.state().phase == RecorderPhase::Streaming; }));
    EXPECT_TRUE(simulator->log().waitFor("DATA_SEND_REQ flag=0 channels=2"));

    // Gone for good once nobody watches: no attempt follows the last.
    simulator->stop();
    EXPECT_TRUE(waitUntil([&] { return handle.state().phase == RecorderPhase::Unreachable; }));
    handle.release();
    simulator = startSimulator("1234", port);
    std::this_thread::sleep_for(600ms);
    EXPECT_EQ(simulator->sessions(), 0);
}

TEST_F(RecorderPoolTest, CameraControlGoesToTheHandlesChannelOverTheSharedConnection) {
    simulator = startSimulator();
    addRecorder("demo", simulator->port(), {5s});
    PoolHandle first = watchReady("demo", 0);
    PoolHandle fourth = watchReady("demo", 3);
    EXPECT_TRUE(simulator->log().waitFor("DATA_SEND_REQ flag=0 channels=0,3"));
    fourth.cameraControl(1);  // up
    EXPECT_TRUE(simulator->log().waitFor("PTZ channel=3 subcode=2 preset=0 parameter=1"));
    first.cameraControl(6, 16);  // store preset 16
    EXPECT_TRUE(simulator->log().waitFor("PTZ channel=0 subcode=17 preset=16 parameter=0"));
    EXPECT_EQ(simulator->log().count("DATA_SEND_REQ"), 2u);
    // The set goes on after them.
    CountingTarget packets;
    fourth.attachPackets(&packets);
    EXPECT_TRUE(waitUntil([&] { return packets.pictures.load() >= 10; }));
}

TEST_F(RecorderPoolTest, AWindowsConnectionIsAdoptedAsTheRecordersOneAndGivenBack) {
    simulator = startSimulator();
    addRecorder("demo", simulator->port(), {5s});
    LendingWindow window(simulator->port());
    ASSERT_TRUE(window.connect());
    ASSERT_TRUE(pool.adoptConnection("demo", window.adoption()));
    ChannelEvents* guest = pool.guestEvents("demo");
    PoolHandle handle = pool.watch("demo", 2);
    PictureCounter shown;
    handle.setPictures(&shown);
    // The window's connection carries channel 3 beside its own channel 1.
    ASSERT_TRUE(window.pumpUntil([&] { return shown.pictures() >= 5; }, guest));
    EXPECT_TRUE(simulator->log().waitFor("DATA_SEND_REQ flag=0 channels=0,2"));
    EXPECT_EQ(handle.state().phase, RecorderPhase::Streaming);
    {
        std::lock_guard<std::mutex> lock(shown.mutex);
        EXPECT_EQ(shown.colour, 2);
    }
    const int ring = window.ringPackets();
    EXPECT_TRUE(window.pumpUntil([&] { return window.ringPackets() >= ring + 10; }, guest));  // its own goes on
    handle.cameraControl(1);
    EXPECT_TRUE(window.pumpUntil([&] { return simulator->log().count("PTZ channel=2 subcode=2") == 1; }, guest));
    EXPECT_EQ(simulator->log().count("CLIENT connected"), 1u);

    // Given back as the window closes: the pool connects by itself.
    window.session().setGuestChannels(ChannelSet(), nullptr);
    pool.returnConnection("demo");
    window.close();
    EXPECT_EQ(handle.waitReady(kJoinWait), WatchResult::Ready);
    EXPECT_EQ(simulator->log().count("CLIENT connected"), 2u);
    const int before = shown.pictures();
    EXPECT_TRUE(waitUntil([&] { return shown.pictures() >= before + 5; }));
}

TEST_F(RecorderPoolTest, RawKeyPicturesOfSharedChannelsCarryTheirParameterSets) {
    simulator = startSimulator("1234", 0, 61);  // the raw kind: no parameter sets in the stream
    addRecorder("demo", simulator->port(), {5s, false, 1});
    CountingTarget first, fourth;
    PoolHandle firstHandle = watchReady("demo", 0, &first);
    PoolHandle fourthHandle = watchReady("demo", 3, &fourth);
    EXPECT_TRUE(waitUntil([&] { return first.keys.load() >= 2 && fourth.keys.load() >= 2; }));
    EXPECT_EQ(fourthHandle.codec(), VideoCodec::H264);
    EXPECT_FALSE(first.keyWithoutParameterSets.load());
    EXPECT_FALSE(fourth.keyWithoutParameterSets.load());
}

TEST(RecorderStateWords, SayWhatTheRecorderDoes) {
    const auto now = std::chrono::steady_clock::now();
    struct Case {
        RecorderPhase phase;
        std::chrono::milliseconds reconnectIn;
        int attempt;
        std::string cause;
        std::string words;
    };
    const Case cases[] = {
        {RecorderPhase::Idle, 0ms, 0, "", "idle"},
        {RecorderPhase::Connecting, 0ms, 0, "", "connecting"},
        {RecorderPhase::Streaming, 0ms, 0, "", "streaming"},
        {RecorderPhase::Reconnecting, 7200ms, 3, "reset", "reconnecting in 8 s (attempt 3)"},
        {RecorderPhase::Reconnecting, -1000ms, 4, "reset", "reconnecting in 0 s (attempt 4)"},
        {RecorderPhase::LoginRefused, 0ms, 0, "", "login refused"},
        {RecorderPhase::Unreachable, 0ms, 0, "No answer from 192.0.2.5:3000",
         "unreachable: No answer from 192.0.2.5:3000"},
    };
    for (const Case& c : cases) {
        RecorderState state;
        state.phase = c.phase;
        state.reconnectAt = now + c.reconnectIn;
        state.attempt = c.attempt;
        state.cause = c.cause;
        EXPECT_EQ(state.words(now), c.words);
    }
}

TEST(RecorderPhases, ARefusedLoginStaysUntilTheNextAttemptAndVideoFlowingIsNewsOnlyWhileConnecting) {
    using P = RecorderPhase;
    using S = RecorderStep;
    struct Case {
        P from;
        S step;
        P to;
    };
    const Case cases[] = {
        {P::Idle, S::Connect, P::Connecting},          {P::Unreachable, S::Connect, P::Connecting},
        {P::Connecting, S::VideoFlows, P::Streaming},  {P::Reconnecting, S::VideoFlows, P::Streaming},
        {P::Idle, S::VideoFlows, P::Idle},             {P::Streaming, S::ReconnectScheduled, P::Reconnecting},
        {P::Streaming, S::Failed, P::Unreachable},     {P::Connecting, S::LoginRefused, P::LoginRefused},
        {P::LoginRefused, S::Connect, P::Connecting},  {P::LoginRefused, S::Closed, P::LoginRefused},
        {P::LoginRefused, S::VideoFlows, P::LoginRefused},
        {P::Streaming, S::Closed, P::Idle},
        {P::Connecting, S::RetryScheduled, P::Unreachable},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(nextPhase(c.from, c.step), c.to) << static_cast<int>(c.from) << " " << static_cast<int>(c.step);
    }
}

}  // namespace
}  // namespace orvix
