#include "store/stored_fields.h"

#include "core/text_codec.h"

namespace orvix {

StoredFields StoredFields::of(const DeviceRecord& record) {
    StoredFields f;
    f.id = record.id;
    f.name = record.name.view();
    f.account = record.account.view();
    f.password = record.password.view();
    f.modelIndex = record.modelIndex.load();
    f.framingKind = record.framingKind.load();
    f.useDdns = record.useDdns;
    f.ddnsId = record.ddnsId.view();
    f.ddnsServer = record.ddnsServer.view();
    f.ddnsPort = record.ddnsPort;
    f.useStatic = record.useStatic;
    f.address = record.address.view();
    f.port = record.port;
    f.reconnect = record.autoReconnectOff == 0;
    return f;
}

void StoredFields::applyTo(DeviceRecord& record) const {
    record.id = id;
    setText(record.name, name);
    setText(record.account, account);
    setText(record.password, password);
    record.modelIndex.store(modelIndex);
    record.framingKind.store(framingKind);
    record.useDdns = useDdns;
    setText(record.ddnsId, ddnsId);
    setText(record.ddnsServer, ddnsServer);
    record.ddnsPort = ddnsPort;
    record.useStatic = useStatic;
    setText(record.address, address);
    record.port = port;
    record.autoReconnectOff = reconnect ? 0 : 1;
}

bool StoredFields::sameButPassword(const StoredFields& other) const {
    StoredFields copy = other;
    copy.password = password;
    return copy == *this;
}

std::string StoredFields::reachedAt() const {
    if (useStatic != 0) return toUtf8(address) + ":" + std::to_string(port);
    return "DDNS " + toUtf8(ddnsId) + " at " + toUtf8(ddnsServer) + ":" + std::to_string(ddnsPort);
}

}  // namespace orvix
