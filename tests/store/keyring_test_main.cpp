// main() of the keyring tests. They run only with a session bus and keyring
// daemon of their own (private_keyring.sh), never against the user's
// keyring: started any other way, the program starts itself again through
// that script. With --store-tool it is a store user of its own instead
// (keyring_store_tool.cpp), which the tests run as separate programs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/store/keyring_support.h"
#include "tests/store/store_fixture.h"

int main(int argc, char** argv) {
    const bool listing = argc > 1 && std::strncmp(argv[1], "--gtest_list_tests", 18) == 0;
    if (std::getenv(orvix::kPrivateKeyringVariable) == nullptr && !listing) {
        std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
        std::string script = ORVIX_PRIVATE_KEYRING_SCRIPT;
        std::string shell = "bash";
        std::vector<char*> arguments{shell.data(), script.data(), self.data()};
        for (int i = 1; i < argc; ++i) arguments.push_back(argv[i]);
        arguments.push_back(nullptr);
        ::execvp("bash", arguments.data());
        std::perror("bash");
        return 1;
    }
    if (argc > 1 && std::strcmp(argv[1], "--store-tool") == 0) {
        return orvix::storeToolMain(std::vector<std::string>(argv + 2, argv + argc));
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
