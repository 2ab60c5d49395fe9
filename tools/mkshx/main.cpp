// mkshx: builds a superfile from a JSON manifest.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "Mkshx.h"

namespace {

std::string VariantList() {
    std::string list;
    for (const auto& name : mkshx::VariantNames()) {
        list += (list.empty() ? "" : ", ") + name;
    }
    return list;
}

int Run(int argc, char** argv) {
    CLI::App app{
        "Builds a superfile (.shx) from a JSON manifest; the manifest format is described in "
        "tools/mkshx/README.md."};
    std::string manifestPath;
    std::string outPath;
    bool images = false;
    std::vector<std::string> variants;
    uint64_t seed = 0;
    bool json = false;
    app.add_option("MANIFEST", manifestPath, "JSON manifest describing the superfile")->required();
    app.add_option("-o,--output", outPath, "superfile to write (OUT.shx)")->required();
    app.add_flag("--images", images,
                 "also write the image files a reader should derive, beside the superfile");
    app.add_option("--variant", variants,
                   "deliberate fault to apply, repeatable: " + VariantList());
    auto* seedOption =
        app.add_option("--seed", seed, "replaces the manifest's seed for generated random data")
            ->check([](const std::string& text) {
                // The unsigned conversion would otherwise wrap "-1" silently.
                return text.find('-') == std::string::npos ? "" : "must not be negative";
            });
    app.add_flag("--json", json, "print a one-line JSON summary on standard output");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0) {
            return app.exit(error);  // --help
        }
        std::cerr << "mkshx: " << error.what() << " (see --help)\n";
        return 1;
    }

    mkshx::Manifest manifest = mkshx::LoadManifest(manifestPath);
    if (seedOption->count() > 0) {
        manifest.seed = seed;
    }
    for (const auto& name : variants) {
        mkshx::ApplyVariant(manifest, name);
    }
    mkshx::BuiltSuperfile built = mkshx::BuildSuperfile(manifest);
    mkshx::WriteSuperfile(built, outPath, images);

    if (json) {
        nlohmann::json summary = {{"path", outPath},
                                  {"size", built.bytes.size()},
                                  {"storedChecksum", built.storedChecksum},
                                  {"hasChecksum", built.hasChecksum},
                                  {"images", nlohmann::json::array()}};
        if (images) {
            for (const auto& entry : built.images) {
                summary["images"].push_back(mkshx::ImageFileName(outPath, entry.first));
            }
        }
        std::cout << summary.dump() << '\n';
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& error) {
        std::cerr << "mkshx: " << error.what() << '\n';
        return 1;
    }
}
