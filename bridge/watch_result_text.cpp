#include "bridge/watch_result_text.h"

namespace orvix::bridge {

const char* describe(WatchResult result) {
    switch (result) {
        case WatchResult::Ready: return "ready";
        case WatchResult::NoSuchChannel: return "the recorder has no such channel";
        case WatchResult::LoginRefused: return "the recorder refused the login";
        case WatchResult::Unreachable: return "the recorder cannot be reached";
        case WatchResult::TimedOut: return "no picture from the recorder in time";
        case WatchResult::Stopping: return "the bridge is stopping";
    }
    return "?";
}

}  // namespace orvix::bridge
