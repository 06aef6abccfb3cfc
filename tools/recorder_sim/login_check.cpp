#include "tools/recorder_sim/login_check.h"

#include <algorithm>
#include <cstring>

#include "link/command_codes.h"
#include "link/command_payloads.h"
#include "link/sha256.h"

namespace orvix::sim {
namespace {

constexpr uint32_t kWideModelField = 0;
constexpr uint32_t kPlainModelField = 7;

// The NUL-terminated text of a field; false when the field holds no NUL.
bool fieldText(const uint8_t* field, std::string& text) {
    const uint8_t* end = std::find(field, field + kLoginFieldSize, 0);
    if (end == field + kLoginFieldSize) return false;
    text.assign(reinterpret_cast<const char*>(field), static_cast<size_t>(end - field));
    return true;
}

bool digestMatches(const uint8_t* field, const std::string& text) {
    Sha256 hash;
    hash.update(kLoginSalt, sizeof kLoginSalt);
    hash.update(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    uint8_t digest[Sha256::kDigestLength];
    hash.final(digest);
    if (std::memcmp(field, digest, sizeof digest) != 0) return false;
    return std::all_of(field + sizeof digest, field + kLoginFieldSize, [](uint8_t b) { return b == 0; });
}

}  // namespace

LoginResult checkLogin(const LoginExpectation& expected, FramingKind framing, const uint8_t* payload, size_t length) {
    LoginResult result;
    result.account = "?";
    const bool digests = expected.protocolVersion >= 24;
    const size_t wantLength = expected.protocolVersion <= 1 ? kLoginPayloadShort : kLoginPayloadLong;
    if (payload == nullptr || length != wantLength) {
        result.reason = "length";
        return result;
    }
    const uint8_t* accountField = payload;
    const uint8_t* passwordField = payload + kLoginFieldSize;
    if (digests) {
        if (digestMatches(accountField, expected.account)) result.account = expected.account;
    } else if (!fieldText(accountField, result.account)) {
        result.account = "?";
    }
    if (framing != expected.framing) {
        result.reason = "framing";
        return result;
    }
    if (wantLength == kLoginPayloadLong) {
        const uint32_t want = expected.framing == FramingKind::Wide ? kWideModelField : kPlainModelField;
        if (readLe32(payload + kLoginPayloadShort) != want) {
            result.reason = "model-field";
            return result;
        }
    }
    std::string text;
    const bool accountOk = digests ? digestMatches(accountField, expected.account)
                                   : fieldText(accountField, text) && text == expected.account;
    if (!accountOk) {
        result.reason = "account";
        return result;
    }
    const bool passwordOk = digests ? digestMatches(passwordField, expected.password)
                                    : fieldText(passwordField, text) && text == expected.password;
    if (!passwordOk) {
        result.reason = "password";
        return result;
    }
    result.ok = true;
    return result;
}

}  // namespace orvix::sim
