// The saved device list: the stored fields of every record, in list order, in
// an SQLite database that only its owner may read (it holds passwords).
//
// A save replaces the whole list in one transaction, so an interrupted save
// leaves the previous list. A file that is not a device list this store can
// read is never overwritten: it is moved aside under a timestamped name and
// the user is told where.
#pragma once

#include <functional>
#include <string>

#include "app/device_list.h"

namespace orvix {

// <configuration home>/orvix/devices.db. The configuration home is
// XDG_CONFIG_HOME when that is an absolute path, else ~/.config. Empty when
// no home directory can be found.
std::string defaultDatabasePath();

class DeviceStore {
public:
    explicit DeviceStore(std::string path);

    const std::string& path() const { return path_; }

    // Appends the saved records, in saved order, to `list`; each is made with
    // createRecord() and belongs to the list afterwards. A missing file is an
    // empty list. Returns false when nothing could be read; then nothing is
    // appended and notice() tells the user what happened.
    bool load(DeviceList& list);

    // Replaces the saved list with the stored fields of `list`. Returns false
    // when the previous list was kept; notice() then says why.
    bool save(const DeviceList& list);

    // What the user should be told about the last load or save; empty when
    // there is nothing to say. Every notice also goes to stderr.
    const std::string& notice() const { return notice_; }

    // For tests: called inside a save after the old rows were deleted (0) and
    // after each row written (1, 2, ...). Returning false abandons the save
    // at that point.
    using SaveStepHook = std::function<bool(int rowsWritten)>;
    void setSaveStepHook(SaveStepHook hook) { saveStepHook_ = std::move(hook); }

private:
    void setNotice(std::string text);
    // Renames the unreadable file (and any journal beside it) to a
    // timestamped name; `outcome` ends the notice. False when it stays.
    bool moveAside(const std::string& reason, const char* outcome);

    std::string path_;
    std::string notice_;
    // Set when the file could not be read but is still in place: saving would
    // replace a list the user has not seen, so saves are refused.
    std::string blockedReason_;
    SaveStepHook saveStepHook_;
};

}  // namespace orvix
