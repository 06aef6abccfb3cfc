// The wall: a second window of the program with the cameras of any stored
// recorders in one arrangement of tiles (1, 4, 9, 16, 1+5, 1+7). On the
// left the recorders of the device list with their cameras, to drag onto
// tiles (a recorder fills the free tiles with its cameras), and a small
// camera-control panel for the selected tile; above the tiles the
// arrangement, the layouts saved by name and the tour. Every tile is a
// handle on the program's recorder pool: one connection per recorder
// whatever the number of its tiles, and one recorder's failure shows on
// its own tiles only.
//
// Keys: F11 full screen (the tiles alone), Escape back from a tile shown
// alone or from full screen (never closes), Ctrl+S a snapshot of the
// selected tile at the size its camera sends, Ctrl+R its recording on and
// off. GUI thread.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "app/viewer_settings.h"
#include "app/wall_capture.h"
#include "app/wall_recorders.h"
#include "app/wall_tour.h"
#include "gui/wall_tiles.h"
#include "gui/wall_view.h"

class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QSpinBox;
class QTreeWidget;
class QTreeWidgetItem;

namespace orvix {

class WallWindow : public QMainWindow {
    Q_OBJECT

public:
    // `devices` is the program's device list (the main dialog's); it must
    // outlive the window. The layouts and what was shown last come from the
    // configuration file.
    WallWindow(WallRecorders& recorders, const DeviceList& devices, QWidget* parent = nullptr);
    ~WallWindow() override;

    WallView* view() const { return view_; }
    WallTiles* page() const { return page_.get(); }
    QTreeWidget* recorderTree() const { return tree_; }
    const WallSettings& settings() const { return settings_; }

    // The layout shown now (named after the saved one it came from).
    WallLayout shownLayout() const;
    void showLayout(const WallLayout& layout);
    // The saved layout `name`, else the cameras of the recorder `name` (a
    // page of them in an arrangement they fill). False when neither exists.
    bool showByName(const QString& name);
    void setArrangement(WallArrangement arrangement);

    // A camera of a recorder into tile `tile`; camera -1 fills the free
    // tiles with every camera of the recorder, in order.
    void putCamera(int tile, uint32_t recorderId, int camera);
    void clearTile(int tile);
    // Saves the shown layout under `name` (replacing one of that name).
    // False for a blank name.
    bool saveLayoutAs(const QString& name);
    bool deleteLayout(const QString& name);

    // A tour through the tour's layouts (every saved one when none were
    // chosen), from the one shown; or through the pages of a recorder's
    // cameras. `seconds` 5-600; false when it is outside or there is
    // nothing to step through.
    bool startTour(int seconds);
    bool startRecorderTour(uint32_t recorderId, int seconds);
    // The tour of `orvix --wall NAME --tour SECONDS`: through the tour's
    // layouts when NAME is a layout (or empty), else through the cameras
    // of the recorder NAME.
    bool startTourFrom(const QString& name, int seconds);
    void stopTour();
    const WallTour& tour() const { return tour_; }
    // The tour's next page, already watched and decoding; null without.
    WallTiles* nextPage() const { return next_.get(); }

    void setFullScreen(bool on);
    bool fullScreenWall() const { return fullScreen_; }
    void showTileAlone(int tile);
    void showAllTiles();

    // Ctrl+S: the selected tile's camera's next picture, as large as it
    // was decoded, with the tile's overlay, as PNG in the snapshot folder.
    // The file, or empty (the status bar says why).
    QString takeSnapshot();
    // Ctrl+R: the selected tile's video as MP4 in the recording folder,
    // on and off.
    void toggleRecording();
    bool recording() const { return recording_ != nullptr; }
    // Camera control (a PtzAction, the preset for 5 and 6) for the
    // selected tile's camera.
    void cameraControl(int action, int preset = 0);

    // The device list as it is now: the list on the left and the tiles
    // follow it.
    void refreshRecorders();
    // Writes what the wall remembers.
    void saveSettings();
    QString statusText() const;

signals:
    // "Main window" was chosen.
    void mainWindowRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildWidgets();
    QWidget* buildCameraPanel();
    void buildToolBar();
    void buildActions();
    void fillRecorderTree();
    void fillLayoutList();
    void fillTourMenu();
    void onTreeActivated(QTreeWidgetItem* item);
    void onTreeMenu(const QPoint& position);
    void onTileMenu(int tile, const QPoint& globalPosition);
    void onTileDoubleClicked(int tile);
    void leaveByEscape();
    void say(const QString& text);
    WallTileChoice choiceFor(uint32_t recorderId, int camera) const;
    std::unique_ptr<WallTiles> makePage(const WallLayout& layout);
    void applyToPage(WallTiles& page, const WallLayout& layout);
    // The tour: the page due now, and the next one asked for a step ahead.
    void beginTour(std::vector<WallLayout> pages, int first, int seconds);
    void onTourTick();
    void prepareNextPage();
    void stopRecordingOf(const QString& why);
    void finishRecording(const QString& prefix);
    void checkRecording();

    WallRecorders& recorders_;
    const DeviceList& devices_;
    WallSettings settings_;
    QString shownName_;

    std::unique_ptr<WallTiles> page_;
    std::unique_ptr<WallTiles> next_;
    WallView* view_ = nullptr;
    QTreeWidget* tree_ = nullptr;
    QWidget* side_ = nullptr;
    QToolBar* bar_ = nullptr;
    QComboBox* arrangementCombo_ = nullptr;
    QComboBox* layoutCombo_ = nullptr;
    QSpinBox* tourSeconds_ = nullptr;
    QPushButton* tourButton_ = nullptr;
    QMenu* tourMenu_ = nullptr;
    QComboBox* presetCombo_ = nullptr;
    QLabel* status_ = nullptr;

    WallTour tour_;
    std::vector<WallLayout> tourPages_;
    QTimer tourTimer_;
    QTimer listTimer_;

    bool fullScreen_ = false;
    bool maximisedBefore_ = false;
    std::unique_ptr<TileRecording> recording_;
    int recordingTile_ = -1;
    bool letGo_ = false;  // closed: the tiles let their cameras go until shown again
};

}  // namespace orvix
