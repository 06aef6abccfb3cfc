#include "core/library_binding.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace orvix {
namespace {

template <typename Entry>
Entry lookUp(void* library, const char* name, std::vector<std::string>& missing) {
    void* address = library != nullptr ? ::dlsym(library, name) : nullptr;
    if (address == nullptr) {
        missing.emplace_back(name);
        return nullptr;
    }
    return reinterpret_cast<Entry>(address);
}

void* openLibrary(const std::string& directory, const char* name, std::string& error) {
    const std::string path = directory.empty() ? std::string(name) : directory + "/" + name;
    void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* reason = ::dlerror();
        error = reason != nullptr ? reason : path + ": cannot be loaded";
    }
    return library;
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

void addProblem(std::string& problem, const std::string& text) {
    if (!problem.empty()) problem += "\n";
    problem += text;
}

}  // namespace

std::string executableDirectory() {
    std::vector<char> buffer(4096);
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0 || static_cast<size_t>(length) >= buffer.size()) return {};
    std::string path(buffer.data(), static_cast<size_t>(length));
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string libraryDirectory() {
    const std::string program = executableDirectory();
    const auto exists = [](const std::string& path) {
        struct stat status {};
        return ::stat(path.c_str(), &status) == 0;
    };
    if (program.empty() || exists(program + "/" + kStoreLibraryName)) return program;
    // Installed: the relative path from the program's directory, fixed when
    // the build was configured.
    const std::string installed = program + "/" + ORVIX_INSTALLED_LIBRARY_DIR;
    return exists(installed) ? installed : program;
}

LibraryBinding bindLibraries(const std::string& directory) {
    LibraryBinding binding;
    std::string error;

    binding.storeLibrary = openLibrary(directory, kStoreLibraryName, error);
    if (binding.storeLibrary == nullptr) {
        addProblem(binding.problem, std::string("The device store ") + kStoreLibraryName + " could not be loaded (" +
                                        error + "). Recorders you add are not kept after the program ends.");
    } else {
        std::vector<std::string> missing;
        binding.loadDevInfo = lookUp<DevInfoEntry>(binding.storeLibrary, "_gLoadDevInfo", missing);
        binding.saveDevInfo = lookUp<DevInfoEntry>(binding.storeLibrary, "_gSaveDevInfo", missing);
        binding.loadDevInfoV2 = lookUp<DevInfoEntry>(binding.storeLibrary, "_gLoadDevInfo_V2", missing);
        binding.saveDevInfoV2 = lookUp<DevInfoEntry>(binding.storeLibrary, "_gSaveDevInfo_V2", missing);
        std::vector<std::string> optional;
        binding.storeNotice = lookUp<StoreNoticeEntry>(binding.storeLibrary, "_gStoreNotice", optional);
        binding.storePasswordNotice =
            lookUp<StoreNoticeEntry>(binding.storeLibrary, "_gStorePasswordNotice", optional);
        std::vector<std::string> queued;
        binding.loadDevInfoNoKeyring = lookUp<DevInfoEntry>(binding.storeLibrary, "_gLoadDevInfo_NoKeyring", queued);
        binding.saveDevInfoQueued = lookUp<DevInfoEntry>(binding.storeLibrary, "_gSaveDevInfo_Queued", queued);
        binding.fetchDevPassword = lookUp<FetchPasswordEntry>(binding.storeLibrary, "_gFetchDevPassword", queued);
        binding.storeSetListener = lookUp<SetListenerEntry>(binding.storeLibrary, "_gStoreSetListener", queued);
        binding.storeWaitIdle = lookUp<WaitIdleEntry>(binding.storeLibrary, "_gStoreWaitIdle", queued);
        if (!queued.empty()) {
            // An older store: every call waits, the keyring's answers too.
            binding.loadDevInfoNoKeyring = nullptr;
            binding.saveDevInfoQueued = nullptr;
            binding.fetchDevPassword = nullptr;
            binding.storeSetListener = nullptr;
            binding.storeWaitIdle = nullptr;
        }
        if (!missing.empty()) {
            addProblem(binding.problem,
                       std::string("The device store ") + kStoreLibraryName + " lacks " + joined(missing) + "." +
                           (binding.storeAvailable() ? "" : " Recorders you add are not kept after the program ends."));
        }
        if (!binding.storeAvailable()) {
            // Half a store would load without saving, or save over a list it
            // never loaded: use neither entry.
            binding.loadDevInfoV2 = nullptr;
            binding.saveDevInfoV2 = nullptr;
            binding.saveDevInfoQueued = nullptr;
        }
    }

    binding.setupLibrary = openLibrary(directory, kSetupLibraryName, error);
    if (binding.setupLibrary == nullptr) {
        addProblem(binding.problem, std::string("The setup library ") + kSetupLibraryName + " could not be loaded (" +
                                        error + "). Recorders cannot be added or edited.");
    } else {
        std::vector<std::string> missing;
        binding.doModalSetup = lookUp<DoModalSetupEntry>(binding.setupLibrary, "DoModalSetup", missing);
        if (!missing.empty()) {
            addProblem(binding.problem, std::string("The setup library ") + kSetupLibraryName + " lacks " +
                                            joined(missing) + ". Recorders cannot be added or edited.");
        }
    }
    return binding;
}

LibraryBinding bindLibraries() { return bindLibraries(libraryDirectory()); }

namespace {

std::string storeNotice(const LibraryBinding& binding) {
    if (binding.storeNotice == nullptr) return {};
    const char* notice = binding.storeNotice();
    return notice != nullptr ? std::string(notice) : std::string();
}

}  // namespace

std::string loadDeviceList(const LibraryBinding& binding, DeviceList& list, DeviceRecord& working) {
    if (binding.loadDevInfoV2 == nullptr) return {};
    binding.loadDevInfoV2(&list, &working);
    return storeNotice(binding);
}

std::string saveDeviceList(const LibraryBinding& binding, DeviceList& list, DeviceRecord& working) {
    if (binding.saveDevInfoV2 == nullptr) return {};
    binding.saveDevInfoV2(&list, &working);
    return storeNotice(binding);
}

std::string takeStorePasswordNotice(const LibraryBinding& binding) {
    if (binding.storePasswordNotice == nullptr) return {};
    const char* notice = binding.storePasswordNotice();
    return notice != nullptr ? std::string(notice) : std::string();
}

bool runSetupDialog(const LibraryBinding& binding, DeviceRecord& record, int32_t variant, int32_t mode) {
    if (binding.doModalSetup == nullptr) {
        if (mode == 0 || mode == 1) record.id = 0;
        return false;
    }
    binding.doModalSetup(&record, variant, mode);
    return true;
}

}  // namespace orvix
