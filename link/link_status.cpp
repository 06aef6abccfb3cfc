#include "link/link_status.h"

#include <chrono>
#include <cstdio>
#include <string>

#include "link/recorder_connection.h"

namespace orvix {

StatusColours statusColours(int status) {
    const bool plain = status == 0 || status == 1 || status == 2 || status == 14 || status > 15;
    return plain ? StatusColours{kStatusWhite, kStatusDarkShadow} : StatusColours{kStatusRed, kStatusLightShadow};
}

std::string statusText(int status, const StatusValues& values) {
    char line[128];
    switch (status) {
    case kStatusConnectReq:
        // "Connect Req Ip:%s Port:%d", without a length limit on the address.
        return "Connect Req Ip:" + std::string(values.address) + " Port:" + std::to_string(values.port);
    case kStatusConnectOk:
        return "Connect OK";
    case kStatusConnectFail:
        return "Connect FAIL";
    case kStatusLoginReq:
        return "Login Req";
    case kStatusLoginOk:
        return "Login OK";
    case kStatusLoginFail:
        return "Login FAIL - Incorrect Account";
    case kStatusModelMismatch:
        return "Connect FAIL - Model Mismatch";
    case kStatusDataSendReq:
        // Two digits at least ("Data Send Req Ch %0.2d").
        std::snprintf(line, sizeof line, "Data Send Req Ch %.2d", values.channel);
        return line;
    case kStatusDataSendOk:
        std::snprintf(line, sizeof line, "Data Send OK [%dfps][%dbyte]", static_cast<int>(values.framesPerSecond),
                      static_cast<int>(values.byteRate));
        return line;
    case kStatusDdnsConnReq:
        return "DDNS Conn Req";
    case kStatusDdnsConnOk:
        return "DDNS Conn OK";
    case kStatusDdnsInfoReq:
        return "DDNS Info Req";
    case kStatusDdnsInfoOk:
        return "DDNS Info OK";
    case kStatusSearchInfoFail:
        return "Search Info Req FAIL!";
    default:
        return "Disconnect";
    }
}

int64_t reconnectSecondsShown(int64_t remainingMs) {
    return remainingMs < 1500 ? 1 : (remainingMs + 500) / 1000;
}

std::string reconnectText(int64_t remainingMs, int attempt) {
    return "Reconnecting in " + std::to_string(reconnectSecondsShown(remainingMs)) + " s (attempt " +
           std::to_string(attempt) + ")";
}

std::string formatStatusLine(const RecorderConnection* connection) {
    if (connection == nullptr) return statusText(kStatusDisconnect, {});
    if (const int attempt = connection->reconnectAttempt.load(); attempt > 0) {
        const int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now().time_since_epoch())
                                .count();
        return reconnectText(connection->reconnectDueMs.load() - now, attempt);
    }
    const int status = connection->status.load();
    const StatusAddress::Value address = connection->statusAddress.get();
    StatusValues values;
    values.address = address.address;
    values.port = address.port;
    if (connection->record != nullptr) values.channel = connection->record->currentChannel.load();
    if (connection->shared != nullptr) {
        values.framesPerSecond = connection->shared->framesPerSecond.load();
        values.byteRate = connection->shared->kilobytesPerSecond.load();
    }
    return statusText(status, values);
}

}  // namespace orvix
