#include "bridge/device_recorders.h"

#include <set>

#include "bridge/bridge_options.h"
#include "core/device_list.h"
#include "core/text_codec.h"
#include "frontend/credentials.h"
#include "store/device_store.h"

namespace orvix::bridge {
namespace {

// `wanted` made URL-safe, with "-2", "-3", ... where an earlier recorder
// already has that name.
std::string uniqueName(const std::string& wanted, std::set<std::string>& taken) {
    const std::string base = urlSafeName(wanted);
    std::string name = base;
    for (int n = 2; taken.count(name) != 0; ++n) name = base + "-" + std::to_string(n);
    taken.insert(name);
    return name;
}

}  // namespace

bool recordersFromDeviceList(const std::string& databasePath, const DeviceSelection& selection,
                             ListedRecorders& result, std::string& error) {
    DeviceStore store(databasePath);
    DeviceList list;
    // The store tells on stderr why a list cannot be read.
    if (!store.load(list)) {
        error = "the device list " + databasePath + " could not be read";
        return false;
    }
    std::vector<const DeviceRecord*> chosen;
    if (selection.all) {
        for (const DeviceRecord* record : list.entries()) chosen.push_back(record);
    }
    for (const std::string& name : selection.names) {
        const std::u16string wanted = fromUtf8(name);
        const DeviceRecord* found = nullptr;
        for (const DeviceRecord* record : list.entries()) {
            if (record->name.view() != wanted) continue;
            if (found != nullptr) {
                error = "--device: several recorders are named \"" + name + "\"";
                return false;
            }
            found = record;
        }
        if (found == nullptr) {
            error = "--device: no recorder named \"" + name + "\" in " + databasePath;
            return false;
        }
        bool already = false;
        for (const DeviceRecord* record : chosen) already = already || record == found;
        if (!already) chosen.push_back(found);
    }

    std::set<std::string> taken;
    for (const DeviceRecord* record : chosen) {
        RecorderOptions options;
        std::string problem;
        if (!takeRecord(options, *record, store, problem)) {
            // A recorder asked for by name must be served; of the whole list,
            // the ones that cannot be are left out and named.
            if (!selection.all) {
                error = problem;
                return false;
            }
            result.skipped.push_back(problem);
            continue;
        }
        result.recorders.push_back({uniqueName(toUtf8(record->name.view()), taken), std::move(options)});
    }
    if (result.recorders.empty()) {
        error = "the device list " + databasePath + " holds no recorder that can be served";
        return false;
    }
    return true;
}

}  // namespace orvix::bridge
