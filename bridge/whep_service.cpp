#include "bridge/whep_service.h"

#include <glib.h>

#include "bridge/watch_result_text.h"
#include "bridge/whep_offer.h"

namespace orvix::bridge {
namespace {

constexpr const char* kPrefix = "/whep/";
// Often enough for a new viewer's latency to be taken in at its start.
constexpr std::chrono::milliseconds kHousekeeping{250};

HttpReply refusal(int status, const std::string& why) { return {status, "text/plain; charset=utf-8", why + "\n"}; }

int statusFor(WatchResult result) { return result == WatchResult::NoSuchChannel ? 404 : 503; }

std::string mediaType(const std::string& contentType) { return contentType.substr(0, contentType.find(';')); }

std::string who(const HttpRequest& request) {
    return request.client + (request.user.empty() ? "" : " (user " + request.user + ")");
}

}  // namespace

WhepService::WhepService(RecorderPool& pool, WhepLookup lookup, std::chrono::milliseconds joinWait, EventLog& log)
    : pool_(pool), lookup_(std::move(lookup)), joinWait_(joinWait), log_(log) {}

void WhepService::serveOn(HttpServer& server) {
    server.routePrefixLater(
        kPrefix,
        [this](const HttpRequest& request, HttpServer::Responder respond) {
            if (request.method == "DELETE") return respond(remove(request));
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) return respond(refusal(503, "the bridge is stopping"));
            tasks_.push_back({request, std::move(respond)});
            wake_.notify_all();
        },
        {"POST", "DELETE"});
    for (int i = 0; i < kWorkers; ++i) threads_.emplace_back([this] { work(); });
    threads_.emplace_back([this] { housekeep(); });
}

void WhepService::stop() {
    std::deque<Task> waiting;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        waiting.swap(tasks_);
        wake_.notify_all();
    }
    for (Task& task : waiting) task.respond(refusal(503, "the bridge is stopping"));
    for (std::thread& t : threads_) t.join();
    threads_.clear();
    std::map<std::string, std::shared_ptr<Entry>> closing;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing.swap(entries_);
        viewers_ = 0;
    }
    for (auto& [path, entry] : closing) {
        std::lock_guard<std::mutex> lock(entry->mutex);
        entry->channel.reset();
    }
}

void WhepService::work() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
        wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
        if (stopping_) return;
        Task task = std::move(tasks_.front());
        tasks_.pop_front();
        lock.unlock();
        task.respond(offer(task.request));
        lock.lock();
    }
}

void WhepService::housekeep() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_for(lock, kHousekeeping, [this] { return stopping_; })) {
        const auto entries = entries_;
        lock.unlock();
        std::vector<std::string> gone;
        for (const auto& [path, entry] : entries) {
            std::lock_guard<std::mutex> entryLock(entry->mutex);
            if (tidy(path, *entry)) gone.push_back(path);
        }
        lock.lock();
        for (const std::string& path : gone) {
            const auto found = entries_.find(path);
            // A viewer may have come since; its entry then has a channel.
            if (found == entries_.end()) continue;
            std::lock_guard<std::mutex> entryLock(found->second->mutex);
            if (found->second->channel == nullptr) entries_.erase(found);
        }
    }
}

bool WhepService::tidy(const std::string& path, Entry& entry) {
    if (entry.channel == nullptr) return true;
    entry.channel->updateLatency();
    const int gone = entry.channel->removeGone();
    if (gone > 0) log_.event("WebRTC: " + std::to_string(gone) + " viewers of " + path + " lost their connection");
    const auto now = std::chrono::steady_clock::now();
    const int left = static_cast<int>(entry.channel->viewers());
    if (left > 0) entry.emptySince = now;
    const bool ended = entry.channel->ended();
    const bool idle = left == 0 && now - entry.emptySince >= kIdleClose;
    if (ended) {
        const std::string failure = entry.channel->failure();
        log_.event("WebRTC: the stream of " + path + (failure.empty() ? " ended" : " failed (" + failure + ")") +
                   "; its " + std::to_string(left) + " viewers are closed");
    }
    if (ended || idle) entry.channel.reset();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        viewers_ -= gone + (ended ? left : 0);
    }
    return entry.channel == nullptr;
}

std::shared_ptr<WhepService::Entry> WhepService::entryFor(const std::string& path, const WhepTarget& target,
                                                          HttpReply& refused) {
    std::shared_ptr<Entry> entry;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto& slot = entries_[path];
        if (slot == nullptr) slot = std::make_shared<Entry>();
        entry = slot;
    }
    // The caller holds the entry's lock from here.
    entry->mutex.lock();
    if (entry->channel != nullptr && !entry->channel->ended()) return entry;
    if (entry->channel != nullptr) {
        std::lock_guard<std::mutex> lock(mutex_);
        viewers_ -= static_cast<int>(entry->channel->viewers());
    }
    entry->channel.reset();
    PoolHandle handle = pool_.watch(target.recorder, target.channel);
    const WatchResult result = handle ? handle.waitReady(joinWait_) : WatchResult::NoSuchChannel;
    std::string error = describe(result);
    if (result == WatchResult::Ready) {
        auto channel = std::make_unique<WebrtcChannel>(std::move(handle));
        if (channel->start(error)) {
            entry->channel = std::move(channel);
            return entry;
        }
    }
    entry->mutex.unlock();
    refused = refusal(result == WatchResult::Ready ? 500 : statusFor(result), error);
    return nullptr;
}

HttpReply WhepService::offer(const HttpRequest& request) {
    const std::string path = request.path.substr(std::string(kPrefix).size() - 1);
    const std::optional<WhepTarget> target = lookup_(path);
    if (!target) return refusal(404, "no such path");
    const std::string type = mediaType(request.header("content-type"));
    if (!type.empty() && type != "application/sdp") return refusal(415, "the offer must be application/sdp");
    const std::optional<H264Choice> choice = chooseH264(request.body);
    if (!choice) return refusal(400, "the offer has no H.264 video in packetization mode 1");
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (viewers_ >= kMaxViewers) return refusal(503, "too many WebRTC viewers");
        ++viewers_;
    }
    HttpReply refused;
    std::shared_ptr<Entry> entry = entryFor(path, *target, refused);
    gchar* uuid = g_uuid_string_random();
    const std::string id = uuid;
    g_free(uuid);
    std::string answer, error;
    const bool added = entry != nullptr && entry->channel->addViewer(id, request.body, *choice, answer, error);
    const bool transcoded = added && entry->channel->transcoded();
    if (entry != nullptr) {
        entry->emptySince = std::chrono::steady_clock::now();
        entry->mutex.unlock();
    }
    if (!added) {
        std::lock_guard<std::mutex> lock(mutex_);
        --viewers_;
    }
    if (entry == nullptr) {
        log_.event("WebRTC viewer " + who(request) + " refused for " + path + ": " + refused.body.substr(0, refused.body.size() - 1));
        return refused;
    }
    if (!added) {
        log_.event("WebRTC viewer " + who(request) + " refused for " + path + ": " + error);
        return refusal(400, error);
    }
    log_.event("WebRTC viewer " + who(request) + " joined " + path + (transcoded ? " (transcoded)" : ""));
    HttpReply reply{201, "application/sdp", answer, {{"Location", kPrefix + path.substr(1) + "/" + id}}};
    reply.headers.emplace_back("X-Orvix-Transcoded", transcoded ? "yes" : "no");
    return reply;
}

HttpReply WhepService::remove(const HttpRequest& request) {
    const size_t slash = request.path.rfind('/');
    const std::string path = request.path.substr(std::string(kPrefix).size() - 1, slash - (std::string(kPrefix).size() - 1));
    const std::string id = request.path.substr(slash + 1);
    std::shared_ptr<Entry> entry;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto found = entries_.find(path);
        if (found != entries_.end()) entry = found->second;
    }
    bool removed = false;
    if (entry != nullptr) {
        std::lock_guard<std::mutex> lock(entry->mutex);
        removed = entry->channel != nullptr && entry->channel->removeViewer(id);
    }
    if (!removed) return refusal(404, "no such viewer");
    {
        std::lock_guard<std::mutex> lock(mutex_);
        --viewers_;
    }
    log_.event("WebRTC viewer " + who(request) + " left " + path);
    return {200, "text/plain; charset=utf-8", "closed\n"};
}

std::map<std::string, WhepPathInfo> WhepService::paths() const {
    std::map<std::string, std::shared_ptr<Entry>> entries;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        entries = entries_;
    }
    std::map<std::string, WhepPathInfo> info;
    for (const auto& [path, entry] : entries) {
        // A channel being made is not waited for.
        std::unique_lock<std::mutex> lock(entry->mutex, std::try_to_lock);
        if (!lock.owns_lock() || entry->channel == nullptr) continue;
        info[path] = {static_cast<int>(entry->channel->viewers()), entry->channel->transcoded()};
    }
    return info;
}

}  // namespace orvix::bridge
