#include "ConvertCommand.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <vector>

#include "FailureReason.h"
#include "FlashModule.h"

namespace {
constexpr int kMaxImages = 258;
constexpr size_t kPathSize = 4096;
}  // namespace

void AddConvertCommand(CLI::App& app, ConvertOptions& options) {
    CLI::App* convert = app.add_subcommand(
        "convert",
        "Convert a superfile into its image files (.smg) and image index (.hmg) without flashing; "
        "an unchanged superfile with intact images is left as it is");
    convert->add_option("SUPERFILE", options.superfile, "The superfile (.shx) to convert")
        ->required();
    convert->add_flag("--json", options.json,
                      "End with one JSON line {\"result\", \"upToDate\", \"images\"}");
}

int RunConvertCommand(const ConvertOptions& options, const std::string& modulePath) {
    FlashModule module;
    std::string error;
    if (!module.Load(modulePath, error) || module.convertSuperfile == nullptr) {
        std::fprintf(stderr, "orxflash: %s\n",
                     error.empty() ? "no ConvertSuperfile export" : error.c_str());
        return 1;
    }
    if (int opened = module.OpenHeadless(); opened != 0) {
        SayFailure("the module did not open", opened, AskFailure(module, -1).reason);
        return 1;
    }
    std::vector<std::vector<char>> buffers(kMaxImages, std::vector<char>(kPathSize, '\0'));
    std::vector<char*> entries;
    for (auto& buffer : buffers) {
        entries.push_back(buffer.data());
    }
    OrxTextArray images{entries.data(), kMaxImages, kPathSize};
    int upToDate = 0;
    int result = module.convertSuperfile(options.superfile.c_str(), &upToDate, &images);

    std::vector<std::string> paths;
    for (char* entry : entries) {
        if (entry[0] != '\0') {
            paths.emplace_back(entry);
        }
    }
    if (options.json) {
        nlohmann::json line = {
            {"result", result}, {"upToDate", result == 0 && upToDate == 1}, {"images", paths}};
        std::printf("%s\n",
                    line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    } else if (result == 0) {
        std::printf(upToDate == 1 ? "Images already up to date (%zu image files):\n"
                                  : "Converted %zu image files:\n",
                    paths.size());
        for (const std::string& path : paths) {
            std::printf("  %s\n", path.c_str());
        }
        if (upToDate != 1) {
            std::string index = options.superfile;
            for (size_t at; (at = index.find(".shx")) != std::string::npos;) {
                index.erase(at, 4);
            }
            std::printf("Image index written: %s.hmg\n", index.c_str());
        }
    }
    if (result != 0) {
        SayFailure("cannot convert " + options.superfile, result, AskFailure(module, -1).reason);
    }
    return result == 0 ? 0 : 1;
}
