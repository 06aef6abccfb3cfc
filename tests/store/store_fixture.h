// A private configuration home per test, and records with every stored field
// set to something distinct.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "core/device_list.h"
#include "core/text_codec.h"
#include "store/device_store.h"
#include "store/stored_fields.h"

namespace orvix {

// Set by the wrapper that runs a test program with a private session bus and
// keyring daemon: the daemon's process id.
constexpr char kPrivateKeyringVariable[] = "ORVIX_PRIVATE_KEYRING_PID";

inline StoredFields storedFields(const DeviceRecord& r) { return StoredFields::of(r); }

inline void PrintTo(const StoredFields& f, std::ostream* out) {
    *out << "{id " << f.id << ", name \"" << toUtf8(f.name) << "\", account \"" << toUtf8(f.account)
         << "\", password \"" << toUtf8(f.password) << "\", model " << f.modelIndex << ", framing " << f.framingKind
         << ", ddns " << f.useDdns << " \"" << toUtf8(f.ddnsId) << "\" at \"" << toUtf8(f.ddnsServer) << "\":"
         << f.ddnsPort << ", static " << f.useStatic << " \"" << toUtf8(f.address) << "\":" << f.port
         << ", reconnect " << f.reconnect << "}";
}

inline DeviceRecord* makeRecord(uint32_t id, std::u16string_view name, std::u16string_view password) {
    DeviceRecord* r = createRecord();
    r->id = id;
    setText(r->name, name);
    setText(r->account, u"acc-" + std::u16string(name));
    setText(r->password, password);
    r->modelIndex = static_cast<int32_t>(id % 30);
    r->framingKind = static_cast<int32_t>(id % 2);
    r->useDdns = id % 3 == 0 ? 1 : 0;
    setText(r->ddnsId, u"H4-" + std::u16string(name));
    setText(r->ddnsServer, u"ddns.example.com");
    r->ddnsPort = static_cast<uint16_t>(2000 + id % 1000);
    r->useStatic = id % 3 == 0 ? 0 : 1;
    setText(r->address, u"192.0.2.1");
    r->port = static_cast<uint16_t>(3000 + id % 1000);
    r->autoReconnectOff = id % 2;
    return r;
}

class StoreFixture : public ::testing::Test {
protected:
    StoreFixture() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/orvix-store-XXXXXX";
        root = ::mkdtemp(pattern.data());
        configHome = root / "config";
        for (const char* name : {"XDG_CONFIG_HOME", "HOME", "DBUS_SESSION_BUS_ADDRESS"}) {
            const char* value = std::getenv(name);
            savedEnvironment_.emplace_back(name, value != nullptr ? std::optional<std::string>(value) : std::nullopt);
        }
        ::setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
        // Outside the private keyring of the keyring tests no test may reach
        // the user's own keyring: no session bus at all.
        if (std::getenv(kPrivateKeyringVariable) == nullptr) {
            ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/orvix-tests-no-bus", 1);
        }
        three.append(makeRecord(11, u"Front door", u"a"));
        three.append(makeRecord(12, u"Yard \u00e9t\u00e9", u"b"));
        three.append(makeRecord(13, u"Garage", u"c"));
    }
    ~StoreFixture() override {
        for (const auto& [name, value] : savedEnvironment_) {
            if (value) ::setenv(name.c_str(), value->c_str(), 1);
            else ::unsetenv(name.c_str());
        }
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }

    std::string path() const { return (configHome / "orvix" / "devices.db").string(); }
    const DeviceList& threeRecords() const { return three; }

    // Loads with a fresh store and expects exactly the three records.
    void expectThreeRecords(const std::string& file) const {
        DeviceList loaded;
        DeviceStore reader(file);
        ASSERT_TRUE(reader.load(loaded)) << reader.notice();
        ASSERT_EQ(loaded.size(), 3u);
        for (size_t i = 0; i < 3; ++i) EXPECT_EQ(storedFields(*loaded.at(i)), storedFields(*three.at(i))) << i;
    }

    // The one file moved aside beside the database, or empty when none.
    std::string onlyMovedAsideFile() const {
        std::string found;
        const auto directory = configHome / "orvix";
        if (!std::filesystem::exists(directory)) return found;
        for (const auto& entry : std::filesystem::directory_iterator(directory)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("devices.db.corrupt-", 0) != 0 || name.find("-journal") != std::string::npos) continue;
            if (!found.empty()) ADD_FAILURE() << "more than one file moved aside";
            found = entry.path().string();
        }
        return found;
    }

    // Runs SQL on the database file directly, as another program would.
    void runSql(const std::string& statements) const {
        std::filesystem::create_directories(configHome / "orvix");
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path().c_str(), &db), SQLITE_OK);
        char* error = nullptr;
        const int rc = sqlite3_exec(db, statements.c_str(), nullptr, nullptr, &error);
        sqlite3_close(db);
        EXPECT_EQ(rc, SQLITE_OK) << (error != nullptr ? error : "");
        sqlite3_free(error);
    }

    // The rows as the file holds them, read with SQLite, in list order.
    struct RawRow {
        std::string name;
        std::string password;  // the password column
        int64_t inKeyring = -1;
        int64_t key = 0;
    };
    std::vector<RawRow> rawRows() const {
        std::vector<RawRow> rows;
        sqlite3* db = nullptr;
        sqlite3_stmt* statement = nullptr;
        EXPECT_EQ(sqlite3_open_v2(path().c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
        EXPECT_EQ(sqlite3_prepare_v2(db,
                                     "SELECT name, password, password_in_keyring, row_key FROM devices"
                                     " ORDER BY position",
                                     -1, &statement, nullptr),
                  SQLITE_OK)
            << sqlite3_errmsg(db);
        while (statement != nullptr && sqlite3_step(statement) == SQLITE_ROW) {
            RawRow row;
            row.name = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
            row.password = reinterpret_cast<const char*>(sqlite3_column_text(statement, 1));
            row.inKeyring = sqlite3_column_int64(statement, 2);
            row.key = sqlite3_column_int64(statement, 3);
            rows.push_back(row);
        }
        sqlite3_finalize(statement);
        sqlite3_close(db);
        return rows;
    }

    static unsigned modeOf(const std::string& file) {
        struct stat info {};
        return ::stat(file.c_str(), &info) == 0 ? static_cast<unsigned>(info.st_mode & 07777) : 0xFFFFu;
    }
    static void writeFile(const std::string& file, const std::string& bytes) {
        std::ofstream(file, std::ios::binary) << bytes;
    }
    static std::string readFile(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::filesystem::path root;
    std::filesystem::path configHome;
    DeviceList three;

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> savedEnvironment_;
};

}  // namespace orvix
