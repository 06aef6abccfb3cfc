#include "app/wall_sharing.h"

#include <QMetaObject>
#include <mutex>

#include "app/c_main_dlg.h"
#include "app/main_dialog_ids.h"
#include "app/wall_recorders.h"
#include "gui/c_draw_static.h"
#include "gui/wall_tiles.h"
#include "link/link_status.h"
#include "media/video_codec.h"

namespace orvix {

// Queues the pool's calls to the GUI thread while this object lives.
struct WallSharing::Relay {
    std::mutex mutex;
    WallSharing* target = nullptr;
};

namespace {

ChannelSet channelsOf(int mask) {
    ChannelSet set;
    for (int c = 0; c < kMaxChannels; ++c) {
        if ((mask >> c) & 1) set.add(c);
    }
    return set;
}

}  // namespace

WallSharing::WallSharing(C_Main_Dlg& dialog, WallRecorders& recorders, QObject* parent)
    : QObject(parent), dialog_(dialog), recorders_(recorders), relay_(std::make_shared<Relay>()) {
    relay_->target = this;
    timer_.setInterval(kLookMs);
    connect(&timer_, &QTimer::timeout, this, &WallSharing::look);
    timer_.start();
}

WallSharing::~WallSharing() {
    {
        std::lock_guard<std::mutex> lock(relay_->mutex);
        relay_->target = nullptr;
    }
    giveBack();
}

bool WallSharing::showsLive() const {
    // Live video flows in the main window: connected, video at status 9,
    // not a search, and the camera controls on (the record information
    // request turns them off until LIVE).
    VideoSession& session = dialog_.videoWindow()->session();
    const QWidget* cameraControl = dialog_.control(kPanLeft);
    return dialog_.isConnected() && session.isSetUp() && session.threadsRunning() && !session.linkEnded() &&
           session.status() == kStatusDataSendOk && !session.playingBack() && cameraControl != nullptr &&
           cameraControl->isEnabled();
}

void WallSharing::look() {
    const uint32_t id = dialog_.workingRecord().id;
    const uint32_t wanted = showsLive() && recorders_.name(id) ? id : 0;
    if (wanted == shared_) return;
    giveBack();
    if (wanted != 0) share(wanted);
}

void WallSharing::share(uint32_t recorderId) {
    const DeviceRecord& working = dialog_.workingRecord();
    AdoptedConnection connection;
    connection.codec = codecForModel(working.modelIndex.load());
    connection.cameras = working.cameraCount <= kMaxChannels ? working.cameraCount : 0;
    // On the recorder's thread: queued by name, so that Qt alone builds the call.
    connection.carry = [relay = relay_, recorderId](const ChannelSet& channels) {
        std::lock_guard<std::mutex> lock(relay->mutex);
        if (relay->target == nullptr) return;
        QMetaObject::invokeMethod(relay->target, "carry", Qt::QueuedConnection, Q_ARG(uint, recorderId),
                                  Q_ARG(int, channels.mask()));
    };
    connection.control = [relay = relay_, recorderId](int channel, int action, int32_t preset) {
        std::lock_guard<std::mutex> lock(relay->mutex);
        if (relay->target == nullptr) return;
        QMetaObject::invokeMethod(relay->target, "control", Qt::QueuedConnection, Q_ARG(uint, recorderId),
                                  Q_ARG(int, channel), Q_ARG(int, action), Q_ARG(int, static_cast<int>(preset)));
    };
    if (recorders_.pool().adoptConnection(wallRecorderKey(recorderId), std::move(connection))) shared_ = recorderId;
}

void WallSharing::giveBack() {
    if (shared_ == 0) return;
    // A session that went to another recorder has let its guests go already.
    dialog_.videoWindow()->session().setGuestChannels(ChannelSet(), nullptr);
    recorders_.pool().returnConnection(wallRecorderKey(shared_));
    shared_ = 0;
}

void WallSharing::carry(uint recorderId, int mask) {
    if (recorderId != shared_ || dialog_.workingRecord().id != recorderId || !showsLive()) return;
    dialog_.videoWindow()->session().setGuestChannels(channelsOf(mask),
                                                      recorders_.pool().guestEvents(wallRecorderKey(recorderId)));
}

void WallSharing::control(uint recorderId, int channel, int action, int preset) {
    VideoSession& session = dialog_.videoWindow()->session();
    if (recorderId != shared_ || !showsLive() || !session.guestChannels().contains(channel)) return;
    // The command names the record's current channel. With guests aboard
    // it chooses nothing else (the single view keeps its channel on the
    // frame ring, a grid is asked for as a set), and it is back at once.
    DeviceRecord& working = dialog_.workingRecord();
    const int current = working.currentChannel.load();
    working.currentChannel.store(channel);
    session.ptz(action, preset);
    working.currentChannel.store(current);
}

}  // namespace orvix
