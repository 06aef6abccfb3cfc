// What the user does on the wall: cameras into tiles, arrangements, the
// tour, full screen and a tile alone, snapshots, recordings and camera
// control of the selected tile.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidget>
#include <chrono>

#include "app/capture_files.h"
#include "app/wall_window.h"
#include "gui/aspect_fit.h"

namespace orvix {
namespace {

constexpr int kIdRole = Qt::UserRole;
constexpr int kCameraRole = Qt::UserRole + 1;
// The longest a snapshot waits for its camera's next picture.
constexpr int kSnapshotWaitMs = 3000;

QString cameraTitle(const WallTileChoice& choice) {
    return QStringLiteral("CH %1 of %2").arg(choice.camera + 1, 2, 10, QLatin1Char('0')).arg(choice.recorderName);
}

void waitBriefly(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

void WallWindow::buildActions() {
    const auto action = [this](const QKeySequence& keys, auto handler) {
        auto* a = new QAction(this);
        a->setShortcut(keys);
        a->setShortcutContext(Qt::WindowShortcut);
        connect(a, &QAction::triggered, this, handler);
        // On the window itself: they work with the bars hidden.
        addAction(a);
    };
    action(QKeySequence(Qt::Key_F11), [this] { setFullScreen(!fullScreen_); });
    action(QKeySequence(Qt::Key_Escape), [this] { leaveByEscape(); });
    action(QKeySequence(Qt::CTRL | Qt::Key_S), [this] { takeSnapshot(); });
    action(QKeySequence(Qt::CTRL | Qt::Key_R), [this] { toggleRecording(); });
}

void WallWindow::setArrangement(WallArrangement arrangement) {
    if (recordingTile_ >= wallTileCount(arrangement)) stopRecordingOf(QStringLiteral("its tile went"));
    page_->setArrangement(arrangement);
    view_->showAll();
    arrangementCombo_->setCurrentIndex(arrangementCombo_->findData(static_cast<int>(arrangement)));
}

void WallWindow::putCamera(int tile, uint32_t recorderId, int camera) {
    if (tile < 0 || tile >= page_->count() || !recorders_.name(recorderId)) return;
    if (camera >= 0) {
        if (tile == recordingTile_) stopRecordingOf(QStringLiteral("the tile shows another camera"));
        page_->setTile(tile, choiceFor(recorderId, camera));
        return;
    }
    // A recorder: its cameras, in order, into the free tiles.
    const int cameras = recorders_.cameras(recorderId);
    int next = 0;
    for (int i = 0; i < page_->count() && next < cameras; ++i) {
        if (page_->tile(i).empty()) page_->setTile(i, choiceFor(recorderId, next++));
    }
    if (next == 0) say(QStringLiteral("No free tile for the cameras of %1").arg(*recorders_.name(recorderId)));
}

void WallWindow::clearTile(int tile) {
    if (tile == recordingTile_) stopRecordingOf(QStringLiteral("the tile was cleared"));
    page_->setTile(tile, WallTileChoice());
}

bool WallWindow::startTour(int seconds) {
    if (seconds < WallSettings::kMinTourSeconds || seconds > WallSettings::kMaxTourSeconds) return false;
    std::vector<WallLayout> pages;
    if (settings_.tour.empty()) {
        pages = settings_.layouts;
    } else {
        for (const QString& name : settings_.tour) {
            if (const WallLayout* layout = settings_.find(name)) pages.push_back(*layout);
        }
    }
    if (pages.size() < 2) {
        say(QStringLiteral("A tour needs two saved layouts or more (Tour layouts chooses them)"));
        return false;
    }
    int first = 0;
    for (size_t i = 0; i < pages.size(); ++i) {
        if (pages[i].name == shownName_) first = static_cast<int>(i);
    }
    beginTour(std::move(pages), first, seconds);
    return true;
}

bool WallWindow::startRecorderTour(uint32_t recorderId, int seconds) {
    const std::optional<QString> name = recorders_.name(recorderId);
    if (!name || seconds < WallSettings::kMinTourSeconds || seconds > WallSettings::kMaxTourSeconds) return false;
    // Pages of the arrangement shown, filled with its cameras in order.
    const int perPage = page_->count();
    const int cameras = recorders_.cameras(recorderId);
    std::vector<WallLayout> pages;
    for (int first = 0; first < cameras; first += perPage) {
        WallLayout layout{QString(), page_->arrangement(), {}};
        for (int camera = first; camera < std::min(cameras, first + perPage); ++camera) {
            layout.tiles.push_back(choiceFor(recorderId, camera));
        }
        pages.push_back(layout);
    }
    if (pages.size() < 2) {
        if (!pages.empty()) showLayout(pages.front());
        say(QStringLiteral("The cameras of %1 fit on one page").arg(*name));
        return false;
    }
    beginTour(std::move(pages), 0, seconds);
    return true;
}

bool WallWindow::startTourFrom(const QString& name, int seconds) {
    if (name.isEmpty() || settings_.find(name) != nullptr) return startTour(seconds);
    for (const WallRecorders::Listed& recorder : recorders_.listed()) {
        if (recorder.name == name) return startRecorderTour(recorder.id, seconds);
    }
    return false;
}

void WallWindow::beginTour(std::vector<WallLayout> pages, int first, int seconds) {
    stopTour();
    tourPages_ = std::move(pages);
    tour_.start(static_cast<int>(tourPages_.size()), first, seconds, WallTour::Clock::now());
    showLayout(tourPages_[static_cast<size_t>(tour_.page())]);
    prepareNextPage();
    tourTimer_.start();
    tourSeconds_->setValue(seconds);
    tourButton_->setChecked(true);
    say(QStringLiteral("Tour of %1 pages, %2 s each").arg(tourPages_.size()).arg(seconds));
}

void WallWindow::prepareNextPage() {
    // Asked for a step ahead, so that its pictures are there when it shows.
    next_ = makePage(tourPages_[static_cast<size_t>(tour_.nextPage())]);
    view_->giveTileAreas(*next_);
}

void WallWindow::onTourTick() {
    if (!tour_.step(WallTour::Clock::now())) return;
    stopRecordingOf(QStringLiteral("the tour moved on"));
    const WallLayout& layout = tourPages_[static_cast<size_t>(tour_.page())];
    if (next_ != nullptr) {
        view_->setPage(next_.get());
        page_ = std::move(next_);
        shownName_ = layout.name;
        arrangementCombo_->setCurrentIndex(arrangementCombo_->findData(static_cast<int>(layout.arrangement)));
        layoutCombo_->setCurrentIndex(layoutCombo_->findText(shownName_));
    } else {
        showLayout(layout);
    }
    prepareNextPage();
}

void WallWindow::stopTour() {
    tour_.stop();
    tourTimer_.stop();
    next_.reset();
    if (tourButton_ != nullptr) tourButton_->setChecked(false);
}

void WallWindow::setFullScreen(bool on) {
    if (on == fullScreen_) return;
    fullScreen_ = on;
    // The tiles alone; the bars and the list come back with the window.
    side_->setVisible(!on);
    bar_->setVisible(!on);
    statusBar()->setVisible(!on);
    if (on) {
        maximisedBefore_ = isMaximized();
        showFullScreen();
    } else if (maximisedBefore_) {
        showMaximized();
    } else {
        showNormal();
    }
}

void WallWindow::showTileAlone(int tile) { view_->showAlone(tile); }

void WallWindow::showAllTiles() { view_->showAll(); }

void WallWindow::onTileDoubleClicked(int tile) {
    if (view_->aloneTile() >= 0) {
        showAllTiles();
    } else {
        showTileAlone(tile);
    }
}

void WallWindow::leaveByEscape() {
    // A tile shown alone returns first, then full screen ends; the wall
    // itself stays open.
    if (view_->aloneTile() >= 0) {
        showAllTiles();
    } else if (fullScreen_) {
        setFullScreen(false);
    }
}

void WallWindow::onTileMenu(int tile, const QPoint& globalPosition) {
    QMenu menu(this);
    const bool shows = !page_->tile(tile).empty();
    menu.addAction(QStringLiteral("Clear"), this, [this, tile] { clearTile(tile); })->setEnabled(shows);
    menu.addAction(QStringLiteral("Snapshot"), this, [this] { takeSnapshot(); })->setEnabled(shows);
    QAction* record = menu.addAction(QStringLiteral("Record"), this, [this] { toggleRecording(); });
    record->setCheckable(true);
    record->setChecked(recordingTile_ == tile);
    record->setEnabled(shows);
    if (view_->aloneTile() >= 0) {
        menu.addAction(QStringLiteral("Show all tiles"), this, [this] { showAllTiles(); });
    } else {
        menu.addAction(QStringLiteral("Show alone"), this, [this, tile] { showTileAlone(tile); })->setEnabled(shows);
    }
    menu.exec(globalPosition);
}

void WallWindow::onTreeActivated(QTreeWidgetItem* item) {
    if (item == nullptr) return;
    putCamera(view_->selectedTile(), item->data(0, kIdRole).toUInt(), item->data(0, kCameraRole).toInt());
}

void WallWindow::onTreeMenu(const QPoint& position) {
    const QTreeWidgetItem* item = tree_->itemAt(position);
    if (item == nullptr) return;
    const uint32_t id = item->data(0, kIdRole).toUInt();
    QMenu menu(this);
    menu.addAction(QStringLiteral("Show its cameras"), this, [this, id] {
        if (const auto name = recorders_.name(id)) showByName(*name);
    });
    menu.addAction(QStringLiteral("Tour its cameras"), this,
                   [this, id] { startRecorderTour(id, tourSeconds_->value()); });
    menu.exec(tree_->viewport()->mapToGlobal(position));
}

bool WallWindow::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseButtonPress || type == QEvent::KeyPress || type == QEvent::Wheel) {
        // The user is at the wall: a tour holds its page meanwhile.
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget != nullptr && widget->window() == this) tour_.interacted(WallTour::Clock::now());
    }
    return QMainWindow::eventFilter(watched, event);
}

QString WallWindow::takeSnapshot() {
    const int tile = view_->selectedTile();
    const WallTileChoice choice = page_->tile(tile);
    if (choice.empty() || page_->handle(tile) == nullptr) {
        say(QStringLiteral("Snapshot: the selected tile shows no camera"));
        return QString();
    }
    // A second handle on the camera that wants its pictures as decoded.
    FullPictureGrab grab;
    PoolHandle probe = recorders_.pool().watch(wallRecorderKey(choice.recorderId), choice.camera);
    probe.setPictures(&grab);
    QElapsedTimer waited;
    waited.start();
    while (grab.take().isNull() && waited.elapsed() < kSnapshotWaitMs) waitBriefly(20);
    probe.release();
    const QImage picture = grab.take();
    if (picture.isNull()) {
        say(QStringLiteral("Snapshot: no picture came from ") + cameraTitle(choice));
        return QString();
    }
    // In the picture's display shape at its height, with the tile's overlay.
    QImage image(shownSize(picture.size(), picture.height()), QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(image.rect(), picture);
    TileTexts texts = view_->textsFor(tile);
    texts.recording = false;
    TileOverlay().paint(painter, image.rect(), texts);
    painter.end();
    QString message;
    const QString path =
        saveSnapshot(image, captureBaseName(choice.recorderName, choice.camera, QDateTime::currentDateTime()), message);
    say(message);
    return path;
}

void WallWindow::toggleRecording() {
    if (recording_ != nullptr) {
        finishRecording(QStringLiteral("Recording saved to "));
        return;
    }
    const int tile = view_->selectedTile();
    const WallTileChoice choice = page_->tile(tile);
    PoolHandle* handle = page_->handle(tile);
    if (choice.empty() || handle == nullptr) {
        say(QStringLiteral("Recording: the selected tile shows no camera"));
        return;
    }
    if (handle->codec() == VideoCodec::None) {
        say(QStringLiteral("Recording: no video from %1 yet").arg(cameraTitle(choice)));
        return;
    }
    QString error;
    const QString base = captureBaseName(choice.recorderName, choice.camera, QDateTime::currentDateTime());
    const QString path = freeCapturePath(recordingDirectory(), base, QStringLiteral("mp4"), error);
    if (path.isEmpty()) {
        say(QStringLiteral("Recording not started: ") + error);
        return;
    }
    recording_ = std::make_unique<TileRecording>(path.toStdString());
    recording_->recorder().setCodec(handle->codec());
    recordingTile_ = tile;
    // The picture size from the tile's pictures, the packets from the kept
    // key picture on.
    page_->feed().setRecorder(tile, &recording_->recorder());
    handle->attachPackets(recording_.get(), true);
    view_->setRecordingMark(tile, true);
    say(QStringLiteral("Recording to ") + path);
}

void WallWindow::finishRecording(const QString& prefix) {
    if (recording_ == nullptr) return;
    // Returns once no packet is being handed to it.
    if (PoolHandle* handle = page_->handle(recordingTile_)) handle->attachPackets(nullptr);
    page_->feed().setRecorder(-1, nullptr);
    view_->setRecordingMark(recordingTile_, false);
    std::string error;
    const bool ok = recording_->recorder().finish(error);
    const QString path = QString::fromStdString(recording_->path());
    recording_.reset();
    recordingTile_ = -1;
    if (prefix.isEmpty()) return;
    say(ok ? prefix + path : QStringLiteral("Recording failed: ") + QString::fromStdString(error));
}

void WallWindow::stopRecordingOf(const QString& why) {
    if (recording_ == nullptr) return;
    finishRecording(QStringLiteral("Recording ended (%1), saved to ").arg(why));
}

void WallWindow::checkRecording() {
    // The recorder's connection was given up: the file ends there and plays.
    if (recording_ != nullptr && recording_->ended()) stopRecordingOf(QStringLiteral("the connection ended"));
}

void WallWindow::cameraControl(int action, int preset) {
    PoolHandle* handle = page_->handle(view_->selectedTile());
    if (handle == nullptr) {
        say(QStringLiteral("Camera control: the selected tile shows no camera"));
        return;
    }
    handle->cameraControl(action, preset);
}

}  // namespace orvix
