#include "bridge/bridge_service.h"

#include <sstream>

#include "bridge/bridge_options.h"

namespace orvix::bridge {
namespace {

// The page's word for a recorder's phase: a connection that failed is idle
// until a client asks again.
const char* pageWord(RecorderPhase phase) {
    switch (phase) {
        case RecorderPhase::Connecting: return "connecting";
        case RecorderPhase::Streaming: return "streaming";
        case RecorderPhase::Reconnecting: return "reconnecting";
        case RecorderPhase::LoginRefused: return "refused";
        case RecorderPhase::Idle:
        case RecorderPhase::Unreachable: break;
    }
    return "idle";
}

}  // namespace

BridgeService::BridgeService(BridgeSettings settings, EventLog& log)
    : settings_(std::move(settings)),
      log_(log),
      pool_([this](const std::string& line) { log_.event(line); }),
      rtsp_(settings_.rtsp, log) {}

bool BridgeService::start(std::string& error) {
    if (running_) return true;
    // A lost connection ends the streams of the clients that watched it.
    pool_.setLostHandler([this](const std::string& recorder) { rtsp_.closeClientsOf(recorder); });
    for (const RecorderSettings& recorder : settings_.recorders) pool_.add(recorder);
    if (!rtsp_.start(pool_, error)) return false;
    if (settings_.statusPort) {
        status_ = std::make_unique<StatusServer>([this] { return statusText(); });
        if (!status_->start(*settings_.statusPort, error)) {
            error = "status page: " + error;
            status_.reset();
            rtsp_.stop();
            return false;
        }
    }
    running_ = true;
    if (!settings_.publishUrl.empty()) {
        for (const std::string& recorder : pool_.recorders()) {
            for (int channel : settings_.published) {
                publishers_.push_back(std::make_unique<Publisher>(pool_, recorder, channel - 1,
                                                                  publishUrlFor(settings_.publishUrl, recorder, channel),
                                                                  settings_.rtsp.joinWait, log_));
                publishers_.back()->start();
            }
        }
    }
    return true;
}

void BridgeService::stop() {
    if (!running_) return;
    running_ = false;
    for (auto& publisher : publishers_) publisher->stop();
    // Clients end first, so their media give their channels back.
    rtsp_.stop();
    pool_.stop("the bridge is stopping");
    if (status_ != nullptr) status_->stop();
    publishers_.clear();
}

std::string BridgeService::statusText() const {
    std::ostringstream text;
    const std::map<std::string, int> clients = rtsp_.clientsByPath();
    text << "orvix-bridge rtsp://" << settings_.rtsp.address << ":" << rtsp_.port() << "/\n";
    for (const RecorderStatus& status : pool_.status()) {
        text << "recorder " << status.name << " " << pageWord(status.state.phase);
        if (!status.carried.empty())
            text << (status.carried.size() == 1 ? " channel " : " channels ") << status.carried.text();
        if (status.cameras > 0) text << " cameras " << status.cameras;
        text << " bytes " << status.bytes << "\n";
        for (const ChannelStatus& channel : status.channels) {
            const std::string path = "/" + status.name + "/" + std::to_string(channel.channel);
            const auto found = clients.find(path);
            text << "channel " << status.name << "/" << channel.channel << " clients "
                 << (found != clients.end() ? found->second : 0) << " watchers " << channel.watchers << " pictures "
                 << channel.counters.pictures << " bytes " << channel.counters.bytes << " drops "
                 << channel.counters.drops << "\n";
        }
    }
    for (const auto& publisher : publishers_) text << "publish " << publisher->url() << " " << publisher->state() << "\n";
    return text.str();
}

}  // namespace orvix::bridge
