#include "InfoCommand.h"

#include <CLI/CLI.hpp>
#include <array>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <vector>

#include "FailureReason.h"
#include "FlashModule.h"
#include "OrxHost.h"

namespace {

constexpr int kInfoEntries = 13;
constexpr size_t kEntrySize = 256;

const std::array<const char*, kInfoEntries> kLabels = {
    "Platform",     "App version",          "Boot version",         "RAM version",
    "App checksum", "Boot checksum",        "RAM checksum",         "File date",
    "File size",    "Code group 0 version", "Code group 1 version", "Code group 4 version",
    "File kind"};

}  // namespace

void AddInfoCommand(CLI::App& app, InfoOptions& options) {
    CLI::App* info = app.add_subcommand(
        "info", "Show a superfile's information: platform, versions, checksums, date, size, kind");
    info->add_option("SUPERFILE", options.superfile, "The superfile (.shx) to read")->required();
    info->add_flag("--json", options.json,
                   "End with one JSON line {\"result\", \"firstVersion\", \"info\"}");
}

int RunInfoCommand(const InfoOptions& options, const std::string& modulePath) {
    FlashModule module;
    std::string error;
    if (!module.Load(modulePath, error)) {
        std::fprintf(stderr, "orxflash: %s\n", error.c_str());
        return 1;
    }
    orxhost::SetDisplaySink(std::make_shared<orxhost::ConsoleSink>());
    if (int opened = module.OpenHeadless(); opened != 0) {
        SayFailure("the module did not open", opened, AskFailure(module, -1).reason);
        return 1;
    }

    std::vector<std::array<char, kEntrySize>> buffers(kInfoEntries);
    std::vector<char*> entries;
    for (auto& buffer : buffers) {
        buffer[0] = '\0';
        entries.push_back(buffer.data());
    }
    OrxTextArray array{entries.data(), kInfoEntries, kEntrySize};
    uint16_t firstVersion = 0xFFFF;
    int result = module.getSuperfileInformation(options.superfile.c_str(), &array, &firstVersion);

    if (options.json) {
        nlohmann::json line = {{"result", result}, {"firstVersion", firstVersion}};
        line["info"] = nlohmann::json::array();
        for (char* entry : entries) {
            line["info"].push_back(entry);
        }
        std::printf("%s\n",
                    line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    } else if (result == 0) {
        for (int i = 0; i < kInfoEntries; ++i) {
            std::printf("%-21s %s\n", (std::string(kLabels[static_cast<size_t>(i)]) + ":").c_str(),
                        entries[static_cast<size_t>(i)]);
        }
    }
    if (result != 0) {
        SayFailure("cannot read " + options.superfile, result, AskFailure(module, -1).reason);
    }
    return result == 0 ? 0 : 1;
}
