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
    if (connection != nullptr) {
        connection->ring.signalFrameReady();
        connection->socket.close();
    }
    if (running) {
        while (shared.threadState.load() != kLinkStopped) wait(kStopPollMs);
        thread->join();
    } else {
        shared.threadState.store(kLinkStopped);
    }
    if (connection != nullptr) connection->status.store(kStatusDisconnect);
}

}  // namespace orvix
