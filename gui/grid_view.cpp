#include "gui/grid_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QRegion>

#include "gui/aspect_fit.h"
#include "gui/grid_layout.h"
#include "gui/tile_painting.h"
#include "media/access_unit.h"
#include "media/calendar_time.h"

namespace orvix {
namespace {

QString channelText(int channel) { return QStringLiteral("CH %1").arg(channel + 1, 2, 10, QLatin1Char('0')); }

}  // namespace

GridView::GridView(GridFeed& feed, QWidget* parent) : QWidget(parent), feed_(feed) {
    setObjectName(QStringLiteral("GridView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);
    connect(&feed_, &GridFeed::picturesReady, this, &GridView::onPicturesReady);
    second_.setInterval(1000);
    connect(&second_, &QTimer::timeout, this, &GridView::onSecond);
    second_.start();
}

void GridView::showChannels(const ChannelSet& channels, int view) {
    channels_ = channels;
    view_ = isGridView(view) && view > 1 ? view : std::max(4, gridColumns(view) * gridColumns(view));
    for (TileState& tile : tiles_) tile = TileState();
    if (!channels_.contains(selected_)) selected_ = channels_.first();
    feed_.keepFullPictures(selected_);
    giveTileAreas();
    update();
}

bool GridView::selectChannel(int channel) {
    if (!channels_.contains(channel)) return false;
    if (channel != selected_) {
        selected_ = channel;
        feed_.keepFullPictures(selected_);
        update();
    }
    return true;
}

QRect GridView::tileRect(int index) const {
    const std::vector<QRect> tiles = tileRects(rect(), view_);
    return index >= 0 && index < static_cast<int>(tiles.size()) ? tiles[static_cast<size_t>(index)] : QRect();
}

QRect GridView::innerRect(int index) const {
    return tileRect(index).adjusted(kTileOutline, kTileOutline, -kTileOutline, -kTileOutline);
}

QRect GridView::pictureRect(int channel) const {
    const int index = channels_.indexOf(channel);
    if (index < 0) return QRect();
    const TilePicture picture = feed_.latest(channel);
    if (picture.serial == 0) return QRect();
    return fitPicture(innerRect(index), picture.source);
}

void GridView::giveTileAreas() {
    for (int channel = 0; channel < kMaxChannels; ++channel) {
        const int index = channels_.indexOf(channel);
        feed_.setTileArea(channel, index >= 0 ? innerRect(index).size() : QSize());
    }
}

void GridView::setRecorderName(const QString& name) {
    name_ = name;
    update();
}

void GridView::setLanguage(uint16_t language) {
    language_ = language;
    update();
}

void GridView::setStatistics(bool on) {
    if (on == statistics_) return;
    statistics_ = on;
    update();
}

void GridView::setRecordingMark(bool on) {
    if (on == recording_) return;
    recording_ = on;
    update();
}

void GridView::startPlayback() {
    playback_ = true;
    playbackClock_.start();
    clearPictures();
}

void GridView::showLive() {
    playback_ = false;
    update();
}

void GridView::clearPictures() {
    feed_.clearPictures();
    for (TileState& tile : tiles_) tile.shownSerial = tile.countedSerial = 0;
    update();
}

QString GridView::noticeFor(int channel) const {
    const bool late = playback_ && playbackClock_.isValid() && playbackClock_.elapsed() >= kNoRecordingMs;
    return channelText(channel) + (late ? QStringLiteral(" - no recording") : QStringLiteral(" - no video"));
}

QString GridView::ratesFor(int channel) const {
    const int index = channels_.indexOf(channel);
    const int rate = index >= 0 ? tiles_[static_cast<size_t>(index)].picturesPerSecond : 0;
    return QStringLiteral("%1 fps  %2 dropped").arg(rate).arg(feed_.dropped(channel));
}

TileTexts GridView::textsFor(int channel) const {
    TileTexts texts;
    texts.title = (name_.isEmpty() ? QString() : name_ + QLatin1Char(' ')) + channelText(channel);
    const TilePicture picture = feed_.latest(channel);
    if (picture.serial != 0) {
        const CalendarTime time = secondsToCalendar(overlaySeconds(picture.recorderSeconds));
        texts.time = QString::fromStdU16String(formatDateTime(time, language_));
    }
    if (statistics_) texts.rates = ratesFor(channel);
    texts.search = playback_;
    texts.recording = recording_ && channel == selected_;
    return texts;
}

void GridView::onPicturesReady() {
    // Only the tiles with a new picture are painted again.
    for (int index = 0; index < channels_.size(); ++index) {
        const uint64_t serial = feed_.latest(channels_.at(index)).serial;
        if (serial != tiles_[static_cast<size_t>(index)].shownSerial) update(tileRect(index));
    }
}

void GridView::onSecond() {
    for (int index = 0; index < channels_.size(); ++index) {
        TileState& tile = tiles_[static_cast<size_t>(index)];
        const uint64_t serial = feed_.latest(channels_.at(index)).serial;
        tile.picturesPerSecond = serial >= tile.countedSerial ? static_cast<int>(serial - tile.countedSerial) : 0;
        tile.countedSerial = serial;
        // The rates row and a playback's "no recording" change by the second.
        if (statistics_ || (playback_ && serial == 0)) update(tileRect(index));
    }
}

void GridView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const std::vector<QRect> tiles = tileRects(rect(), view_);
    for (int index = 0; index < static_cast<int>(tiles.size()); ++index) {
        if (!event->region().intersects(tiles[static_cast<size_t>(index)])) continue;
        // Several tiles make a clip of several rectangles, under which Qt
        // fills a picture span by span (through its thread pool for more
        // than 96 rows); clipped to its own tile, a picture is one copy.
        painter.save();
        painter.setClipRect(tiles[static_cast<size_t>(index)], Qt::IntersectClip);
        paintTile(painter, index);
        painter.restore();
    }
}

void GridView::paintTile(QPainter& painter, int index) {
    const QRect tile = tileRect(index);
    const QRect inner = innerRect(index);
    if (index >= channels_.size()) {
        // A tile the group has no camera for says so rather than looking
        // like a camera that sends nothing.
        painter.fillRect(tile, Qt::black);
        paintTileNotice(painter, inner, QString::fromLatin1(kNoCameraText));
        return;
    }
    const int channel = channels_.at(index);
    TileState& state = tiles_[static_cast<size_t>(index)];
    const TilePicture picture = feed_.latest(channel);
    state.shownSerial = picture.serial;
    const QRect target = paintTilePicture(painter, tile, inner, picture);
    if (picture.serial == 0) paintTileNotice(painter, inner, noticeFor(channel));
    if (!picture.image.isNull()) state.presented.painted(picture.serial);
    if (picture.serial != 0) state.overlay.paint(painter, target, textsFor(channel));
    if (channel == selected_) paintTileOutline(painter, tile);
}

QImage GridView::snapshot() const {
    const int index = channels_.indexOf(selected_);
    if (index < 0) return QImage();
    const TilePicture picture = feed_.latest(selected_);
    if (picture.serial == 0 || picture.image.isNull()) return QImage();
    // The camera's picture at its own height in its display shape, as the
    // single view saves it; the tile's smaller copy only until the first
    // picture kept whole since the selection has come.
    const QImage& source = picture.full.isNull() ? picture.image : picture.full;
    QImage image(shownSize(picture.source, picture.source.height()), QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(image.rect(), source);
    TileOverlay overlay;
    overlay.paint(painter, image.rect(), textsFor(selected_));
    return image;
}

void GridView::resizeEvent(QResizeEvent*) {
    giveTileAreas();
    for (TileState& tile : tiles_) tile.shownSerial = 0;
}

void GridView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const int index = tileAt(rect(), view_, event->position().toPoint());
    if (index < 0 || index >= channels_.size()) return;
    const int channel = channels_.at(index);
    selectChannel(channel);
    emit tileSelected(channel);
}

void GridView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const int index = tileAt(rect(), view_, event->position().toPoint());
    if (index < 0 || index >= channels_.size()) return;
    emit tileDoubleClicked(channels_.at(index));
}

}  // namespace orvix
