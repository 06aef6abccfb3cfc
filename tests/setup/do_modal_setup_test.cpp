// DoModalSetup as the program calls it: through libtlset.so, bound by name.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <functional>

#include "core/library_binding.h"
#include "tests/setup/recording_owner.h"

using namespace orvix;

namespace {

QWidget* findControl(QWidget* root, int id) {
    const auto widgets = root->findChildren<QWidget*>();
    for (QWidget* widget : widgets) {
        const QVariant value = widget->property("controlId");
        if (value.isValid() && value.toInt() == id) return widget;
    }
    return nullptr;
}

class ModalSetupTest : public ::testing::Test {
protected:
    ModalSetupTest() : binding(bindLibraries()) { 
        initRecord(record);
        owner.attach();
    }
    ~ModalSetupTest() override { releaseRecordTexts(record); }

    // Runs the dialog; `act` gets the open dialog. A stuck dialog is closed
    // after a while so that a failure cannot hang the test.
    void runWith(int32_t variant, int32_t mode, std::function<void(QWidget*)> act) {
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] {
            if (QWidget* open = QApplication::activeModalWidget()) open->close();
        });
        guard.start(20000);
        QTimer::singleShot(0, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            dialogSeen = dialog != nullptr && dialog->windowTitle() == "Setup";
            if (dialog != nullptr) act(dialog);
        });
        EXPECT_TRUE(runSetupDialog(binding, record, variant, mode));
        EXPECT_TRUE(dialogSeen);
    }

    LibraryBinding binding;
    DeviceRecord record;
    RecordingOwner owner{record};
    bool dialogSeen = false;
};

TEST_F(ModalSetupTest, SavingThroughTheLibraryWritesTheRecordAndNotifiesTheOwner) {
    ASSERT_TRUE(binding.setupAvailable()) << binding.problem;
    runWith(0, 0, [](QWidget* dialog) {
        auto* name = qobject_cast<QLineEdit*>(findControl(dialog, 1026));
        auto* ddnsId = qobject_cast<QLineEdit*>(findControl(dialog, 1021));
        auto* save = qobject_cast<QAbstractButton*>(findControl(dialog, 1035));
        ASSERT_NE(name, nullptr);
        ASSERT_NE(ddnsId, nullptr);
        ASSERT_NE(save, nullptr);
        QTest::keyClicks(name, "Eingang");
        QTest::keyClicks(ddnsId, "G9TEST");
        save->click();
    });
    EXPECT_EQ(record.name.view(), u"Eingang");
    EXPECT_EQ(record.ddnsId.view(), u"G9TEST");
    EXPECT_EQ(record.ddnsServer.view(), u"192.0.2.10");
    EXPECT_NE(record.id, 0u);
    ASSERT_EQ(owner.messages.size(), 1u);
    EXPECT_EQ(owner.messages[0].message, VWM_DEVICE_SAVED);
}

TEST_F(ModalSetupTest, EscapeThroughTheLibraryReportsACancel) {
    ASSERT_TRUE(binding.setupAvailable()) << binding.problem;
    record.id = 42;
    setText(record.name, u"kept");
    runWith(2, 1, [](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    EXPECT_EQ(record.id, 0u);
    EXPECT_EQ(record.name.view(), u"kept");
    EXPECT_TRUE(owner.messages.empty());
}

}  // namespace
