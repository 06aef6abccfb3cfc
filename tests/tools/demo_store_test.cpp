// The demo's device list: the demo recorder put in once, kept up to date,
// and the user's other entries left alone.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "core/library_binding.h"
#include "tools/demo_store/demo_recorder.h"

using namespace orvix;
using namespace orvix::demo;

namespace {

DeviceRecord* named(DeviceList& list, uint32_t id, std::u16string_view name) {
    DeviceRecord* record = createRecord();
    record->id = id;
    setText(record->name, name);
    list.append(record);
    return record;
}

TEST(DemoRecorder, IsAppendedWithAnIdNoOtherEntryHas) {
    DeviceList list;
    named(list, 1000, u"Gate");
    DemoRecorder demo;
    demo.port = 4321;
    DeviceRecord* put = putDemoRecorder(list, demo, 1000);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list.at(1), put);
    EXPECT_EQ(put->id, 1001u);
    EXPECT_EQ(put->name.view(), u"Demo recorder");
    EXPECT_EQ(put->address.view(), u"127.0.0.1");
    EXPECT_EQ(put->port, 4321);
    EXPECT_EQ(put->account.view(), u"admin");
    EXPECT_EQ(put->password.view(), u"1234");
    EXPECT_EQ(put->useStatic, 1u);
    EXPECT_EQ(put->useDdns, 0u);
    EXPECT_EQ(put->framingKind.load(), 0);
    EXPECT_EQ(put->ddnsPort, kDefaultDdnsPort);
}

TEST(DemoRecorder, AnEntryOfThatNameIsUpdatedInPlace) {
    DeviceList list;
    DeviceRecord* old = named(list, 7, u"Demo recorder");
    named(list, 8, u"Gate");
    DemoRecorder demo;
    demo.port = 5000;
    demo.framingKind = 1;
    EXPECT_EQ(putDemoRecorder(list, demo, 99), old);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(old->id, 7u);
    EXPECT_EQ(old->port, 5000);
    EXPECT_EQ(old->framingKind.load(), 1);
    EXPECT_EQ(list.at(1)->name.view(), u"Gate");
}

// The program, twice, into a configuration directory of its own.
TEST(DemoStoreProgram, WritesTheListThatTheProgramLoads) {
    std::string pattern = "/tmp/orvix-demo-XXXXXX";
    const std::string home = ::mkdtemp(pattern.data());
    const std::string program = executableDirectory() + "/orvix-demo-store";
    const std::string run = "XDG_CONFIG_HOME=" + home + " " + program;
    EXPECT_EQ(std::system((run + " --port 4000 >/dev/null").c_str()), 0);
    EXPECT_EQ(std::system((run + " --port 4001 --stream h264 >/dev/null").c_str()), 0);
    EXPECT_NE(std::system((run + " --port 0 2>/dev/null").c_str()), 0);
    EXPECT_NE(std::system((run + " 2>/dev/null").c_str()), 0);

    const char* previous = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = previous != nullptr ? previous : "";
    ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    const LibraryBinding binding = bindLibraries();
    DeviceList list;
    DeviceRecord working;
    initRecord(working);
    loadDeviceList(binding, list, working);
    if (previous != nullptr) {
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.at(0)->name.view(), u"Demo recorder");
    EXPECT_EQ(list.at(0)->port, 4001);
    EXPECT_EQ(list.at(0)->framingKind.load(), 1);
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
}

}  // namespace
