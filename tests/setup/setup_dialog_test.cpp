#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTabBar>
#include <QTest>
#include <ctime>
#include <memory>
#include <tuple>
#include <vector>

#include "setup/c_dev_setup_dlg.h"
#include "tests/setup/recording_owner.h"

using namespace orvix;

namespace {

class SetupDialogTest : public ::testing::Test {
protected:
    SetupDialogTest() { 
        initRecord(record);
        owner.attach();
    }
    ~SetupDialogTest() override { releaseRecordTexts(record); }

    // A recorder as the device list would hold it, reached directly.
    void fillRecord() {
        record.id = 42;
        setText(record.name, u"Lager S\u00fcd");
        setText(record.account, u"admin");
        setText(record.password, u"geheim");
        record.modelIndex = 7;
        record.framingKind = 1;
        record.useDdns = 0;
        setText(record.ddnsId, u"H9-1234");
        setText(record.ddnsServer, u"ddns.example.org");
        record.ddnsPort = 1234;
        record.useStatic = 1;
        setText(record.address, u"10.1.2.3");
        record.port = 4321;
        record.currentChannel = 5;
    }

    std::unique_ptr<C_DevSetup_Dlg> open(int32_t variant, int32_t mode) {
        auto dialog = std::make_unique<C_DevSetup_Dlg>(record, variant, mode);
        dialog->show();
        return dialog;
    }

    template <typename Widget>
    static Widget* get(const C_DevSetup_Dlg& dialog, int id) {
        auto* widget = qobject_cast<Widget*>(dialog.control(id));
        EXPECT_NE(widget, nullptr) << "control " << id;
        return widget;
    }
    static QString text(const C_DevSetup_Dlg& dialog, int id) { return get<QLineEdit>(dialog, id)->text(); }
    static bool enabled(const C_DevSetup_Dlg& dialog, int id) { return get<QWidget>(dialog, id)->isEnabled(); }
    static bool checked(const C_DevSetup_Dlg& dialog, int id) { return get<QCheckBox>(dialog, id)->isChecked(); }
    static void click(const C_DevSetup_Dlg& dialog, int id) { get<QAbstractButton>(dialog, id)->click(); }
    static void selectPage(const C_DevSetup_Dlg& dialog, int page) {
        get<QTabBar>(dialog, kSetupTabs)->setCurrentIndex(page);
    }
    static void retype(const C_DevSetup_Dlg& dialog, int id, const char* keys) {
        QLineEdit* field = get<QLineEdit>(dialog, id);
        field->clear();
        QTest::keyClicks(field, QString::fromLatin1(keys));
    }

    DeviceRecord record;
    RecordingOwner owner{record};
};

TEST_F(SetupDialogTest, AddingOpensWithTheResetRecordAndDefaults) {
    fillRecord();
    record.id = 77;
    auto dialog = open(0, kSetupModeAdd);

    EXPECT_EQ(record.id, 77u);
    for (const RecordText* field : {&record.name, &record.account, &record.password, &record.ddnsId,
                                    &record.ddnsServer, &record.address}) {
        EXPECT_TRUE(field->empty());
    }
    EXPECT_EQ(record.ddnsPort, 2000);
    EXPECT_EQ(record.port, 3000);
    EXPECT_EQ(record.useDdns, 1u);
    EXPECT_EQ(record.useStatic, 0u);
    EXPECT_EQ(record.modelIndex.load(), 0);
    EXPECT_EQ(record.framingKind.load(), 0);
    EXPECT_EQ(record.currentChannel.load(), 5);  // a connection field: not part of the reset

    for (int id : {kSetupName, kSetupAccount, kSetupPassword, kSetupDdnsId, kSetupAddress}) {
        EXPECT_TRUE(text(*dialog, id).isEmpty()) << id;
    }
    EXPECT_TRUE(checked(*dialog, kSetupUseDdns));
    EXPECT_FALSE(checked(*dialog, kSetupUseStatic));
    EXPECT_TRUE(enabled(*dialog, kSetupDdnsId));
    EXPECT_TRUE(enabled(*dialog, kSetupDdnsServer));
    EXPECT_TRUE(enabled(*dialog, kSetupDdnsPort));
    EXPECT_FALSE(enabled(*dialog, kSetupAddress));
    EXPECT_FALSE(enabled(*dialog, kSetupPort));
    EXPECT_EQ(text(*dialog, kSetupDdnsPort), "2000");
    EXPECT_EQ(text(*dialog, kSetupPort), "3000");
    EXPECT_EQ(get<QComboBox>(*dialog, kSetupFraming)->currentText(), "MPEG4");
    EXPECT_EQ(text(*dialog, kSetupDdnsServer), "192.0.2.10");
}

TEST_F(SetupDialogTest, SavingANewRecordWritesEveryFieldNotifiesTheOwnerThenSetsTheId) {
    record.id = 77;
    auto dialog = open(0, kSetupModeAdd);
    get<QLineEdit>(*dialog, kSetupName)->setText(QString::fromUtf8("Kamera K\u00fcche \u76e3\u8996 \U0001F4F7"));
    retype(*dialog, kSetupAccount, "viewer");
    get<QLineEdit>(*dialog, kSetupPassword)->setText(QString::fromUtf8("p\u00e4$$ w\u00f6rt"));
    get<QComboBox>(*dialog, kSetupFraming)->setCurrentIndex(1);
    selectPage(*dialog, kSetupPageDdns);
    retype(*dialog, kSetupDdnsId, "h4-22");
    EXPECT_EQ(text(*dialog, kSetupDdnsPort), "2400");
    get<QLineEdit>(*dialog, kSetupDdnsServer)->setText("ddns.example.net");
    click(*dialog, kSetupUseDdns);  // off: the recorder is reached directly
    selectPage(*dialog, kSetupPageStatic);
    retype(*dialog, kSetupAddress, "192.0.2.99");
    retype(*dialog, kSetupPort, "8000");

    const auto before = static_cast<uint32_t>(std::time(nullptr));
    click(*dialog, kSetupSave);
    const auto after = static_cast<uint32_t>(std::time(nullptr));

    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(record.name.view(), u"Kamera K\u00fcche \u76e3\u8996 \U0001F4F7");
    EXPECT_EQ(record.account.view(), u"viewer");
    EXPECT_EQ(record.password.view(), u"p\u00e4$$ w\u00f6rt");
    EXPECT_EQ(record.framingKind.load(), 1);
    EXPECT_EQ(record.ddnsId.view(), u"h4-22");
    EXPECT_EQ(record.ddnsServer.view(), u"ddns.example.net");
    EXPECT_EQ(record.ddnsPort, 2400);
    EXPECT_EQ(record.useDdns, 0u);
    EXPECT_EQ(record.useStatic, 1u);
    EXPECT_EQ(record.address.view(), u"192.0.2.99");
    EXPECT_EQ(record.port, 8000);
    EXPECT_EQ(record.modelIndex.load(), 0);

    ASSERT_EQ(owner.messages.size(), 1u);
    EXPECT_EQ(owner.messages[0].message, VWM_DEVICE_SAVED);
    EXPECT_EQ(owner.messages[0].wParam, reinterpret_cast<WParam>(&record));
    EXPECT_EQ(owner.messages[0].lParam, 0);
    EXPECT_EQ(owner.messages[0].idWhenSent, 77u);  // sent before the new id is set
    EXPECT_GE(record.id, before);
    EXPECT_LE(record.id, after);
}

TEST_F(SetupDialogTest, EditingKeepsTheStoredServerAndSavingStoresIt) {
    fillRecord();
    auto dialog = open(0, kSetupModeEdit);
    EXPECT_EQ(text(*dialog, kSetupName), QString::fromUtf8("Lager S\u00fcd"));
    // The user's server, not the variant's: saving must not lose it.
    EXPECT_EQ(text(*dialog, kSetupDdnsServer), "ddns.example.org");
    // The DDNS id "H9..." picks 2400 while filling, but the stored port wins.
    EXPECT_EQ(text(*dialog, kSetupDdnsPort), "1234");
    EXPECT_FALSE(checked(*dialog, kSetupUseDdns));
    EXPECT_TRUE(checked(*dialog, kSetupUseStatic));
    EXPECT_FALSE(enabled(*dialog, kSetupDdnsId));
    EXPECT_FALSE(enabled(*dialog, kSetupDdnsServer));
    EXPECT_TRUE(enabled(*dialog, kSetupAddress));
    EXPECT_EQ(get<QComboBox>(*dialog, kSetupFraming)->currentText(), "H.264");

    click(*dialog, kSetupSave);
    EXPECT_EQ(record.id, 42u);
    EXPECT_EQ(record.ddnsServer.view(), u"ddns.example.org");
    EXPECT_EQ(record.ddnsPort, 1234);
    EXPECT_EQ(record.modelIndex.load(), 7);       // not written by saving
    EXPECT_EQ(record.currentChannel.load(), 5);   // connection field untouched
    EXPECT_EQ(owner.messages.size(), 1u);
}

TEST_F(SetupDialogTest, VariantsChooseServerPortAndWhetherTheServerIsEditable) {
    struct Case {
        int32_t variant;
        const char* server;          // the variant's default
        const char* storedServerShown;  // over a stored server
        const char* portOnOpen;      // without a stored server
        const char* portAfterTypingG9;  // with the port field set to 1111 first
    };
    const Case cases[] = {
        {0, "192.0.2.10", "ddns.example.org", "1234", "3100"},
        {1, "ddns.example.com", "ddns.example.com", "1234", "3100"},  // locked: always its own
        {2, "198.51.100.20", "ddns.example.org", "2400", "1111"},
        {3, "192.0.2.10", "ddns.example.org", "1234", "3100"},
        {4, "203.0.113.30", "ddns.example.org", "2400", "2400"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.variant);
        fillRecord();
        record.useDdns = 1;
        record.useStatic = 0;
        {
            // A server the user stored stays, with its port.
            auto dialog = open(c.variant, kSetupModeEdit);
            EXPECT_EQ(text(*dialog, kSetupDdnsServer), c.storedServerShown);
            EXPECT_EQ(text(*dialog, kSetupDdnsPort), "1234");
            click(*dialog, kSetupCancel);
        }
        fillRecord();
        record.useDdns = 1;
        record.useStatic = 0;
        clearText(record.ddnsServer);
        auto dialog = open(c.variant, kSetupModeEdit);
        EXPECT_EQ(text(*dialog, kSetupDdnsServer), c.server);
        EXPECT_EQ(text(*dialog, kSetupDdnsPort), c.portOnOpen);
        EXPECT_TRUE(enabled(*dialog, kSetupDdnsId));
        EXPECT_EQ(enabled(*dialog, kSetupDdnsServer), c.variant != 1);
        EXPECT_EQ(enabled(*dialog, kSetupDdnsPort), c.variant != 1);
        get<QLineEdit>(*dialog, kSetupDdnsPort)->setText("1111");
        retype(*dialog, kSetupDdnsId, "g9x");
        EXPECT_EQ(text(*dialog, kSetupDdnsPort), c.portAfterTypingG9);
        // The pair logic keeps variant 1's server fields locked.
        click(*dialog, kSetupUseStatic);
        click(*dialog, kSetupUseStatic);
        EXPECT_TRUE(checked(*dialog, kSetupUseDdns));
        EXPECT_EQ(enabled(*dialog, kSetupDdnsServer), c.variant != 1);
        click(*dialog, kSetupCancel);
    }
}

TEST_F(SetupDialogTest, DdnsIdWithoutAKnownPrefixLeavesThePort) {
    fillRecord();
    record.useDdns = 1;
    auto dialog = open(0, kSetupModeEdit);
    retype(*dialog, kSetupDdnsId, "X1-77");
    EXPECT_EQ(text(*dialog, kSetupDdnsPort), "1234");
    retype(*dialog, kSetupDdnsId, "L8");
    EXPECT_EQ(text(*dialog, kSetupDdnsPort), "2600");
}

TEST_F(SetupDialogTest, CheckBoxesActAsAPairAndTheRecordWaitsForSave) {
    auto dialog = open(0, kSetupModeAdd);
    selectPage(*dialog, kSetupPageDdns);
    click(*dialog, kSetupUseDdns);  // off
    EXPECT_FALSE(checked(*dialog, kSetupUseDdns));
    EXPECT_TRUE(checked(*dialog, kSetupUseStatic));
    EXPECT_FALSE(enabled(*dialog, kSetupDdnsId));
    EXPECT_FALSE(enabled(*dialog, kSetupDdnsServer));
    EXPECT_FALSE(enabled(*dialog, kSetupDdnsPort));
    EXPECT_TRUE(enabled(*dialog, kSetupAddress));
    EXPECT_TRUE(enabled(*dialog, kSetupPort));
    EXPECT_EQ(record.useDdns, 1u);
    EXPECT_EQ(record.useStatic, 0u);

    selectPage(*dialog, kSetupPageStatic);
    click(*dialog, kSetupUseStatic);  // off again
    EXPECT_TRUE(checked(*dialog, kSetupUseDdns));
    EXPECT_FALSE(checked(*dialog, kSetupUseStatic));
    EXPECT_TRUE(enabled(*dialog, kSetupDdnsServer));
    EXPECT_FALSE(enabled(*dialog, kSetupAddress));
}

// The stored fields other than the id, as one comparable value.
std::tuple<std::u16string, std::u16string, std::u16string, int32_t, int32_t, uint32_t, std::u16string,
           std::u16string, uint16_t, uint32_t, std::u16string, uint16_t>
storedFieldsBesidesId(const DeviceRecord& r) {
    return {std::u16string(r.name.view()), std::u16string(r.account.view()), std::u16string(r.password.view()),
            r.modelIndex.load(), r.framingKind.load(), r.useDdns, std::u16string(r.ddnsId.view()),
            std::u16string(r.ddnsServer.view()), r.ddnsPort, r.useStatic, std::u16string(r.address.view()),
            r.port};
}

TEST_F(SetupDialogTest, CancellingAnEditSetsIdZeroAndChangesNothingElse) {
    fillRecord();
    const auto before = storedFieldsBesidesId(record);
    auto dialog = open(0, kSetupModeEdit);
    get<QLineEdit>(*dialog, kSetupName)->setText("changed");
    click(*dialog, kSetupUseDdns);
    click(*dialog, kSetupCancel);
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(record.id, 0u);
    EXPECT_EQ(storedFieldsBesidesId(record), before);
    EXPECT_TRUE(owner.messages.empty());
}

TEST_F(SetupDialogTest, EveryCloseOtherThanSaveIsACancel) {
    const std::pair<const char*, void (*)(C_DevSetup_Dlg&)> closers[] = {
        {"Cancel", [](C_DevSetup_Dlg& d) { get<QAbstractButton>(d, kSetupCancel)->click(); }},
        {"OK command", [](C_DevSetup_Dlg& d) { d.accept(); }},
        {"Escape", [](C_DevSetup_Dlg& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
        {"close box", [](C_DevSetup_Dlg& d) { d.close(); }},
    };
    for (const auto& [name, closeIt] : closers) {
        SCOPED_TRACE(name);
        fillRecord();
        auto dialog = open(0, kSetupModeEdit);
        closeIt(*dialog);
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_EQ(record.id, 0u);
        EXPECT_EQ(record.name.view(), u"Lager S\u00fcd");
    }
    EXPECT_TRUE(owner.messages.empty());

    // Adding: the reset stays, the id says cancelled.
    fillRecord();
    auto dialog = open(0, kSetupModeAdd);
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_EQ(record.id, 0u);
    EXPECT_TRUE(record.name.empty());
}

TEST_F(SetupDialogTest, EnterInAFieldNeitherSavesNorCloses) {
    fillRecord();
    auto dialog = open(0, kSetupModeEdit);
    QTest::keyClick(get<QLineEdit>(*dialog, kSetupName), Qt::Key_Return);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(record.id, 42u);
    EXPECT_TRUE(owner.messages.empty());
}

TEST_F(SetupDialogTest, ADialogDestroyedWithoutClosingReportsACancel) {
    fillRecord();
    open(0, kSetupModeEdit).reset();
    EXPECT_EQ(record.id, 0u);
}

TEST_F(SetupDialogTest, MissingFramingIsSavedAsMinusOneAndAnEmptyPortAsZero) {
    fillRecord();
    record.framingKind = 9;
    auto dialog = open(0, kSetupModeEdit);
    EXPECT_EQ(get<QComboBox>(*dialog, kSetupFraming)->currentIndex(), -1);
    get<QLineEdit>(*dialog, kSetupPort)->clear();
    click(*dialog, kSetupSave);
    EXPECT_EQ(record.framingKind.load(), -1);
    EXPECT_EQ(record.port, 0);
    EXPECT_EQ(record.id, 42u);
}

TEST_F(SetupDialogTest, OpensWithTheCursorInTheName) {
    fillRecord();
    for (int32_t mode : {kSetupModeAdd, kSetupModeEdit}) {
        auto dialog = open(0, mode);
        EXPECT_EQ(dialog->focusWidget(), get<QWidget>(*dialog, kSetupName)) << mode;
        click(*dialog, kSetupCancel);
    }
}

TEST_F(SetupDialogTest, SaveRefusesARecorderWithoutANameOrAnAddressAndSaysWhichIsMissing) {
    struct Case {
        const char* what;
        bool direct;             // "Use STATIC" on
        const char16_t* name;
        const char16_t* address;  // STATIC ADDR
        const char16_t* ddnsId;
        int page;                // shown with the cursor in the missing field
        int field;
        const char* said;
    };
    const Case cases[] = {
        {"no name", true, u"  ", u"10.1.2.3", u"", kSetupPageInfo, kSetupName, "NAME"},
        {"no static address", true, u"Gate", u"", u"G9X", kSetupPageStatic, kSetupAddress, "ADDR"},
        {"no DDNS id", false, u"Gate", u"10.1.2.3", u"", kSetupPageDdns, kSetupDdnsId, "DDNS ID"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fillRecord();
        setText(record.name, c.name);
        setText(record.address, c.address);
        setText(record.ddnsId, c.ddnsId);
        record.useStatic = c.direct ? 1 : 0;
        record.useDdns = c.direct ? 0 : 1;
        const auto before = storedFieldsBesidesId(record);
        auto dialog = open(0, kSetupModeEdit);
        click(*dialog, kSetupSave);
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(get<QTabBar>(*dialog, kSetupTabs)->currentIndex(), c.page);
        EXPECT_EQ(dialog->focusWidget(), get<QWidget>(*dialog, c.field));
        ASSERT_NE(dialog->portWarning(), nullptr);
        EXPECT_TRUE(dialog->portWarning()->text().contains(c.said)) << dialog->portWarning()->text().toStdString();
        EXPECT_EQ(storedFieldsBesidesId(record), before);  // nothing written
        EXPECT_EQ(record.id, 42u);
        EXPECT_TRUE(owner.messages.empty());
        dialog->portWarning()->accept();
        click(*dialog, kSetupCancel);
    }

    // The other way's address is not needed: a direct recorder without a
    // DDNS id saves.
    fillRecord();
    clearText(record.ddnsId);
    auto dialog = open(0, kSetupModeEdit);
    click(*dialog, kSetupSave);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(record.id, 42u);
}

TEST_F(SetupDialogTest, PortFieldsTakeFiveDigitsAndRefuseValuesAbove65535) {
    fillRecord();
    record.useDdns = 1;
    auto dialog = open(0, kSetupModeEdit);
    retype(*dialog, kSetupPort, "12a34567");
    EXPECT_EQ(text(*dialog, kSetupPort), "12345");

    get<QLineEdit>(*dialog, kSetupName)->setText("changed");
    retype(*dialog, kSetupDdnsPort, "70000");
    click(*dialog, kSetupSave);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(get<QTabBar>(*dialog, kSetupTabs)->currentIndex(), kSetupPageDdns);
    ASSERT_NE(dialog->portWarning(), nullptr);
    EXPECT_TRUE(dialog->portWarning()->isVisible());
    EXPECT_TRUE(dialog->portWarning()->text().contains("DDNS server port"));
    EXPECT_TRUE(dialog->portWarning()->text().contains("65535"));
    EXPECT_EQ(record.name.view(), u"Lager S\u00fcd");  // nothing written
    EXPECT_EQ(record.ddnsPort, 1234);
    EXPECT_TRUE(owner.messages.empty());
    dialog->portWarning()->accept();

    retype(*dialog, kSetupDdnsPort, "65535");
    retype(*dialog, kSetupPort, "65536");
    click(*dialog, kSetupSave);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(get<QTabBar>(*dialog, kSetupTabs)->currentIndex(), kSetupPageStatic);
    EXPECT_TRUE(dialog->portWarning()->text().contains("recorder port"));
    dialog->portWarning()->accept();

    retype(*dialog, kSetupPort, "0");
    click(*dialog, kSetupSave);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(record.ddnsPort, 65535);
    EXPECT_EQ(record.port, 0);
    EXPECT_EQ(record.name.view(), u"changed");
}

TEST_F(SetupDialogTest, APageShowsOnlyItsRowsStackedUnderTheTabs) {
    auto dialog = open(0, kSetupModeAdd);
    const std::vector<int> info{1025, 1026, 1016, 1017, 1018, 1019, 1020, 1024};
    const std::vector<int> ddns{1023, 1022, 1021, 1027, 1028, 1012, 1011};
    const std::vector<int> direct{1033, 1034, 1030, 1014, 1013};
    auto expectOnlyShown = [&](const std::vector<int>* shown) {
        for (const std::vector<int>* page : {&info, &ddns, &direct}) {
            for (int id : *page) EXPECT_EQ(get<QWidget>(*dialog, id)->isVisible(), page == shown) << id;
        }
    };
    expectOnlyShown(&info);
    selectPage(*dialog, kSetupPageStatic);
    expectOnlyShown(&direct);

    const QRect tabs = get<QWidget>(*dialog, kSetupTabs)->geometry();
    const QRect useStatic = get<QWidget>(*dialog, 1033)->geometry();
    const QRect addressLabel = get<QWidget>(*dialog, 1034)->geometry();
    const QRect address = get<QWidget>(*dialog, 1030)->geometry();
    const QRect portLabel = get<QWidget>(*dialog, 1014)->geometry();
    const QRect port = get<QWidget>(*dialog, 1013)->geometry();
    EXPECT_GT(useStatic.top(), tabs.bottom());
    EXPECT_EQ(useStatic.left(), tabs.left() + 2);
    EXPECT_EQ(addressLabel.left(), tabs.left() + 2);
    EXPECT_EQ(address.left(), tabs.left() + addressLabel.width() + 3);
    EXPECT_EQ(addressLabel.top(), useStatic.top() + useStatic.height() + 1);
    EXPECT_EQ(address.top(), addressLabel.top());
    EXPECT_EQ(portLabel.top(), address.top() + address.height() + 1);
    EXPECT_EQ(port.left(), address.left());

    const QRect save = get<QWidget>(*dialog, kSetupSave)->geometry();
    const QRect cancel = get<QWidget>(*dialog, kSetupCancel)->geometry();
    EXPECT_EQ(save.left(), 3);
    EXPECT_EQ(cancel.left(), save.width() + 4);
    EXPECT_EQ(cancel.top(), save.top());
    EXPECT_GT(save.top(), port.bottom());

    dialog->showPage(3);
    expectOnlyShown(nullptr);
}

TEST_F(SetupDialogTest, ControlsCarryTheirIdsAndTexts) {
    auto dialog = open(0, kSetupModeAdd);
    EXPECT_EQ(dialog->windowTitle(), "Setup");
    const std::pair<int, const char*> labels[] = {
        {1025, "NAME :"}, {1016, "ID :"},   {1018, "PASS:"},  {1020, "MODEL:"}, {1022, "ID        :"},
        {1027, "ADDR :"}, {1012, "PORT :"}, {1034, "ADDR :"}, {1014, "PORT :"},
    };
    for (const auto& [id, label] : labels) EXPECT_EQ(get<QLabel>(*dialog, id)->text(), label) << id;
    const std::pair<int, const char*> buttons[] = {
        {1023, "Use DDNS"}, {1033, "Use STATIC"}, {1035, "SAVE"}, {1036, "Cancel"}};
    for (const auto& [id, label] : buttons) EXPECT_EQ(get<QAbstractButton>(*dialog, id)->text(), label) << id;

    auto* tabs = get<QTabBar>(*dialog, kSetupTabs);
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(tabs->tabText(0), "INFO");
    EXPECT_EQ(tabs->tabText(1), "DDNS");
    EXPECT_EQ(tabs->tabText(2), "STATIC");
    auto* framing = get<QComboBox>(*dialog, kSetupFraming);
    ASSERT_EQ(framing->count(), 2);
    EXPECT_EQ(framing->itemText(0), "MPEG4");
    EXPECT_EQ(framing->itemData(0).toInt(), 0);
    EXPECT_EQ(framing->itemText(1), "H.264");
    EXPECT_EQ(framing->itemData(1).toInt(), 1);
    EXPECT_EQ(get<QLineEdit>(*dialog, kSetupPassword)->echoMode(), QLineEdit::Password);
}

}  // namespace
