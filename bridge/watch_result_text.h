// What the bridge says when a client or a publisher cannot have a channel.
#pragma once

#include "session/pooled_recorder.h"

namespace orvix::bridge {

// "the recorder cannot be reached", ...
const char* describe(WatchResult result);

}  // namespace orvix::bridge
