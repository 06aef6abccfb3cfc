// The grid of pictures: one tile per shown channel, in the set's order, row
// by row, each picture in its display shape with a compact overlay; a tile
// without a picture says "CH 05 - no video" (in playback, after 5 s,
// "CH 05 - no recording"). A click selects a tile (outlined), a double-click
// asks for that channel alone. Fed by a GridFeed; only tiles with a new
// picture or new texts are repainted.
#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <array>
#include <cstdint>

#include "core/channel_set.h"
#include "gui/grid_feed.h"
#include "gui/presented_counter.h"
#include "gui/tile_overlay.h"

namespace orvix {

class GridView : public QWidget {
    Q_OBJECT

public:
    // What a tile without a camera (the last tiles of a short group) says.
    static constexpr char kNoCameraText[] = "no camera";
    // A tile of a playback that got no picture this long says so.
    static constexpr int kNoRecordingMs = 5000;

    GridView(GridFeed& feed, QWidget* parent = nullptr);

    // The channels shown and the view (4, 9 or 16 tiles); a set smaller
    // than the view leaves the last tiles empty. The selection stays when
    // its channel is still shown, else it goes to the set's first channel.
    void showChannels(const ChannelSet& channels, int view);
    const ChannelSet& channels() const { return channels_; }
    int view() const { return view_; }

    // The selected tile's channel (0-based), -1 without a set.
    int selectedChannel() const { return selected_; }
    // Selects the tile of `channel`; false when it is not shown.
    bool selectChannel(int channel);

    // The tile's rectangle in this widget, and where its picture is drawn
    // (empty without a picture).
    QRect tileRect(int index) const;
    QRect pictureRect(int channel) const;
    // The selected tile's picture with its overlay at the size it is shown;
    // null without a picture.
    QImage snapshot() const;

    // What the overlays say.
    void setRecorderName(const QString& name);
    void setLanguage(uint16_t language);
    void setStatistics(bool on);
    void setRecordingMark(bool on);
    // Playback from a new time: pictures forgotten, tiles that get none
    // within kNoRecordingMs say so. Live: back to "no video".
    void startPlayback();
    void showLive();
    bool playback() const { return playback_; }
    // Pictures forgotten (a new connection).
    void clearPictures();

    // The text a tile shows without a picture, for its channel (0-based).
    QString noticeFor(int channel) const;
    // The texts of the tile of `channel` (0-based).
    TileTexts textsFor(int channel) const;

signals:
    void tileSelected(int channel);
    void tileDoubleClicked(int channel);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void onPicturesReady();
    void onSecond();
    // The feed scales each channel's pictures to its tile.
    void giveTileAreas();
    // The tile's picture area: inside the outline.
    QRect innerRect(int index) const;
    QString ratesFor(int channel) const;
    void paintTile(QPainter& painter, int index);

    struct TileState {
        TileOverlay overlay;
        uint64_t shownSerial = 0;   // the picture last painted
        uint64_t countedSerial = 0; // at the last one-second tick
        int picturesPerSecond = 0;
        PresentedCounter presented;
    };

    GridFeed& feed_;
    ChannelSet channels_;
    int view_ = 4;
    int selected_ = -1;
    QString name_;
    uint16_t language_ = 0;
    bool statistics_ = false;
    bool recording_ = false;
    bool playback_ = false;
    QElapsedTimer playbackClock_;
    QTimer second_;
    std::array<TileState, kMaxChannels> tiles_;
};

}  // namespace orvix
