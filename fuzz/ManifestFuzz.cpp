// Fuzz target for mkshx manifests. Input: the manifest's JSON text, read as
// mkshx reads it (comments allowed). A manifest is accepted or refused with a
// ManifestError, nothing else; a small accepted one is built in memory and the
// superfile reader parses what was built. For a plain manifest (the default
// kind and file count, slot 0 first, no inverted range, no boot slot range)
// the reader must accept the header and see exactly the manifest's images.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include <nlohmann/json.hpp>

#include "Mkshx.h"
#include "SRecordDecode.h"
#include "SuperfileFormat.h"

namespace {

// Keeps an input from building images that take long to generate.
constexpr uint64_t kMaxImageBytes = 16 << 10;

void Check(bool holds) {
    if (!holds) {
        std::abort();
    }
}

bool IsPlain(const mkshx::Manifest& manifest) {
    if (manifest.kind != "K380 Superfile" || manifest.fileCount) {
        return false;
    }
    if (!manifest.subfiles.empty() &&
        (manifest.subfiles.front().slot != 0 || !manifest.subfiles.front().HasImage())) {
        return false;
    }
    for (const mkshx::ManifestSubfile& sub : manifest.subfiles) {
        if (sub.Inverted() || (sub.slot == mkshx::kBootSlot && sub.hasRange)) {
            return false;
        }
    }
    return true;
}

void ReadBack(const mkshx::Manifest& manifest, const mkshx::BuiltSuperfile& built) {
    shx::SuperfileHeader header;
    shx::DescriptorWalk walk;
    shx::HeaderVerdict verdict =
        shx::ParseSuperfileHeader(built.bytes.data(), built.bytes.size(), header, walk);
    if (IsPlain(manifest)) {
        Check(verdict == shx::HeaderVerdict::Valid);
        std::bitset<shx::kSlots> images;
        for (const mkshx::ManifestSubfile& sub : manifest.subfiles) {
            if (sub.HasImage()) {
                images.set(static_cast<size_t>(sub.slot));
            }
        }
        Check(walk.present == images);
    }
    // Every line the builder writes decodes with an address layout.
    if (built.bytes.size() > mkshx::kHeaderSize) {
        std::string_view rest(
            reinterpret_cast<const char*>(built.bytes.data()) + mkshx::kHeaderSize,
            built.bytes.size() - mkshx::kHeaderSize);
        std::string_view line;
        shx::SRecordFields fields;
        while (shx::NextLine(rest, line)) {
            Check(shx::DecodeSRecordLine(line, fields));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    nlohmann::json value = nlohmann::json::parse(text, nullptr, false, /*ignore_comments=*/true);
    if (value.is_discarded()) {
        return 0;
    }
    mkshx::Manifest manifest;
    try {
        manifest = mkshx::ParseManifest(value);
    } catch (const mkshx::ManifestError&) {
        return 0;
    }
    uint64_t imageBytes = 0;
    for (const mkshx::ManifestSubfile& sub : manifest.subfiles) {
        imageBytes += sub.Size();
    }
    if (imageBytes > kMaxImageBytes) {
        return 0;
    }
    mkshx::BuiltSuperfile built;
    try {
        built = mkshx::BuildSuperfile(manifest);
    } catch (const mkshx::ManifestError&) {
        return 0;
    }
    ReadBack(manifest, built);
    return 0;
}
