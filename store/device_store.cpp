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
#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "core/text_codec.h"
#include "store/device_table.h"
#include "store/list_merge.h"
#include "store/unique_ids.h"

namespace orvix {
namespace {

// Another writer may be saving; wait this long for its lock.
constexpr int kBusyTimeoutMs = 2000;

constexpr char kPasswordsInFileLine[] = "Passwords are kept in the device list file (no keyring)";

struct RecordDestroyer {
    void operator()(DeviceRecord* record) const { destroyRecord(record); }
};
using RecordPtr = std::unique_ptr<DeviceRecord, RecordDestroyer>;

int openDatabase(const std::string& path, Database& db, int flags = SQLITE_OPEN_READWRITE) {
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
    db.reset(raw);
    if (raw != nullptr) {
        sqlite3_extended_result_codes(raw, 1);
        sqlite3_busy_timeout(raw, kBusyTimeoutMs);
    }
    return rc;
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

void markInKeyring(FileRow& row) {
    row.fields.password.clear();
    row.passwordInKeyring = true;
}

int execute(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

std::vector<uint32_t> idsOf(const std::vector<FileRow>& rows) {
    std::vector<uint32_t> ids;
    ids.reserve(rows.size());
    for (const FileRow& row : rows) ids.push_back(row.fields.id);
    return ids;
}

// Gives the rows unique ids; false when they had them already.
bool giveUniqueIds(std::vector<MergedRow>& rows) {
    std::vector<uint32_t> ids;
    ids.reserve(rows.size());
    for (const MergedRow& row : rows) ids.push_back(row.row.fields.id);
    if (!makeIdsUnique(ids)) return false;
    for (size_t i = 0; i < rows.size(); ++i) rows[i].row.fields.id = ids[i];
    return true;
}

std::string joinedNames(const std::vector<std::u16string>& names) {
    std::string text;
    for (const std::u16string& name : names) text += (text.empty() ? "\"" : ", \"") + toUtf8(name) + "\"";
    return text;
}

}  // namespace

// A password a save put into the keyring, and what the key held before, so
// that a save that fails afterwards can put the keyring back.
struct DeviceStore::SecretUndo {
    int64_t key = 0;
    bool restore = false;  // put `previous` back; otherwise remove the secret
    StoredFields previous;
};

// What a save does in the keyring besides its rows: the secrets it stored,
// and those to remove once the rows are saved.
struct DeviceStore::SecretChanges {
    std::vector<SecretUndo> stored;
    std::vector<int64_t> removeAfterSave;
};


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

DeviceStore::~DeviceStore() = default;

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

bool DeviceStore::keyringUsable() {
    if (keyringState_ == KeyringState::Untried) {
        keyring_ = std::make_unique<SecretKeyring>(keyringCallLimit_);
        const SecretKeyring::Result result = keyring_->connect();
        if (result.outcome == SecretKeyring::Outcome::Done) {
            keyringState_ = KeyringState::Usable;
        } else {
            keyringFailed(result.error);
        }
    }
    return keyringState_ == KeyringState::Usable;
}

void DeviceStore::keyringFailed(const std::string& reason) {
    // Not tried again by this store: a refused unlock would ask again at
    // every save, a hanging service would cost its time limit each call.
    keyringState_ = KeyringState::Unusable;
    keyringProblem_ = reason;
}

void DeviceStore::notePasswordsInFile() {
    if (!passwordNotice_.empty()) return;
    passwordNotice_ = kPasswordsInFileLine;
    std::fprintf(stderr, "Recorder passwords are kept in %s, which only you can read: the keyring cannot be used (%s).\n",
                 path_.c_str(), keyringProblem_.c_str());
}

std::vector<KnownRecord>& DeviceStore::rememberList(const DeviceList& list) {
    auto found = std::find_if(knownLists_.begin(), knownLists_.end(),
                              [&list](const KnownList& known) { return known.list == &list; });
    KnownList entry;
    if (found != knownLists_.end()) {
        entry = std::move(*found);
        knownLists_.erase(found);
    }
    entry.list = &list;
    knownLists_.insert(knownLists_.begin(), std::move(entry));
    if (knownLists_.size() > kKnownLists) knownLists_.pop_back();
    return knownLists_.front().records;
}

const DeviceStore::KnownList* DeviceStore::findList(const DeviceList& list) const {
    for (const KnownList& known : knownLists_) {
        if (known.list == &list) return &known;
    }
    return nullptr;
}

bool DeviceStore::load(DeviceList& list, KeyringReads reads) {
    notice_.clear();
    filePasswordsLoaded_ = false;
    std::vector<KnownRecord>& known = rememberList(list);
    known.clear();
    if (path_.empty()) {
        blockedReason_ = "no home directory was found";
        setNotice("The device list cannot be kept: no home directory was found.");
        return false;
    }
    if (!exists(path_)) return true;  // nothing saved yet

    std::vector<FileRow> rows;
    ReadResult result;
    {
        Database db;
        const int rc = openDatabase(path_, db);
        result = rc == SQLITE_OK ? readRows(db.get(), rows) : errorResult(db.get(), rc);
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

    // Rows sharing an id (from writers of earlier versions) get new ones,
    // in the file too when it can be written.
    std::vector<uint32_t> ids = idsOf(rows);
    if (makeIdsUnique(ids) && !repairIds(rows)) {
        for (size_t i = 0; i < rows.size(); ++i) rows[i].fields.id = ids[i];
    }

    std::vector<std::u16string> missing;
    int unread = 0;
    for (FileRow& row : rows) {
        PasswordPlace place = PasswordPlace::File;
        if (row.passwordInKeyring && reads == KeyringReads::WhenAsked) {
            place = PasswordPlace::KeyringLater;
        } else if (row.passwordInKeyring) {
            place = readSecret(row.key, row.fields.password);
            if (place == PasswordPlace::KeyringMissing) missing.push_back(row.fields.name);
            if (place == PasswordPlace::KeyringUnread) ++unread;
        } else if (!row.fields.password.empty()) {
            filePasswordsLoaded_ = true;
        }
        RecordPtr record(createRecord());
        row.fields.applyTo(*record);
        known.push_back({record.get(), row.key, row.fields, place});
        list.append(record.release());
    }
    // Passwords still in the file move to the keyring at the next save; say
    // now when there is none to move them to.
    if (reads == KeyringReads::AtLoad) checkKeyringForFilePasswords();
    noteUnreadPasswords(unread);
    noteMissingPasswords(missing);
    return true;
}

PasswordPlace DeviceStore::readSecret(int64_t key, std::u16string& password) {
    if (!keyringUsable()) return PasswordPlace::KeyringUnread;
    std::string secret;
    const SecretKeyring::Result found = keyring_->lookup(key, secret);
    if (found.outcome == SecretKeyring::Outcome::Done) {
        password = fromUtf8(secret);
        return PasswordPlace::Keyring;
    }
    if (found.outcome == SecretKeyring::Outcome::NotFound) return PasswordPlace::KeyringMissing;
    keyringFailed(found.error);
    return PasswordPlace::KeyringUnread;
}

void DeviceStore::noteUnreadPasswords(int unread) {
    if (unread == 0) return;
    setNotice("The keyring could not be used (" + keyringProblem_ + "): the passwords of " + std::to_string(unread) +
              (unread == 1 ? " recorder" : " recorders") +
              " kept there could not be read, so logging in to them fails until the program is started again"
              " with the keyring available.");
}

void DeviceStore::noteMissingPasswords(const std::vector<std::u16string>& names) {
    if (names.empty()) return;
    setNotice("The keyring holds no password for " + joinedNames(names) + ". Enter it again with Info Setup.");
}

void DeviceStore::checkKeyringForFilePasswords() {
    if (!filePasswordsLoaded_) return;
    filePasswordsLoaded_ = false;
    if (!keyringUsable()) notePasswordsInFile();
}

bool DeviceStore::readPassword(const DeviceList& list, const DeviceRecord& record, std::u16string& password) {
    notice_.clear();
    KnownRecord* known = nullptr;
    for (KnownList& remembered : knownLists_) {
        if (remembered.list != &list) continue;
        for (KnownRecord& k : remembered.records) {
            if (k.record == &record) known = &k;
        }
    }
    if (known == nullptr) return false;
    if (known->place != PasswordPlace::KeyringLater && known->place != PasswordPlace::KeyringUnread) return false;
    const PasswordPlace place = readSecret(known->key, password);
    // The list still holds no copy: the record stays one whose password is
    // read when asked for.
    if (place == PasswordPlace::Keyring) return true;
    known->place = place;
    if (place == PasswordPlace::KeyringMissing) noteMissingPasswords({known->fields.name});
    if (place == PasswordPlace::KeyringUnread) noteUnreadPasswords(1);
    return false;
}

bool DeviceStore::repairIds(std::vector<FileRow>& rows) {
    Database db;
    if (openDatabase(path_, db) != SQLITE_OK) return false;
    execute(db.get(), "PRAGMA secure_delete=ON");
    std::vector<FileRow> current;
    bool ok = execute(db.get(), "BEGIN IMMEDIATE") == SQLITE_OK &&
              readRows(db.get(), current).outcome == ReadOutcome::Ok;
    std::vector<uint32_t> ids = idsOf(current);
    if (ok && makeIdsUnique(ids)) {
        for (size_t i = 0; i < current.size(); ++i) current[i].fields.id = ids[i];
        ok = prepareSchema(db.get()) == SQLITE_OK && writeRows(db.get(), current, nullptr) == SQLITE_OK &&
             execute(db.get(), "COMMIT") == SQLITE_OK;
    }
    execute(db.get(), "ROLLBACK");  // after a commit: nothing left to roll back
    if (ok) rows = std::move(current);
    return ok;
}

bool DeviceStore::passwordReadable(const DeviceRecord& record) const {
    for (const KnownList& list : knownLists_) {
        for (const KnownRecord& known : list.records) {
            if (known.record != &record) continue;
            return known.place == PasswordPlace::File || known.place == PasswordPlace::Keyring;
        }
    }
    return true;
}

SavePlan DeviceStore::planFor(const DeviceList& list, const std::vector<ListedRecord>& listed) const {
    const KnownList* memory = findList(list);
    const std::vector<KnownRecord>* known = recordsOfSameList(listed, memory != nullptr ? &memory->records : nullptr);
    // A list this store has not seen: its records take the rows with their
    // ids, so look at the file first.
    std::vector<FileRow> rows;
    if (known == nullptr && exists(path_)) {
        Database db;
        if (openDatabase(path_, db, SQLITE_OPEN_READONLY) != SQLITE_OK ||
            readRows(db.get(), rows).outcome != ReadOutcome::Ok) {
            rows.clear();
        }
    }
    return planSave(listed, known, rows);
}

std::vector<OwnRow> DeviceStore::placePasswords(const SavePlan& plan, SecretChanges& secrets) {
    std::vector<OwnRow> own;
    own.reserve(plan.rows.size());
    int storedCount = 0;
    for (const PlannedRow& row : plan.rows) {
        OwnRow mine;
        mine.fileKey = row.fileKey;
        mine.edited = row.change != RowChange::Keep;
        mine.wanted.key = row.fileKey != 0 ? row.fileKey : newRowKey();
        mine.wanted.fields = row.listed;
        if (row.removePreviousSecret) secrets.removeAfterSave.push_back(row.fileKey);
        if (row.secret == SecretAction::Kept && keptAsKnown(row)) {
            markInKeyring(mine.wanted);
        } else if (row.secret != SecretAction::None && storeSecret(row, mine, secrets)) {
            if (keyringStepHook_) keyringStepHook_(++storedCount);
        }
        own.push_back(std::move(mine));
    }
    return own;
}

bool DeviceStore::keptAsKnown(const PlannedRow& row) {
    // A row written as this list has it brings its password along: when
    // another writer changed the secret since, it is written again.
    if (!checksKeptSecret(row)) return true;
    if (!keyringUsable()) return false;
    std::string secret;
    const SecretKeyring::Result found = keyring_->lookup(row.fileKey, secret);
    if (found.outcome == SecretKeyring::Outcome::Failed) keyringFailed(found.error);
    return found.outcome == SecretKeyring::Outcome::Done && fromUtf8(secret) == row.listed.password;
}

bool DeviceStore::storeSecret(const PlannedRow& row, OwnRow& mine, SecretChanges& secrets) {
    if (!keyringUsable()) return false;  // the password stays in the file
    // Secrets live under random keys only: a key derived for a row of an
    // earlier version is the same in every such file.
    const int64_t key = mine.wanted.key > 0 ? mine.wanted.key : newRowKey();
    SecretUndo undo;
    undo.key = key;
    undo.restore = row.previousPlace == PasswordPlace::Keyring && key == row.fileKey;
    if (undo.restore) undo.previous = row.previous;
    // A call that got no answer may still be carried out: it is undone
    // like one that was.
    secrets.stored.push_back(std::move(undo));
    const StoredFields& f = row.listed;
    const SecretKeyring::Result result = keyring_->store(key, f.id, f.reachedAt(), toUtf8(f.name), toUtf8(f.password));
    if (result.outcome != SecretKeyring::Outcome::Done) {
        keyringFailed(result.error);
        return false;
    }
    mine.wanted.key = key;
    markInKeyring(mine.wanted);
    mine.storedSecret = f.password;
    return true;
}

void DeviceStore::undoSecrets(const SecretChanges& secrets) {
    // Every one is tried, also after a failure: a secret left new would be
    // used with a row that was not saved.
    std::string problem;
    for (const SecretUndo& undo : secrets.stored) {
        const StoredFields& f = undo.previous;
        const SecretKeyring::Result result =
            undo.restore ? keyring_->store(undo.key, f.id, f.reachedAt(), toUtf8(f.name), toUtf8(f.password))
                         : keyring_->remove(undo.key);
        if (result.outcome == SecretKeyring::Outcome::Failed && problem.empty()) problem = result.error;
    }
    if (!problem.empty()) keyringFailed(problem);
}

bool DeviceStore::mayWrite() {
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
    return true;
}

bool DeviceStore::beginWriting(Database& db, std::vector<FileRow>& current, bool& fileReplaced) {
    fileReplaced = false;
    for (int attempt = 0;; ++attempt) {
        std::string error;
        if (!makeOwnerOnlyFile(path_, error)) {
            setNotice("The device list was not saved: " + error + ".");
            return false;
        }
        int rc = openDatabase(path_, db);
        ReadResult result;
        if (rc == SQLITE_OK) {
            // Rows deleted now are overwritten, not left in free pages.
            execute(db.get(), "PRAGMA secure_delete=ON");
            rc = execute(db.get(), "PRAGMA journal_mode=DELETE");
            if (rc == SQLITE_OK) rc = execute(db.get(), "PRAGMA synchronous=FULL");
            // The rows are read under the write lock, so no other writer
            // saves between reading and writing them.
            if (rc == SQLITE_OK) rc = execute(db.get(), "BEGIN IMMEDIATE");
        }
        if (rc != SQLITE_OK) {
            result = errorResult(db.get(), rc);
        } else {
            result = readRows(db.get(), current);
            if (result.fresh) fileReplaced = true;
        }
        if (result.outcome == ReadOutcome::Ok) return true;
        execute(db.get(), "ROLLBACK");
        db.reset();
        if (result.outcome == ReadOutcome::Failed) {
            setNotice("The device list was not saved: " + path_ + " could not be read (" + result.reason + ").");
            return false;
        }
        // Damaged since it was loaded: keep it aside and start a new file.
        if (attempt > 0 || !moveAside(result.reason, "the current device list is saved in a new file.")) return false;
        fileReplaced = true;
    }
}

bool DeviceStore::writeMerged(sqlite3* db, const std::vector<MergedRow>& merged, const SecretChanges& secrets) {
    std::vector<FileRow> rows;
    rows.reserve(merged.size());
    for (const MergedRow& row : merged) rows.push_back(row.row);
    auto fail = [&](const std::string& reason) {
        // Still under the lock: no other writer has used the keys meanwhile.
        undoSecrets(secrets);
        execute(db, "ROLLBACK");
        setNotice("The device list was not saved (" + reason + "); the previously saved list is kept.");
        return false;
    };
    int rc = prepareSchema(db);
    if (rc != SQLITE_OK) return fail(sqlite3_errmsg(db));
    rc = writeRows(db, rows, saveStepHook_);
    if (rc == SQLITE_ABORT) return fail("interrupted");
    if (rc != SQLITE_OK) return fail(sqlite3_errmsg(db));
    if (execute(db, "COMMIT") != SQLITE_OK) return fail(sqlite3_errmsg(db));
    return true;
}

bool DeviceStore::save(const DeviceList& list) {
    std::vector<IdChange> idChanges;
    const bool saved = save(list, listedRecords(list), idChanges);
    for (const IdChange& change : idChanges) {
        for (DeviceRecord* record : list.entries()) {
            if (record == change.record && record->id == change.from) record->id = change.to;
        }
    }
    return saved;
}

bool DeviceStore::save(const DeviceList& list, const std::vector<ListedRecord>& listed,
                       std::vector<IdChange>& idChanges) {
    notice_.clear();
    idChanges.clear();
    if (!mayWrite()) return false;

    const SavePlan plan = planFor(list, listed);
    // The service is reached before the lock is taken; secrets are written
    // under it, so that the rows and the secrets of one save go together.
    const bool usesKeyring = std::any_of(plan.rows.begin(), plan.rows.end(), [](const PlannedRow& row) {
        return row.secret == SecretAction::Store || checksKeptSecret(row);
    });
    if (usesKeyring) keyringUsable();

    Database db;
    std::vector<FileRow> current;
    bool fileReplaced = false;
    if (!beginWriting(db, current, fileReplaced)) return false;
    SecretChanges secrets;
    std::set<int64_t> deletedKeys;
    for (const RemovedRow& removed : plan.removed) {
        deletedKeys.insert(removed.key);
        if (removed.hasSecret) secrets.removeAfterSave.push_back(removed.key);
    }
    std::vector<OwnRow> own = placePasswords(plan, secrets);
    // A new file lost its rows to no writer: every record is written as the
    // list has it.
    if (fileReplaced) {
        for (OwnRow& row : own) row.edited = true;
    }
    std::vector<MergedRow> merged = mergeRows(current, own, deletedKeys);
    giveUniqueIds(merged);
    if (!writeMerged(db.get(), merged, secrets)) return false;
    finishSave(db, current, merged, own, secrets);
    remember(list, plan, merged, own, idChanges);
    return true;
}

void DeviceStore::finishSave(Database& db, const std::vector<FileRow>& before, const std::vector<MergedRow>& merged,
                             const std::vector<OwnRow>& own, SecretChanges& secrets) {
    // Which passwords left the file.
    std::map<int64_t, const FileRow*> previous;
    for (const FileRow& row : before) previous.emplace(row.key, &row);
    bool passwordLeftFile = false;
    bool passwordsInFile = false;
    for (const MergedRow& row : merged) {
        if (!row.row.passwordInKeyring && !row.row.fields.password.empty()) passwordsInFile = true;
        if (row.own < 0) continue;
        const auto old = previous.find(own[static_cast<size_t>(row.own)].fileKey);
        if (row.row.passwordInKeyring && old != previous.end() && !old->second->fields.password.empty()) {
            passwordLeftFile = true;
        }
    }
    // A secret this save wrote for a row that kept its password in the file.
    for (const SecretUndo& undo : secrets.stored) secrets.removeAfterSave.push_back(undo.key);
    // Old versions deleted rows without overwriting them: rebuild the file
    // so that no copy of a password moved out of it stays in a free page.
    if (passwordLeftFile) execute(db.get(), "VACUUM");
    removeUnusedSecrets(db.get(), secrets.removeAfterSave);
    db.reset();
    if (passwordsInFile && keyringState_ == KeyringState::Unusable) notePasswordsInFile();
}

void DeviceStore::removeUnusedSecrets(sqlite3* db, const std::vector<int64_t>& keys) {
    if (keys.empty() || !keyringUsable()) return;
    // Under the write lock again, and only what no row uses by then: another
    // writer may have brought a deleted row back with its key meanwhile. A
    // secret left behind is harmless; lookups go by the rows.
    std::vector<FileRow> rows;
    if (execute(db, "BEGIN IMMEDIATE") != SQLITE_OK) return;
    if (readRows(db, rows).outcome == ReadOutcome::Ok) {
        std::set<int64_t> used;
        for (const FileRow& row : rows) {
            if (row.passwordInKeyring) used.insert(row.key);
        }
        for (const int64_t key : std::set<int64_t>(keys.begin(), keys.end())) {
            if (used.count(key) != 0) continue;
            const SecretKeyring::Result result = keyring_->remove(key);
            if (result.outcome == SecretKeyring::Outcome::Failed) {
                keyringFailed(result.error);
                break;
            }
        }
    }
    execute(db, "ROLLBACK");
}

void DeviceStore::remember(const DeviceList& list, const SavePlan& plan, const std::vector<MergedRow>& merged,
                           const std::vector<OwnRow>& own, std::vector<IdChange>& idChanges) {
    std::vector<const MergedRow*> rowOfOwn(own.size(), nullptr);
    for (const MergedRow& row : merged) {
        if (row.own >= 0) rowOfOwn[static_cast<size_t>(row.own)] = &row;
    }
    std::vector<KnownRecord>& remembered = rememberList(list);
    remembered.clear();
    for (size_t i = 0; i < plan.rows.size(); ++i) {
        const PlannedRow& planned = plan.rows[i];
        KnownRecord known;
        known.record = planned.record;
        known.fields = planned.listed;
        const MergedRow* row = rowOfOwn[i];
        known.key = row != nullptr ? row->row.key : own[i].fileKey;
        if (row != nullptr && row->row.passwordInKeyring && !known.fields.password.empty()) {
            known.place = PasswordPlace::Keyring;
        } else if (row != nullptr && row->row.passwordInKeyring) {
            known.place = planned.previousPlace == PasswordPlace::KeyringLater ? PasswordPlace::KeyringLater
                                                                                : PasswordPlace::KeyringUnread;
        }
        // The record's row took another id: the list is told, and is known
        // by either until it has the new one.
        if (row != nullptr && row->row.fields.id != planned.listed.id) {
            idChanges.push_back({planned.record, planned.listed.id, row->row.fields.id});
            known.formerId = planned.listed.id;
            known.fields.id = row->row.fields.id;
        }
        remembered.push_back(std::move(known));
    }
}

}  // namespace orvix
