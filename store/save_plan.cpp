#include "store/save_plan.h"

#include <algorithm>

#include "core/device_list.h"

namespace orvix {
namespace {

// The secret's label and attributes stay as they are while these do.
bool sameSecretLabel(const StoredFields& a, const StoredFields& b) {
    return a.id == b.id && a.name == b.name && a.reachedAt() == b.reachedAt();
}

// In the keyring, and the list holds no copy of it.
bool unreadSecret(PasswordPlace place) {
    return place == PasswordPlace::KeyringUnread || place == PasswordPlace::KeyringLater;
}

SecretAction secretFor(const PlannedRow& row) {
    const std::u16string& password = row.listed.password;
    // Still there, and the list did not have it: it stays as it is.
    if (unreadSecret(row.previousPlace) && password == row.previous.password) {
        return SecretAction::Kept;
    }
    if (password.empty()) return SecretAction::None;
    if (row.previousPlace == PasswordPlace::Keyring && password == row.previous.password &&
        sameSecretLabel(row.previous, row.listed)) {
        return SecretAction::Kept;
    }
    return SecretAction::Store;
}

bool knownAs(const KnownRecord& known, uint32_t id) {
    return known.fields.id == id || (known.formerId != 0 && known.formerId == id);
}

bool hasSecret(PasswordPlace place) { return place == PasswordPlace::Keyring || unreadSecret(place); }

}  // namespace

bool checksKeptSecret(const PlannedRow& row) {
    return row.secret == SecretAction::Kept && row.change == RowChange::Change &&
           row.previousPlace == PasswordPlace::Keyring;
}

std::vector<ListedRecord> listedRecords(const DeviceList& list) {
    std::vector<ListedRecord> listed;
    listed.reserve(list.size());
    for (const DeviceRecord* record : list.entries()) listed.push_back({record, StoredFields::of(*record)});
    return listed;
}

const std::vector<KnownRecord>* recordsOfSameList(const std::vector<ListedRecord>& list,
                                                  const std::vector<KnownRecord>* remembered) {
    if (remembered == nullptr || remembered->empty() || list.empty()) return remembered;
    const bool shares = std::any_of(remembered->begin(), remembered->end(), [&list](const KnownRecord& k) {
        return std::any_of(list.begin(), list.end(), [&k](const ListedRecord& l) { return l.record == k.record; });
    });
    return shares ? remembered : nullptr;
}

SavePlan planSave(const std::vector<ListedRecord>& list, const std::vector<KnownRecord>* known,
                  const std::vector<FileRow>& fileRows) {
    SavePlan plan;
    std::vector<bool> matched(known != nullptr ? known->size() : fileRows.size(), false);
    for (const ListedRecord& listed : list) {
        PlannedRow row;
        row.record = listed.record;
        row.listed = listed.fields;
        if (known != nullptr) {
            // A record at the address of a known one with another id is a
            // new record in a reused block.
            for (size_t j = 0; j < known->size(); ++j) {
                const KnownRecord& k = (*known)[j];
                if (matched[j] || k.record != listed.record || !knownAs(k, listed.fields.id)) continue;
                matched[j] = true;
                row.listed.id = k.fields.id;
                row.change = row.listed != k.fields ? RowChange::Change : RowChange::Keep;
                row.fileKey = k.key;
                row.previousPlace = k.place;
                row.previous = k.fields;
                break;
            }
        } else {
            for (size_t j = 0; j < fileRows.size(); ++j) {
                const FileRow& file = fileRows[j];
                if (matched[j] || file.fields.id != listed.fields.id) continue;
                matched[j] = true;
                row.change = RowChange::Change;
                row.fileKey = file.key;
                row.previousPlace = file.passwordInKeyring ? PasswordPlace::KeyringUnread : PasswordPlace::File;
                row.previous = file.fields;
                break;
            }
        }
        row.secret = secretFor(row);
        row.removePreviousSecret = row.secret == SecretAction::None && row.previousPlace == PasswordPlace::Keyring;
        plan.rows.push_back(std::move(row));
    }
    if (known != nullptr) {
        for (size_t j = 0; j < known->size(); ++j) {
            if (!matched[j]) plan.removed.push_back({(*known)[j].key, hasSecret((*known)[j].place)});
        }
    }
    return plan;
}

}  // namespace orvix
