// The one entry of libtlset.so.
#include <QApplication>
#include <QThread>
#include <cstdint>

#include "core/device_record.h"
#include "setup/c_dev_setup_dlg.h"

namespace {

// Nothing was saved: a caller reads id 0 as "cancelled".
void reportCancelled(orvix::DeviceRecord& record, int32_t mode) {
    if (mode == orvix::kSetupModeAdd || mode == orvix::kSetupModeEdit) record.id = 0;
}

}  // namespace

// Shows the setup dialog modally on `record` and returns when it has closed.
// The caller learns the outcome from the record's id alone.
extern "C" __attribute__((visibility("default"))) void DoModalSetup(orvix::DeviceRecord* record, int32_t variant,
                                                                   int32_t mode) {
    if (record == nullptr) return;
    // A dialog needs a QApplication and its thread; without them the call
    // cannot show anything and must not look like a save.
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (app == nullptr || QThread::currentThread() != app->thread()) {
        reportCancelled(*record, mode);
        return;
    }
    bool opened = false;
    try {
        orvix::C_DevSetup_Dlg dialog(*record, variant, mode, QApplication::activeWindow());
        opened = true;
        dialog.exec();
    } catch (...) {
        // No exception crosses into the caller. A dialog that opened has set
        // the id itself (its destructor reports a cancel if it never closed).
        if (!opened) reportCancelled(*record, mode);
    }
}
