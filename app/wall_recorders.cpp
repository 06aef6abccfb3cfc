#include "app/wall_recorders.h"

#include <cstdlib>

#include "app/channel_entries.h"
#include "core/debug_log.h"
#include "core/text_codec.h"
#include "gui/wall_tiles.h"
#include "link/reconnect_policy.h"

namespace orvix {
namespace {

QString recordName(const DeviceRecord& record) { return QString::fromStdU16String(std::u16string(record.name.view())); }

std::string targetOf(const DeviceRecord& record) {
    if (record.useDdns != 0 && record.useStatic == 0) {
        return "DDNS id " + toUtf8(record.ddnsId.view()) + " at " + toUtf8(record.ddnsServer.view()) + ":" +
               std::to_string(record.ddnsPort);
    }
    return toUtf8(record.address.view()) + ":" + std::to_string(record.port);
}

}  // namespace

WallRecorders::WallRecorders()
    : pool_([](const std::string& line) { debugLogf("wall: %s\r\n", line.c_str()); }) {}

WallRecorders::~WallRecorders() { pool_.stop("the wall is closing"); }

void WallRecorders::update(const DeviceList& list) {
    listed_.clear();
    std::map<uint32_t, RecordCopy> copies;
    for (const DeviceRecord* record : list.entries()) {
        // The first of two records with one id is the one found by it.
        if (record->id == 0 || copies.count(record->id) != 0) continue;
        RecordCopy copy(createRecord());
        copyRecord(*copy, *record);
        copies.emplace(record->id, std::move(copy));
        listed_.push_back({record->id, recordName(*record)});
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& [id, copy] : copies) records_[id] = std::move(copy);
    }
    for (const Listed& recorder : listed_) {
        if (added_.count(recorder.id) != 0) continue;
        const DeviceRecord* record = list.findById(recorder.id);
        RecorderSettings settings;
        settings.name = wallRecorderKey(recorder.id);
        settings.target = targetOf(*record);
        settings.fillRecord = [this, id = recorder.id](DeviceRecord& filled) {
            std::lock_guard<std::mutex> lock(mutex_);
            const auto found = records_.find(id);
            if (found != records_.end()) copyRecord(filled, *found->second);
        };
        // A wall is watched rather than driven: it comes back by itself.
        settings.reconnect = reconnectPolicyFromEnvironment(true);
        settings.retryFailed = true;
        if (pool_.add(std::move(settings))) added_.insert(recorder.id);
    }
}

std::optional<QString> WallRecorders::name(uint32_t id) const {
    for (const Listed& recorder : listed_) {
        if (recorder.id == id) return recorder.name;
    }
    return std::nullopt;
}

std::map<uint32_t, int> WallRecorders::knownCameras() const {
    std::map<uint32_t, int> known = remembered_;
    for (const RecorderStatus& status : pool_.status()) {
        const uint32_t id = static_cast<uint32_t>(std::strtoul(status.name.c_str(), nullptr, 10));
        if (id != 0 && status.cameras > 0) known[id] = status.cameras;
    }
    return known;
}

int WallRecorders::cameras(uint32_t id) const { return camerasOf(id, knownCameras()); }

std::map<uint32_t, int> WallRecorders::cameraCounts() const {
    const std::map<uint32_t, int> known = knownCameras();
    std::map<uint32_t, int> counts;
    for (const Listed& recorder : listed_) counts[recorder.id] = camerasOf(recorder.id, known);
    return counts;
}

int WallRecorders::camerasOf(uint32_t id, const std::map<uint32_t, int>& known) const {
    const auto found = known.find(id);
    if (found != known.end()) return found->second;
    std::lock_guard<std::mutex> lock(mutex_);
    const auto record = records_.find(id);
    return record != records_.end() ? channelEntriesForModel(record->second->modelIndex.load()) : 0;
}

}  // namespace orvix
