#include "link/link_stop.h"

#include <chrono>
#include <thread>

#include "link/link_shared.h"
#include "link/link_status.h"
#include "link/link_thread.h"
#include "link/recorder_connection.h"

namespace orvix {

void stopLink(LinkShared& shared, RecorderConnection* connection, LinkThread* thread,
              const WaitHandlingMessages& waitHandlingMessages) {
    const auto wait = [&waitHandlingMessages](int milliseconds) {
        if (waitHandlingMessages) {
            waitHandlingMessages(milliseconds);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        }
    };
    const bool running = thread != nullptr && thread->joinable();

    shared.threadState.store(kLinkStopRequested);
    if (running) wait(kStopGraceMs);
    if (connection != nullptr) connection->ring.signalFrameReady();
    if (running) {
        while (shared.threadState.load() != kLinkStopped) wait(kStopPollMs);
        thread->join();
    } else {
        shared.threadState.store(kLinkStopped);
    }
    // Closed only now: while the link thread runs it may still be sending or
    // reading on the descriptor, and closing it under it could hand the
    // number to another file. The link thread never blocks on the socket for
    // long, so it needs no close to end.
    if (connection != nullptr) {
        connection->socket.close();
        connection->status.store(kStatusDisconnect);
        connection->reconnectAttempt.store(0);
    }
}

}  // namespace orvix
