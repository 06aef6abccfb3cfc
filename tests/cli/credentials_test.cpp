// Where orvix-cli takes the password and the recorder from besides its
// command line: a password file, ORVIX_PASSWORD, a recorder of the device
// list. The device list here has no keyring (the keyring tests cover that).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "cli/cli_options.h"
#include "core/text_codec.h"
#include "frontend/credentials.h"
#include "store/device_store.h"

using namespace orvix;
using namespace orvix::cli;
namespace fs = std::filesystem;

namespace {

class CredentialsTest : public ::testing::Test {
protected:
    CredentialsTest() {
        char pattern[] = "/tmp/orvix-credentials-XXXXXX";
        root = ::mkdtemp(pattern);
        ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/orvix-tests-no-bus", 1);
    }
    ~CredentialsTest() override { fs::remove_all(root); }

    std::string file(const std::string& name, const std::string& bytes) const {
        const std::string path = (root / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    CliOptions parsed(std::vector<std::string> arguments) const {
        const ParsedCommandLine line = parseCommandLine(arguments);
        EXPECT_EQ(line.outcome, ParsedCommandLine::Outcome::Run) << line.error;
        return line.options;
    }
    std::string databasePath() const { return (root / "devices.db").string(); }
    // A device list with recorders at a static address and one via DDNS.
    void saveDeviceList() const {
        DeviceList list;
        auto atAddress = [&](uint32_t id, std::u16string_view name, std::u16string_view account,
                             std::u16string_view password, std::u16string_view address, uint16_t port) {
            DeviceRecord* r = createRecord();
            r->id = id;
            setText(r->name, name);
            setText(r->account, account);
            setText(r->password, password);
            r->useStatic = 1;
            setText(r->address, address);
            r->port = port;
            list.append(r);
            return r;
        };
        atAddress(1, u"Lobby \u00e9st", u"operator", u"lobby pw", u"192.0.2.5", 3100)->framingKind = 1;
        DeviceRecord* shop = createRecord();
        shop->id = 2;
        setText(shop->name, u"Shop");
        setText(shop->account, u"admin");
        shop->useDdns = 1;
        setText(shop->ddnsServer, u"ddns.example.com");
        shop->ddnsPort = 2000;
        setText(shop->ddnsId, u"G9SHOP");
        list.append(shop);
        atAddress(3, u"Kiosk", u"admin", u"p\u00e4ss \u2713", u"192.0.2.6", 3000);
        DeviceStore store(databasePath());
        ASSERT_TRUE(store.save(list)) << store.notice();
    }

    fs::path root;
};

TEST_F(CredentialsTest, PasswordFileGivesItsFirstLine) {
    std::string password, error;
    for (const auto& [bytes, expected] : std::vector<std::pair<std::string, std::string>>{
             {"s3cret\n", "s3cret"}, {"s3cret\r\nsecond line\n", "s3cret"}, {"no line end", "no line end"},
             {"", ""}, {"\n", ""}, {"with spaces  \n", "with spaces  "}}) {
        ASSERT_TRUE(readPasswordFile(file("pw", bytes), password, error)) << error;
        EXPECT_EQ(password, expected);
    }
    EXPECT_FALSE(readPasswordFile((root / "missing").string(), password, error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
    EXPECT_FALSE(readPasswordFile(file("long", std::string(5000, 'x')), password, error));
    EXPECT_FALSE(readPasswordFile(root.string(), password, error));  // a directory
}

TEST_F(CredentialsTest, AFifoIsWaitedForNoLongerThanTheRunMayLast) {
    const std::string fifo = (root / "pw.fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    using Clock = std::chrono::steady_clock;
    std::string password, error;
    // Nobody writes: the deadline ends the wait, and so does an interrupt.
    EXPECT_FALSE(readPasswordFile(fifo, password, error, FileWait{Clock::now() + std::chrono::milliseconds(200)}));
    EXPECT_NE(error.find("no line came before the timeout"), std::string::npos) << error;
    const std::atomic<bool> interrupt{true};
    EXPECT_FALSE(readPasswordFile(fifo, password, error, FileWait{Clock::now() + std::chrono::hours(1), &interrupt}));
    EXPECT_NE(error.find("interrupted"), std::string::npos) << error;

    // A writer that comes within the time gives the line.
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::ofstream(fifo) << "through a pipe\n";
    });
    EXPECT_TRUE(readPasswordFile(fifo, password, error, FileWait{Clock::now() + std::chrono::seconds(30)})) << error;
    writer.join();
    EXPECT_EQ(password, "through a pipe");
}

TEST_F(CredentialsTest, OptionsFileAndEnvironmentTakeTurns) {
    const std::string pwFile = file("pw", "from-file\n");
    const std::vector<std::string> base{"--host", "h", "--port", "1", "--user", "u"};
    auto with = [&](std::vector<std::string> extra) {
        std::vector<std::string> arguments = base;
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return parsed(arguments);
    };
    std::string error;
    const CredentialSources environment{"from-env", databasePath()};

    CliOptions o = with({"--password", "from-line"});
    ASSERT_TRUE(resolveCredentials(o, environment, error));
    EXPECT_EQ(o.password, "from-line");
    o = with({"--password-file", pwFile});
    ASSERT_TRUE(resolveCredentials(o, environment, error));
    EXPECT_EQ(o.password, "from-file");
    o = with({});
    ASSERT_TRUE(resolveCredentials(o, environment, error));
    EXPECT_EQ(o.password, "from-env");
    o = with({});
    ASSERT_TRUE(resolveCredentials(o, CredentialSources{nullptr, databasePath()}, error));
    EXPECT_EQ(o.password, "");
    // An empty --password is still the password given.
    o = with({"--password", ""});
    ASSERT_TRUE(resolveCredentials(o, environment, error));
    EXPECT_EQ(o.password, "");

    o = with({"--password-file", (root / "missing").string()});
    EXPECT_FALSE(resolveCredentials(o, environment, error));
    EXPECT_EQ(error.find('\n'), std::string::npos);
}

TEST_F(CredentialsTest, DeviceTakesAddressAccountPasswordAndStreamFromTheList) {
    saveDeviceList();
    std::string error;
    CliOptions o = parsed({"--device", "Lobby \u00e9st", "--channel", "2"});
    ASSERT_TRUE(resolveCredentials(o, CredentialSources{"from-env", databasePath()}, error)) << error;
    EXPECT_FALSE(o.useDdns);
    EXPECT_EQ(o.host, "192.0.2.5");
    EXPECT_EQ(o.port, 3100);
    EXPECT_EQ(o.user, "operator");
    EXPECT_EQ(o.password, "lobby pw");  // the list's, not the environment's
    EXPECT_EQ(o.framingKind, 1);
    EXPECT_EQ(o.channel, 2);

    o = parsed({"--device", "Shop"});
    ASSERT_TRUE(resolveCredentials(o, CredentialSources{nullptr, databasePath()}, error)) << error;
    EXPECT_TRUE(o.useDdns);
    EXPECT_EQ(o.ddnsServer, "ddns.example.com");
    EXPECT_EQ(o.ddnsPort, 2000);
    EXPECT_EQ(o.ddnsId, "G9SHOP");
    EXPECT_EQ(o.password, "");

    // What the command line gives wins.
    o = parsed({"--device", "Lobby \u00e9st", "--user", "admin", "--stream", "mpeg4", "--password-file",
                file("pw", "other\n")});
    ASSERT_TRUE(resolveCredentials(o, CredentialSources{nullptr, databasePath()}, error)) << error;
    EXPECT_EQ(o.user, "admin");
    EXPECT_EQ(o.framingKind, 0);
    EXPECT_EQ(o.password, "other");
}

TEST_F(CredentialsTest, DeviceProblemsAreUsageErrorsThatNameNoPassword) {
    std::string error;
    CliOptions o = parsed({"--device", "Lobby"});
    EXPECT_FALSE(resolveCredentials(o, CredentialSources{nullptr, databasePath()}, error));  // no list yet
    saveDeviceList();
    o = parsed({"--device", "Nowhere"});
    EXPECT_FALSE(resolveCredentials(o, CredentialSources{nullptr, databasePath()}, error));
    EXPECT_NE(error.find("no recorder named \"Nowhere\""), std::string::npos) << error;
    EXPECT_EQ(error.find("lobby pw"), std::string::npos);

    for (const auto& bad : std::vector<std::vector<std::string>>{
             {"--device", "Shop", "--host", "h", "--port", "1"},
             {"--device", "Shop", "--ddns-id", "x"},
             {"--device", ""},
             {"--host", "h", "--port", "1", "--user", "u", "--password", "p", "--password-file", "f"},
             {"--host", "h", "--port", "1", "--user", "u", "--password-file", ""}}) {
        const ParsedCommandLine line = parseCommandLine(bad);
        EXPECT_EQ(line.outcome, ParsedCommandLine::Outcome::Error) << bad.size();
    }
}

TEST_F(CredentialsTest, ListAndUtf8FilePasswordsGoOutInTheLocalesSetOrAreRefused) {
    saveDeviceList();
    const std::string saved = std::setlocale(LC_CTYPE, nullptr);
    for (const auto& [locale, carried] : std::vector<std::pair<const char*, bool>>{{"C.UTF-8", true}, {"C", false}}) {
        ASSERT_NE(std::setlocale(LC_CTYPE, locale), nullptr) << locale;
        for (auto arguments : std::vector<std::vector<std::string>>{
                 {"--device", "Kiosk"},
                 {"--host", "h", "--port", "1", "--user", "u", "--password-file", file("pw", "p\u00e4ss \u2713\n")}}) {
            CliOptions o = parsed(arguments);
            std::string error;
            EXPECT_EQ(resolveCredentials(o, CredentialSources{nullptr, databasePath()}, error), carried) << locale;
            if (carried) {
                EXPECT_EQ(o.password, "p\u00e4ss \u2713") << locale;
            } else {
                EXPECT_NE(error.find("the password has characters the recorder's encoding cannot carry"),
                          std::string::npos)
                    << error;
            }
        }
    }
    std::setlocale(LC_CTYPE, saved.c_str());
}

TEST_F(CredentialsTest, HelpSaysWhyThePasswordOptionIsTheLastChoice) {
    const std::string help = usageText();
    for (const char* part : {"--password-file", "ORVIX_PASSWORD", "--device", "process list"}) {
        EXPECT_NE(help.find(part), std::string::npos) << part;
    }
}

}  // namespace
