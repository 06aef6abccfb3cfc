// Binding of the two libraries the program loads by name from its library
// directory: libnodra.so (the device store) and libtlset.so (the setup
// dialog). A missing library or entry is described once in problem(); the
// program then goes on without the store or without the setup dialog, and
// the call helpers below never call an entry that was not found.
#pragma once

#include <cstdint>
#include <string>

#include "core/device_list.h"
#include "core/device_record.h"
#include "core/nodra_entries.h"

namespace orvix {

using DevInfoEntry = int (*)(DeviceList* list, DeviceRecord* working);
using StoreNoticeEntry = const char* (*)();
using DoModalSetupEntry = void (*)(DeviceRecord* record, int32_t variant, int32_t mode);

inline constexpr char kStoreLibraryName[] = "libnodra.so";
inline constexpr char kSetupLibraryName[] = "libtlset.so";

struct LibraryBinding {
    void* storeLibrary = nullptr;
    DevInfoEntry loadDevInfo = nullptr;    // _gLoadDevInfo (never called)
    DevInfoEntry saveDevInfo = nullptr;    // _gSaveDevInfo (never called)
    DevInfoEntry loadDevInfoV2 = nullptr;  // _gLoadDevInfo_V2
    DevInfoEntry saveDevInfoV2 = nullptr;  // _gSaveDevInfo_V2
    StoreNoticeEntry storeNotice = nullptr;  // _gStoreNotice (optional)
    StoreNoticeEntry storePasswordNotice = nullptr;  // _gStorePasswordNotice (optional)
    // The calls that do not wait on the keyring (optional, all or none).
    DevInfoEntry loadDevInfoNoKeyring = nullptr;    // _gLoadDevInfo_NoKeyring
    DevInfoEntry saveDevInfoQueued = nullptr;       // _gSaveDevInfo_Queued
    FetchPasswordEntry fetchDevPassword = nullptr;  // _gFetchDevPassword
    SetListenerEntry storeSetListener = nullptr;    // _gStoreSetListener
    WaitIdleEntry storeWaitIdle = nullptr;          // _gStoreWaitIdle

    void* setupLibrary = nullptr;
    DoModalSetupEntry doModalSetup = nullptr;

    // One text naming every library and entry that is missing and what the
    // program does without it; empty when everything was found.
    std::string problem;

    bool complete() const { return problem.empty(); }
    bool storeAvailable() const { return loadDevInfoV2 != nullptr && saveDevInfoV2 != nullptr; }
    bool queuedStoreAvailable() const { return storeAvailable() && saveDevInfoQueued != nullptr; }
    bool setupAvailable() const { return doModalSetup != nullptr; }
};

// The directory of the running program (from /proc/self/exe); empty if unknown.
std::string executableDirectory();

// Where the program's two libraries are: beside it in a build tree, or in
// the private library directory of an installation (lib/orvix next to bin).
std::string libraryDirectory();

// Loads both libraries from `directory` and looks up their entries. The
// libraries stay loaded for the life of the process. The setup library is
// bound even when the store is missing, so that recorders can still be set up.
LibraryBinding bindLibraries(const std::string& directory);
// The same, from libraryDirectory().
LibraryBinding bindLibraries();

// Loads the saved list into `list`; without a store the list stays as it is.
// Returns what the store asks to tell the user (empty when nothing).
std::string loadDeviceList(const LibraryBinding& binding, DeviceList& list, DeviceRecord& working);
// Saves `list`; without a store nothing happens. Returns the store's notice.
std::string saveDeviceList(const LibraryBinding& binding, DeviceList& list, DeviceRecord& working);
// The store's one line saying that passwords are kept in the device list
// file because no keyring can be used: given once, then empty.
std::string takeStorePasswordNotice(const LibraryBinding& binding);
// Runs the setup dialog on `record`. Without the setup library nothing is
// shown and, in modes 0 and 1, the id becomes 0, so the caller sees a cancel
// rather than a save. Returns whether the dialog ran.
bool runSetupDialog(const LibraryBinding& binding, DeviceRecord& record, int32_t variant, int32_t mode);

}  // namespace orvix
