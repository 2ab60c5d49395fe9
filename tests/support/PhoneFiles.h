// Simulated phones and flashable superfiles for engine tests.
#pragma once

#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "Phone.h"

namespace testsupport {

// A file of the source tree (examples, profiles).
std::string SourceFile(const std::string& relative);
std::string PhoneProfile(const std::string& name);

// Attaches an example phone, with its profile changed first when asked.
std::shared_ptr<phonesim::Phone> AttachExamplePhone(
    const std::string& name, const std::function<void(nlohmann::json&)>& change = nullptr);

// The sample release made flashable onto a phone of the given platform: each
// code group carries its descriptor (data type 6 for code groups 0 and 1).
nlohmann::json FlashableManifest(int family = 2, int variant = 2);
nlohmann::json& Subfile(nlohmann::json& manifest, const std::string& slot);
void RemoveSubfile(nlohmann::json& manifest, const std::string& slot);

}  // namespace testsupport
