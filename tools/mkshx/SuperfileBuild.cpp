// Header + body + trailer, then a re-check of the trailer by the reader's rule.
#include <cstdio>
#include <string>

#include "Checksum.h"
#include "SRecordText.h"
#include "Superfile.h"
#include "SuperfileParts.h"

namespace mkshx {

namespace {

constexpr char kMarker[] = "4353";

std::string Hex4(uint16_t value) {
    char text[8];
    snprintf(text, sizeof text, "%04X", value);
    return text;
}

// The rule picks the first "S7" of the last 64 bytes and the first "4353"
// after it; a short last block can put an earlier S7, and data text holding
// "4353", in front of the marker.
[[noreturn]] void FailTrailer(const std::string& what) {
    throw ManifestError("superfile trailer check failed: " + what +
                        "; the last block is short or its text holds \"4353\" - enlarge or "
                        "change the last sub-file");
}

void AddTrailer(const Manifest& manifest, BuiltSuperfile& built, SRecordWriter& writer) {
    std::vector<uint8_t>& bytes = built.bytes;
    if (manifest.checksum == ChecksumMode::None) {
        writer.LineEnd();
        if (ReadTrailerChecksum(bytes.data(), bytes.size()).found) {
            FailTrailer("a file asked to carry no checksum still reads as carrying one");
        }
        return;
    }
    writer.Text(kMarker);
    size_t digits = bytes.size();
    writer.Text("0000");
    writer.LineEnd();
    // The digits lie after the S7 the rule picks, so they do not change the sum.
    TrailerChecksum rule = ReadTrailerChecksum(bytes.data(), bytes.size());
    if (!rule.found) {
        FailTrailer("no checksum is found in the last 64 bytes");
    }
    uint16_t stored = rule.computed;
    if (manifest.checksum == ChecksumMode::Bad) {
        stored = static_cast<uint16_t>(stored + 1);
    }
    std::string text = Hex4(stored);
    std::copy(text.begin(), text.end(), bytes.begin() + digits);

    TrailerChecksum check = ReadTrailerChecksum(bytes.data(), bytes.size());
    bool wantMatch = manifest.checksum == ChecksumMode::Auto;
    if (!check.found || check.stored != stored || (check.stored == check.computed) != wantMatch) {
        FailTrailer("the digits " + text + " read back as " + Hex4(check.stored) +
                    " against a file sum of " + Hex4(check.computed));
    }
    built.storedChecksum = stored;
    built.hasChecksum = true;
}

}  // namespace

BuiltSuperfile BuildSuperfile(const Manifest& manifest) {
    ValidateManifest(manifest);
    BuiltSuperfile built;
    built.bytes.reserve(kHeaderSize + EstimateBodySize(manifest));
    built.bytes.resize(kHeaderSize, 0);
    SRecordWriter writer(built.bytes);
    Body body = WriteBody(manifest, writer);
    WriteHeader(manifest, body.images, built.bytes.data());

    if (body.anyBlock) {
        AddTrailer(manifest, built, writer);
    } else if (manifest.checksum == ChecksumMode::Bad) {
        throw ManifestError("manifest: checksum \"bad\" needs at least one block to follow");
    } else if (ReadTrailerChecksum(built.bytes.data(), built.bytes.size()).found) {
        FailTrailer("a file without blocks reads as carrying a checksum");
    }
    for (int slot : body.emittedImages) {
        built.images[slot] = std::move(body.images[slot]);
    }
    return built;
}

}  // namespace mkshx
