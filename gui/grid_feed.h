// The pictures of a shown channel set on their way to the grid's tiles. The
// decode workers hand each channel's pictures in, converted by the decoder's
// swscale pass straight to the size the channel's tile shows them at (a
// picture that comes at another size, as the tile was just resized, is
// scaled once here), and each is kept as the channel's newest. The GUI
// thread is told with one queued call per batch, so neither the workers nor
// the link thread ever wait for it, and at most once a paint interval, so
// that a paint covers the tiles of several channels.
#pragma once

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QSize>
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

#include "core/channel_set.h"
#include "gui/image_turns.h"
#include "media/picture_scaler.h"
#include "session/channel_events.h"

namespace orvix {

class DecodeTap;
class StreamRecorder;

// A channel's newest picture, scaled for its tile.
struct TilePicture {
    QImage image;           // null before the first picture
    QImage full;            // at the decoded size: only for the channel kept so
    QSize source;           // the decoded size
    int64_t recorderSeconds = 0;
    uint64_t serial = 0;    // counts the channel's pictures; 0: none yet
};

class GridFeed : public QObject, public ChannelEvents {
    Q_OBJECT

public:
    explicit GridFeed(QObject* parent = nullptr);

    // GUI thread: the area of the tile that shows `channel` (0-based); its
    // pictures are scaled to fit it in their display shape. An empty area
    // keeps the pictures' times and sizes only.
    void setTileArea(int channel, const QSize& area);
    // GUI thread: `channel`'s pictures (the selected tile's, for a
    // snapshot) are also kept at their decoded size; -1 for none.
    void keepFullPictures(int channel) { fullChannel_.store(channel); }
    // GUI thread: every channel's picture forgotten (a new connection, or
    // playback from another time).
    void clearPictures();
    // GUI thread: the picture of `channel` forgotten (a tile that shows
    // another camera now).
    void clearPicture(int channel);
    // Any thread: the newest picture of `channel` (a shared copy).
    TilePicture latest(int channel) const;
    // Packets `channel` dropped (its queue was full), as last reported.
    uint64_t dropped(int channel) const;

    // GUI thread: the packets and picture sizes of `channel` go to
    // `recorder` (null: none) from the next packet on. Once this returns,
    // the recorder set before is not used any more.
    void setRecorder(int channel, StreamRecorder* recorder);

    // ChannelEvents, on the decode workers and the link thread.
    std::pair<int, int> pictureSize(int channel, int width, int height) override;
    void picture(int channel, const ChannelPicture& frame) override;
    void packet(int channel, const AccessUnit& unit) override;
    void dropped(int channel, uint64_t total) override;

    // The shortest time between two picturesReady() (50 a second).
    static constexpr int kPaintIntervalMs = 20;

signals:
    // GUI thread, after one or more pictures came.
    void picturesReady();

private:
    Q_INVOKABLE void deliver();

    struct Slot {
        mutable std::mutex mutex;
        QSize area;
        TilePicture picture;
        PictureScaler scaler;  // used by the channel's worker only
        ImageTurns buffers;    // the same
        ImageTurns fullBuffers;  // the same, for the pictures kept whole
        // The shown size for a decoded size, as the tile's area is now.
        QSize shownSize(const QSize& decoded) const;
    };
    std::array<Slot, kMaxChannels> slots_;
    std::array<std::atomic<uint64_t>, kMaxChannels> dropped_{};
    std::mutex recorderMutex_;
    StreamRecorder* recorder_ = nullptr;
    int recorderChannel_ = -1;
    std::atomic<bool> notifyPending_{false};
    std::atomic<int> fullChannel_{-1};
    QElapsedTimer sinceReady_;  // GUI thread
};

}  // namespace orvix
