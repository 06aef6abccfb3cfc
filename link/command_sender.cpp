#include "link/command_sender.h"

#include <mutex>

#include "core/debug_log.h"
#include "link/command_payloads.h"
#include "link/model_class.h"

namespace orvix {
namespace {

int sendDataRequest(RecorderConnection& c, FramingKind framing, int channel, int origin) {
    const bool iframeOnly = c.shared != nullptr && c.shared->iframeOnly.load() != 0;
    // The shown set is one request with every channel byte of the set: the
    // same packet sequence as for one channel, only the channel bytes differ.
    const bool forSet = channel == kShownChannels;
    // A single view kept beside the set is asked for with it.
    const int ring = c.ringChannel.load();
    const uint16_t channels =
        static_cast<uint16_t>(c.shownChannels.load() | (ring >= 0 && ring < 16 ? 1u << ring : 0u));
    const int planned = forSet ? (channels != 0 ? 0 : kNoChannel) : channel;
    c.videoStopped.store(planned == kNoChannel);
    const DataRequestPlan plan =
        planDataRequest(planned, origin, iframeOnly, c.record->modelIndex.load(), c.mode.load() == 1);
    int total = 0;
    for (int i = 0; i < plan.count; ++i) {
        if (forSet) {
            buildDataSendPayloadForSet(c.sendPayload.get(), plan.packets[i].flag, channels,
                                       plan.packets[i].selected);
        } else {
            buildDataSendPayload(c.sendPayload.get(), plan.packets[i].flag, channel, plan.packets[i].selected);
        }
        int n = c.sendFramed(framing, COMMAND_DATA_SEND_REQ, c.sendPayload.get(), kDataSendReqPayload);
        if (n < 0) return -1;
        total += n;
    }
    if (plan.playControlAfter) {
        int n = c.sendFramed(framing, COMMAND_PLAY_CONTROL_REQ, kPlayControlFixed, kPlayControlPayload);
        if (n < 0) return -1;
        total += n;
    }
    return total;
}

}  // namespace

int shownChannelArgument(const RecorderConnection& c) {
    if (c.shownChannels.load() != 0) return kShownChannels;
    return c.record != nullptr ? c.record->currentChannel.load() : 0;
}

int sendCommand(RecorderConnection& c, uint32_t code, uintptr_t argument, intptr_t parameter, int flag) {
    if (code == COMMAND_CONNECT_REQ) {
        debugLog("COMMAND_CONNECT_REQ\r\n");
        const auto* host = reinterpret_cast<const char16_t*>(argument);
        c.socket.connect(host ? std::u16string_view(host) : std::u16string_view(), static_cast<uint16_t>(parameter));
        return 0;
    }
    if (c.record == nullptr || !c.sendPayload || !c.frameBuffer) return 0;
    auto framing = commandFraming(c.record->modelIndex.load());
    if (!framing) return 0;

    if (code == COMMAND_DDNS_INFO_REQ) {
        c.status.store(12);
        c.report().statusChanged();
    }

    std::lock_guard<std::mutex> lock(c.sendLock);
    uint8_t* payload = c.sendPayload.get();
    switch (code) {
    case COMMAND_LOGIN_REQ: {
        const size_t length = buildLoginPayload(*c.record, payload);
        return length == 0 ? 0 : c.sendFramed(*framing, code, payload, length);
    }
    case COMMAND_DATA_SEND_REQ:
        return sendDataRequest(c, *framing, static_cast<int>(argument), static_cast<int>(parameter));
    case COMMAND_SEARCH_TIME_REQ:
        writeLe32(payload, static_cast<uint32_t>(argument));
        return c.sendFramed(*framing, code, payload, kSearchTimePayload);
    case COMMAND_PLAY_CONTROL_REQ: {
        const auto* block = reinterpret_cast<const PlayControlBlock*>(argument);
        buildPlayControlPayload(payload, c.record->modelIndex.load(), block ? *block : PlayControlBlock{});
        return c.sendFramed(*framing, code, payload, kPlayControlPayload);
    }
    case COMMAND_ALARM_OUT_REQ:
        buildAlarmPayload(payload, flag != 0, static_cast<int>(argument), static_cast<uint32_t>(parameter));
        return c.sendFramed(*framing, code, payload, kAlarmOutPayload);
    case COMMAND_PTZ_REQ:
        if (!buildPtzPayload(payload, c.record->currentChannel.load(), static_cast<int>(argument),
                             static_cast<int32_t>(parameter)))
            return 0;
        return c.sendFramed(*framing, code, payload, kPtzPayload);
    case COMMAND_DDNS_INFO_REQ:
        buildDdnsInfoReqPayload(payload, c.record->ddnsId.view());
        return c.sendFramed(FramingKind::Wide, code, payload, kDdnsInfoReqPayload);
    case COMMAND_ECHO_ACK:
    case COMMAND_RECORD_INFO_REQ:
    case COMMAND_SEARCH_PLAY_REQ:
    case COMMAND_SEARCH_MODE_REQ:
    case COMMAND_SEARCH_END_REQ:
        return c.sendFramed(*framing, code, payload, 0);
    default:
        return 0;
    }
}

}  // namespace orvix
