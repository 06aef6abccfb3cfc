// The device store for callers that must not wait on the keyring, such as
// a window's thread: the Secret Service may take up to its time limit to
// answer (an unlock prompt nobody answers, a service that hangs). Every
// call runs on one thread of the store's own, in the order of the calls;
// the waiting calls wait for their turn, the others return at once and
// their outcome goes to the listener.
//
// A list loaded with loadWithoutKeyring() comes without the passwords the
// keyring keeps; fetchPassword() gets one when it is needed (to connect).
// A queued save takes the list's stored fields at the time of the call.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "store/device_store.h"
#include "store/job_thread.h"

namespace orvix {

class AsyncDeviceStore {
public:
    struct Outcome {
        enum class Kind {
            Saved,     // a queued save ended
            Password,  // a fetched password, or why there is none
            Note,      // something to say about the keyring after a load
        };
        Kind kind = Kind::Note;
        bool ok = true;
        std::string notice;          // for a message box; may be empty
        std::string passwordNotice;  // the info line's note that passwords stay in the file, once
        const DeviceRecord* record = nullptr;  // Password: the record asked about
        std::u16string password;               // Password, when ok
        std::vector<DeviceStore::IdChange> idChanges;  // Saved: records whose ids changed
    };
    // Called on the store's thread, one outcome at a time; it must not call
    // the store.
    using Listener = std::function<void(const Outcome&)>;

    // What a waiting call had to say.
    struct Said {
        std::string notice;
        std::string passwordNotice;
    };

    // `keyringLimit`: how long one keyring call may take.
    explicit AsyncDeviceStore(std::chrono::milliseconds keyringLimit = SecretKeyring::kDefaultCallLimit);
    // Runs what is queued first.
    ~AsyncDeviceStore();
    AsyncDeviceStore(const AsyncDeviceStore&) = delete;
    AsyncDeviceStore& operator=(const AsyncDeviceStore&) = delete;

    // Each call names the file (`path`); a call for another file than the
    // last one starts afresh with a store for it.

    // DeviceStore::load() and save(), waiting for their turn and their end.
    bool load(const std::string& path, DeviceList& list, Said& said);
    bool save(const std::string& path, DeviceList& list, Said& said);

    // Loads without asking the keyring: the records whose passwords it keeps
    // come without them. Whether the keyring can take the passwords the
    // file holds is found out afterwards (a Note).
    bool loadWithoutKeyring(const std::string& path, DeviceList& list, Said& said);

    // Saves the list's stored fields as they are now; the outcome comes
    // later (Saved).
    void saveLater(const std::string& path, const DeviceList& list);

    enum class Password {
        InList,    // the record holds its password (or has none)
        Given,     // fetched before: in `password` now
        Fetching,  // being fetched: the outcome comes later (Password)
    };
    // The password of `record` of a list loaded with loadWithoutKeyring().
    Password fetchPassword(const std::string& path, const DeviceList& list, const DeviceRecord& record,
                           std::u16string& password);

    // Outcomes of the calls that do not wait go to `listener`; setting
    // another (or none) waits until a running call of the previous one ended.
    void setListener(Listener listener);

    // Waits until every call made so far has ended; false after `limit`.
    bool waitIdle(std::chrono::milliseconds limit);

private:
    // A record whose password the keyring keeps and the list lacks.
    struct Waiting {
        bool asked = false;    // a fetch is queued or has ended
        bool fetched = false;  // and gave it
        std::u16string password;
    };

    // Runs `call` on the store of `path` on the store's thread and waits.
    bool waitFor(const std::string& path, Said& result, const std::function<bool(DeviceStore&)>& call);
    // On the store's thread.
    DeviceStore& storeFor(const std::string& path);
    Said said(const DeviceStore& store);
    void tell(const Outcome& outcome);
    void fetch(const std::string& path, const DeviceList* list, const DeviceRecord* record);

    const std::chrono::milliseconds keyringLimit_;
    std::unique_ptr<DeviceStore> store_;   // the store's thread only
    bool passwordNoticeGiven_ = false;     // the store's thread only

    std::mutex mutex_;  // guards waiting_
    std::map<const DeviceRecord*, Waiting> waiting_;

    std::mutex listenerMutex_;  // held while the listener runs
    Listener listener_;

    JobThread jobs_;  // last: it ends first, running what is queued
};

}  // namespace orvix
