#include "FlashModule.h"

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>

namespace {

template <typename Function>
bool Bind(void* handle, const char* name, Function& function, std::string& error) {
    function = reinterpret_cast<Function>(dlsym(handle, name));
    if (function == nullptr) {
        error = std::string("the module has no export ") + name;
        return false;
    }
    return true;
}

}  // namespace

FlashModule::~FlashModule() {
    if (handle != nullptr) {
        dlclose(handle);
    }
}

std::string FlashModule::DefaultPath() {
    std::error_code ignored;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ignored);
    return (self.parent_path() / "ORX_FP_Flash.so").string();
}

bool FlashModule::Load(const std::string& path, std::string& error) {
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = dlerror();
        error = "cannot load " + path + ": " + (reason ? reason : "unknown reason");
        return false;
    }
    return Bind(handle, "UTCInit", utcInit, error) && Bind(handle, "UTCOpen", utcOpen, error) &&
           Bind(handle, "GetSuperfileInformation", getSuperfileInformation, error) &&
           Bind(handle, "ConvertSuperfile", convertSuperfile, error) &&
           Bind(handle, "GetDeviceInformation", getDeviceInformation, error);
}

int FlashModule::OpenHeadless() {
    // The instance handle of the host services library this process runs with.
    void* hostLibrary = dlopen("ORX.so", RTLD_NOW | RTLD_NOLOAD);
    int result = utcInit(hostLibrary);
    if (hostLibrary != nullptr) {
        dlclose(hostLibrary);  // drops only the reference RTLD_NOLOAD added
    }
    if (result != 0) {
        return result;
    }
    return utcOpen(0, nullptr, 0, 0, 0, 0, nullptr);
}
