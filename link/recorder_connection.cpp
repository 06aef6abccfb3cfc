#include "link/recorder_connection.h"

#include <cstring>
#include <new>

namespace orvix {
namespace {

bool allocateZeroed(std::unique_ptr<uint8_t[]>& buffer, size_t size) {
    buffer.reset(new (std::nothrow) uint8_t[size]);
    if (!buffer) return false;
    std::memset(buffer.get(), 0, size);
    return true;
}

// Hears every report and does nothing: a connection without an owner.
LinkNotifier& silentNotifier() {
    static LinkNotifier silent;
    return silent;
}

}  // namespace

LinkNotifier& RecorderConnection::report() { return notifier != nullptr ? *notifier : silentNotifier(); }

bool RecorderConnection::allocateBuffers() {
    return allocateZeroed(receiveBuffer, kReceiveBufferSize) &&
           allocateZeroed(assemblyBuffer, kAssemblyBufferSize) && ring.allocate() &&
           allocateZeroed(decodeBuffer, kDecodeBufferSize) && allocateZeroed(sendPayload, kSendPayloadSize) &&
           allocateZeroed(frameBuffer, kFrameBufferSize);
}

void RecorderConnection::releaseBuffers() {
    frameBuffer.reset();
    sendPayload.reset();
    decodeBuffer.reset();
    assemblyBuffer.reset();
    receiveBuffer.reset();
}

bool RecorderConnection::buffersReady() const {
    return receiveBuffer && assemblyBuffer && ring.allocated() && decodeBuffer && sendPayload && frameBuffer;
}

int RecorderConnection::sendFramed(FramingKind framing, uint32_t code, const uint8_t* payload, size_t length) {
    if (!frameBuffer) return 0;
    const size_t total = frameCommand(framing, code, payload, length, frameBuffer.get(), kFrameBufferSize);
    if (total == 0) return 0;
    const int sent = socket.send(frameBuffer.get(), total, sendWaitMs());
    if (sent < 0 && socket.streamCut() && !commandCut.exchange(true)) {
        // The descriptor stays with the link thread, which may be waiting on
        // it: shutting it down wakes that thread, which ends the link.
        socket.shutdown();
    }
    return sent;
}

int RecorderConnection::sendWaitMs() const {
    return std::this_thread::get_id() == linkThreadId.load() ? TcpSocket::kSendWaitMs : kOwnerSendWaitMs;
}

}  // namespace orvix
