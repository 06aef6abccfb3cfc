// One client's session with the simulated recorder, from the connection to
// its end: description, login, data requests, echo, record information,
// search and playback, camera control and alarm outputs, and the video of
// the requested channels, paced at the frame rate.
#pragma once

#include <atomic>
#include <bitset>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/recorder_sim/alarm_outputs.h"
#include "tools/recorder_sim/channel_stream.h"
#include "tools/sim_common/client_command_reader.h"
#include "tools/recorder_sim/sim_options.h"
#include "tools/recorder_sim/stream_writer.h"
#include "tools/sim_common/command_log.h"

namespace orvix::sim {

class RecorderSession {
public:
    using Clock = std::chrono::steady_clock;

    // `notice` receives remarks that are not commands (a dropped picture,
    // an encoder failure); it may be empty. `connection` counts the
    // simulator's connections from 1 (the mute faults may hit only one).
    RecorderSession(int fd, const SimOptions& options, const SimProfile& profile, CommandLog& log,
                    const std::atomic<bool>& stop, uint32_t seed, std::function<void(const std::string&)> notice,
                    int connection = 1);

    // Serves the client until it closes, a fault closes the connection, or
    // `stop` becomes true. The socket stays open; the caller closes it.
    void run();

private:
    void handle(const ClientCommand& command);
    void handleLogin(const ClientCommand& command);
    void handleDataRequest(const ClientCommand& command);
    void handlePtz(const ClientCommand& command);
    void handleAlarm(const ClientCommand& command);
    void prepareLoops();
    void restartKeys();
    void reply(uint32_t code, const std::vector<uint8_t>& payload = {});
    void produceFrames();
    void sendPicture(int channel, ChannelStream& stream);
    bool receive(int timeoutMs);
    void remark(const std::string& text);
    // Whether the mute fault `step` hits this connection; if so, it is
    // logged and from now on nothing but junk (if any) is written.
    bool mutedAt(SimFaults::Mute step, const char* logLine);

    int fd_;
    const SimOptions& options_;
    const SimProfile& profile_;
    CommandLog& log_;
    const std::atomic<bool>& stop_;
    std::function<void(const std::string&)> notice_;
    SimFaults::Mute mute_;  // the mute fault of this connection (None when it is not hit)
    StreamWriter writer_;
    ClientCommandReader reader_;
    std::vector<std::unique_ptr<ChannelStream>> channels_;
    AlarmOutputs alarms_;

    bool open_ = true;  // false once the client is gone or a fault closed
    bool muted_ = false;  // a mute fault struck: no more answers, pictures or echoes
    bool loggedIn_ = false;
    bool readingStopped_ = false;
    bool dataRequested_ = false;
    bool stallDone_ = false;
    std::bitset<16> requested_;
    std::bitset<16> headersSent_;  // --fault-headers-once: channels whose headers went out
    bool iframeOnly_ = false;
    bool searchMode_ = false;
    bool playing_ = false;
    uint32_t searchTime_ = 0;
    uint64_t playbackFrames_ = 0;
    uint64_t frameNumber_ = 0;
    Clock::time_point nextEcho_{};
};

}  // namespace orvix::sim
