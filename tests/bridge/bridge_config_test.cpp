// The configuration file: every recorder, user and setting of a service in
// one key file, passwords from files or systemd credentials, and mistakes
// named by group and key.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "bridge/bridge_config.h"
#include "core/device_record.h"
#include "core/text_codec.h"

namespace orvix::bridge {
namespace {

std::string writeFile(const std::string& name, const std::string& content) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path) << content;
    return path;
}

class BridgeConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        credentials = ::testing::TempDir() + "credentials";
        std::filesystem::create_directories(credentials);
        std::ofstream(credentials + "/lobby.password") << "lobby-pw\n";
        std::ofstream(credentials + "/media.password") << "media-pw\n";
        ::setenv("CREDENTIALS_DIRECTORY", credentials.c_str(), 1);
        viewer = writeFile("viewer.pw", "watch\n");
    }
    void TearDown() override { ::unsetenv("CREDENTIALS_DIRECTORY"); }

    bool load(const std::string& text, BridgeSettings& settings, std::string& error) {
        return loadBridgeConfig(writeFile("bridge.conf", text), settings, error);
    }

    std::string credentials;
    std::string viewer;
};

TEST_F(BridgeConfigTest, OneFileServesSeveralRecordersWithUsersAndCredentials) {
    const std::string text = "[bridge]\nlisten=0.0.0.0:8554; [::]:8554\nstatus-listen=127.0.0.1:8081\n"
                             "max-clients=20\nclose-after=5\njoin-wait=3\n\n"
                             "[user viewer]\npassword-file=" + viewer + "\n\n"
                             "[recorder Front Door]\nhost=192.0.2.10\nport=3000\nuser=admin\n"
                             "password-credential=lobby.password\nstream=h264\nchannels=1-2\n"
                             "publish=rtsp://cam@media/{name}/{ch}\npublish-channels=2\n"
                             "publish-password-credential=media.password\n\n"
                             "[recorder yard]\nddns-server=ddns.example\nddns-port=9000\nddns-id=G9X\nuser=admin\n"
                             "password-file=" + viewer + "\n";
    BridgeSettings settings;
    std::string error;
    ASSERT_TRUE(load(text, settings, error)) << error;
    ASSERT_EQ(settings.front.listen.size(), 2u);
    EXPECT_EQ(settings.front.listen[1].text(), "[::]:8554");
    EXPECT_EQ(settings.status->text(), "127.0.0.1:8081");
    EXPECT_EQ(settings.front.maxConnections, 20);
    EXPECT_EQ(settings.rtsp.joinWait, std::chrono::seconds(3));
    ASSERT_EQ(settings.rtsp.users.size(), 1u);
    EXPECT_EQ(settings.rtsp.users[0], (RtspUser{"viewer", "watch"}));
    ASSERT_EQ(settings.recorders.size(), 2u);
    const ServedRecorder& lobby = settings.recorders[0];
    EXPECT_EQ(lobby.settings.name, "Front-Door");
    EXPECT_EQ(lobby.settings.target, "192.0.2.10:3000");
    EXPECT_EQ(lobby.settings.closeAfter, std::chrono::seconds(5));
    EXPECT_EQ(lobby.channels, (std::vector<int>{1, 2}));
    EXPECT_EQ(lobby.published, std::vector<int>{2});
    EXPECT_EQ(lobby.publishPassword, "media-pw");
    DeviceRecord* record = createRecord();
    lobby.settings.fillRecord(*record);
    EXPECT_EQ(toUtf8(record->password.view()), "lobby-pw");
    EXPECT_EQ(record->framingKind, 1);
    destroyRecord(record);
    EXPECT_EQ(settings.recorders[1].settings.target, "DDNS id G9X at ddns.example:9000");

    // The same file defines the same recorders; a changed group another one.
    BridgeSettings again;
    ASSERT_TRUE(load(text, again, error)) << error;
    EXPECT_EQ(again.recorders[0].definition, lobby.definition);
    std::string changed = text;
    changed.replace(changed.find("channels=1-2"), 12, "channels=1-3");
    ASSERT_TRUE(load(changed, again, error)) << error;
    EXPECT_NE(again.recorders[0].definition, lobby.definition);
    EXPECT_EQ(again.recorders[1].definition, settings.recorders[1].definition);
}

TEST_F(BridgeConfigTest, TheExampleThatIsInstalledReadsAsIs) {
    std::ofstream(credentials + "/viewer.password") << "watch\n";
    BridgeSettings settings;
    std::string error;
    ASSERT_TRUE(loadBridgeConfig(ORVIX_SOURCE_DIR "/packaging/bridge.conf.example", settings, error)) << error;
    EXPECT_EQ(settings.front.listen.size(), 2u);
    ASSERT_EQ(settings.recorders.size(), 1u);
    EXPECT_EQ(settings.recorders[0].channels, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(settings.rtsp.users.size(), 1u);
}

TEST_F(BridgeConfigTest, MistakesAreNamedByGroupAndKey) {
    const std::string recorder = "[recorder a]\nhost=h\nport=1\nuser=u\npassword-credential=lobby.password\n";
    const std::pair<std::string, std::string> cases[] = {
        {"[bridge]\nlisten=8554\n" + recorder, "[bridge] listen: \"8554\" is no ADDRESS:PORT"},
        {"[bridge]\nport=1\n" + recorder, "[bridge]: unknown key \"port\""},
        {"[camera x]\n" + recorder, "[camera x]: unknown group"},
        {"[recorder a]\nhost=h\nport=1\nuser=u\n", "[recorder a]: password-file or password-credential is missing"},
        {"[recorder a]\nhost=h\nport=1\nuser=u\npassword-file=/nonexistent\n", "[recorder a] password-file: cannot read"},
        {"[recorder a]\nhost=h\nuser=u\npassword-credential=lobby.password\n", "--host and --port go together"},
        {"[recorder a]\nhost=h\nport=1\nuser=u\npassword-credential=lobby.password\nchannels=0\n",
         "[recorder a] channels: needs channels"},
        {recorder + "publish=rtsp://x/{ch}\nchannels=1-2\npublish-channels=1,2\npublish-password-credential=media.password\n",
         "[recorder a] publish-password: the URL needs the user"},
        {recorder + "[recorder a b]\nhost=h\nport=1\nuser=u\npassword-file=" + viewer + "\n[recorder a-b]\n",
         "a second recorder named a-b"},
        {"[bridge]\n", "no [recorder NAME] group"},
    };
    for (const auto& [text, says] : cases) {
        BridgeSettings settings;
        std::string error;
        EXPECT_FALSE(load(text, settings, error)) << text;
        EXPECT_NE(error.find(says), std::string::npos) << error;
    }
    ::unsetenv("CREDENTIALS_DIRECTORY");
    BridgeSettings settings;
    std::string error;
    EXPECT_FALSE(load(recorder, settings, error));
    EXPECT_NE(error.find("CREDENTIALS_DIRECTORY is not set"), std::string::npos) << error;
}

}  // namespace
}  // namespace orvix::bridge
