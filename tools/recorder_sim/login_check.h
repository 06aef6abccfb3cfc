// Checks a client's login exactly as the recorder's protocol version and
// model class expect it: framing, payload length, model field, and the
// account and password as text (versions 0-23) or as salted SHA-256
// digests followed by zero bytes (24 and later).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "link/wire_format.h"

namespace orvix::sim {

struct LoginExpectation {
    FramingKind framing = FramingKind::Wide;
    int protocolVersion = 24;
    std::string account;
    std::string password;
};

struct LoginResult {
    bool ok = false;
    std::string account;  // as sent (text forms), or the expected one when its digest matched, else "?"
    std::string reason;   // empty when ok: framing, length, model-field, account, password
};

LoginResult checkLogin(const LoginExpectation& expected, FramingKind framing, const uint8_t* payload, size_t length);

}  // namespace orvix::sim
