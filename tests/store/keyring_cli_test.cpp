// orvix-cli --device against the recorder simulator, with the recorder's
// password in the keyring only, and a whole session's debug output and logs
// searched for the password.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "store/device_store.h"
#include "tests/e2e/e2e_process.h"
#include "tests/store/store_fixture.h"

using namespace orvix;
using namespace orvix::e2e;

namespace {

class KeyringCliTest : public StoreFixture {
protected:
    KeyringCliTest() { ::setenv("ORVIX_DEBUG", "1", 1); }
    ~KeyringCliTest() override { ::unsetenv("ORVIX_DEBUG"); }

    void saveRecorder(int port, const std::u16string& password) const {
        DeviceList list;
        DeviceRecord* record = createRecord();
        resetStoredFields(*record);
        record->id = 77;
        setText(record->name, u"Lobby");
        setText(record->account, u"admin");
        setText(record->password, password);
        record->useDdns = 0;
        record->useStatic = 1;
        setText(record->address, u"127.0.0.1");
        record->port = static_cast<uint16_t>(port);
        list.append(record);
        DeviceStore store(path());
        ASSERT_TRUE(store.save(list)) << store.notice();
        ASSERT_EQ(rawRows().at(0).inKeyring, 1);
    }
    static std::string contents(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

TEST_F(KeyringCliTest, DeviceLogsInWithTheKeyringsPasswordAndNothingShowsIt) {
    const std::string password = "Kp7-zulu-quartz";
    const std::string log = scratchPath("keyring-cli-sim.log");
    {
        Simulator simulator("orvix-recorder-sim", {"--password", password, "--log", log});
        ASSERT_TRUE(simulator.ready()) << simulator.firstLine();
        saveRecorder(simulator.port(), u"Kp7-zulu-quartz");
        const Finished run =
            runProgram(binaryPath("orvix-cli"), {"--device", "Lobby", "--frames", "5", "--verbose", "--timeout", "20"});
        EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
        EXPECT_NE(run.out.find("decoded 5 frames"), std::string::npos) << run.out;
        // The debug output ran, and neither it nor anything else shows the password.
        EXPECT_NE(run.err.find("COMMAND_LOGIN_OK"), std::string::npos) << run.err;
        EXPECT_EQ(run.out.find(password), std::string::npos);
        EXPECT_EQ(run.err.find(password), std::string::npos);
    }
    const std::string logged = contents(log);
    EXPECT_NE(logged.find("LOGIN account=admin ok=1"), std::string::npos) << logged;
    EXPECT_EQ(logged.find(password), std::string::npos);
    EXPECT_EQ(contents(path()).find(password), std::string::npos);
}

TEST_F(KeyringCliTest, ARefusedLoginShowsTheAccountButNoPassword) {
    const std::string log = scratchPath("keyring-cli-refused.log");
    {
        Simulator simulator("orvix-recorder-sim", {"--password", "the-right-one", "--log", log});
        ASSERT_TRUE(simulator.ready());
        saveRecorder(simulator.port(), u"Wr0ng-pass-word");
        const Finished run = runProgram(binaryPath("orvix-cli"), {"--device", "Lobby", "--verbose", "--timeout", "20"});
        EXPECT_EQ(run.exitCode, 3) << run.out << run.err;
        EXPECT_EQ((run.out + run.err).find("Wr0ng-pass-word"), std::string::npos) << run.out << run.err;
    }
    const std::string logged = contents(log);
    EXPECT_NE(logged.find("LOGIN account=admin ok=0 reason=password"), std::string::npos) << logged;
    EXPECT_EQ(logged.find("Wr0ng-pass-word"), std::string::npos);
}

}  // namespace
