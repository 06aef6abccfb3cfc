// What one save does to the device list file, worked out before the file is
// touched: which rows it adds, changes, keeps and removes, and where each
// row's password goes. Pure: it reads the list as given, what the store
// remembers of it and, for a list the store has not seen, the file's rows;
// device_store.cpp applies the plan inside its transaction.
#pragma once

#include <cstdint>
#include <vector>

#include "store/device_table.h"
#include "store/stored_fields.h"

namespace orvix {

struct DeviceRecord;
class DeviceList;

// Where the password of a record the store knows is kept.
enum class PasswordPlace {
    File,
    Keyring,         // in the keyring, and the list holds it
    KeyringUnread,   // in the keyring, which could not be read
    KeyringMissing,  // marked as in the keyring, which had none
    KeyringLater,    // in the keyring, read only when asked for; the list has no copy
};

// A record of a list the store loaded or saved, as the list had it then.
struct KnownRecord {
    const DeviceRecord* record = nullptr;
    int64_t key = 0;
    StoredFields fields;
    PasswordPlace place = PasswordPlace::File;
    // The id the list had before a save gave the record another one; the
    // list may still hold it.
    uint32_t formerId = 0;
};

// One record of the list being saved: which record, and its stored fields
// at the time of the save.
struct ListedRecord {
    const DeviceRecord* record = nullptr;
    StoredFields fields;
};
std::vector<ListedRecord> listedRecords(const DeviceList& list);

enum class RowChange {
    Add,     // a record the file did not have
    Change,  // written as the list has it
    Keep,    // unchanged since the store last saw it: the file's version stands
};

// Where a row's password goes.
enum class SecretAction {
    None,   // no password; a secret the row had is removed once saved
    Kept,   // the keyring holds it as it is
    Store,  // into the keyring, or into the file when no keyring can be used
};

struct PlannedRow {
    const DeviceRecord* record = nullptr;
    StoredFields listed;  // the list's fields
    RowChange change = RowChange::Add;
    int64_t fileKey = 0;  // the row's key as last seen; 0 for an added row
    PasswordPlace previousPlace = PasswordPlace::File;
    StoredFields previous;  // the row as last seen (empty for an added row)
    SecretAction secret = SecretAction::None;
    // The row's previous secret goes once the save is done (its password
    // was cleared).
    bool removePreviousSecret = false;
};

// A row written as the list has it, whose password the keyring keeps as
// the store last saw it: another writer may have changed the secret since,
// so the save looks at it.
bool checksKeptSecret(const PlannedRow& row);

struct RemovedRow {
    int64_t key = 0;
    bool hasSecret = false;  // its password is in the keyring
};

struct SavePlan {
    std::vector<PlannedRow> rows;     // in list order
    std::vector<RemovedRow> removed;  // rows the list deleted
};

// The records the store remembers of `list`, or null when it has none or
// the list at that address shares none of them (another list).
const std::vector<KnownRecord>* recordsOfSameList(const std::vector<ListedRecord>& list,
                                                  const std::vector<KnownRecord>* remembered);

// The plan for saving `list`. With `known` (a list the store loaded or
// saved), records are matched to what it remembers by record and id (or
// the id it had before the store changed it, which is then corrected), and
// remembered records no longer listed are removed. Without it, records
// take the rows of `fileRows` with their ids, the rest are added and
// nothing is removed.
SavePlan planSave(const std::vector<ListedRecord>& list, const std::vector<KnownRecord>* known,
                  const std::vector<FileRow>& fileRows);

}  // namespace orvix
