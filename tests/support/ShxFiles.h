// Superfiles for tests, built with the superfile builder from JSON manifests.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "Mkshx.h"

namespace testsupport {

// A small valid manifest: RAM downloader, code groups 0 (type 2), 1, 2 and 4.
nlohmann::json SampleManifest();

// Builds the manifest and writes it to path (with the expected image files
// beside it when asked); returns what was built.
mkshx::BuiltSuperfile WriteShx(const nlohmann::json& manifest, const std::string& path,
                               bool writeImages = false);

}  // namespace testsupport
