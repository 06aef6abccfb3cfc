// The grid on the "Connect" page: the "View" list (1, 4, 9 or 16 pictures,
// as many as the recorder has cameras), the groups of cameras a grid moves
// through, the selected tile as the current channel, a tile shown alone and
// back, and each recorder's view remembered.
#include <QComboBox>
#include <QSignalBlocker>

#include "app/c_main_dlg.h"
#include "app/channel_entries.h"
#include "app/main_dialog_ids.h"
#include "gui/c_draw_static.h"
#include "gui/grid_layout.h"
#include "gui/grid_view.h"

namespace orvix {

int C_Main_Dlg::viewCameraCount() const {
    return channelEntriesForRecorder(working_.modelIndex.load(), working_.cameraCount);
}

void C_Main_Dlg::fillViews() {
    const QSignalBlocker blocker(viewCombo_);
    viewCombo_->clear();
    for (int view : offeredViews(viewCameraCount())) viewCombo_->addItem(QString::number(view), view);
    viewCombo_->setCurrentIndex(viewCombo_->findData(view_));
    updateViewControls();
}

bool C_Main_Dlg::chooseView(int view) {
    const int entry = viewCombo_->findData(view);
    if (entry < 0) return false;
    viewCombo_->setCurrentIndex(entry);
    onViewChosen();
    return true;
}

bool C_Main_Dlg::wantView(int view) {
    if (!isGridView(view)) return false;
    if (chooseView(view)) return true;
    // The model's camera count holds it back for now: the login's report
    // decides (fitViewToRecorder).
    heldView_ = view;
    return true;
}

void C_Main_Dlg::onViewChosen() {
    const int entry = viewCombo_->currentIndex();
    if (entry < 0) return;
    view_ = viewCombo_->itemData(entry).toInt();
    // The group that holds the channel being watched.
    group_ = view_ > 1 ? groupOf(working_.currentChannel.load(), view_) : 0;
    applyView();
    rememberView();
}

void C_Main_Dlg::stepGroup(int delta) {
    if (view_ <= 1 || tileEnlarged_) return;
    const int group = clampGroup(group_ + delta, viewCameraCount(), view_);
    if (group == group_) return;
    group_ = group;
    applyView();
    rememberView();
}

void C_Main_Dlg::applyView() {
    tileEnlarged_ = false;
    const int cameras = viewCameraCount();
    group_ = view_ > 1 ? clampGroup(group_, cameras, view_) : 0;
    const ChannelSet set = view_ > 1 ? groupChannels(cameras, view_, group_) : ChannelSet();
    const int current = working_.currentChannel.load();
    const bool wasGrid = video_->gridShown();
    int channel = current;
    if (set.size() >= 2 && video_->showGrid(set, view_)) {
        // The tile of the channel being watched stays selected.
        channel = set.contains(current) ? current : set.first();
        video_->selectTile(channel);
    } else {
        // A group of one camera is that camera's single view.
        if (set.size() == 1) channel = set.first();
        if (channel < 0) channel = 0;
        video_->showSingle(channel);
        if (wasGrid && isConnected()) sendToVideo(VWM_SET_CHANNEL, static_cast<WParam>(channel), 0);
    }
    working_.currentChannel.store(channel);
    const int entry = channelCombo_->findData(channel);
    if (entry >= 0) channelCombo_->setCurrentIndex(entry);
    updateViewControls();
}

void C_Main_Dlg::updateViewControls() {
    if (viewCombo_ == nullptr) return;
    const bool usable = channelCombo_->isEnabled();
    viewCombo_->setEnabled(usable);
    control(kViewLabel)->setEnabled(usable);
    const int groups = groupCount(viewCameraCount(), view_);
    const bool moving = usable && view_ > 1 && !tileEnlarged_ && groups > 1;
    control(kGroupPrevious)->setEnabled(moving && group_ > 0);
    control(kGroupNext)->setEnabled(moving && group_ < groups - 1);
}

void C_Main_Dlg::onTileSelected(int channel) {
    const bool changed = channel != working_.currentChannel.load();
    working_.currentChannel.store(channel);
    rememberView();
    const int entry = channelCombo_->findData(channel);
    if (entry >= 0) channelCombo_->setCurrentIndex(entry);
    // A recording follows the selected tile into a new file.
    if (changed) recordNewChannel();
}

void C_Main_Dlg::selectTileByKey(int index) {
    const GridView* grid = video_->gridView();
    if (grid == nullptr || index < 0 || index >= grid->channels().size()) return;
    const int channel = grid->channels().at(index);
    video_->selectTile(channel);
    onTileSelected(channel);
}

void C_Main_Dlg::enlargeTile(int channel) {
    if (!video_->gridShown()) return;
    working_.currentChannel.store(channel);
    video_->showSingle(channel);
    // The request of the single view, exactly as choosing the channel.
    if (isConnected()) sendToVideo(VWM_SET_CHANNEL, static_cast<WParam>(channel), 0);
    tileEnlarged_ = true;
    const int entry = channelCombo_->findData(channel);
    if (entry >= 0) channelCombo_->setCurrentIndex(entry);
    updateViewControls();
    recordNewChannel();
}

void C_Main_Dlg::returnToGrid() {
    if (!tileEnlarged_) return;
    const int channel = working_.currentChannel.load();
    // Back to the group that holds the channel watched alone.
    if (view_ > 1) group_ = groupOf(channel, view_);
    applyView();
    rememberView();
    recordNewChannel();
}

void C_Main_Dlg::restoreView() {
    const auto found = gridChoices_.find(working_.id);
    const int cameras = viewCameraCount();
    view_ = found != gridChoices_.end() ? fittingView(found->second.view, cameras) : 1;
    group_ = found != gridChoices_.end() && view_ > 1 ? clampGroup(found->second.group, cameras, view_) : 0;
    // The tile selected last is selected again where the group shows it.
    if (found != gridChoices_.end() && view_ > 1 &&
        groupChannels(cameras, view_, group_).contains(found->second.channel)) {
        working_.currentChannel.store(found->second.channel);
    }
    fillViews();
    if (!isConnected()) applyView();
}

void C_Main_Dlg::rememberView() {
    if (working_.id != 0) gridChoices_[working_.id] = GridChoice{view_, group_, working_.currentChannel.load()};
}

void C_Main_Dlg::fitViewToRecorder() {
    // The recorder's own camera count is known now: the view the user chose
    // for it, as far as it has the cameras (before the login only the
    // model's count was known, which may have held it back).
    const int cameras = viewCameraCount();
    const auto found = gridChoices_.find(working_.id);
    GridChoice wanted = found != gridChoices_.end() ? found->second : GridChoice{view_, group_, -1};
    if (heldView_ > 0) wanted = GridChoice{heldView_, 0, -1};
    heldView_ = 0;
    const int view = fittingView(wanted.view, cameras);
    const int group = view > 1 ? clampGroup(view == wanted.view ? wanted.group : groupOf(working_.currentChannel.load(), view),
                                            cameras, view)
                               : 0;
    const bool changed = view != view_ || group != group_ ||
                         (view > 1 && video_->gridShown() &&
                          !(video_->gridView()->channels() == groupChannels(cameras, view, group)));
    view_ = view;
    group_ = group;
    fillViews();
    if (changed && !tileEnlarged_) applyView();
}

}  // namespace orvix
