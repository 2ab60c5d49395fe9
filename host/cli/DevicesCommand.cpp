#include "DevicesCommand.h"

#include <CLI/CLI.hpp>
#include <array>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "FailureReason.h"
#include "FlashModule.h"
#include "OrxHost.h"

namespace {

constexpr int kInfoEntries = 3;
constexpr size_t kEntrySize = 128;
const char* const kInterfaces[] = {"Kestrova_Flash", "Kestrova_Boot", "Kestrova_Tavenor_OS",
                                   "Kestrova_Test_Command"};

struct DeviceRow {
    uint16_t deviceId = 0;
    std::string descriptor;
    std::string interfaceName;
    int result = 0;
    std::array<std::string, kInfoEntries> info;
    std::string platform;  // empty when the phone could not be identified
};

DeviceRow Describe(FlashModule& module, uint16_t deviceId) {
    DeviceRow row;
    row.deviceId = deviceId;
    for (const char* name : kInterfaces) {
        ORXInterfaceHandle handle = nullptr;
        if (ORXGetInterfaceHandle(deviceId, name, &handle) != 0) {
            continue;
        }
        row.interfaceName = name;
        char text[256] = {};
        if (ORXGetStringDescriptor(deviceId, handle, 1, 0, text, sizeof text) == 0) {
            row.descriptor = text;
        }
        break;
    }
    std::array<std::array<char, kEntrySize>, kInfoEntries> buffers{};
    std::array<char*, kInfoEntries> entries{};
    for (int i = 0; i < kInfoEntries; ++i) {
        entries[static_cast<size_t>(i)] = buffers[static_cast<size_t>(i)].data();
    }
    OrxTextArray array{entries.data(), kInfoEntries, kEntrySize};
    uint16_t firstVersion = 0xFFFF;
    row.result = module.getDeviceInformation(deviceId, &array, &firstVersion);
    for (int i = 0; i < kInfoEntries; ++i) {
        row.info[static_cast<size_t>(i)] = entries[static_cast<size_t>(i)];
    }
    // The platform as identification names it: a blank phone by its descriptor.
    char platform[kEntrySize] = {};
    if (module.getDevicePlatform != nullptr &&
        module.getDevicePlatform(deviceId, platform, sizeof platform) == 0) {
        row.platform = platform;
    }
    return row;
}

}  // namespace

void AddDevicesCommand(CLI::App& app, DevicesOptions& options) {
    CLI::App* devices = app.add_subcommand(
        "devices",
        "List the connected phones: device number, string descriptor, interface, "
        "platform and the versions of code groups 0, 1 and 6");
    devices->add_option("--sim", options.simProfiles,
                        "Attach a simulated phone from a profile (repeatable)");
    devices->add_flag("--json", options.json, "End with one JSON array of the phones");
}

bool AttachSimulatedPhones(const std::vector<std::string>& profiles) {
    for (const std::string& profile : profiles) {
        try {
            orxhost::AttachPhone(profile);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "orxflash: %s: %s\n", profile.c_str(), error.what());
            return false;
        }
    }
    return true;
}

int RunDevicesCommand(const DevicesOptions& options, const std::string& modulePath) {
    FlashModule module;
    std::string error;
    if (!module.Load(modulePath, error)) {
        std::fprintf(stderr, "orxflash: %s\n", error.c_str());
        return 1;
    }
    if (!AttachSimulatedPhones(options.simProfiles)) {
        return 1;
    }
    if (int opened = module.OpenHeadless(); opened != 0) {
        SayFailure("the module did not open", opened, AskFailure(module, -1).reason);
        return 1;
    }
    std::vector<DeviceRow> rows;
    for (const orxhost::DeviceEntry& device : orxhost::Devices()) {
        rows.push_back(Describe(module, device.deviceId));
    }
    if (options.json) {
        nlohmann::json list = nlohmann::json::array();
        for (const DeviceRow& row : rows) {
            list.push_back({{"device", row.deviceId},
                            {"descriptor", row.descriptor},
                            {"interface", row.interfaceName},
                            {"result", row.result},
                            {"platform", row.platform},
                            {"versions", row.result == 0
                                             ? nlohmann::json{row.info[0], row.info[1], row.info[2]}
                                             : nlohmann::json::array()}});
        }
        std::printf("%s\n",
                    list.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
        return 0;
    }
    if (rows.empty()) {
        std::printf("No phone connected.\n");
        return 0;
    }
    std::printf("%-7s %-20s %-22s %-18s %-8s %-8s %-8s\n", "device", "descriptor", "interface",
                "platform", "CG0", "CG1", "CG6");
    for (const DeviceRow& row : rows) {
        bool read = row.result == 0;
        std::printf("%-7u %-20s %-22s %-18s %-8s %-8s %-8s\n", static_cast<unsigned>(row.deviceId),
                    row.descriptor.empty() ? "-" : row.descriptor.c_str(),
                    row.interfaceName.empty() ? "-" : row.interfaceName.c_str(),
                    row.platform.empty() ? "(not read)" : row.platform.c_str(),
                    read ? row.info[0].c_str() : "-", read ? row.info[1].c_str() : "-",
                    read ? row.info[2].c_str() : "-");
    }
    return 0;
}
