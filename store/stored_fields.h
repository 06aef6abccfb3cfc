// The stored fields of one recorder by value, as the device list file keeps
// them: what the copy rule moves, with the texts as owned strings, so that
// rows can be compared and remembered without a record.
#pragma once

#include <cstdint>
#include <string>

#include "core/device_record.h"

namespace orvix {

struct StoredFields {
    uint32_t id = 0;
    std::u16string name;
    std::u16string account;
    std::u16string password;
    int32_t modelIndex = 0;
    int32_t framingKind = 0;
    uint32_t useDdns = 0;
    std::u16string ddnsId;
    std::u16string ddnsServer;
    uint16_t ddnsPort = 0;
    uint32_t useStatic = 0;
    std::u16string address;
    uint16_t port = 0;
    bool reconnect = true;

    bool operator==(const StoredFields&) const = default;

    static StoredFields of(const DeviceRecord& record);
    // Writes the fields into `record`; its other fields stay as they were.
    void applyTo(DeviceRecord& record) const;
    // The same fields apart from the password.
    bool sameButPassword(const StoredFields& other) const;
    // How the recorder is reached, for people reading the keyring:
    // "HOST:PORT", or "DDNS ID at SERVER:PORT".
    std::string reachedAt() const;
};

}  // namespace orvix
