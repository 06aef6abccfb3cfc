#include "session/recorder_pool.h"

namespace orvix {

PoolHandle::PoolHandle(PoolHandle&& other) noexcept
    : pool_(other.pool_), watch_(std::move(other.watch_)) {
    other.pool_ = nullptr;
}

PoolHandle& PoolHandle::operator=(PoolHandle&& other) noexcept {
    if (this != &other) {
        release();
        pool_ = other.pool_;
        watch_ = std::move(other.watch_);
        other.pool_ = nullptr;
    }
    return *this;
}

std::string PoolHandle::recorder() const { return watch_ != nullptr ? watch_->recorder->name() : std::string(); }

int PoolHandle::channel() const { return watch_ != nullptr ? watch_->channel : -1; }

void PoolHandle::attachPackets(FeedTarget* target, bool withGroup) {
    if (watch_ != nullptr) watch_->recorder->attachPackets(*watch_, target, withGroup);
}

void PoolHandle::setPictures(PictureTarget* target) {
    if (watch_ != nullptr) watch_->recorder->setPictures(*watch_, target);
}

void PoolHandle::setStateListener(std::function<void(const RecorderState&)> listener) {
    if (watch_ != nullptr) watch_->recorder->setListener(*watch_, std::move(listener));
}

RecorderState PoolHandle::state() const { return watch_ != nullptr ? watch_->recorder->state() : RecorderState{}; }

WatchResult PoolHandle::waitReady(std::chrono::milliseconds limit) const {
    return watch_ != nullptr ? watch_->recorder->waitReady(*watch_, limit) : WatchResult::NoSuchChannel;
}

VideoCodec PoolHandle::codec() const {
    return watch_ != nullptr ? watch_->recorder->codec(watch_->channel) : VideoCodec::None;
}

void PoolHandle::cameraControl(int action, int32_t preset) {
    if (watch_ != nullptr && watch_->recorder != nullptr) watch_->recorder->cameraControl(watch_->channel, action, preset);
}

bool PoolHandle::moveTo(const std::string& recorder, int channel) {
    if (watch_ == nullptr || channel < 0 || channel >= kMaxChannels) return false;
    PooledRecorder* next = pool_->find(recorder);
    if (next == nullptr) return false;
    if (next == watch_->recorder && channel == watch_->channel) return true;
    watch_->recorder->remove(watch_);
    watch_->channel = channel;
    next->add(watch_);
    return true;
}

void PoolHandle::release() {
    if (watch_ == nullptr) return;
    if (watch_->recorder != nullptr) watch_->recorder->remove(watch_);
    watch_.reset();
    pool_ = nullptr;
}

bool RecorderPool::add(RecorderSettings settings) {
    std::lock_guard<std::mutex> changing(membership_);
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopped_) return false;
    for (const auto& recorder : recorders_) {
        if (recorder->name() == settings.name) return false;
    }
    for (auto it = retired_.begin(); it != retired_.end(); ++it) {
        if ((*it)->name() != settings.name) continue;
        (*it)->renew(std::move(settings));
        (*it)->start();
        recorders_.push_back(std::move(*it));
        retired_.erase(it);
        return true;
    }
    const std::string name = settings.name;
    auto recorder = std::make_unique<PooledRecorder>(std::move(settings), log_);
    recorder->setLostHandler([this, name] {
        std::function<void(const std::string&)> handler;
        {
            std::lock_guard<std::mutex> handlerLock(mutex_);
            handler = lostHandler_;
        }
        if (handler) handler(name);
    });
    recorder->start();
    recorders_.push_back(std::move(recorder));
    return true;
}

bool RecorderPool::retire(const std::string& name, const std::string& reason) {
    std::lock_guard<std::mutex> changing(membership_);
    PooledRecorder* leaving = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = recorders_.begin(); it != recorders_.end(); ++it) {
            if ((*it)->name() != name) continue;
            leaving = it->get();
            retired_.push_back(std::move(*it));
            recorders_.erase(it);
            break;
        }
    }
    if (leaving == nullptr) return false;
    // Out of the data lock: closing waits for the recorder's thread.
    leaving->stop(reason);
    return true;
}

std::vector<std::string> RecorderPool::recorders() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> names;
    for (const auto& recorder : recorders_) names.push_back(recorder->name());
    return names;
}

PooledRecorder* RecorderPool::find(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& recorder : recorders_) {
        if (recorder->name() == name) return recorder.get();
    }
    return nullptr;
}

PoolHandle RecorderPool::watch(const std::string& recorder, int channel) {
    PooledRecorder* found = find(recorder);
    if (found == nullptr || channel < 0 || channel >= kMaxChannels) return PoolHandle();
    auto watch = std::make_shared<PoolWatch>();
    watch->channel = channel;
    found->add(watch);
    return PoolHandle(this, std::move(watch));
}

void RecorderPool::setLostHandler(std::function<void(const std::string& recorder)> handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    lostHandler_ = std::move(handler);
}

std::vector<RecorderStatus> RecorderPool::status() const {
    std::vector<PooledRecorder*> recorders;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& recorder : recorders_) recorders.push_back(recorder.get());
    }
    std::vector<RecorderStatus> statuses;
    for (PooledRecorder* recorder : recorders) statuses.push_back(recorder->status());
    return statuses;
}

bool RecorderPool::adoptConnection(const std::string& recorder, AdoptedConnection connection) {
    PooledRecorder* found = find(recorder);
    if (found == nullptr) return false;
    found->adopt(std::move(connection));
    return true;
}

void RecorderPool::returnConnection(const std::string& recorder) {
    if (PooledRecorder* found = find(recorder)) found->giveBack();
}

ChannelEvents* RecorderPool::guestEvents(const std::string& recorder) const {
    PooledRecorder* found = find(recorder);
    return found != nullptr ? &found->guestEvents() : nullptr;
}

void RecorderPool::stop(const std::string& reason) {
    std::vector<PooledRecorder*> recorders;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
        for (const auto& recorder : recorders_) recorders.push_back(recorder.get());
    }
    for (PooledRecorder* recorder : recorders) recorder->stop(reason);
}

}  // namespace orvix
