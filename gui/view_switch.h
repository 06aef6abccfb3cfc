// Which view shows the connection's pictures over the video window: the
// output's single view (one channel through the frame ring) or the grid of
// several channels, which the session shows as a channel set whose pictures
// come through the grid's feed.
#pragma once

#include <QObject>
#include <QString>
#include <QWidget>
#include <cstdint>

#include "core/channel_set.h"
#include "gui/grid_feed.h"
#include "gui/grid_view.h"
#include "gui/video_output.h"
#include "session/video_session.h"

namespace orvix {

class ViewSwitch : public QObject {
    Q_OBJECT

public:
    // GUI thread, all of it. The grid is laid over `window`; `session`
    // reports its channel sets' pictures to the grid's feed.
    ViewSwitch(QWidget* window, VideoOutput& output, VideoSession& session);

    GridFeed& feed() { return feed_; }
    GridView* grid() const { return grid_; }
    bool gridShown() const { return gridShown_; }
    // The view showing pictures now (the grid, or the single view; null
    // before the output's set-up), whether or not it is visible.
    QWidget* view() const;
    // The view shows a picture.
    bool showsPicture() const;

    // A new connection: no pictures, live; the tiles name the recorder.
    void setUp(const QString& recorderName, uint16_t language);
    // The channels of `channels` (several) in `view` tiles; shown at once
    // while connected. False when the session refuses the set.
    bool showGrid(const ChannelSet& channels, int view);
    // Back to the single view of `channel`; asked of the session here only
    // without a connection (with one, the caller asks for the channel).
    void showSingle(int channel);
    // Both views hidden: the window shows what is beneath until the next
    // picture.
    void hideViews();
    // The window's size changed.
    void followWindow(const QRect& area);
    // A single-view picture came: true when it is to be shown (not while
    // the grid is).
    bool takeSinglePicture();

    int selectedTileChannel() const { return gridShown_ ? grid_->selectedChannel() : -1; }
    bool selectTile(int channel) { return gridShown_ && grid_->selectChannel(channel); }

signals:
    void tileSelected(int channel);
    void tileDoubleClicked(int channel);
    // The grid came up over the window, or the single view was hidden for
    // it: the status lines follow.
    void viewChanged();

private:
    // Shows the grid over everything else.
    void raiseGrid();

    QWidget* window_;
    VideoOutput& output_;
    VideoSession& session_;
    GridFeed feed_;
    GridView* grid_ = nullptr;
    bool gridShown_ = false;
};

}  // namespace orvix
