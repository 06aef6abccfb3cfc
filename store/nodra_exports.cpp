// The entries of libnodra.so. The program binds them by name; they take the
// device list and the working record, in this order. Results: 1 when the
// list was loaded or saved, -1 otherwise (the program does not look at them).
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "core/device_list.h"
#include "store/device_store.h"

#define NODRA_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::mutex gMutex;
std::unique_ptr<orvix::DeviceStore> gStore;
std::string gNotice;
// The store's note that passwords are kept in the file: waiting to be taken,
// and what the last _gStorePasswordNotice() returned.
std::string gPasswordNotice;
std::string gPasswordNoticeTaken;
bool gPasswordNoticeGiven = false;

// The store for the current configuration directory. It is kept between
// calls because it remembers a file that could not be read.
orvix::DeviceStore& currentStore() {
    std::string path = orvix::defaultDatabasePath();
    if (!gStore || gStore->path() != path) {
        gStore = std::make_unique<orvix::DeviceStore>(std::move(path));
        // Another device list: its own notice, once.
        gPasswordNotice.clear();
        gPasswordNoticeGiven = false;
    }
    return *gStore;
}

void notePasswordNotice(const orvix::DeviceStore& store) {
    if (gPasswordNoticeGiven || store.passwordNotice().empty()) return;
    gPasswordNotice = store.passwordNotice();
    gPasswordNoticeGiven = true;
}

void setFailureNotice(const char* what) {
    gNotice = std::string("The device list could not be ") + what + ": out of memory.";
    std::fprintf(stderr, "%s\n", gNotice.c_str());
}

int loadList(orvix::DeviceList* list) {
    std::lock_guard<std::mutex> lock(gMutex);
    gNotice.clear();
    if (list == nullptr) return -1;
    try {
        orvix::DeviceStore& store = currentStore();
        const bool ok = store.load(*list);
        gNotice = store.notice();
        notePasswordNotice(store);
        return ok ? 1 : -1;
    } catch (...) {
        setFailureNotice("loaded");
        return -1;
    }
}

int saveList(orvix::DeviceList* list) {
    std::lock_guard<std::mutex> lock(gMutex);
    gNotice.clear();
    if (list == nullptr) return -1;
    try {
        orvix::DeviceStore& store = currentStore();
        const bool ok = store.save(*list);
        gNotice = store.notice();
        notePasswordNotice(store);
        return ok ? 1 : -1;
    } catch (...) {
        setFailureNotice("saved");
        return -1;
    }
}

}  // namespace

// Appends the saved records to the list, in saved order; the list owns them.
NODRA_EXPORT int _gLoadDevInfo_V2(orvix::DeviceList* list, orvix::DeviceRecord* /*working*/) {
    return loadList(list);
}

// Saves the stored fields of every entry, in order, merged with what other
// writers saved since this list was loaded.
NODRA_EXPORT int _gSaveDevInfo_V2(orvix::DeviceList* list, orvix::DeviceRecord* /*working*/) {
    return saveList(list);
}

// The first-generation entries do the same as the _V2 ones.
NODRA_EXPORT int _gLoadDevInfo(orvix::DeviceList* list, orvix::DeviceRecord* /*working*/) { return loadList(list); }

NODRA_EXPORT int _gSaveDevInfo(orvix::DeviceList* list, orvix::DeviceRecord* /*working*/) { return saveList(list); }

// What the user should be told about the last load or save (UTF-8); empty
// when there is nothing to say. Valid until the next call into the store.
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
