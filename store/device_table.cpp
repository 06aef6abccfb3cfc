#include "store/device_table.h"

#include <sys/random.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <new>
#include <set>
#include <string_view>

#include "core/text_codec.h"

namespace orvix {
namespace {

// The version changes only for a layout earlier versions cannot use. Columns
// added later carry defaults, so earlier versions still read and write the
// file.
constexpr int64_t kSchemaVersion = 1;

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

struct AddedColumn {
    const char* name;
    const char* definition;  // for ALTER TABLE ... ADD COLUMN
    const char* absent;      // what a file without the column reads as
};

// Columns added after the first version, each with the value that rows of
// earlier files (and rows earlier versions insert) take.
constexpr AddedColumn kAddedColumns[] = {
    {"row_key", "row_key INTEGER", "NULL"},
    {"password_in_keyring", "password_in_keyring INTEGER NOT NULL DEFAULT 0 CHECK (password_in_keyring IN (0, 1))",
     "0"},
    {"reconnect", "reconnect INTEGER NOT NULL DEFAULT 1 CHECK (reconnect IN (0, 1))", "1"},
};

constexpr const char* kSelectColumns =
    "SELECT position, id, name, account, password, model_index, framing_kind, use_ddns, ddns_id, ddns_server,"
    " ddns_port, use_static, address, port";

constexpr const char* kInsertRow =
    "INSERT INTO devices (position, id, name, account, password, model_index, framing_kind, use_ddns,"
    " ddns_id, ddns_server, ddns_port, use_static, address, port, row_key, password_in_keyring, reconnect)"
    " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17)";

struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

int prepare(sqlite3* db, const std::string& sql, Statement& statement) {
    // Finalize the previous statement first: finalizing afterwards would
    // clear the error message of this prepare.
    statement.reset();
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr);
    statement.reset(raw);
    return rc;
}

bool readInteger(sqlite3_stmt* row, int column, int64_t low, int64_t high, int64_t& value) {
    if (sqlite3_column_type(row, column) != SQLITE_INTEGER) return false;
    value = sqlite3_column_int64(row, column);
    return value >= low && value <= high;
}

bool readText(sqlite3_stmt* row, int column, std::u16string& text) {
    if (sqlite3_column_type(row, column) != SQLITE_TEXT) return false;
    const unsigned char* bytes = sqlite3_column_text(row, column);
    if (bytes == nullptr) throw std::bad_alloc();  // SQLite's only reason for null text
    const auto length = static_cast<size_t>(sqlite3_column_bytes(row, column));
    text = fromUtf8(std::string_view(reinterpret_cast<const char*>(bytes), length));
    // A record's text ends at its first NUL.
    text.resize(std::u16string_view(text.c_str()).size());
    return true;
}

// One row; false when a value does not fit its field. `key` is left 0 when
// the row has none.
bool readRow(sqlite3_stmt* row, FileRow& out, int64_t& position) {
    StoredFields& f = out.fields;
    int64_t id = 0, modelIndex = 0, framingKind = 0, useDdns = 0, ddnsPort = 0, useStatic = 0, port = 0,
            inKeyring = 0, reconnect = 0;
    position = sqlite3_column_int64(row, 0);
    const bool ok = readInteger(row, 1, 0, UINT32_MAX, id) && readText(row, 2, f.name) &&
                    readText(row, 3, f.account) && readText(row, 4, f.password) &&
                    readInteger(row, 5, INT32_MIN, INT32_MAX, modelIndex) &&
                    readInteger(row, 6, INT32_MIN, INT32_MAX, framingKind) &&
                    readInteger(row, 7, 0, UINT32_MAX, useDdns) && readText(row, 8, f.ddnsId) &&
                    readText(row, 9, f.ddnsServer) && readInteger(row, 10, 0, UINT16_MAX, ddnsPort) &&
                    readInteger(row, 11, 0, UINT32_MAX, useStatic) && readText(row, 12, f.address) &&
                    readInteger(row, 13, 0, UINT16_MAX, port) && readInteger(row, 15, 0, 1, inKeyring) &&
                    readInteger(row, 16, 0, 1, reconnect);
    if (!ok) return false;
    f.id = static_cast<uint32_t>(id);
    f.modelIndex = static_cast<int32_t>(modelIndex);
    f.framingKind = static_cast<int32_t>(framingKind);
    f.useDdns = static_cast<uint32_t>(useDdns);
    f.ddnsPort = static_cast<uint16_t>(ddnsPort);
    f.useStatic = static_cast<uint32_t>(useStatic);
    f.port = static_cast<uint16_t>(port);
    f.reconnect = reconnect != 0;
    // A password in the file wins over the mark that the keyring holds it.
    out.passwordInKeyring = inKeyring != 0 && f.password.empty();
    out.key = sqlite3_column_type(row, 14) == SQLITE_INTEGER ? sqlite3_column_int64(row, 14) : 0;
    return true;
}

// Rows without a usable key (none, or one an earlier row has)
// get one derived from their position, so that every reader of the same file
// derives the same.
void giveEveryRowAKey(std::vector<FileRow>& rows, const std::vector<int64_t>& positions) {
    std::set<int64_t> used;
    std::vector<bool> keyed(rows.size(), false);
    for (size_t i = 0; i < rows.size(); ++i) keyed[i] = rows[i].key != 0 && used.insert(rows[i].key).second;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (keyed[i]) continue;
        int64_t key = positions[i] >= 0 ? -(positions[i] + 1) : positions[i];
        if (key == 0) key = -1;
        while (used.count(key) != 0 || key == 0) key = key == INT64_MIN ? -1 : key - 1;
        used.insert(key);
        rows[i].key = key;
    }
}

bool tableColumns(sqlite3* db, std::set<std::string>& columns, int& rc) {
    Statement statement;
    rc = prepare(db, "PRAGMA table_info(devices)", statement);
    if (rc != SQLITE_OK) return false;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
        const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 1));
        if (name != nullptr) columns.insert(name);
    }
    return rc == SQLITE_DONE;
}

}  // namespace

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

ReadResult readRows(sqlite3* db, std::vector<FileRow>& rows) {
    rows.clear();
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
    if (sqlite3_column_int64(statement.get(), 0) == 0) return {ReadOutcome::Ok, {}, true};

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

    std::set<std::string> columns;
    if (!tableColumns(db, columns, rc)) return errorResult(db, rc);
    std::string select = kSelectColumns;
    for (const AddedColumn& column : kAddedColumns) {
        select += ", ";
        select += columns.count(column.name) != 0 ? column.name : column.absent;
    }
    select += " FROM devices ORDER BY position";
    rc = prepare(db, select, statement);
    if (rc != SQLITE_OK) return errorResult(db, rc);
    std::vector<int64_t> positions;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
        FileRow row;
        int64_t position = 0;
        if (!readRow(statement.get(), row, position)) {
            rows.clear();
            return {ReadOutcome::Unreadable, "a value does not fit its field"};
        }
        rows.push_back(std::move(row));
        positions.push_back(position);
    }
    if (rc != SQLITE_DONE) {
        rows.clear();
        return errorResult(db, rc);
    }
    giveEveryRowAKey(rows, positions);
    return {ReadOutcome::Ok, {}};
}

int prepareSchema(sqlite3* db) {
    const std::string create = std::string(kCreateSchema) + "INSERT INTO schema_version SELECT " +
                               std::to_string(kSchemaVersion) + " WHERE NOT EXISTS (SELECT 1 FROM schema_version);";
    int rc = sqlite3_exec(db, create.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return rc;
    std::set<std::string> columns;
    if (!tableColumns(db, columns, rc)) return rc;
    for (const AddedColumn& column : kAddedColumns) {
        if (columns.count(column.name) != 0) continue;
        const std::string sql = std::string("ALTER TABLE devices ADD COLUMN ") + column.definition;
        rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) return rc;
    }
    return SQLITE_OK;
}

int writeRows(sqlite3* db, const std::vector<FileRow>& rows, const std::function<bool(int)>& afterStep) {
    int rc = sqlite3_exec(db, "DELETE FROM devices", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return rc;
    if (afterStep && !afterStep(0)) return SQLITE_ABORT;

    Statement insert;
    rc = prepare(db, kInsertRow, insert);
    if (rc != SQLITE_OK) return rc;
    sqlite3_stmt* statement = insert.get();
    int position = 0;
    for (const FileRow& row : rows) {
        const StoredFields& f = row.fields;
        const std::string texts[6] = {toUtf8(f.name),   toUtf8(f.account),    toUtf8(f.password),
                                      toUtf8(f.ddnsId), toUtf8(f.ddnsServer), toUtf8(f.address)};
        auto bindText = [&](int index, const std::string& text) {
            return sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        };
        sqlite3_reset(statement);
        const bool bound =
            sqlite3_bind_int64(statement, 1, position) == SQLITE_OK &&
            sqlite3_bind_int64(statement, 2, f.id) == SQLITE_OK && bindText(3, texts[0]) == SQLITE_OK &&
            bindText(4, texts[1]) == SQLITE_OK && bindText(5, texts[2]) == SQLITE_OK &&
            sqlite3_bind_int64(statement, 6, f.modelIndex) == SQLITE_OK &&
            sqlite3_bind_int64(statement, 7, f.framingKind) == SQLITE_OK &&
            sqlite3_bind_int64(statement, 8, f.useDdns) == SQLITE_OK && bindText(9, texts[3]) == SQLITE_OK &&
            bindText(10, texts[4]) == SQLITE_OK && sqlite3_bind_int64(statement, 11, f.ddnsPort) == SQLITE_OK &&
            sqlite3_bind_int64(statement, 12, f.useStatic) == SQLITE_OK && bindText(13, texts[5]) == SQLITE_OK &&
            sqlite3_bind_int64(statement, 14, f.port) == SQLITE_OK &&
            sqlite3_bind_int64(statement, 15, row.key) == SQLITE_OK &&
            sqlite3_bind_int64(statement, 16, row.passwordInKeyring ? 1 : 0) == SQLITE_OK &&
            sqlite3_bind_int64(statement, 17, f.reconnect ? 1 : 0) == SQLITE_OK;
        if (!bound) return sqlite3_errcode(db);
        rc = sqlite3_step(statement);
        if (rc != SQLITE_DONE) return rc;
        ++position;
        if (afterStep && !afterStep(position)) return SQLITE_ABORT;
    }
    return SQLITE_OK;
}

int64_t newRowKey() {
    uint64_t value = 0;
    if (::getrandom(&value, sizeof value, 0) != static_cast<ssize_t>(sizeof value)) {
        // No random source: the time, the process and a counter still tell
        // writers apart.
        static std::atomic<uint64_t> counter{0};
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        value = static_cast<uint64_t>(now) ^ (static_cast<uint64_t>(::getpid()) << 40) ^
                (counter.fetch_add(1) + 1) * 0x9E3779B97F4A7C15ull;
    }
    const auto key = static_cast<int64_t>(value >> 2);  // 62 bits: positive
    return key == 0 ? 1 : key;
}

}  // namespace orvix
