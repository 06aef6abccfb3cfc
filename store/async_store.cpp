#include "store/async_store.h"

#include <algorithm>
#include <exception>

namespace orvix {
namespace {

// Runs `job` on `jobs`' thread and waits; what it throws is thrown here.
void callRethrowing(JobThread& jobs, const std::function<void()>& job) {
    std::exception_ptr thrown;
    jobs.call([&] {
        try {
            job();
        } catch (...) {
            thrown = std::current_exception();
        }
    });
    if (thrown) std::rethrow_exception(thrown);
}

}  // namespace

AsyncDeviceStore::AsyncDeviceStore(std::chrono::milliseconds keyringLimit) : keyringLimit_(keyringLimit) {}

AsyncDeviceStore::~AsyncDeviceStore() = default;

DeviceStore& AsyncDeviceStore::storeFor(const std::string& path) {
    if (!store_ || store_->path() != path) {
        store_ = std::make_unique<DeviceStore>(path);
        store_->setKeyringCallLimit(keyringLimit_);
        passwordNoticeGiven_ = false;
        std::lock_guard<std::mutex> lock(mutex_);
        waiting_.clear();
    }
    return *store_;
}

AsyncDeviceStore::Said AsyncDeviceStore::said(const DeviceStore& store) {
    Said result;
    result.notice = store.notice();
    // The store keeps the line; it is passed on once.
    if (!passwordNoticeGiven_ && !store.passwordNotice().empty()) {
        passwordNoticeGiven_ = true;
        result.passwordNotice = store.passwordNotice();
    }
    return result;
}

void AsyncDeviceStore::tell(const Outcome& outcome) {
    std::lock_guard<std::mutex> lock(listenerMutex_);
    if (listener_) listener_(outcome);
}

bool AsyncDeviceStore::waitFor(const std::string& path, Said& result, const std::function<bool(DeviceStore&)>& call) {
    bool done = false;
    callRethrowing(jobs_, [&] {
        DeviceStore& store = storeFor(path);
        done = call(store);
        result = said(store);
    });
    return done;
}

bool AsyncDeviceStore::load(const std::string& path, DeviceList& list, Said& result) {
    return waitFor(path, result, [&](DeviceStore& store) { return store.load(list); });
}

bool AsyncDeviceStore::save(const std::string& path, DeviceList& list, Said& result) {
    return waitFor(path, result, [&](DeviceStore& store) { return store.save(list); });
}

bool AsyncDeviceStore::loadWithoutKeyring(const std::string& path, DeviceList& list, Said& result) {
    const bool loaded = waitFor(path, result, [&](DeviceStore& store) {
        const bool ok = store.load(list, DeviceStore::KeyringReads::WhenAsked);
        std::lock_guard<std::mutex> lock(mutex_);
        for (const DeviceRecord* record : list.entries()) {
            if (!store.passwordReadable(*record)) waiting_[record] = Waiting{};
        }
        return ok;
    });
    jobs_.post([this, path] {
        try {
            DeviceStore& store = storeFor(path);
            store.checkKeyringForFilePasswords();
            Outcome note;
            note.passwordNotice = said(store).passwordNotice;
            if (!note.passwordNotice.empty()) tell(note);
        } catch (...) {
            // Out of memory: the note is not given.
        }
    });
    return loaded;
}

void AsyncDeviceStore::saveLater(const std::string& path, const DeviceList& list) {
    std::vector<ListedRecord> listed = listedRecords(list);
    {
        // A record that has a password now, or is gone, waits for none.
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto entry = waiting_.begin(); entry != waiting_.end();) {
            const auto found = std::find_if(listed.begin(), listed.end(),
                                            [&](const ListedRecord& r) { return r.record == entry->first; });
            if (found == listed.end() || !found->fields.password.empty()) {
                entry = waiting_.erase(entry);
            } else {
                ++entry;
            }
        }
    }
    const DeviceList* identity = &list;
    jobs_.post([this, path, identity, listed = std::move(listed)] {
        Outcome outcome;
        outcome.kind = Outcome::Kind::Saved;
        try {
            DeviceStore& store = storeFor(path);
            outcome.ok = store.save(*identity, listed, outcome.idChanges);
            const Said result = said(store);
            outcome.notice = result.notice;
            outcome.passwordNotice = result.passwordNotice;
        } catch (...) {
            outcome.ok = false;
            outcome.notice = "The device list could not be saved: out of memory.";
        }
        tell(outcome);
    });
}

AsyncDeviceStore::Password AsyncDeviceStore::fetchPassword(const std::string& path, const DeviceList& list,
                                                           const DeviceRecord& record, std::u16string& password) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = waiting_.find(&record);
    if (found == waiting_.end()) return Password::InList;
    Waiting& waiting = found->second;
    if (waiting.fetched) {
        password = waiting.password;
        return Password::Given;
    }
    if (!waiting.asked) {
        waiting.asked = true;
        jobs_.post([this, path, identity = &list, wanted = &record] { fetch(path, identity, wanted); });
    }
    return Password::Fetching;
}

void AsyncDeviceStore::fetch(const std::string& path, const DeviceList* list, const DeviceRecord* record) {
    Outcome outcome;
    outcome.kind = Outcome::Kind::Password;
    outcome.record = record;
    try {
        DeviceStore& store = storeFor(path);
        outcome.ok = store.readPassword(*list, *record, outcome.password);
        outcome.notice = store.notice();
    } catch (...) {
        outcome.ok = false;
        outcome.notice = "The password could not be read from the keyring: out of memory.";
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto found = waiting_.find(record);
        if (found != waiting_.end()) {
            // A fetch that failed may be asked for again (and says why again).
            found->second.asked = outcome.ok;
            found->second.fetched = outcome.ok;
            found->second.password = outcome.password;
        }
    }
    tell(outcome);
}

void AsyncDeviceStore::setListener(Listener listener) {
    std::lock_guard<std::mutex> lock(listenerMutex_);
    listener_ = std::move(listener);
}

bool AsyncDeviceStore::waitIdle(std::chrono::milliseconds limit) { return jobs_.waitIdle(limit); }

}  // namespace orvix
