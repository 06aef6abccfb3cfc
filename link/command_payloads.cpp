#include "link/command_payloads.h"

#include <cstring>
#include <string>

#include "core/text_codec.h"
#include "link/command_codes.h"
#include "link/model_class.h"
#include "link/sha256.h"
#include "link/wire_format.h"

namespace orvix {

const uint8_t kLoginSalt[8] = {0x0C, 0x04, 0x09, 0x01, 0x0E, 0x06, 0x0D, 0x03};
const uint8_t kPlayControlFixed[4] = {0x01, 0x00, 0x00, 0x01};

namespace {

// The salted digest of a text, in the first 32 bytes of a 50-byte field.
void writeDigestField(uint8_t* field, std::u16string_view text) {
    char narrow[kLoginFieldSize];
    const size_t length = toNarrowField(text, narrow, sizeof narrow);
    Sha256 hash;
    hash.update(kLoginSalt, sizeof kLoginSalt);
    hash.update(reinterpret_cast<const uint8_t*>(narrow), length);
    std::memset(field, 0, kLoginFieldSize);
    hash.final(field);
}

}  // namespace

size_t buildLoginPayload(const DeviceRecord& record, uint8_t out[104]) {
    const int32_t model = record.modelIndex.load();
    const auto framing = commandFraming(model);
    if (!framing) return 0;
    std::memset(out, 0, kLoginPayloadLong);
    const unsigned version = record.protocolVersion;
    if (version >= 24) {
        writeDigestField(out, record.account.view());
        writeDigestField(out + kLoginFieldSize, record.password.view());
    } else {
        toNarrowField(record.account.view(), reinterpret_cast<char*>(out), kLoginFieldSize);
        toNarrowField(record.password.view(), reinterpret_cast<char*>(out + kLoginFieldSize), kLoginFieldSize);
    }
    if (version <= 1) return kLoginPayloadShort;
    writeLe32(out + 100, *framing == FramingKind::Wide ? 0u : 7u);
    return kLoginPayloadLong;
}

void buildDataSendPayload(uint8_t out[24], uint32_t flag, int channel, bool selected) {
    std::memset(out, 0, kDataSendReqPayload);
    writeLe32(out + 4, flag);
    if (selected && channel >= 0 && channel < 16) out[8 + channel] = 1;
}

void buildDataSendPayloadForSet(uint8_t out[24], uint32_t flag, uint16_t channels, bool selected) {
    std::memset(out, 0, kDataSendReqPayload);
    writeLe32(out + 4, flag);
    if (!selected) return;
    for (int c = 0; c < 16; ++c) {
        if ((channels >> c) & 1u) out[8 + c] = 1;
    }
}

DataRequestPlan planDataRequest(int channel, int origin, bool iframeOnly, int32_t model, bool searchMode) {
    DataRequestPlan plan;
    auto add = [&plan](uint32_t flag, bool selected) { plan.packets[plan.count++] = {flag, selected}; };
    const bool hasChannel = channel != kNoChannel;
    const bool pairModel = model == 10 || model == 11;
    const bool rawModel = model >= 26 && model <= 46;

    if (origin == 1 && (pairModel || rawModel)) {
        add(1, hasChannel && iframeOnly);
    } else if (origin == 0 && pairModel && iframeOnly) {
        add(0, false);
        if (hasChannel) {
            add(0, true);
            add(1, true);
        }
    } else if (origin == 0 && rawModel && iframeOnly) {
        add(0, false);
        if (hasChannel) {
            add(0, true);
            add(1, true);
        }
        plan.playControlAfter = searchMode;
    } else {
        add(iframeOnly ? 1 : 0, hasChannel);
    }
    return plan;
}

void buildPlayControlPayload(uint8_t out[4], int32_t model, const PlayControlBlock& block) {
    if (usesNumericPlayControl(model)) {
        // The value speed + hundredths / 100 as a single-precision float.
        const double value = block.speed + block.hundredths * 0.01;
        const float single = static_cast<float>(value);
        uint32_t bits;
        std::memcpy(&bits, &single, sizeof bits);
        writeLe32(out, bits);
    } else {
        std::memcpy(out, kPlayControlFixed, sizeof kPlayControlFixed);
    }
}

bool buildPtzPayload(uint8_t out[16], int32_t channel, int action, int32_t preset) {
    static constexpr uint32_t kSubCode[11] = {5, 2, 3, 0, 1, 18, 17, 7, 8, 9, 10};
    if (action < 0 || action > 10) return false;
    const bool presetAction = action == 5 || action == 6;
    std::memset(out, 0, kPtzPayload);
    writeLe32(out, static_cast<uint32_t>(channel));
    writeLe32(out + 4, kSubCode[action]);
    writeLe32(out + 8, presetAction ? static_cast<uint32_t>(preset) : 0u);
    writeLe32(out + 12, presetAction ? 0u : 1u);
    return true;
}

void buildAlarmPayload(uint8_t out[44], bool on, int output, uint32_t duration) {
    std::memset(out, 0, kAlarmOutPayload);
    if (!on) return;
    writeLe16(out, 1);
    if (output == 0) {
        writeLe16(out + 2, 0);
        out[4] = 1;
        out[5] = 0;
        for (int i = 0; i < 16; ++i) writeLe16(out + 8 + 2 * i, 0xFFFF);
    } else {
        out[4] = 0;
        out[5] = 1;
        writeLe16(out + 6, static_cast<uint16_t>(output - 1));
    }
    writeLe32(out + 40, duration);
}

void buildDdnsInfoReqPayload(uint8_t out[16], std::u16string_view ddnsId) {
    toNarrowField(ddnsId, reinterpret_cast<char*>(out), kDdnsInfoReqPayload);
}

}  // namespace orvix
