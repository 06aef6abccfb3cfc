#include "tools/recorder_sim/recorder_simulator.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "tools/recorder_sim/recorder_session.h"

namespace orvix::sim {
namespace {

// Small enough that a client which keeps sending while the recorder does
// not read soon finds its sends blocked.
constexpr int kStopReadingReceiveBuffer = 4096;
constexpr int kAcceptWaitMs = 100;
constexpr std::chrono::milliseconds kOutageStep{10};
constexpr int kReopenWaitMs = 50;

}  // namespace

RecorderSimulator::RecorderSimulator(SimOptions options)
    : options_(std::move(options)),
      notice_([](const std::string& text) { std::fprintf(stderr, "orvix-recorder-sim: %s\n", text.c_str()); }) {}

RecorderSimulator::~RecorderSimulator() { stop(); }

void RecorderSimulator::setNoticeSink(std::function<void(const std::string&)> sink) {
    std::lock_guard<std::mutex> lock(noticeMutex_);
    notice_ = std::move(sink);
}

bool RecorderSimulator::start(std::string* error) {
    if (thread_.joinable()) {
        if (error) *error = "already running";
        return false;
    }
    std::string problem;
    if (!resolveProfile(options_, profile_, problem)) {
        if (error) *error = problem;
        return false;
    }
    if (!options_.logFile.empty() && !log_.openFile(options_.logFile, error)) return false;
    const int receiveBuffer = options_.faults.stopReading ? kStopReadingReceiveBuffer : 0;
    if (!listener_.open(options_.bind, options_.port, receiveBuffer, error)) return false;
    boundPort_ = listener_.port();
    boundAddress_ = listener_.address();
    stop_ = false;
    sessionStop_ = false;
    down_ = false;
    thread_ = std::thread([this] { serve(); });
    if (options_.faults.downAfterMs > 0 && options_.faults.downForMs > 0) {
        outageThread_ = std::thread([this] { runOutages(); });
    }
    return true;
}

void RecorderSimulator::stop() {
    stop_ = true;
    // The outage clock first: it clears the sessions' stop when an outage ends.
    if (outageThread_.joinable()) outageThread_.join();
    sessionStop_ = true;
    if (thread_.joinable()) thread_.join();
    listener_.close();
}

bool RecorderSimulator::pause(int milliseconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!stop_.load()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= until) return true;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(until - now, kOutageStep));
    }
    return false;
}

void RecorderSimulator::runOutages() {
    while (pause(options_.faults.downAfterMs)) {
        outages_.fetch_add(1);
        down_ = true;
        sessionStop_ = true;
        if (!pause(options_.faults.downForMs)) return;
        sessionStop_ = false;
        down_ = false;
    }
}

std::string RecorderSimulator::readyLine() const {
    return "listening on " + boundAddress_ + ":" + std::to_string(boundPort_);
}

void RecorderSimulator::serve() {
    auto notice = [this](const std::string& text) {
        std::lock_guard<std::mutex> lock(noticeMutex_);
        if (notice_) notice_(text);
    };
    const int receiveBuffer = options_.faults.stopReading ? kStopReadingReceiveBuffer : 0;
    while (!stop_.load()) {
        if (down_.load()) {
            // Away: nothing listens, so connects are refused.
            if (listener_.isOpen()) {
                listener_.close();
                log_.add("DOWN");
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(kReopenWaitMs));
            continue;
        }
        if (!listener_.isOpen()) {
            std::string problem;
            if (!listener_.open(options_.bind, boundPort_, receiveBuffer, &problem)) {
                notice("cannot listen again: " + problem);
                std::this_thread::sleep_for(std::chrono::milliseconds(kReopenWaitMs));
                continue;
            }
            returnedAt_.store(std::chrono::steady_clock::now().time_since_epoch().count());
            log_.add("UP");
        }
        const int client = listener_.accept(kAcceptWaitMs);
        if (client < 0) continue;
        const int index = sessions_.fetch_add(1);
        log_.add("CLIENT connected");
        {
            RecorderSession session(client, options_, profile_, log_, sessionStop_,
                                    options_.seed + static_cast<uint32_t>(index), notice, index + 1);
            session.run();
        }
        closeSocket(client);
        log_.add("CLIENT closed");
    }
}

}  // namespace orvix::sim
