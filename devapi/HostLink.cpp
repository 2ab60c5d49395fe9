#include "HostLink.h"

#include <dlfcn.h>
#include <link.h>

#include <string>
#include <vector>

namespace devapi {

namespace {

constexpr char kServiceName[] = "ORXOpenDeviceLink";

int CollectName(dl_phdr_info* info, size_t, void* names) {
    static_cast<std::vector<std::string>*>(names)->emplace_back(info->dlpi_name ? info->dlpi_name
                                                                                : "");
    return 0;
}

// A handle is only given to dlsym when a loaded object has it: the host may
// hand over any value, and dlsym on anything else is undefined.
bool IsLoadedObjectHandle(void* handle) {
    if (handle == nullptr) {
        return false;
    }
    std::vector<std::string> names;
    dl_iterate_phdr(CollectName, &names);
    for (const std::string& name : names) {
        void* loaded = dlopen(name.empty() ? nullptr : name.c_str(), RTLD_LAZY | RTLD_NOLOAD);
        if (loaded == nullptr) {
            continue;
        }
        bool same = loaded == handle;
        dlclose(loaded);
        if (same) {
            return true;
        }
    }
    return false;
}

ORXOpenDeviceLinkFunction Cast(void* symbol) {
    return reinterpret_cast<ORXOpenDeviceLinkFunction>(symbol);
}

}  // namespace

ORXOpenDeviceLinkFunction FindOpenDeviceLink(void* hostInstance) {
    if (IsLoadedObjectHandle(hostInstance)) {
        if (void* symbol = dlsym(hostInstance, kServiceName)) {
            return Cast(symbol);
        }
    }
    if (void* symbol = dlsym(RTLD_DEFAULT, kServiceName)) {
        return Cast(symbol);
    }
    void* host = dlopen("ORX.so", RTLD_NOW | RTLD_NOLOAD);
    if (host == nullptr) {
        return nullptr;
    }
    void* symbol = dlsym(host, kServiceName);
    dlclose(host);  // still loaded by whoever loaded it first
    return Cast(symbol);
}

}  // namespace devapi
