// How soon pictures come back once a recorder returns: a recorder simulator
// in this process goes away for 0.5 s after each 1.5 s of streaming (every
// connection dropped, connects refused); a session with the default
// reconnect policy takes the packets. Printed: the median of 10 returns from
// the moment the recorder listens again to the first picture packet (a key
// picture) handed to the session's sink, beside the median delay the policy
// chose before the attempt that got through.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/device_record.h"
#include "link/link_status.h"
#include "link/reconnect_policy.h"
#include "session/packet_sink.h"
#include "session/video_session.h"
#include "tools/recorder_sim/recorder_simulator.h"

using namespace orvix;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kReturns = 10;

class Watch final : public SessionEvents, public PacketSink {
public:
    void reconnectScheduled(const LinkEnd&, int delayMs, int) override {
        std::lock_guard<std::mutex> lock(mutex_);
        lastDelayMs_ = delayMs;
    }
    void packet(const uint8_t*, size_t) override {
        std::lock_guard<std::mutex> lock(mutex_);
        lastPacket_ = Clock::now();
    }
    Clock::time_point lastPacket() {
        std::lock_guard<std::mutex> lock(mutex_);
        return lastPacket_;
    }
    int lastDelayMs() {
        std::lock_guard<std::mutex> lock(mutex_);
        return lastDelayMs_;
    }

private:
    std::mutex mutex_;
    Clock::time_point lastPacket_{};
    int lastDelayMs_ = 0;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main() {
    sim::SimOptions options;
    options.faults.downAfterMs = 1500;
    options.faults.downForMs = 500;
    sim::RecorderSimulator recorder(options);
    recorder.setNoticeSink([](const std::string&) {});
    std::string error;
    if (!recorder.start(&error)) {
        std::printf("(f) reconnect: the recorder simulator did not start: %s\n", error.c_str());
        return 0;
    }

    DeviceRecord* record = createRecord();
    setText(record->address, u"127.0.0.1");
    setText(record->account, u"admin");
    setText(record->password, u"1234");
    record->port = recorder.port();
    record->useStatic = 1;
    record->framingKind.store(0);
    Watch watch;
    CallingThread owner;
    VideoSession session(owner, watch);
    session.setReconnect(reconnectPolicyFromEnvironment(true));
    if (session.setUp(record, watch) != VideoSession::SetUpResult::Started) {
        std::printf("(f) reconnect: the session could not be set up\n");
        destroyRecord(record);
        return 0;
    }
    session.startLink();

    std::vector<double> toPicture;
    std::vector<double> delays;
    const auto guard = Clock::now() + std::chrono::seconds(120);
    auto seenReturn = recorder.lastReturn();
    while (static_cast<int>(toPicture.size()) < kReturns && Clock::now() < guard) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const auto back = recorder.lastReturn();
        if (back == seenReturn) continue;
        seenReturn = back;
        // The first packet after the return.
        while (watch.lastPacket() <= back && Clock::now() < guard && recorder.lastReturn() == back) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        const auto first = watch.lastPacket();
        if (first <= back) continue;  // gone again before a picture came
        toPicture.push_back(std::chrono::duration<double, std::milli>(first - back).count());
        delays.push_back(watch.lastDelayMs());
    }
    session.disconnect(nullptr);
    session.tearDown();
    destroyRecord(record);
    recorder.stop();

    if (static_cast<int>(toPicture.size()) < kReturns) {
        std::printf("(f) reconnect: only %zu of %d returns measured\n", toPicture.size(), kReturns);
        return 0;
    }
    std::printf("(f) reconnect: recorder back to first picture %.0f ms (median of %d), "
                "after a backoff delay of %.0f ms (median; the recorder was away 500 ms)\n",
                median(toPicture), kReturns, median(delays));
    return 0;
}
