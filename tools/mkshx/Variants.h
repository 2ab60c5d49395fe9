// Named deliberate faults, applied to a parsed manifest (the CLI's --variant).
#pragma once

#include <string>
#include <vector>

#include "Manifest.h"

namespace mkshx {

// wrong-kind, r4x-kind, count-259, boot-slot, missing-block, no-checksum,
// bad-checksum. Throws ManifestError for an unknown name or a manifest the
// variant cannot apply to.
void ApplyVariant(Manifest& manifest, const std::string& name);
const std::vector<std::string>& VariantNames();

}  // namespace mkshx
