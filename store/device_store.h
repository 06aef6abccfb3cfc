// The saved device list: the stored fields of every record, in list order, in
// an SQLite database that only its owner may read or write.
//
// Passwords go to the desktop's keyring (the Secret Service) whenever one
// answers, and the file then holds none. Without one they stay in the file,
// and the store says so once (passwordNotice()). A password leaves the file
// only after the keyring has confirmed it, so a keyring that fails half-way
// through a save loses nothing.
//
// A save writes in one transaction, so an interrupted save leaves the
// previous list. Several writers may share the file (two running programs, a
// script): a save merges its list into the rows as they are at that moment
// (list_merge.h), so nothing another writer stored since this store loaded
// or saved the list is lost. A file that is not a device list this store can
// read is never overwritten: it is moved aside under a timestamped name and
// the user is told where.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/device_list.h"
#include "store/list_merge.h"
#include "store/save_plan.h"
#include "store/secret_keyring.h"
#include "store/stored_fields.h"

namespace orvix {

// <configuration home>/orvix/devices.db. The configuration home is
// XDG_CONFIG_HOME when that is an absolute path, else ~/.config. Empty when
// no home directory can be found.
std::string defaultDatabasePath();

class DeviceStore {
public:
    explicit DeviceStore(std::string path);
    ~DeviceStore();
    DeviceStore(const DeviceStore&) = delete;
    DeviceStore& operator=(const DeviceStore&) = delete;

    const std::string& path() const { return path_; }

    // When the passwords kept in the keyring are read: all of them while
    // loading, or one at a time with readPassword() (the keyring may be slow
    // to answer; the records come without them).
    enum class KeyringReads { AtLoad, WhenAsked };

    // Appends the saved records, in saved order, to `list`; each is made with
    // createRecord() and belongs to the list afterwards. A missing file is
    // an empty list. Returns false when nothing could be read; then nothing
    // is appended and notice() tells the user what happened.
    bool load(DeviceList& list, KeyringReads reads = KeyringReads::AtLoad);

    // For a record of `list` loaded with KeyringReads::WhenAsked whose
    // password the keyring keeps: reads it into `password`. The record and
    // what the store remembers of it stay without it: a save of the list
    // keeps the secret as it is unless the record gets another password.
    // False when the keyring could not give it (notice() says why) or the
    // keyring does not keep this record's password.
    bool readPassword(const DeviceList& list, const DeviceRecord& record, std::u16string& password);

    // After a load with KeyringReads::WhenAsked that found passwords in the
    // file: tries the keyring, and says once (passwordNotice()) when there is
    // none to move them to.
    void checkKeyringForFilePasswords();

    // Saves the stored fields of `list`. For a list this store loaded or
    // saved before, its additions, changes and deletions since then are
    // applied to the file's rows as they are now; for any other list, its
    // records replace the rows with their ids and are added otherwise, and
    // no row is removed. Ids are unique in the file: a record whose id
    // another row has is given a new one. Returns false when the previous
    // list was kept; notice() then says why.
    bool save(const DeviceList& list);

    // A record whose row took another id in a save, because another row of
    // the file had its id.
    struct IdChange {
        const DeviceRecord* record = nullptr;
        uint32_t from = 0;
        uint32_t to = 0;
    };
    // The same for `listed`, the records of `list` as they were when the
    // save was asked for; `list` itself is not read, only told apart from
    // other lists. The records whose ids changed are given in `idChanges`
    // instead of being changed.
    bool save(const DeviceList& list, const std::vector<ListedRecord>& listed, std::vector<IdChange>& idChanges);

    // False when `record`, of a list this store loaded or saved,
    // has its password in the keyring and the keyring could not give it
    // (it did not answer, stayed locked, or had no secret for it).
    bool passwordReadable(const DeviceRecord& record) const;

    // What the user should be told about the last load or save; empty when
    // there is nothing to say. Every notice also goes to stderr.
    const std::string& notice() const { return notice_; }

    // One line for the program's info line, set the first time this store
    // has to keep passwords in the file because no keyring can be used
    // (also written to stderr then, with the reason). Empty otherwise.
    const std::string& passwordNotice() const { return passwordNotice_; }

    // For tests: called inside a save after the old rows were deleted (0) and
    // after each row written (1, 2, ...). Returning false abandons the save
    // at that point.
    using SaveStepHook = std::function<bool(int rowsWritten)>;
    void setSaveStepHook(SaveStepHook hook) { saveStepHook_ = std::move(hook); }
    // For tests: called after each password a save put into the keyring.
    using KeyringStepHook = std::function<void(int secretsStored)>;
    void setKeyringStepHook(KeyringStepHook hook) { keyringStepHook_ = std::move(hook); }
    // How long one keyring call may take before the keyring counts as
    // unusable (default SecretKeyring::kDefaultCallLimit).
    void setKeyringCallLimit(std::chrono::milliseconds limit) { keyringCallLimit_ = limit; }

private:
    struct SecretUndo;
    struct SecretChanges;

    void setNotice(std::string text);
    // Renames the unreadable file (and any journal beside it) to a
    // timestamped name; `outcome` ends the notice. False when it stays.
    bool moveAside(const std::string& reason, const char* outcome);

    // Whether the keyring can be used; the first call tries to reach it.
    bool keyringUsable();
    void keyringFailed(const std::string& reason);
    // Says once that passwords are kept in the file.
    void notePasswordsInFile();
    // The password kept under `key`; where it is kept as far as the store
    // can tell.
    PasswordPlace readSecret(int64_t key, std::u16string& password);
    void noteUnreadPasswords(int unread);
    void noteMissingPasswords(const std::vector<std::u16string>& names);

    // The steps of save(), in order.
    bool mayWrite();
    SavePlan planFor(const DeviceList& list, const std::vector<ListedRecord>& listed) const;
    std::vector<OwnRow> placePasswords(const SavePlan& plan, SecretChanges& secrets);
    // Whether the keyring still holds the password a row keeps there as
    // this store knew it.
    bool keptAsKnown(const PlannedRow& row);
    bool storeSecret(const PlannedRow& row, OwnRow& mine, SecretChanges& secrets);
    // Opens the file with the write lock taken and reads its rows; a file
    // damaged meanwhile is moved aside and a new one begun.
    bool beginWriting(Database& db, std::vector<FileRow>& current, bool& fileReplaced);
    // Writes the rows and commits; when it cannot, takes back the secrets,
    // rolls back and says why.
    bool writeMerged(sqlite3* db, const std::vector<MergedRow>& merged, const SecretChanges& secrets);
    void finishSave(Database& db, const std::vector<FileRow>& before, const std::vector<MergedRow>& merged,
                    const std::vector<OwnRow>& own, SecretChanges& secrets);
    // Removes the secrets of `keys` that no row of the file uses.
    void removeUnusedSecrets(sqlite3* db, const std::vector<int64_t>& keys);
    void remember(const DeviceList& list, const SavePlan& plan, const std::vector<MergedRow>& merged,
                  const std::vector<OwnRow>& own, std::vector<IdChange>& idChanges);
    // Gives the file's rows unique ids under the write lock; `rows` become
    // the rows as written. False when the file could not be written.
    bool repairIds(std::vector<FileRow>& rows);
    void undoSecrets(const SecretChanges& secrets);

    std::string path_;
    std::string notice_;
    std::string passwordNotice_;
    // Set when the file could not be read but is still in place: saving would
    // replace a list the user has not seen, so saves are refused.
    std::string blockedReason_;
    SaveStepHook saveStepHook_;
    KeyringStepHook keyringStepHook_;

    std::chrono::milliseconds keyringCallLimit_ = SecretKeyring::kDefaultCallLimit;
    std::unique_ptr<SecretKeyring> keyring_;
    enum class KeyringState { Untried, Usable, Unusable } keyringState_ = KeyringState::Untried;
    std::string keyringProblem_;
    // The last load found passwords kept in the file.
    bool filePasswordsLoaded_ = false;

    // The lists this store loaded or saved lately, newest first, with their
    // records as they were then.
    struct KnownList {
        const DeviceList* list = nullptr;
        std::vector<KnownRecord> records;
    };
    static constexpr size_t kKnownLists = 8;
    std::vector<KnownList> knownLists_;
    // The records this store knows of `list`, made the newest; created
    // empty when it knows none.
    std::vector<KnownRecord>& rememberList(const DeviceList& list);
    const KnownList* findList(const DeviceList& list) const;
};

}  // namespace orvix
