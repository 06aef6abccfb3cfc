#include "bridge/bridge_service.h"

#include <unistd.h>

#include "bridge/bridge_options.h"
#include "bridge/web_files.h"

namespace orvix::bridge {

BridgeService::BridgeService(BridgeSettings settings, EventLog& log)
    : settings_(std::move(settings)),
      log_(log),
      pool_([this](const std::string& line) { log_.event(line); }),
      rtsp_(settings_.rtsp, log) {}

bool BridgeService::start(std::string& error) {
    if (running_) return true;
    if (!pairs_.open(error)) {
        error = "cannot make loopback connections: " + error;
        return false;
    }
    // A lost connection ends the streams of the clients that watched it.
    pool_.setLostHandler([this](const std::string& recorder) { rtsp_.closeClientsOf(recorder); });
    rtsp_.start(pool_);
    front_ = std::make_unique<RtspFront>(
        settings_.front, [this](const Peer& peer) { return openBackend(peer); },
        [this](const std::string& line) { log_.event(line); });
    if (!front_->start(error)) {
        front_.reset();
        rtsp_.stop();
        return false;
    }
    const std::vector<int> ports = front_->ports();
    for (size_t i = 0; i < ports.size(); ++i) {
        ListenAddress bound = settings_.front.listen[i];
        bound.port = ports[i];
        rtspUrls_.push_back("rtsp://" + bound.text() + "/");
        if (!bound.loopback() && settings_.rtsp.users.empty()) {
            log_.event("warning: RTSP on " + bound.text() + " without --rtsp-user: anyone who reaches it may watch");
        }
    }
    if (settings_.status) {
        status_ = std::make_unique<HttpServer>();
        routeStatus();
        whep_ = std::make_unique<WhepService>(pool_, [this](const std::string& path) { return whepTarget(path); },
                                              settings_.rtsp.joinWait, log_);
        whep_->serveOn(*status_);
        if (!status_->start(*settings_.status, error)) {
            whep_.reset();
            status_.reset();
            front_->stop();
            front_.reset();
            rtsp_.stop();
            return false;
        }
    }
    if (status_ != nullptr && !settings_.status->loopback() && settings_.rtsp.users.empty()) {
        log_.event("warning: the web page and WebRTC on " + settings_.status->text() +
                   " without --rtsp-user: anyone who reaches it may watch");
    }
    running_ = true;
    for (const ServedRecorder& recorder : settings_.recorders) addRecorder(recorder);
    return true;
}

void BridgeService::stop() {
    if (!running_) return;
    running_ = false;
    front_->stop();
    {
        std::lock_guard<std::mutex> lock(publishersMutex_);
        for (auto& [recorder, publishers] : publishers_) {
            for (auto& publisher : publishers) publisher->stop();
        }
    }
    // Clients end first, so their media give their channels back.
    rtsp_.stop();
    pool_.stop("the bridge is stopping");
    // The WebRTC viewers' answers go out through the status server.
    if (whep_ != nullptr) whep_->stop();
    if (status_ != nullptr) status_->stop();
    std::lock_guard<std::mutex> lock(publishersMutex_);
    publishers_.clear();
}

std::string BridgeService::statusUrl() const {
    if (status_ == nullptr || !settings_.status) return {};
    ListenAddress bound = *settings_.status;
    bound.port = status_->port();
    return "http://" + bound.text() + "/";
}

int BridgeService::openBackend(const Peer& peer) {
    int front = -1, server = -1;
    if (!pairs_.make(peer.ipv6, front, server)) return -1;
    if (!rtsp_.adopt(server, peer)) {
        close(front);
        return -1;
    }
    return front;
}

void BridgeService::addRecorder(const ServedRecorder& recorder) {
    const std::string& name = recorder.settings.name;
    pool_.add(recorder.settings);
    rtsp_.mount(name, recorder.channels);
    if (recorder.publishUrl.empty()) return;
    std::vector<std::unique_ptr<Publisher>> started;
    for (int channel : recorder.published) {
        started.push_back(std::make_unique<Publisher>(pool_, name, channel - 1,
                                                      publishUrlFor(recorder.publishUrl, name, channel),
                                                      recorder.publishPassword, settings_.rtsp.joinWait, log_));
        started.back()->start();
    }
    std::lock_guard<std::mutex> lock(publishersMutex_);
    publishers_[name] = std::move(started);
}

void BridgeService::removeRecorder(const std::string& name, const std::string& reason) {
    std::vector<std::unique_ptr<Publisher>> leaving;
    {
        std::lock_guard<std::mutex> lock(publishersMutex_);
        const auto found = publishers_.find(name);
        if (found != publishers_.end()) {
            leaving = std::move(found->second);
            publishers_.erase(found);
        }
    }
    for (auto& publisher : leaving) publisher->stop();
    rtsp_.unmount(name);
    pool_.retire(name, reason);
}

void BridgeService::reload(BridgeSettings next) {
    std::map<std::string, const ServedRecorder*> before, after;
    for (const ServedRecorder& r : settings_.recorders) before[r.settings.name] = &r;
    for (const ServedRecorder& r : next.recorders) after[r.settings.name] = &r;
    int added = 0, changed = 0, removed = 0, kept = 0;
    for (const auto& [name, old] : before) {
        const auto found = after.find(name);
        if (found == after.end()) {
            removeRecorder(name, "it left the configuration");
            ++removed;
        } else if (found->second->definition != old->definition) {
            removeRecorder(name, "its configuration changed");
        }
    }
    for (const auto& [name, fresh] : after) {
        const auto found = before.find(name);
        if (found != before.end() && found->second->definition == fresh->definition) {
            ++kept;
            continue;
        }
        addRecorder(*fresh);
        ++(found == before.end() ? added : changed);
    }
    if (!(next.rtsp.users == settings_.rtsp.users)) {
        rtsp_.setUsers(next.rtsp.users);
        if (status_ != nullptr) status_->setUsers(next.rtsp.users);
    }
    if (next.restartOnly() != settings_.restartOnly()) {
        log_.event("configuration: these take effect at the next start: " + next.restartOnly());
    }
    log_.event("configuration read again: " + std::to_string(kept) + " recorders kept, " + std::to_string(added) +
               " added, " + std::to_string(changed) + " changed, " + std::to_string(removed) + " removed");
    settings_.recorders = std::move(next.recorders);
    settings_.rtsp.users = std::move(next.rtsp.users);
}

BridgeSnapshot BridgeService::snapshot() const {
    BridgeSnapshot snapshot;
    snapshot.rtspUrls = rtspUrls_;
    snapshot.recorders = pool_.status();
    if (front_ != nullptr) snapshot.front = front_->counters();
    const std::map<std::string, int> clients = rtsp_.clientsByPath();
    const std::map<std::string, WhepPathInfo> webrtc = whep_ != nullptr ? whep_->paths() : std::map<std::string, WhepPathInfo>{};
    for (const RtspServer::Mounted& mount : rtsp_.mounted()) {
        PathSnapshot path;
        path.path = mount.path;
        path.recorder = mount.recorder;
        path.channel = mount.channel;
        const auto found = clients.find(mount.path);
        path.clients = found != clients.end() ? found->second : 0;
        if (const auto viewing = webrtc.find(mount.path); viewing != webrtc.end()) path.webrtc = viewing->second;
        for (const RecorderStatus& recorder : snapshot.recorders) {
            if (recorder.name != mount.recorder) continue;
            for (const ChannelStatus& channel : recorder.channels) {
                if (channel.channel != mount.channel) continue;
                path.watchers = channel.watchers;
                path.counters = channel.counters;
            }
        }
        const RateMeter::Rates rates = rates_.update(path.path, path.counters, snapshot.now);
        path.picturesPerSecond = rates.picturesPerSecond;
        path.bytesPerSecond = rates.bytesPerSecond;
        snapshot.paths.push_back(path);
    }
    std::lock_guard<std::mutex> lock(publishersMutex_);
    for (const auto& [recorder, publishers] : publishers_) {
        for (const auto& publisher : publishers) {
            snapshot.publishers.push_back({publisher->path(), publisher->url(), publisher->state()});
        }
    }
    return snapshot;
}

std::optional<WhepTarget> BridgeService::whepTarget(const std::string& path) const {
    for (const RtspServer::Mounted& mount : rtsp_.mounted()) {
        if (mount.path == path) return WhepTarget{mount.recorder, mount.channel - 1};
    }
    return std::nullopt;
}

void BridgeService::routeStatus() {
    // A browser is sent to the page; other clients get the status text.
    status_->route("/", [this](const HttpRequest& request) {
        if (request.header("accept").find("text/html") != std::string::npos) {
            return HttpReply{302, "text/plain; charset=utf-8", "see /view/\n", {{"Location", "/view/"}}};
        }
        return HttpReply{200, "text/plain; charset=utf-8", statusPage(snapshot())};
    });
    status_->routePrefix("/view/", [directory = webDirectory()](const HttpRequest& request) {
        const std::string name = request.path.substr(std::string("/view/").size());
        return webFile(directory, name.empty() ? "index.html" : name);
    });
    status_->requireLogin({"/view/", "/whep/"}, "orvix-bridge");
    status_->setUsers(settings_.rtsp.users);
    status_->route("/paths", [this](const HttpRequest&) { return HttpReply{200, "application/json", pathsJson(snapshot())}; });
    status_->route("/metrics", [this](const HttpRequest&) {
        return HttpReply{200, "text/plain; version=0.0.4; charset=utf-8", prometheusMetrics(snapshot())};
    });
    status_->route("/healthz", [this](const HttpRequest&) {
        std::string why;
        const bool ok = healthy(snapshot(), why);
        return HttpReply{ok ? 200 : 503, "text/plain; charset=utf-8", ok ? "ok\n" : why};
    });
}

}  // namespace orvix::bridge
