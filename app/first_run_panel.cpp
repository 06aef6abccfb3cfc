// The first start: while the device list is empty the first-run form lies
// over the video window, and saving it adds a recorder at a static address
// the way "Add DVR" adds one from the setup dialog.
#include <ctime>

#include "app/c_main_dlg.h"
#include "app/first_run_form.h"
#include "gui/c_draw_static.h"

namespace orvix {

void C_Main_Dlg::createFirstRunForm() {
    firstRun_ = new FirstRunForm(this);
    firstRun_->hide();
    connect(firstRun_, &FirstRunForm::saveRequested, this, [this] { onFirstRunSave(); });
    connect(firstRun_, &FirstRunForm::allSettingsRequested, this, [this] { onAddDevice(); });
}

void C_Main_Dlg::showFirstRunForm() {
    if (firstRun_ == nullptr) return;
    const bool shown = devices_.empty() && !fullScreen_ && !isConnected();
    if (!shown) {
        if (firstRun_->isVisible()) firstRun_->hide();
        return;
    }
    firstRun_->setGeometry(video_->geometry());
    if (firstRun_->isHidden()) {
        firstRun_->clear();
        firstRun_->show();
        firstRun_->raise();
    }
}

void C_Main_Dlg::onFirstRunSave() {
    // Only the first recorder: an Enter that arrives after the save adds
    // no second one.
    if (!devices_.empty()) return;
    DeviceRecord entered;
    initRecord(entered);
    if (firstRun_->fill(entered)) {
        copyRecord(working_, entered);
        // A clock id, as the setup dialog gives a new recorder.
        working_.id = static_cast<uint32_t>(std::time(nullptr));
        addWorkingRecord();
        fillChannelsAndSelectCurrent();
        showFirstRunForm();
    }
    releaseRecordTexts(entered);
}

}  // namespace orvix
