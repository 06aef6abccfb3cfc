#include "app/store_queue.h"

#include <QMetaObject>

namespace orvix {

StoreQueue::StoreQueue(const LibraryBinding& binding, Handler handler)
    : binding_(binding), handler_(std::move(handler)) {
    if (queued()) binding_.storeSetListener(&StoreQueue::heard, this);
}

StoreQueue::~StoreQueue() {
    if (!queued()) return;
    // A save still running is finished rather than cut off with the program.
    binding_.storeWaitIdle(static_cast<int>(kFinishLimit.count()));
    binding_.storeSetListener(nullptr, this);
}

std::string StoreQueue::load(DeviceList& list, DeviceRecord& working) {
    if (!queued()) return loadDeviceList(binding_, list, working);
    binding_.loadDevInfoNoKeyring(&list, &working);
    const char* notice = binding_.storeNotice != nullptr ? binding_.storeNotice() : nullptr;
    return notice != nullptr ? std::string(notice) : std::string();
}

void StoreQueue::save(DeviceList& list, DeviceRecord& working) {
    if (!binding_.storeAvailable()) return;
    ++savesPending_;
    if (queued() && binding_.saveDevInfoQueued(&list, &working) == 1) return;
    Outcome outcome;
    outcome.notice = saveDeviceList(binding_, list, working);
    outcome.passwordNotice = takeStorePasswordNotice(binding_);
    queue(std::move(outcome));
}

bool StoreQueue::passwordReady(DeviceList& list, DeviceRecord& record, DeviceRecord& working) {
    if (!queued() || binding_.fetchDevPassword(&list, &record, &working) != kNodraPasswordFetching) return true;
    fetching_.insert(&record);
    return false;
}

void StoreQueue::heard(void* context, const NodraOutcome* outcome) {
    Outcome copy;
    copy.kind = outcome->kind;
    copy.ok = outcome->ok != 0;
    copy.notice = outcome->notice != nullptr ? outcome->notice : "";
    copy.passwordNotice = outcome->passwordNotice != nullptr ? outcome->passwordNotice : "";
    copy.record = outcome->record;
    if (outcome->password != nullptr) copy.password = outcome->password;
    copy.idChanges.assign(outcome->idChanges, outcome->idChanges + outcome->idChangeCount);
    static_cast<StoreQueue*>(context)->queue(std::move(copy));
}

void StoreQueue::queue(Outcome outcome) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        outcomes_.push_back(std::move(outcome));
    }
    // Queued by name, so that Qt alone builds the call event.
    QMetaObject::invokeMethod(this, "deliver", Qt::QueuedConnection);
}

void StoreQueue::deliver() {
    std::deque<Outcome> outcomes;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        outcomes.swap(outcomes_);
    }
    for (const Outcome& outcome : outcomes) {
        if (outcome.kind == kNodraSaved && savesPending_ > 0) --savesPending_;
        if (outcome.kind == kNodraPassword) fetching_.erase(outcome.record);
        handler_(outcome);
    }
}

}  // namespace orvix
