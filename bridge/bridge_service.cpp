#include "bridge/bridge_service.h"

#include <sstream>

#include "bridge/bridge_options.h"

namespace orvix::bridge {

BridgeService::BridgeService(BridgeSettings settings, EventLog& log)
    : settings_(std::move(settings)), log_(log), rtsp_(settings_.rtsp, log) {}

bool BridgeService::start(std::string& error) {
    if (running_) return true;
    std::vector<BridgedRecorder*> recorders;
    for (const RecorderSettings& recorder : settings_.recorders) {
        recorders_.push_back(std::make_unique<BridgedRecorder>(recorder, log_));
        recorders.push_back(recorders_.back().get());
    }
    if (!rtsp_.start(recorders, error)) {
        recorders_.clear();
        return false;
    }
    if (settings_.statusPort) {
        status_ = std::make_unique<StatusServer>([this] { return statusText(); });
        if (!status_->start(*settings_.statusPort, error)) {
            error = "status page: " + error;
            status_.reset();
            rtsp_.stop();
            recorders_.clear();
            return false;
        }
    }
    for (auto& recorder : recorders_) {
        BridgedRecorder* r = recorder.get();
        // A lost connection ends the streams of the clients that watched it.
        r->setLostHandler([this, r] { rtsp_.closeClientsOf(r->name()); });
        r->start();
    }
    running_ = true;
    if (!settings_.publishUrl.empty()) {
        for (auto& recorder : recorders_) {
            for (int channel : settings_.published) {
                publishers_.push_back(std::make_unique<Publisher>(
                    *recorder, channel - 1, publishUrlFor(settings_.publishUrl, recorder->name(), channel), log_));
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
    for (auto& recorder : recorders_) recorder->stop();
    if (status_ != nullptr) status_->stop();
    publishers_.clear();
}

std::string BridgeService::statusText() const {
    std::ostringstream text;
    const std::map<std::string, int> clients = rtsp_.clientsByPath();
    text << "orvix-bridge rtsp://" << settings_.rtsp.address << ":" << rtsp_.port() << "/\n";
    for (const auto& recorder : recorders_) {
        const RecorderStatus status = recorder->status();
        text << "recorder " << status.name << " " << status.state;
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
