#include "tools/recorder_sim/recorder_simulator.h"

#include <cstdio>

#include "tools/recorder_sim/recorder_session.h"

namespace orvix::sim {
namespace {

// Small enough that a client which keeps sending while the recorder does
// not read soon finds its sends blocked.
constexpr int kStopReadingReceiveBuffer = 4096;
constexpr int kAcceptWaitMs = 100;

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
    stop_ = false;
    thread_ = std::thread([this] { serve(); });
    return true;
}

void RecorderSimulator::stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    listener_.close();
}

std::string RecorderSimulator::readyLine() const {
    return "listening on " + listener_.address() + ":" + std::to_string(listener_.port());
}

void RecorderSimulator::serve() {
    auto notice = [this](const std::string& text) {
        std::lock_guard<std::mutex> lock(noticeMutex_);
        if (notice_) notice_(text);
    };
    while (!stop_.load()) {
        const int client = listener_.accept(kAcceptWaitMs);
        if (client < 0) continue;
        const int index = sessions_.fetch_add(1);
        log_.add("CLIENT connected");
        {
            RecorderSession session(client, options_, profile_, log_, stop_,
                                    options_.seed + static_cast<uint32_t>(index), notice);
            session.run();
        }
        closeSocket(client);
        log_.add("CLIENT closed");
    }
}

}  // namespace orvix::sim
