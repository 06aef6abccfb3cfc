// The recorders of the device list as the wall reaches them: one recorder
// pool, each listed recorder in it under its id (wallRecorderKey) with a
// copy of its stored fields that every connection attempt reads, so that
// an edited address or password applies from the next attempt. A lost
// connection is made again while tiles show it, and a failed one is tried
// again, so that a wall left alone shows a recorder again once it is back.
//
// GUI thread, apart from the copies, which the pool's threads read under
// a lock.
#pragma once

#include <QString>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "core/device_list.h"
#include "session/recorder_pool.h"

namespace orvix {

class WallRecorders {
public:
    struct Listed {
        uint32_t id;
        QString name;
    };

    WallRecorders();
    // Closes every connection.
    ~WallRecorders();
    WallRecorders(const WallRecorders&) = delete;
    WallRecorders& operator=(const WallRecorders&) = delete;

    RecorderPool& pool() { return pool_; }

    // The device list as it is now (recorders added, edited, renamed,
    // deleted). A recorder that left the list stays in the pool, but no
    // tile watches it any more.
    void update(const DeviceList& list);
    const std::vector<Listed>& listed() const { return listed_; }
    std::optional<QString> name(uint32_t id) const;

    // The cameras `id` reported at its last login (in this run, else as
    // remembered from an earlier one), else as many as its model has.
    int cameras(uint32_t id) const;
    // The same for every listed recorder, by id.
    std::map<uint32_t, int> cameraCounts() const;
    // What was remembered, with what logins reported since.
    std::map<uint32_t, int> knownCameras() const;
    void rememberCameras(const std::map<uint32_t, int>& cameras) { remembered_ = cameras; }

private:
    int camerasOf(uint32_t id, const std::map<uint32_t, int>& known) const;

    struct RecordDeleter {
        void operator()(DeviceRecord* record) const { destroyRecord(record); }
    };
    using RecordCopy = std::unique_ptr<DeviceRecord, RecordDeleter>;

    // Before the pool: its threads read them until it has stopped.
    mutable std::mutex mutex_;
    std::map<uint32_t, RecordCopy> records_;
    RecorderPool pool_;
    std::set<uint32_t> added_;
    std::vector<Listed> listed_;
    std::map<uint32_t, int> remembered_;
};

}  // namespace orvix
