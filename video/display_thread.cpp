#include "video/display_thread.h"

#include <limits>

#include "link/debug_log.h"
#include "link/wire_format.h"
#include "video/calendar_time.h"
#include "video/frame_kind.h"

namespace orvix {
namespace {

constexpr size_t kEndMarkerBytes = 4;

}  // namespace

DisplayThread::DisplayThread(RecorderConnection& connection, VideoDecoder& decoder, RendererSwitch& renderers,
                             const OverlaySettings& settings)
    : connection_(connection), decoder_(decoder), renderers_(renderers), settings_(settings) {}

DisplayThread::~DisplayThread() { join(); }

bool DisplayThread::start() {
    if (thread_.joinable() || connection_.shared == nullptr) return false;
    thread_ = std::thread([this] { run(); });
    return true;
}

void DisplayThread::join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void DisplayThread::run() {
    LinkShared& shared = *connection_.shared;
    FrameRing& ring = connection_.ring;
    while (shared.threadState.load() != kLinkStopped) {
        if (!ring.waitFrame(FrameRing::kFrameWait)) continue;
        const RingSlot slot = ring.take();
        // The wake-up at stop may find no packet; only hand-overs count.
        // Packets still waiting when the link ended are not shown: the
        // window shows the status lines in their place.
        if (slot.data != nullptr) {
            shared.framesCounter.fetch_add(1);
            if (!connection_.end.ended()) process(slot.data, slot.length);
        }
        ring.releaseSlot();
    }
    debugLog("DISPLAY_THREAD_END \r\n");
}

void DisplayThread::process(const uint8_t* slot, size_t length) {
    const DeviceRecord* record = connection_.record;
    if (record == nullptr) return;
    const FrameKind kind = frameKindForModel(record->modelIndex.load());
    switch (kind) {
        case FrameKind::None:
            return;
        case FrameKind::Header64:
        case FrameKind::Header32: {
            const size_t header = kind == FrameKind::Header64 ? 64 : 32;
            if (length <= header + kEndMarkerBytes) return;
            if ((slot[8] & 0x0F) != record->currentChannel.load()) return;
            if (!decoder_.decode(slot + header, length - header - kEndMarkerBytes)) return;
            show(static_cast<int32_t>(readLe32(slot + 4)));
            return;
        }
        case FrameKind::Header32Raw: {
            if (!decoder_.decodeRaw(slot, length, connection_)) return;
            // Times past the signed range count as before 1970.
            const int64_t seconds = int64_t{readLe32(slot + 8)} + kRawTimeOffset;
            show(seconds > std::numeric_limits<int32_t>::max() ? -1 : static_cast<int32_t>(seconds));
            return;
        }
    }
}

void DisplayThread::show(int32_t seconds) {
    DisplayFrame& frame = connection_.display;
    formatDateTime(secondsToCalendar(seconds), settings_.language.load(), frame.dateText, kDateTextChars);
    const LinkShared& shared = *connection_.shared;
    OverlayStats stats;
    stats.statistics = settings_.statistics.load();
    stats.framesPerSecond = shared.framesPerSecond.load();
    stats.kilobytesPerSecond = shared.kilobytesPerSecond.load();
    renderers_.present(frame, stats);
}

}  // namespace orvix
