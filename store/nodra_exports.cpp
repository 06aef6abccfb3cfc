// The entries of libnodra.so. The program binds them by name; they take the
// device list and the working record, in this order. Results: 1 when the
// list was loaded or saved, -1 otherwise.
//
// Every call runs on the store's own thread, in the order of the calls (see
// async_store.h). The _V2 entries and the first-generation ones wait for
// their turn and their end, reading and writing the keyring as they go. A
// program whose window must not wait on the keyring loads with
// _gLoadDevInfo_NoKeyring, saves with _gSaveDevInfo_Queued, fetches a
// password with _gFetchDevPassword when it connects, and hears how those
// ended through _gStoreSetListener.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/device_list.h"
#include "core/nodra_entries.h"
#include "store/async_store.h"
#include "store/device_store.h"

#define NODRA_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using orvix::AsyncDeviceStore;

std::mutex gMutex;
std::string gNotice;
// The store's note that passwords are kept in the file: waiting to be taken,
// and what the last _gStorePasswordNotice() returned.
std::string gPasswordNotice;
std::string gPasswordNoticeTaken;
// Whose listener hears the outcomes.
void* gListenerContext = nullptr;

// Tests shorten the keyring's time limit with ORVIX_TEST_KEYRING_LIMIT_MS.
std::chrono::milliseconds keyringLimit() {
    const char* text = std::getenv("ORVIX_TEST_KEYRING_LIMIT_MS");
    const long value = text != nullptr ? std::atol(text) : 0;
    return value > 0 ? std::chrono::milliseconds(value) : orvix::SecretKeyring::kDefaultCallLimit;
}

// One for the process, never destroyed: its thread may still wait on the
// keyring when the process ends. A child made by fork() has no such thread
// and makes its own.
AsyncDeviceStore& store() {
    static std::mutex made;
    static AsyncDeviceStore* instance = nullptr;
    static pid_t owner = 0;
    std::lock_guard<std::mutex> lock(made);
    if (instance == nullptr || owner != ::getpid()) {
        instance = new AsyncDeviceStore(keyringLimit());
        owner = ::getpid();
    }
    return *instance;
}

void keep(const AsyncDeviceStore::Said& said) {
    std::lock_guard<std::mutex> lock(gMutex);
    gNotice = said.notice;
    if (!said.passwordNotice.empty()) gPasswordNotice = said.passwordNotice;
}

void keepFailure(const char* what) {
    std::lock_guard<std::mutex> lock(gMutex);
    gNotice = std::string("The device list could not be ") + what + ": out of memory.";
    std::fprintf(stderr, "%s\n", gNotice.c_str());
}

using Call = bool (AsyncDeviceStore::*)(const std::string&, orvix::DeviceList&, AsyncDeviceStore::Said&);

int waitingCall(orvix::DeviceList* list, Call call, const char* what) {
    if (list == nullptr) {
        keep({});
        return -1;
    }
    try {
        AsyncDeviceStore::Said said;
        const bool ok = (store().*call)(orvix::defaultDatabasePath(), *list, said);
        keep(said);
        return ok ? 1 : -1;
    } catch (...) {
        keepFailure(what);
        return -1;
    }
}

struct ListenerBinding {
    NodraListener listener = nullptr;
    void* context = nullptr;
};

void passOn(const ListenerBinding& to, const AsyncDeviceStore::Outcome& outcome) {
    std::vector<NodraIdChange> changes;
    for (const auto& change : outcome.idChanges) changes.push_back({change.record, change.from, change.to});
    NodraOutcome out{};
    switch (outcome.kind) {
    case AsyncDeviceStore::Outcome::Kind::Saved:
        out.kind = orvix::kNodraSaved;
        break;
    case AsyncDeviceStore::Outcome::Kind::Password:
        out.kind = orvix::kNodraPassword;
        break;
    case AsyncDeviceStore::Outcome::Kind::Note:
        out.kind = orvix::kNodraNote;
        break;
    }
    out.ok = outcome.ok ? 1 : 0;
    out.notice = outcome.notice.c_str();
    out.passwordNotice = outcome.passwordNotice.c_str();
    out.record = outcome.record;
    out.password = outcome.kind == AsyncDeviceStore::Outcome::Kind::Password && outcome.ok
                       ? outcome.password.c_str()
                       : nullptr;
    out.idChanges = changes.data();
    out.idChangeCount = changes.size();
    to.listener(to.context, &out);
}

}  // namespace

// Appends the saved records to the list, in saved order; the list owns them.
NODRA_EXPORT int _gLoadDevInfo_V2(orvix::DeviceList* list, orvix::DeviceRecord* /*working*/) {
    return waitingCall(list, &AsyncDeviceStore::load, "loaded");
}

// Saves the stored fields of every entry, in order, merged with what other
// writers saved since this list was loaded.
NODRA_EXPORT int _gSaveDevInfo_V2(orvix::DeviceList* list, orvix::DeviceRecord* /*working*/) {
    return waitingCall(list, &AsyncDeviceStore::save, "saved");
}

// The first-generation entries do the same as the _V2 ones.
NODRA_EXPORT int _gLoadDevInfo(orvix::DeviceList* list, orvix::DeviceRecord* working) {
    return _gLoadDevInfo_V2(list, working);
}

NODRA_EXPORT int _gSaveDevInfo(orvix::DeviceList* list, orvix::DeviceRecord* working) {
    return _gSaveDevInfo_V2(list, working);
}

// As _gLoadDevInfo_V2, without asking the keyring: records whose passwords
// it keeps come without them (see _gFetchDevPassword). The note that the
// file's passwords stay there comes to the listener.
NODRA_EXPORT int _gLoadDevInfo_NoKeyring(orvix::DeviceList* list, orvix::DeviceRecord* /*working*/) {
    return waitingCall(list, &AsyncDeviceStore::loadWithoutKeyring, "loaded");
}

// Takes the stored fields of every entry now and saves them on the store's
// thread; the listener hears how it ended. 1 when queued.
NODRA_EXPORT int _gSaveDevInfo_Queued(orvix::DeviceList* list, orvix::DeviceRecord* /*working*/) {
    if (list == nullptr) return -1;
    try {
        store().saveLater(orvix::defaultDatabasePath(), *list);
        return 1;
    } catch (...) {
        keepFailure("saved");
        return -1;
    }
}

// The password of `record`, an entry of a list loaded with
// _gLoadDevInfo_NoKeyring, for a connection of `working`: 0 when the record
// holds it; 1 when it was fetched before and is now in `working`; 2 when it
// is being fetched (the listener hears); -1 for a null argument.
NODRA_EXPORT int _gFetchDevPassword(orvix::DeviceList* list, orvix::DeviceRecord* record,
                                    orvix::DeviceRecord* working) {
    if (list == nullptr || record == nullptr || working == nullptr) return -1;
    try {
        std::u16string password;
        switch (store().fetchPassword(orvix::defaultDatabasePath(), *list, *record, password)) {
        case AsyncDeviceStore::Password::InList:
            return orvix::kNodraPasswordInList;
        case AsyncDeviceStore::Password::Given:
            orvix::setText(working->password, password);
            return orvix::kNodraPasswordGiven;
        case AsyncDeviceStore::Password::Fetching:
            return orvix::kNodraPasswordFetching;
        }
    } catch (...) {
        keepFailure("read");
    }
    return -1;
}

// Who hears the outcomes of the calls that do not wait. A null listener
// stops the one of `context` (a listener set since for another context
// stays). Returns once a running call of the previous listener has ended.
NODRA_EXPORT void _gStoreSetListener(NodraListener listener, void* context) {
    {
        std::lock_guard<std::mutex> lock(gMutex);
        if (listener == nullptr && context != gListenerContext) return;
        gListenerContext = listener != nullptr ? context : nullptr;
    }
    if (listener == nullptr) {
        store().setListener(nullptr);
        return;
    }
    const ListenerBinding binding{listener, context};
    store().setListener([binding](const AsyncDeviceStore::Outcome& outcome) { passOn(binding, outcome); });
}

// Waits until every call made so far has ended: 1, or 0 after `milliseconds`.
NODRA_EXPORT int _gStoreWaitIdle(int milliseconds) {
    return store().waitIdle(std::chrono::milliseconds(milliseconds > 0 ? milliseconds : 0)) ? 1 : 0;
}

// What the user should be told about the last waiting load or save (UTF-8);
// empty when there is nothing to say. Valid until the next call into the
// store.
NODRA_EXPORT const char* _gStoreNotice(void) {
    std::lock_guard<std::mutex> lock(gMutex);
    return gNotice.c_str();
}

// One line for the info line when passwords are kept in the device list file
// because no keyring can be used (UTF-8): given once, then empty. Valid until
// the next call of this entry.
NODRA_EXPORT const char* _gStorePasswordNotice(void) {
    std::lock_guard<std::mutex> lock(gMutex);
    gPasswordNoticeTaken = std::move(gPasswordNotice);
    gPasswordNotice.clear();
    return gPasswordNoticeTaken.c_str();
}
