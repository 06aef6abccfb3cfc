#include "gui/view_switch.h"

#include "gui/grid_layout.h"
#include "gui/status_band.h"

namespace orvix {
namespace {

// The grid leaves the status strip a band of its own below the tiles.
QRect tileArea(const QRect& window) { return gridArea(window, StatusBand::kHeight); }

}  // namespace

ViewSwitch::ViewSwitch(QWidget* window, VideoOutput& output, VideoSession& session)
    : window_(window), output_(output), session_(session) {
    // Several channels report through the feed to the grid's tiles.
    session_.setChannelEvents(&feed_);
    grid_ = new GridView(feed_, window);
    grid_->hide();
    connect(grid_, &GridView::tileSelected, this, &ViewSwitch::tileSelected);
    connect(grid_, &GridView::tileDoubleClicked, this, &ViewSwitch::tileDoubleClicked);
    connect(&feed_, &GridFeed::picturesReady, this, [this] {
        // As with the single view: nothing is shown after the link ended.
        if (!gridShown_ || session_.linkEnded() || !session_.threadsRunning()) return;
        if (grid_->isHidden()) raiseGrid();
    });
}

QWidget* ViewSwitch::view() const { return gridShown_ ? grid_ : output_.activeView(); }

bool ViewSwitch::showsPicture() const {
    const QWidget* shown = view();
    return shown != nullptr && shown->isVisible();
}

void ViewSwitch::setUp(const QString& recorderName, uint16_t language) {
    grid_->clearPictures();
    grid_->showLive();
    if (!recorderName.isNull()) grid_->setRecorderName(recorderName);
    grid_->setLanguage(language);
}

bool ViewSwitch::showGrid(const ChannelSet& channels, int view) {
    if (channels.size() < 2 || !session_.setChannels(channels)) return false;
    grid_->showChannels(channels, view);
    gridShown_ = true;
    if (QWidget* single = output_.activeView()) single->hide();
    grid_->setGeometry(tileArea(window_->rect()));
    // Shown at once while connected: tiles without a picture say so.
    if (session_.threadsRunning() && !session_.linkEnded()) {
        raiseGrid();
    } else {
        grid_->hide();
    }
    return true;
}

void ViewSwitch::showSingle(int channel) {
    if (gridShown_) {
        gridShown_ = false;
        grid_->hide();
        // The picture from before the grid is not shown again.
        output_.handOver().clear();
        if (QWidget* single = output_.activeView()) single->hide();
        emit viewChanged();
        window_->update();
    }
    // Without a connection the set is kept for the login; with one the
    // channel request does the same.
    if (!session_.isSetUp()) session_.setChannels(ChannelSet::single(channel));
}

void ViewSwitch::hideViews() {
    if (QWidget* single = output_.activeView()) single->hide();
    grid_->hide();
}

void ViewSwitch::followWindow(const QRect& area) {
    output_.followWindow();
    grid_->setGeometry(tileArea(area));
}

bool ViewSwitch::takeSinglePicture() {
    if (!gridShown_) return true;
    // A single-view picture that was on its way when the grid came.
    if (QWidget* single = output_.activeView()) single->hide();
    return false;
}

void ViewSwitch::raiseGrid() {
    grid_->setGeometry(tileArea(window_->rect()));
    grid_->show();
    grid_->raise();
    emit viewChanged();
}

}  // namespace orvix
