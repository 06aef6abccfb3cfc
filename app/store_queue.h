// The dialog's calls into the device store, made so that the window never
// waits on the keyring: the list is loaded without asking it, saves and
// password reads run on the store's own thread, and how they ended comes
// back to the GUI thread. With a store library that lacks those entries the
// calls wait, and their outcomes come back the same way.
//
// The store hears one listener per process: the last queue made.
#pragma once

#include <QObject>
#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "core/library_binding.h"

namespace orvix {

class StoreQueue : public QObject {
    Q_OBJECT

public:
    struct Outcome {
        int kind = kNodraSaved;  // kNodraSaved, kNodraPassword or kNodraNote
        bool ok = true;
        std::string notice;
        std::string passwordNotice;
        const DeviceRecord* record = nullptr;  // kNodraPassword: whose
        std::u16string password;               // kNodraPassword, when ok
        std::vector<NodraIdChange> idChanges;  // kNodraSaved
    };
    // Called on the GUI thread.
    using Handler = std::function<void(const Outcome&)>;

    // How long the queue waits at its end for the store to finish what was
    // asked of it (a keyring that does not answer costs its time limit).
    static constexpr std::chrono::milliseconds kFinishLimit{70000};

    // GUI thread; `binding` outlives the queue.
    StoreQueue(const LibraryBinding& binding, Handler handler);
    // Waits for the store to finish the calls made (at most kFinishLimit).
    ~StoreQueue() override;

    // Loads the saved list into `list`; returns what the store asks to tell
    // the user.
    std::string load(DeviceList& list, DeviceRecord& working);
    void save(DeviceList& list, DeviceRecord& working);
    // Whether `working`, the copy of `record` about to connect, holds its
    // password; false while the keyring is asked (the handler hears).
    bool passwordReady(DeviceList& list, DeviceRecord& record, DeviceRecord& working);

    // Saves and password reads whose outcome was not handled yet.
    int pending() const { return savesPending_ + static_cast<int>(fetching_.size()); }

private:
    Q_INVOKABLE void deliver();
    static void heard(void* context, const NodraOutcome* outcome);
    void queue(Outcome outcome);
    bool queued() const { return binding_.queuedStoreAvailable(); }

    const LibraryBinding& binding_;
    Handler handler_;
    int savesPending_ = 0;
    std::set<const DeviceRecord*> fetching_;  // whose passwords are asked for
    std::mutex mutex_;  // guards outcomes_, filled on the store's thread
    std::deque<Outcome> outcomes_;
};

}  // namespace orvix
