// The wall's window: its widgets, the list of recorders and cameras, the
// saved layouts and what it remembers.
#include "app/wall_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <map>
#include <set>

#include "app/language_id.h"
#include "core/debug_log.h"

namespace orvix {
namespace {

constexpr int kIdRole = Qt::UserRole;
constexpr int kCameraRole = Qt::UserRole + 1;
constexpr int kListRefreshMs = 1000;
constexpr int kTourTickMs = 100;
constexpr int kPresets = 16;

// The recorders and their cameras, dragged onto tiles as wall cameras.
class RecorderTree final : public QTreeWidget {
public:
    using QTreeWidget::QTreeWidget;

protected:
    QStringList mimeTypes() const override {
        QMimeData* probe = wallCameraMimeData(1, 0);
        const QStringList types = probe->formats();
        delete probe;
        return types;
    }
    QMimeData* mimeData(const QList<QTreeWidgetItem*>& items) const override {
        if (items.isEmpty()) return nullptr;
        return wallCameraMimeData(items.front()->data(0, kIdRole).toUInt(), items.front()->data(0, kCameraRole).toInt());
    }
};

QString cameraText(int camera) { return QStringLiteral("CH %1").arg(camera + 1, 2, 10, QLatin1Char('0')); }

}  // namespace

WallWindow::WallWindow(WallRecorders& recorders, const DeviceList& devices, QWidget* parent)
    : QMainWindow(parent), recorders_(recorders), devices_(devices), settings_(WallSettings::load()) {
    setObjectName(QStringLiteral("WallWindow"));
    setWindowTitle(QStringLiteral("ORVIX Wall"));
    setWindowIcon(QIcon(QStringLiteral(":/orvix/icon.png")));
    recorders_.rememberCameras(settings_.cameras);
    recorders_.update(devices_);
    page_ = makePage(WallLayout());
    buildWidgets();
    buildToolBar();
    buildActions();
    view_->setLanguage(defaultLanguageId());
    view_->setPage(page_.get());
    fillRecorderTree();
    fillLayoutList();
    fillTourMenu();
    resize(1024, 720);
    if (!settings_.geometry.isEmpty()) restoreGeometry(settings_.geometry);
    showLayout(settings_.shown.tiles.empty() ? WallLayout{QString(), WallArrangement::Four, {}} : settings_.shown);

    tourTimer_.setInterval(kTourTickMs);
    connect(&tourTimer_, &QTimer::timeout, this, &WallWindow::onTourTick);
    listTimer_.setInterval(kListRefreshMs);
    connect(&listTimer_, &QTimer::timeout, this, [this] {
        fillRecorderTree();
        checkRecording();
    });
    listTimer_.start();
    // Any key or click in the window holds a tour's page.
    qApp->installEventFilter(this);
}

WallWindow::~WallWindow() {
    qApp->removeEventFilter(this);
    if (recording_ != nullptr) finishRecording(QString());
    // The view goes before the pages it shows.
    view_->setPage(nullptr);
    next_.reset();
    page_.reset();
}

std::unique_ptr<WallTiles> WallWindow::makePage(const WallLayout& layout) {
    auto page = std::make_unique<WallTiles>(recorders_.pool(), [this](uint32_t id) { return recorders_.name(id); });
    applyToPage(*page, layout);
    return page;
}

void WallWindow::applyToPage(WallTiles& page, const WallLayout& layout) {
    page.setArrangement(layout.arrangement);
    for (int i = 0; i < page.count(); ++i) {
        page.setTile(i, i < static_cast<int>(layout.tiles.size()) ? layout.tiles[static_cast<size_t>(i)]
                                                                  : WallTileChoice());
    }
}

void WallWindow::buildWidgets() {
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    side_ = new QWidget(splitter);
    auto* sideLayout = new QVBoxLayout(side_);
    sideLayout->setContentsMargins(4, 4, 0, 4);
    tree_ = new RecorderTree(side_);
    tree_->setObjectName(QStringLiteral("WallRecorders"));
    tree_->setHeaderHidden(true);
    tree_->setDragEnabled(true);
    tree_->setDragDropMode(QAbstractItemView::DragOnly);
    tree_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tree_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) { onTreeActivated(item); });
    connect(tree_, &QTreeWidget::customContextMenuRequested, this, &WallWindow::onTreeMenu);
    sideLayout->addWidget(tree_, 1);
    sideLayout->addWidget(buildCameraPanel());
    view_ = new WallView(splitter);
    splitter->addWidget(side_);
    splitter->addWidget(view_);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({200, 800});
    setCentralWidget(splitter);
    connect(view_, &WallView::cameraDropped, this, [this](int tile, uint32_t id, int camera) { putCamera(tile, id, camera); });
    connect(view_, &WallView::tileDoubleClicked, this, &WallWindow::onTileDoubleClicked);
    connect(view_, &WallView::tileMenuRequested, this, &WallWindow::onTileMenu);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("WallStatus"));
    statusBar()->addWidget(status_, 1);
}

QWidget* WallWindow::buildCameraPanel() {
    auto* panel = new QGroupBox(QStringLiteral("Camera"), side_);
    panel->setObjectName(QStringLiteral("WallCameraPanel"));
    auto* grid = new QGridLayout(panel);
    grid->setSpacing(2);
    const auto button = [&](const QString& text, int action, int row, int column, int span = 1) {
        auto* b = new QPushButton(text, panel);
        b->setObjectName(QStringLiteral("WallPtz%1").arg(action));
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QPushButton::clicked, this, [this, action] { cameraControl(action); });
        grid->addWidget(b, row, column, 1, span);
    };
    // The Parts' actions: 0 stop, 1 up, 2 down, 3 left, 4 right, 7 zoom
    // out, 8 zoom in, 9 focus in, 10 focus out.
    button(QStringLiteral("Up"), 1, 0, 1);
    button(QStringLiteral("Left"), 3, 1, 0);
    button(QStringLiteral("Stop"), 0, 1, 1);
    button(QStringLiteral("Right"), 4, 1, 2);
    button(QStringLiteral("Down"), 2, 2, 1);
    button(QStringLiteral("Zoom out"), 7, 3, 0);
    button(QStringLiteral("Zoom in"), 8, 3, 2);
    button(QStringLiteral("Focus in"), 9, 4, 0);
    button(QStringLiteral("Focus out"), 10, 4, 2);
    presetCombo_ = new QComboBox(panel);
    presetCombo_->setObjectName(QStringLiteral("WallPreset"));
    for (int preset = 1; preset <= kPresets; ++preset) presetCombo_->addItem(QStringLiteral("P %1").arg(preset), preset);
    grid->addWidget(presetCombo_, 5, 0);
    const auto presetButton = [&](const QString& text, int action, int column) {
        auto* b = new QPushButton(text, panel);
        b->setObjectName(QStringLiteral("WallPtz%1").arg(action));
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QPushButton::clicked, this, [this, action] { cameraControl(action, presetCombo_->currentData().toInt()); });
        grid->addWidget(b, 5, column);
    };
    presetButton(QStringLiteral("Go to"), 5, 1);
    presetButton(QStringLiteral("Store"), 6, 2);
    return panel;
}

void WallWindow::buildToolBar() {
    bar_ = addToolBar(QStringLiteral("Wall"));
    bar_->setObjectName(QStringLiteral("WallBar"));
    bar_->setMovable(false);
    bar_->addWidget(new QLabel(QStringLiteral(" Tiles: "), bar_));
    arrangementCombo_ = new QComboBox(bar_);
    arrangementCombo_->setObjectName(QStringLiteral("WallArrangement"));
    for (WallArrangement arrangement : wallArrangements()) {
        arrangementCombo_->addItem(arrangementName(arrangement), static_cast<int>(arrangement));
    }
    connect(arrangementCombo_, &QComboBox::activated, this, [this](int entry) {
        setArrangement(static_cast<WallArrangement>(arrangementCombo_->itemData(entry).toInt()));
    });
    bar_->addWidget(arrangementCombo_);
    bar_->addWidget(new QLabel(QStringLiteral("  Layout: "), bar_));
    layoutCombo_ = new QComboBox(bar_);
    layoutCombo_->setObjectName(QStringLiteral("WallLayouts"));
    layoutCombo_->setMinimumContentsLength(12);
    connect(layoutCombo_, &QComboBox::activated, this, [this](int entry) {
        if (const WallLayout* layout = settings_.find(layoutCombo_->itemText(entry))) showLayout(*layout);
    });
    bar_->addWidget(layoutCombo_);
    bar_->addAction(QStringLiteral("Save layout as..."), this, [this] {
        bool ok = false;
        const QString name = QInputDialog::getText(this, QStringLiteral("Save layout"), QStringLiteral("Name:"),
                                                   QLineEdit::Normal, shownName_, &ok);
        if (!ok) return;
        if (WallSettings::layoutName(name).isEmpty()) {
            say(QStringLiteral("A layout needs a name of 1 to %1 characters").arg(WallSettings::kMaxNameLength));
            return;
        }
        if (settings_.find(WallSettings::layoutName(name)) != nullptr &&
            QMessageBox::question(this, windowTitle(), QStringLiteral("Replace the layout %1?").arg(name.trimmed())) !=
                QMessageBox::Yes) {
            return;
        }
        saveLayoutAs(name);
    });
    bar_->addAction(QStringLiteral("Delete layout"), this, [this] {
        if (layoutCombo_->currentIndex() < 0) return;
        const QString name = layoutCombo_->currentText();
        if (QMessageBox::question(this, windowTitle(), QStringLiteral("Delete the layout %1?").arg(name)) ==
            QMessageBox::Yes) {
            deleteLayout(name);
        }
    });
    bar_->addSeparator();
    tourButton_ = new QPushButton(QStringLiteral("Tour"), bar_);
    tourButton_->setObjectName(QStringLiteral("WallTourButton"));
    tourButton_->setCheckable(true);
    tourMenu_ = new QMenu(tourButton_);
    connect(tourButton_, &QPushButton::clicked, this, [this](bool on) {
        if (!on) {
            stopTour();
        } else if (!startTour(tourSeconds_->value())) {
            tourButton_->setChecked(false);
        }
    });
    bar_->addWidget(tourButton_);
    tourSeconds_ = new QSpinBox(bar_);
    tourSeconds_->setObjectName(QStringLiteral("WallTourSeconds"));
    tourSeconds_->setRange(WallSettings::kMinTourSeconds, WallSettings::kMaxTourSeconds);
    tourSeconds_->setSuffix(QStringLiteral(" s"));
    tourSeconds_->setValue(settings_.tourSeconds);
    connect(tourSeconds_, &QSpinBox::valueChanged, this, [this](int seconds) { settings_.tourSeconds = seconds; });
    bar_->addWidget(tourSeconds_);
    auto* tourLayouts = new QPushButton(QStringLiteral("Tour layouts"), bar_);
    tourLayouts->setObjectName(QStringLiteral("WallTourLayouts"));
    tourLayouts->setMenu(tourMenu_);
    bar_->addWidget(tourLayouts);
    bar_->addSeparator();
    bar_->addAction(QStringLiteral("Main window"), this, [this] { emit mainWindowRequested(); });
}

void WallWindow::fillRecorderTree() {
    // Rebuilt only when a recorder, a name or a camera count changed.
    const std::vector<WallRecorders::Listed>& listed = recorders_.listed();
    std::map<uint32_t, int> cameras = recorders_.cameraCounts();
    bool same = tree_->topLevelItemCount() == static_cast<int>(listed.size());
    for (int i = 0; same && i < tree_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = tree_->topLevelItem(i);
        const WallRecorders::Listed& recorder = listed[static_cast<size_t>(i)];
        same = item->data(0, kIdRole).toUInt() == recorder.id && item->text(0) == recorder.name &&
               item->childCount() == cameras[recorder.id];
    }
    if (same) return;
    // Recorders the user folded stay folded.
    std::set<uint32_t> folded;
    for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
        if (!tree_->topLevelItem(i)->isExpanded()) folded.insert(tree_->topLevelItem(i)->data(0, kIdRole).toUInt());
    }
    tree_->clear();
    for (const WallRecorders::Listed& recorder : listed) {
        auto* item = new QTreeWidgetItem(tree_, QStringList(recorder.name));
        item->setData(0, kIdRole, recorder.id);
        item->setData(0, kCameraRole, -1);
        for (int camera = 0; camera < cameras[recorder.id]; ++camera) {
            auto* child = new QTreeWidgetItem(item, QStringList(cameraText(camera)));
            child->setData(0, kIdRole, recorder.id);
            child->setData(0, kCameraRole, camera);
        }
        item->setExpanded(folded.count(recorder.id) == 0);
    }
}

void WallWindow::fillLayoutList() {
    layoutCombo_->clear();
    for (const WallLayout& layout : settings_.layouts) layoutCombo_->addItem(layout.name);
    layoutCombo_->setCurrentIndex(layoutCombo_->findText(shownName_));
}

void WallWindow::fillTourMenu() {
    tourMenu_->clear();
    if (settings_.layouts.empty()) {
        tourMenu_->addAction(QStringLiteral("(no layouts saved)"))->setEnabled(false);
        return;
    }
    for (const WallLayout& layout : settings_.layouts) {
        QAction* action = tourMenu_->addAction(layout.name);
        action->setCheckable(true);
        action->setChecked(std::find(settings_.tour.begin(), settings_.tour.end(), layout.name) != settings_.tour.end());
        connect(action, &QAction::toggled, this, [this] {
            // Kept in the order the layouts were saved.
            settings_.tour.clear();
            for (QAction* a : tourMenu_->actions()) {
                if (a->isChecked()) settings_.tour.push_back(a->text());
            }
        });
    }
}

WallLayout WallWindow::shownLayout() const { return WallLayout{shownName_, page_->arrangement(), page_->tiles()}; }

void WallWindow::showLayout(const WallLayout& layout) {
    stopRecordingOf(QStringLiteral("the wall shows another layout"));
    applyToPage(*page_, layout);
    shownName_ = layout.name;
    view_->showAll();
    arrangementCombo_->setCurrentIndex(arrangementCombo_->findData(static_cast<int>(layout.arrangement)));
    layoutCombo_->setCurrentIndex(layoutCombo_->findText(shownName_));
}

WallTileChoice WallWindow::choiceFor(uint32_t recorderId, int camera) const {
    return WallTileChoice{recorderId, recorders_.name(recorderId).value_or(QString()), camera};
}

bool WallWindow::showByName(const QString& name) {
    if (const WallLayout* layout = settings_.find(name)) {
        showLayout(*layout);
        return true;
    }
    for (const WallRecorders::Listed& recorder : recorders_.listed()) {
        if (recorder.name != name) continue;
        // As many tiles as its cameras fill, up to 16.
        const int cameras = std::max(1, recorders_.cameras(recorder.id));
        WallLayout layout;
        layout.arrangement = cameras <= 1 ? WallArrangement::One
                             : cameras <= 4 ? WallArrangement::Four
                             : cameras <= 9 ? WallArrangement::Nine
                                            : WallArrangement::Sixteen;
        for (int camera = 0; camera < std::min(cameras, wallTileCount(layout.arrangement)); ++camera) {
            layout.tiles.push_back(choiceFor(recorder.id, camera));
        }
        showLayout(layout);
        return true;
    }
    return false;
}

bool WallWindow::saveLayoutAs(const QString& wanted) {
    const QString name = WallSettings::layoutName(wanted);
    if (name.isEmpty()) return false;
    WallLayout layout = shownLayout();
    layout.name = name;
    settings_.put(layout);
    shownName_ = name;
    fillLayoutList();
    fillTourMenu();
    saveSettings();
    say(QStringLiteral("Layout %1 saved").arg(name));
    return true;
}

bool WallWindow::deleteLayout(const QString& name) {
    const auto found = std::find_if(settings_.layouts.begin(), settings_.layouts.end(),
                                    [&](const WallLayout& layout) { return layout.name == name; });
    if (found == settings_.layouts.end()) return false;
    settings_.layouts.erase(found);
    settings_.tour.erase(std::remove(settings_.tour.begin(), settings_.tour.end(), name), settings_.tour.end());
    if (shownName_ == name) shownName_.clear();
    fillLayoutList();
    fillTourMenu();
    saveSettings();
    return true;
}

void WallWindow::refreshRecorders() {
    recorders_.update(devices_);
    page_->refreshRecorders();
    if (next_ != nullptr) next_->refreshRecorders();
    fillRecorderTree();
}

void WallWindow::saveSettings() {
    settings_.shown = shownLayout();
    settings_.cameras = recorders_.knownCameras();
    if (!fullScreen_) settings_.geometry = saveGeometry();
    if (!settings_.save()) {
        debugLogf("orvix: the wall's settings could not be written to %s\r\n", qPrintable(ViewerSettings::filePath()));
    }
}

void WallWindow::say(const QString& text) { status_->setText(text); }

QString WallWindow::statusText() const { return status_->text(); }

void WallWindow::closeEvent(QCloseEvent* event) {
    stopTour();
    if (fullScreen_) setFullScreen(false);
    saveSettings();
    stopRecordingOf(QStringLiteral("the wall was closed"));
    // Its cameras are let go: each recorder closes a while after.
    applyToPage(*page_, WallLayout{shownName_, page_->arrangement(), {}});
    letGo_ = true;
    QMainWindow::closeEvent(event);
}

void WallWindow::showEvent(QShowEvent* event) {
    if (letGo_) {
        letGo_ = false;
        refreshRecorders();
        showLayout(settings_.shown);
    }
    QMainWindow::showEvent(event);
}

void WallWindow::changeEvent(QEvent* event) {
    // Back from the main window, whose device list may have changed.
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) refreshRecorders();
    QMainWindow::changeEvent(event);
}

}  // namespace orvix
