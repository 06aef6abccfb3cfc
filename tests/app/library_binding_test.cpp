#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "core/library_binding.h"

using namespace orvix;
namespace fs = std::filesystem;

namespace {

// A directory of its own holding the given copies of the built libraries.
class LibraryDirectory {
public:
    LibraryDirectory() {
        std::string pattern = "/tmp/orvix-binding-XXXXXX";
        path_ = ::mkdtemp(pattern.data());
    }
    ~LibraryDirectory() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    // Copies the built library `from` into this directory as `as`.
    void copy(const char* from, const char* as) {
        fs::copy_file(fs::path(executableDirectory()) / from, path_ / as);
    }
    std::string path() const { return path_.string(); }

private:
    fs::path path_;
};

bool mentions(const std::string& text, const char* what) { return text.find(what) != std::string::npos; }

TEST(LibraryBinding, BindsBothLibrariesFromTheProgramDirectory) {
    const LibraryBinding binding = bindLibraries();
    EXPECT_TRUE(binding.complete()) << binding.problem;
    EXPECT_TRUE(binding.storeAvailable());
    EXPECT_TRUE(binding.setupAvailable());
    EXPECT_NE(binding.loadDevInfo, nullptr);
    EXPECT_NE(binding.saveDevInfo, nullptr);
    EXPECT_NE(binding.storeNotice, nullptr);
}

TEST(LibraryBinding, MissingLibrariesAreReportedAndNeverCalled) {
    LibraryDirectory empty;
    const LibraryBinding binding = bindLibraries(empty.path());
    EXPECT_FALSE(binding.complete());
    EXPECT_TRUE(mentions(binding.problem, "libnodra.so")) << binding.problem;
    EXPECT_TRUE(mentions(binding.problem, "libtlset.so")) << binding.problem;
    EXPECT_FALSE(binding.storeAvailable());
    EXPECT_FALSE(binding.setupAvailable());

    DeviceList list;
    DeviceRecord* kept = createRecord();
    kept->id = 5;
    list.append(kept);
    DeviceRecord working;
    initRecord(working);
    EXPECT_EQ(loadDeviceList(binding, list, working), "");
    EXPECT_EQ(saveDeviceList(binding, list, working), "");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.at(0), kept);

    // Without the dialog nothing was saved, and the id says so.
    working.id = 42;
    EXPECT_FALSE(runSetupDialog(binding, working, 0, 1));
    EXPECT_EQ(working.id, 0u);
}

TEST(LibraryBinding, TheSetupLibraryIsBoundWithoutTheStore) {
    LibraryDirectory directory;
    directory.copy(kSetupLibraryName, kSetupLibraryName);
    const LibraryBinding binding = bindLibraries(directory.path());
    EXPECT_TRUE(mentions(binding.problem, "libnodra.so")) << binding.problem;
    EXPECT_FALSE(mentions(binding.problem, "libtlset.so")) << binding.problem;
    EXPECT_FALSE(binding.storeAvailable());
    ASSERT_TRUE(binding.setupAvailable());

    // This process has no QApplication: the dialog cannot open, and the call
    // must not read as a save.
    DeviceRecord record;
    initRecord(record);
    record.id = 42;
    EXPECT_TRUE(runSetupDialog(binding, record, 0, 1));
    EXPECT_EQ(record.id, 0u);
}

TEST(LibraryBinding, LibrariesWithoutTheirEntriesAreReportedByEntry) {
    LibraryDirectory directory;
    directory.copy(kSetupLibraryName, kStoreLibraryName);
    directory.copy(kStoreLibraryName, kSetupLibraryName);
    const LibraryBinding binding = bindLibraries(directory.path());
    for (const char* entry : {"_gLoadDevInfo", "_gSaveDevInfo_V2", "DoModalSetup"}) {
        EXPECT_TRUE(mentions(binding.problem, entry)) << entry << ": " << binding.problem;
    }
    EXPECT_FALSE(binding.storeAvailable());
    EXPECT_FALSE(binding.setupAvailable());
    EXPECT_EQ(binding.loadDevInfoV2, nullptr);
    EXPECT_EQ(binding.saveDevInfoV2, nullptr);
}

}  // namespace
