// The link's part of a disconnect, run on the window thread.
#pragma once

#include <functional>

namespace orvix {

class LinkThread;
class RecorderConnection;
struct LinkShared;

// Waits the given number of milliseconds while the window keeps handling the
// messages other threads send it synchronously. The link thread may be
// inside such a send (a status refresh, the socket re-creation) when the stop
// begins; handling it lets the link thread reach its next pass and stop.
using WaitHandlingMessages = std::function<void(int milliseconds)>;

constexpr int kStopGraceMs = 1000;
constexpr int kStopPollMs = 200;

// state := 7; wait 1000 ms; wake the display thread (frameReady); wait,
// checking every 200 ms, until the link thread has written state 0; join the
// thread; close the socket; status := 0. Without a running link thread
// (set-up failed, or already torn down) nothing waits for it: the state
// becomes 0 at once. `connection` and `thread` may be null.
void stopLink(LinkShared& shared, RecorderConnection* connection, LinkThread* thread,
              const WaitHandlingMessages& waitHandlingMessages);

}  // namespace orvix
