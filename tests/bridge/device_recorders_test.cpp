// The recorders orvix-bridge takes from the device list: by name or all of
// them, with unique URL-safe names, and the ones it cannot serve named. The
// list here has no keyring (the keyring tests cover that).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "bridge/device_recorders.h"
#include "core/device_list.h"
#include "core/text_codec.h"
#include "store/device_store.h"

using namespace orvix;
using namespace orvix::bridge;
namespace fs = std::filesystem;

namespace {

class DeviceRecordersTest : public ::testing::Test {
protected:
    DeviceRecordersTest() {
        char pattern[] = "/tmp/orvix-bridge-devices-XXXXXX";
        root = ::mkdtemp(pattern);
        ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/orvix-tests-no-bus", 1);
    }
    ~DeviceRecordersTest() override { fs::remove_all(root); }

    std::string path() const { return (root / "devices.db").string(); }

    // Two recorders named alike after URL-safety, one via DDNS, one with no
    // address at all.
    void saveList() {
        DeviceList list;
        auto add = [&](uint32_t id, std::u16string_view name, std::u16string_view address, uint16_t port) {
            DeviceRecord* r = createRecord();
            r->id = id;
            setText(r->name, name);
            setText(r->account, u"admin");
            setText(r->password, u"pw" + std::u16string(name));
            r->useStatic = 1;
            setText(r->address, address);
            r->port = port;
            list.append(r);
            return r;
        };
        add(1, u"Front Door", u"192.0.2.1", 3000);
        add(2, u"Front/Door", u"192.0.2.2", 3000)->framingKind = 1;
        DeviceRecord* far = add(3, u"Far", u"", 0);
        far->useStatic = 0;
        far->useDdns = 1;
        setText(far->ddnsServer, u"192.0.2.9");
        far->ddnsPort = 2000;
        setText(far->ddnsId, u"G9FAR");
        add(4, u"Unset", u"", 0);
        DeviceStore store(path());
        ASSERT_TRUE(store.save(list)) << store.notice();
    }

    fs::path root;
};

}  // namespace

TEST_F(DeviceRecordersTest, AllDevicesServesEachUsableRecorderUnderAUniqueName) {
    saveList();
    ListedRecorders listed;
    std::string error;
    ASSERT_TRUE(recordersFromDeviceList(path(), DeviceSelection{{}, true}, listed, error)) << error;
    ASSERT_EQ(listed.recorders.size(), 3u);
    EXPECT_EQ(listed.recorders[0].name, "Front-Door");
    EXPECT_EQ(listed.recorders[0].options.host, "192.0.2.1");
    EXPECT_EQ(listed.recorders[0].options.password, "pwFront Door");
    EXPECT_EQ(listed.recorders[1].name, "Front-Door-2");
    EXPECT_EQ(listed.recorders[1].options.host, "192.0.2.2");
    EXPECT_EQ(listed.recorders[1].options.framingKind, 1);
    EXPECT_EQ(listed.recorders[2].name, "Far");
    EXPECT_TRUE(listed.recorders[2].options.useDdns);
    EXPECT_EQ(listed.recorders[2].options.ddnsId, "G9FAR");
    // The recorder without an address is left out and named, without its
    // password.
    ASSERT_EQ(listed.skipped.size(), 1u);
    EXPECT_NE(listed.skipped[0].find("\"Unset\" has no recorder address"), std::string::npos) << listed.skipped[0];
    EXPECT_EQ(listed.skipped[0].find("pwUnset"), std::string::npos);
}

TEST_F(DeviceRecordersTest, NamedDevicesMustAllBeThereAndUsable) {
    saveList();
    ListedRecorders listed;
    std::string error;
    ASSERT_TRUE(recordersFromDeviceList(path(), DeviceSelection{{"Far", "Front Door", "Far"}, false}, listed, error))
        << error;
    ASSERT_EQ(listed.recorders.size(), 2u);  // named twice, served once
    EXPECT_EQ(listed.recorders[0].name, "Far");
    EXPECT_EQ(listed.recorders[1].name, "Front-Door");

    for (const auto& [names, says] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"Nowhere"}, "no recorder named \"Nowhere\""}, {{"Far", "Unset"}, "\"Unset\" has no recorder address"}}) {
        ListedRecorders none;
        EXPECT_FALSE(recordersFromDeviceList(path(), DeviceSelection{names, false}, none, error));
        EXPECT_NE(error.find(says), std::string::npos) << error;
    }
    // An empty list leaves nothing to serve.
    ListedRecorders none;
    EXPECT_FALSE(recordersFromDeviceList((root / "empty.db").string(), DeviceSelection{{}, true}, none, error));
    EXPECT_NE(error.find("no recorder that can be served"), std::string::npos) << error;
}
