#include "DemoPlan.h"

#include <nlohmann/json.hpp>

#include "DemoFiles.h"
#include "Mkshx.h"

namespace {

// The GSM k.380 release every code group of which carries its descriptor.
nlohmann::json K380Release() {
    return nlohmann::json::parse(DemoFile("k380.json"), nullptr, true, true);
}

// The same release as a combo file: the settings area is upgraded and the
// phone's settings are kept across the flash.
nlohmann::json K380Combo() {
    nlohmann::json manifest = K380Release();
    for (nlohmann::json& sub : manifest["subfiles"]) {
        if (sub["slot"] == "cg2") {
            sub["type"] = 4;
        }
    }
    return manifest;
}

// The same code built for CDMA Dorsk phones (platform 1/1).
nlohmann::json DorskRelease() {
    nlohmann::json manifest = K380Release();
    manifest["comment"] = "The demo's CDMA Dorsk release.";
    for (nlohmann::json& sub : manifest["subfiles"]) {
        sub["family"] = 1;
        sub["variant"] = 1;
    }
    return manifest;
}

}  // namespace

const std::vector<DemoPhone>& DemoPhones() {
    static const std::vector<DemoPhone> phones = {
        {"flash-hmq-vintrel.json", "k380", "flash mode, older versions", false},
        {"kestrova-t340e.json", "k380-combo", "combo file, keeps settings", true},
        {"blank-r4x-dorsk.json", "dorsk", "blank, boot mode", false},
        {"serial-1000.json", "dorsk", "serial line, 9600 baud", false},
    };
    return phones;
}

std::map<std::string, std::string> BuildDemoReleases(const std::filesystem::path& directory) {
    const std::map<std::string, nlohmann::json> releases = {
        {"k380", K380Release()}, {"k380-combo", K380Combo()}, {"dorsk", DorskRelease()}};
    std::map<std::string, std::string> paths;
    for (const auto& [name, manifest] : releases) {
        std::string path = (std::filesystem::absolute(directory) / (name + ".shx")).string();
        mkshx::WriteSuperfile(mkshx::BuildSuperfile(mkshx::ParseManifest(manifest)), path, false);
        paths[name] = path;
    }
    return paths;
}
