// The device list file's table: its schema, reading every row with checks,
// and writing the rows of a save. Plain SQLite; the caller holds the
// transaction.
//
// Each row has a key that identifies it across saves, so that writers can
// tell which rows they loaded, and under which the keyring keeps the row's
// password. Keys this store gives rows are random positive numbers. Rows
// written by earlier versions have none: they get a negative key derived
// from their position, the same for every reader of the same file, which is
// kept once written. Only rows with a positive key keep their password in
// the keyring.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "store/stored_fields.h"

namespace orvix {

struct DatabaseCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Database = std::unique_ptr<sqlite3, DatabaseCloser>;

struct FileRow {
    int64_t key = 0;
    // The password member is the file's password column: empty when the
    // password is kept in the keyring.
    StoredFields fields;
    bool passwordInKeyring = false;

    bool operator==(const FileRow&) const = default;
};

enum class ReadOutcome {
    Ok,          // a device list (or a fresh, empty database)
    Unreadable,  // not a database, damaged, or another schema: move it aside
    Failed,      // could not be read right now (locked, no access, I/O)
};

struct ReadResult {
    ReadOutcome outcome = ReadOutcome::Ok;
    std::string reason;
    bool fresh = false;  // Ok, and a new database without any table
};

// The outcome an SQLite error code stands for, with its message.
ReadResult errorResult(sqlite3* db, int rc);

// Checks that `db` is intact and holds a device list of this schema, and
// reads its rows in list order. A database without any table is a fresh
// one: Ok, no rows.
ReadResult readRows(sqlite3* db, std::vector<FileRow>& rows);

// Creates the tables of a fresh database and adds the columns that files of
// earlier versions lack. Returns an SQLite result code.
int prepareSchema(sqlite3* db);

// Replaces every row by `rows`, in order. `afterStep` is called after the
// old rows were deleted (0) and after each row written (1, 2, ...);
// returning false stops there with SQLITE_ABORT.
int writeRows(sqlite3* db, const std::vector<FileRow>& rows, const std::function<bool(int)>& afterStep);

// A new random row key (positive).
int64_t newRowKey();

}  // namespace orvix
