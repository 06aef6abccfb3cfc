// The store as a separate program run, for the keyring tests: loads, saves
// and adds through a DeviceStore and prints what it found, one
// "NAME<TAB>VALUE" line each.
//
//   load PATH                     records, notices
//   resave PATH                   load, then save unchanged
//   add PATH ID NAME PASSWORD     load, add a recorder, save
//   save-stopping-keyring PATH N  load, then save; the keyring daemon is
//                                 killed once the save has put N passwords there
//   change PATH NAME PASSWORD ACCOUNT HOLD_MS
//                                 load, give the recorder NAME this password
//                                 and account, save; the save pauses HOLD_MS
//                                 after each password it put into the keyring
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "core/text_codec.h"
#include "store/device_store.h"
#include "tests/store/keyring_support.h"

namespace orvix {
namespace {

void print(const char* name, const std::string& value) {
    std::string line = value;
    for (char& c : line) {
        if (c == '\n') c = ' ';
    }
    std::printf("%s\t%s\n", name, line.c_str());
}

void printList(const DeviceStore& store, const DeviceList& list) {
    for (const DeviceRecord* record : list.entries()) {
        print("record", toUtf8(record->name.view()) + "\t" + toUtf8(record->password.view()) + "\t" +
                            (store.passwordReadable(*record) ? "readable" : "unreadable"));
    }
}

void printNotices(const DeviceStore& store) {
    if (!store.notice().empty()) print("notice", store.notice());
    if (!store.passwordNotice().empty()) print("password-notice", store.passwordNotice());
}

}  // namespace

int storeToolMain(const std::vector<std::string>& arguments) {
    if (arguments.size() < 2) return 2;
    const std::string& command = arguments[0];
    DeviceStore store(arguments[1]);
    DeviceList list;
    const bool loaded = store.load(list);
    print("loaded", loaded ? "1" : "0");
    printNotices(store);
    if (command == "load") {
        printList(store, list);
        return 0;
    }
    if (command == "add" && arguments.size() == 5) {
        DeviceRecord* record = createRecord();
        resetStoredFields(*record);
        record->id = static_cast<uint32_t>(std::stoul(arguments[2]));
        setText(record->name, fromUtf8(arguments[3]));
        setText(record->account, u"admin");
        setText(record->password, fromUtf8(arguments[4]));
        record->useStatic = 1;
        setText(record->address, u"192.0.2.80");
        list.append(record);
    } else if (command == "save-stopping-keyring" && arguments.size() == 3) {
        const int after = std::stoi(arguments[2]);
        store.setKeyringStepHook([after](int stored) {
            if (stored == after) ::kill(keyringDaemonPid(), SIGKILL);
        });
    } else if (command == "change" && arguments.size() == 6) {
        DeviceRecord* record = nullptr;
        for (DeviceRecord* r : list.entries()) {
            if (toUtf8(r->name.view()) == arguments[2]) record = r;
        }
        if (record == nullptr) return 2;
        setText(record->password, fromUtf8(arguments[3]));
        setText(record->account, fromUtf8(arguments[4]));
        const auto hold = std::chrono::milliseconds(std::stoi(arguments[5]));
        store.setKeyringStepHook([hold](int) { std::this_thread::sleep_for(hold); });
    } else if (command != "resave") {
        return 2;
    }
    const bool saved = store.save(list);
    print("saved", saved ? "1" : "0");
    printNotices(store);
    return 0;
}

}  // namespace orvix
