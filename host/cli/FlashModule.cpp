#include "FlashModule.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
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

template <typename Function>
void BindOptional(void* handle, const char* name, Function& function) {
    function = reinterpret_cast<Function>(dlsym(handle, name));
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

void FlashModule::SayMissing(const char* name) {
    std::fprintf(stderr, "orxflash: the module has no export %s\n", name);
}

bool FlashModule::Load(const std::string& path, std::string& error) {
    // A file path, never a library name for the loader's search.
    std::error_code ignored;
    std::string file = std::filesystem::absolute(path, ignored).string();
    handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = dlerror();
        error = "cannot load " + path + ": " + (reason ? reason : "unknown reason");
        return false;
    }
    if (!Bind(handle, "UTCInit", utcInit, error) || !Bind(handle, "UTCOpen", utcOpen, error) ||
        !Bind(handle, "GetSuperfileInformation", getSuperfileInformation, error) ||
        !Bind(handle, "ConvertSuperfile", convertSuperfile, error) ||
        !Bind(handle, "GetDeviceInformation", getDeviceInformation, error)) {
        return false;
    }
    BindOptional(handle, "UTCClose", utcClose);
    BindOptional(handle, "UTCResize", utcResize);
    BindOptional(handle, "UTCGetVersion", utcGetVersion);
    BindOptional(handle, "UTCSpecific", utcSpecific);
    BindOptional(handle, "FlashDevice", flashDevice);
    BindOptional(handle, "Flash", flash);
    BindOptional(handle, "VerifyDevice", verifyDevice);
    BindOptional(handle, "StopJobs", stopJobs);
    BindOptional(handle, "GetDevicePlatform", getDevicePlatform);
    BindOptional(handle, "GetFailureReason", getFailureReason);
    return true;
}

int FlashModule::Init() {
    // The instance handle of the host services library this process runs with.
    void* hostLibrary = dlopen("ORX.so", RTLD_NOW | RTLD_NOLOAD);
    int result = utcInit(hostLibrary);
    if (hostLibrary != nullptr) {
        dlclose(hostLibrary);  // drops only the reference RTLD_NOLOAD added
    }
    return result;
}

int FlashModule::OpenHeadless() {
    if (int result = Init(); result != 0) {
        return result;
    }
    return utcOpen(0, nullptr, 0, 0, 0, 0, nullptr);
}

int FlashModule::Close() {
    return utcClose != nullptr ? utcClose() : 0;
}

void FlashModule::StopJobsIfAble() {
    if (stopJobs != nullptr) {
        stopJobs();
    }
}
