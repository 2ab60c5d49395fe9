#include "PhoneFiles.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "OrxHost.h"
#include "TestSupport.h"

namespace testsupport {

std::string SourceFile(const std::string& relative) {
    const char* root = std::getenv("ORX_SOURCE_DIR");
    return std::string(root != nullptr ? root : ORX_SOURCE_DIR_FALLBACK) + "/" + relative;
}

std::string PhoneProfile(const std::string& name) {
    return SourceFile("examples/phones/" + name + ".json");
}

std::shared_ptr<phonesim::Phone> AttachExamplePhone(
    const std::string& name, const std::function<void(nlohmann::json&)>& change) {
    if (!change) {
        return orxhost::AttachPhone(PhoneProfile(name));
    }
    nlohmann::json profile = nlohmann::json::parse(ReadText(PhoneProfile(name)));
    change(profile);
    return orxhost::AttachPhone(
        phonesim::Phone::FromJson(profile.dump(), SourceFile("examples/phones")));
}

nlohmann::json FlashableManifest(int family, int variant) {
    nlohmann::json manifest = nlohmann::json::parse(ReadText(SourceFile("examples/sample.json")));
    for (nlohmann::json& sub : manifest["subfiles"]) {
        sub["family"] = family;
        sub["variant"] = variant;
        std::string slot = sub["slot"];
        if (slot.rfind("cg", 0) == 0) {
            sub["descriptor"] = true;
            sub["carried"] = slot == "cg0" || slot == "cg1" ? "060000"
                             : slot == "cg2"                ? "090000"
                                                            : "070000";
        }
    }
    return manifest;
}

nlohmann::json& Subfile(nlohmann::json& manifest, const std::string& slot) {
    for (nlohmann::json& sub : manifest["subfiles"]) {
        if (sub["slot"] == slot) {
            return sub;
        }
    }
    throw std::runtime_error("no sub-file " + slot);
}

void RemoveSubfile(nlohmann::json& manifest, const std::string& slot) {
    auto& subs = manifest["subfiles"];
    subs.erase(std::remove_if(subs.begin(), subs.end(),
                              [&](const nlohmann::json& s) { return s["slot"] == slot; }),
               subs.end());
}

}  // namespace testsupport
