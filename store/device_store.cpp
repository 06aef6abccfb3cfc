#include "store/device_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "link/text_codec.h"

namespace orvix {
namespace {

constexpr int64_t kSchemaVersion = 1;
// Another instance may be saving; wait this long for its lock.
constexpr int kBusyTimeoutMs = 2000;

// Column checks keep every value inside the width of its record field.
constexpr const char* kCreateSchema =
    "CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS devices ("
    " position INTEGER PRIMARY KEY,"
    " id INTEGER NOT NULL CHECK (id BETWEEN 0 AND 4294967295),"
    " name TEXT NOT NULL,"
    " account TEXT NOT NULL,"
    " password TEXT NOT NULL,"
    " model_index INTEGER NOT NULL CHECK (model_index BETWEEN -2147483648 AND 2147483647),"
    " framing_kind INTEGER NOT NULL CHECK (framing_kind BETWEEN -2147483648 AND 2147483647),"
    " use_ddns INTEGER NOT NULL CHECK (use_ddns BETWEEN 0 AND 4294967295),"
    " ddns_id TEXT NOT NULL,"
    " ddns_server TEXT NOT NULL,"
    " ddns_port INTEGER NOT NULL CHECK (ddns_port BETWEEN 0 AND 65535),"
    " use_static INTEGER NOT NULL CHECK (use_static BETWEEN 0 AND 4294967295),"
    " address TEXT NOT NULL,"
    " port INTEGER NOT NULL CHECK (port BETWEEN 0 AND 65535));";

constexpr const char* kSelectRows =
    "SELECT id, name, account, password, model_index, framing_kind, use_ddns, ddns_id, ddns_server,"
    " ddns_port, use_static, address, port FROM devices ORDER BY position";

constexpr const char* kInsertRow =
    "INSERT INTO devices (position, id, name, account, password, model_index, framing_kind, use_ddns,"
    " ddns_id, ddns_server, ddns_port, use_static, address, port)"
    " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14)";

struct DatabaseCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Database = std::unique_ptr<sqlite3, DatabaseCloser>;

struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

struct RecordDestroyer {
    void operator()(DeviceRecord* record) const { destroyRecord(record); }
};
using RecordPtr = std::unique_ptr<DeviceRecord, RecordDestroyer>;

enum class ReadOutcome {
    Ok,          // a device list (or a fresh, empty database)
    Unreadable,  // not a database, damaged, or another schema: move it aside
    Failed,      // could not be read right now (locked, no access, I/O)
};

struct ReadResult {
    ReadOutcome outcome;
    std::string reason;
};

ReadResult errorResult(sqlite3* db, int rc) {
    const std::string reason = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    switch (rc & 0xFF) {
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
        case SQLITE_FORMAT:
        case SQLITE_ERROR:  // missing table or column: another schema
        case SQLITE_MISMATCH:
            return {ReadOutcome::Unreadable, reason};
        default:
            return {ReadOutcome::Failed, reason};
    }
}

int prepare(sqlite3* db, const char* sql, Statement& statement) {
    // Finalize the previous statement first: finalizing afterwards would
    // clear the error message of this prepare.
    statement.reset();
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
    statement.reset(raw);
    return rc;
}

int openDatabase(const std::string& path, Database& db) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    db.reset(raw);
    if (raw != nullptr) {
        sqlite3_extended_result_codes(raw, 1);
        sqlite3_busy_timeout(raw, kBusyTimeoutMs);
    }
    return rc;
}

bool readInteger(sqlite3_stmt* row, int column, int64_t low, int64_t high, int64_t& value) {
    if (sqlite3_column_type(row, column) != SQLITE_INTEGER) return false;
    value = sqlite3_column_int64(row, column);
    return value >= low && value <= high;
}

bool readText(sqlite3_stmt* row, int column, RecordText& text) {
    if (sqlite3_column_type(row, column) != SQLITE_TEXT) return false;
    const unsigned char* bytes = sqlite3_column_text(row, column);
    if (bytes == nullptr) throw std::bad_alloc();  // SQLite's only reason for null text
    const auto length = static_cast<size_t>(sqlite3_column_bytes(row, column));
    setText(text, fromUtf8(std::string_view(reinterpret_cast<const char*>(bytes), length)));
    return true;
}

// One row into a new record; false when a value does not fit its field.
bool readRow(sqlite3_stmt* row, DeviceRecord& record) {
    int64_t id = 0, modelIndex = 0, framingKind = 0, useDdns = 0, ddnsPort = 0, useStatic = 0, port = 0;
    const bool ok = readInteger(row, 0, 0, UINT32_MAX, id) && readText(row, 1, record.name) &&
                    readText(row, 2, record.account) && readText(row, 3, record.password) &&
                    readInteger(row, 4, INT32_MIN, INT32_MAX, modelIndex) &&
                    readInteger(row, 5, INT32_MIN, INT32_MAX, framingKind) &&
                    readInteger(row, 6, 0, UINT32_MAX, useDdns) && readText(row, 7, record.ddnsId) &&
                    readText(row, 8, record.ddnsServer) && readInteger(row, 9, 0, UINT16_MAX, ddnsPort) &&
                    readInteger(row, 10, 0, UINT32_MAX, useStatic) && readText(row, 11, record.address) &&
                    readInteger(row, 12, 0, UINT16_MAX, port);
    if (!ok) return false;
    record.id = static_cast<uint32_t>(id);
    record.modelIndex.store(static_cast<int32_t>(modelIndex));
    record.framingKind.store(static_cast<int32_t>(framingKind));
    record.useDdns = static_cast<uint32_t>(useDdns);
    record.ddnsPort = static_cast<uint16_t>(ddnsPort);
    record.useStatic = static_cast<uint32_t>(useStatic);
    record.port = static_cast<uint16_t>(port);
    return true;
}

// Checks that `db` is intact and holds a device list of this schema, and
// reads its records. A database without any table is a fresh one: Ok, empty.
ReadResult readRecords(sqlite3* db, std::vector<RecordPtr>& records) {
    Statement statement;
    int rc = prepare(db, "PRAGMA quick_check", statement);
    if (rc != SQLITE_OK) return errorResult(db, rc);
    rc = sqlite3_step(statement.get());
    if (rc == SQLITE_ROW) {
        const auto* verdict = reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0));
        if (verdict == nullptr || std::strcmp(verdict, "ok") != 0) {
            return {ReadOutcome::Unreadable, "the file is damaged"};
        }
    } else if (rc != SQLITE_DONE) {
        return errorResult(db, rc);
    }

    rc = prepare(db, "SELECT count(*) FROM sqlite_master", statement);
    if (rc != SQLITE_OK) return errorResult(db, rc);
    rc = sqlite3_step(statement.get());
    if (rc != SQLITE_ROW) return errorResult(db, rc);
    if (sqlite3_column_int64(statement.get(), 0) == 0) return {ReadOutcome::Ok, {}};

    rc = prepare(db, "SELECT version FROM schema_version", statement);
    if (rc != SQLITE_OK) return errorResult(db, rc);
    int versions = 0;
    int64_t version = 0;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
        ++versions;
        version = sqlite3_column_type(statement.get(), 0) == SQLITE_INTEGER ? sqlite3_column_int64(statement.get(), 0)
                                                                            : -1;
    }
    if (rc != SQLITE_DONE) return errorResult(db, rc);
    if (versions != 1 || version != kSchemaVersion) {
        return {ReadOutcome::Unreadable, "unknown schema version"};
    }

    rc = prepare(db, kSelectRows, statement);
    if (rc != SQLITE_OK) return errorResult(db, rc);
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
        RecordPtr record(createRecord());
        if (!readRow(statement.get(), *record)) return {ReadOutcome::Unreadable, "a value does not fit its field"};
        records.push_back(std::move(record));
    }
    if (rc != SQLITE_DONE) return errorResult(db, rc);
    return {ReadOutcome::Ok, {}};
}

// Creates the missing directories of `path`'s parent, owner-only.
bool makeParentDirectories(const std::string& path, std::string& error) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) return true;
    const std::string directory = path.substr(0, slash);
    for (size_t end = directory.find('/', 1);; end = directory.find('/', end + 1)) {
        const std::string prefix = directory.substr(0, end);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
            error = prefix + ": " + std::strerror(errno);
            return false;
        }
        if (end == std::string::npos) break;
    }
    struct stat info {};
    if (::stat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        error = directory + ": not a directory";
        return false;
    }
    return true;
}

// Makes sure the file exists and only its owner can read or write it.
bool makeOwnerOnlyFile(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0;
    if (ok && (info.st_mode & 077) != 0) ok = ::fchmod(fd, info.st_mode & 0700) == 0;
    if (!ok) error = path + ": " + std::strerror(errno);
    ::close(fd);
    return ok;
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

int execute(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

uint32_t unusedId(const DeviceList& list, const std::vector<RecordPtr>& records) {
    auto used = [&](uint32_t id) {
        if (list.findById(id) != nullptr) return true;
        for (const RecordPtr& record : records) {
            if (record->id == id) return true;
        }
        return false;
    };
    uint32_t id = 1;
    while (used(id)) ++id;
    return id;
}

}  // namespace

std::string defaultDatabasePath() {
    std::string base;
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    if (configHome != nullptr && configHome[0] == '/') {
        base = configHome;
    } else {
        const char* home = std::getenv("HOME");
        std::string homeDirectory = home != nullptr ? home : "";
        if (homeDirectory.empty() || homeDirectory[0] != '/') {
            struct passwd entry {};
            struct passwd* found = nullptr;
            std::vector<char> buffer(16384);
            if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
                found->pw_dir != nullptr && found->pw_dir[0] == '/') {
                homeDirectory = found->pw_dir;
            } else {
                return {};
            }
        }
        base = homeDirectory + "/.config";
    }
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    return base + "/orvix/devices.db";
}

DeviceStore::DeviceStore(std::string path) : path_(std::move(path)) {}

void DeviceStore::setNotice(std::string text) {
    std::fprintf(stderr, "%s\n", text.c_str());
    // A call can have two things to say (a file moved aside, then a failure).
    notice_ += (notice_.empty() ? "" : "\n") + text;
}

bool DeviceStore::moveAside(const std::string& reason, const char* outcome) {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    ::localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string base = path_ + ".corrupt-" + stamp;
    std::string target = base;
    for (int n = 2; exists(target); ++n) target = base + "-" + std::to_string(n);

    if (std::rename(path_.c_str(), target.c_str()) != 0) {
        const std::string why = std::strerror(errno);
        blockedReason_ = "the file " + path_ + " could not be read (" + reason + ") nor moved aside (" + why + ")";
        setNotice("The device list in " + path_ + " could not be read (" + reason + ") and could not be moved aside (" +
                  why + "). The device list will not be saved while the program runs.");
        return false;
    }
    // A journal left beside the old file belongs to it; if it stayed, SQLite
    // would play it back into the new file.
    for (const char* suffix : {"-journal", "-wal", "-shm"}) {
        const std::string side = path_ + suffix;
        if (!exists(side)) continue;
        if (std::rename(side.c_str(), (target + suffix).c_str()) != 0 && ::unlink(side.c_str()) != 0) {
            blockedReason_ = "the old journal " + side + " could not be removed";
        }
    }
    setNotice("The device list in " + path_ + " could not be read (" + reason + "). It was moved to " + target +
              "; " + outcome);
    return true;
}

bool DeviceStore::load(DeviceList& list) {
    notice_.clear();
    if (path_.empty()) {
        blockedReason_ = "no home directory was found";
        setNotice("The device list cannot be kept: no home directory was found.");
        return false;
    }
    if (!exists(path_)) return true;  // nothing saved yet

    std::vector<RecordPtr> records;
    ReadResult result;
    {
        Database db;
        const int rc = openDatabase(path_, db);
        result = rc == SQLITE_OK ? readRecords(db.get(), records) : errorResult(db.get(), rc);
    }
    if (result.outcome == ReadOutcome::Unreadable) {
        moveAside(result.reason, "the program goes on with an empty device list.");
        return false;
    }
    if (result.outcome == ReadOutcome::Failed) {
        blockedReason_ = "the file " + path_ + " could not be read (" + result.reason + ")";
        setNotice("The device list in " + path_ + " could not be read (" + result.reason +
                  "). The program goes on with an empty device list and will not save it.");
        return false;
    }
    // A record needs a nonzero id to be found; give one to any that lacks it.
    for (RecordPtr& record : records) {
        if (record->id == 0) record->id = unusedId(list, records);
    }
    for (RecordPtr& record : records) list.append(record.release());
    return true;
}

bool DeviceStore::save(const DeviceList& list) {
    notice_.clear();
    if (path_.empty()) {
        setNotice("The device list was not saved: no home directory was found.");
        return false;
    }
    if (!blockedReason_.empty()) {
        setNotice("The device list was not saved: " + blockedReason_ + ".");
        return false;
    }
    std::string error;
    if (!makeParentDirectories(path_, error)) {
        setNotice("The device list was not saved: " + error + ".");
        return false;
    }
    Database db;
    for (int attempt = 0;; ++attempt) {
        if (!makeOwnerOnlyFile(path_, error)) {
            setNotice("The device list was not saved: " + error + ".");
            return false;
        }
        int rc = openDatabase(path_, db);
        std::vector<RecordPtr> existing;
        ReadResult result = rc == SQLITE_OK ? readRecords(db.get(), existing) : errorResult(db.get(), rc);
        if (result.outcome == ReadOutcome::Ok) break;
        if (result.outcome == ReadOutcome::Failed) {
            setNotice("The device list was not saved: " + path_ + " could not be read (" + result.reason + ").");
            return false;
        }
        // Damaged since it was loaded: keep it aside and start a new file.
        db.reset();
        if (attempt > 0 || !moveAside(result.reason, "the current device list is saved in a new file.")) return false;
    }

    sqlite3* raw = db.get();
    auto fail = [&](const std::string& reason) {
        execute(raw, "ROLLBACK");
        setNotice("The device list was not saved (" + reason + "); the previously saved list is kept.");
        return false;
    };
    if (execute(raw, "PRAGMA journal_mode=DELETE") != SQLITE_OK || execute(raw, "PRAGMA synchronous=FULL") != SQLITE_OK ||
        execute(raw, "BEGIN IMMEDIATE") != SQLITE_OK) {
        return fail(sqlite3_errmsg(raw));
    }
    const std::string schema = std::string(kCreateSchema) +
                               "INSERT INTO schema_version SELECT " + std::to_string(kSchemaVersion) +
                               " WHERE NOT EXISTS (SELECT 1 FROM schema_version);";
    if (execute(raw, schema.c_str()) != SQLITE_OK || execute(raw, "DELETE FROM devices") != SQLITE_OK) {
        return fail(sqlite3_errmsg(raw));
    }
    if (saveStepHook_ && !saveStepHook_(0)) return fail("interrupted");

    Statement insert;
    if (prepare(raw, kInsertRow, insert) != SQLITE_OK) return fail(sqlite3_errmsg(raw));
    sqlite3_stmt* row = insert.get();
    int position = 0;
    for (const DeviceRecord* record : list.entries()) {
        const std::string texts[6] = {toUtf8(record->name.view()),   toUtf8(record->account.view()),
                                      toUtf8(record->password.view()), toUtf8(record->ddnsId.view()),
                                      toUtf8(record->ddnsServer.view()), toUtf8(record->address.view())};
        auto bindText = [&](int index, const std::string& text) {
            return sqlite3_bind_text(row, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        };
        sqlite3_reset(row);
        const bool bound =
            sqlite3_bind_int64(row, 1, position) == SQLITE_OK && sqlite3_bind_int64(row, 2, record->id) == SQLITE_OK &&
            bindText(3, texts[0]) == SQLITE_OK && bindText(4, texts[1]) == SQLITE_OK &&
            bindText(5, texts[2]) == SQLITE_OK && sqlite3_bind_int64(row, 6, record->modelIndex.load()) == SQLITE_OK &&
            sqlite3_bind_int64(row, 7, record->framingKind.load()) == SQLITE_OK &&
            sqlite3_bind_int64(row, 8, record->useDdns) == SQLITE_OK && bindText(9, texts[3]) == SQLITE_OK &&
            bindText(10, texts[4]) == SQLITE_OK && sqlite3_bind_int64(row, 11, record->ddnsPort) == SQLITE_OK &&
            sqlite3_bind_int64(row, 12, record->useStatic) == SQLITE_OK && bindText(13, texts[5]) == SQLITE_OK &&
            sqlite3_bind_int64(row, 14, record->port) == SQLITE_OK;
        if (!bound || sqlite3_step(row) != SQLITE_DONE) return fail(sqlite3_errmsg(raw));
        ++position;
        if (saveStepHook_ && !saveStepHook_(position)) return fail("interrupted");
    }
    insert.reset();
    if (execute(raw, "COMMIT") != SQLITE_OK) return fail(sqlite3_errmsg(raw));
    return true;
}

}  // namespace orvix
