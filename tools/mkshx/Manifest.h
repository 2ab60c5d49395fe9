// The manifest: a JSON description of one superfile, parsed into plain structs.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "SuperfileFormat.h"

namespace mkshx {

// A manifest that cannot be turned into a superfile; the message names the
// offending field.
class ManifestError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

inline constexpr int kSlotCount = shx::kSlots;
inline constexpr int kRamDownloaderSlot = shx::kRamDownloaderSlot;
inline constexpr int kBootSlot = shx::kBootSlot;
inline constexpr int kFirstCodeGroupSlot = shx::kFirstCodeGroupSlot;
constexpr int kMaxRecordBytes = 250;
constexpr uint64_t kMaxSubfileSize = uint64_t{1} << 30;

using Bytes8 = std::array<uint8_t, 8>;

enum class DataKind { Random, Counter, Fill, Hex };

// Where a sub-file's image bytes come from.
struct DataSpec {
    DataKind kind = DataKind::Random;
    std::optional<uint64_t> seed;  // random: mixed with the manifest seed
    uint8_t fillByte = 0xFF;       // fill
    std::vector<uint8_t> hex;      // hex: may be shorter than the sub-file
};

// A range of the sub-file, relative to its start, that no data record covers.
struct Hole {
    uint32_t offset = 0;
    uint32_t length = 0;
};

// An S3 record emitted in a sub-file's block after its data records; it may
// lie partly or wholly outside the sub-file's range.
struct ExtraRecord {
    uint32_t address = 0;
    std::vector<uint8_t> data;
};

struct ManifestSubfile {
    int slot = 0;
    bool hasRange = false;  // false only for an empty slot 1
    uint32_t start = 0;
    uint32_t end = 0;  // inclusive
    uint16_t type = 0;
    uint16_t version = 0;
    uint8_t flag = 0xFF;
    uint8_t variant = 2;  // family 2, variant 2: "GSM k.380"
    uint8_t family = 2;
    std::array<uint8_t, 3> carried{};
    std::optional<Bytes8> extra;       // descriptor bytes 8..15
    std::optional<Bytes8> barker;      // type 2: the first image bytes
    std::optional<Bytes8> tableEntry;  // header barker table entry (slot < 16)
    std::optional<uint16_t> declaredChecksum;
    DataSpec data;
    std::vector<Hole> holes;
    std::vector<ExtraRecord> extraRecords;
    bool omitBlock = false;
    // Write the descriptor bytes 16..23 (flag, variant, family, carried,
    // version) into image bytes 8..15, where a phone looks for them.
    bool descriptor = false;

    bool Inverted() const { return hasRange && end < start; }
    // True when the sub-file has an image: a range that is not inverted.
    bool HasImage() const { return hasRange && !Inverted(); }
    uint64_t Size() const { return HasImage() ? uint64_t{end} - start + 1 : 0; }
};

enum class ChecksumMode { Auto, None, Bad };

struct Manifest {
    std::string kind = "K380 Superfile";
    std::string date = "Jan 01 2026";
    std::optional<uint16_t> fileCount;  // default: present sub-files except slot 1
    int recordBytes = 32;
    ChecksumMode checksum = ChecksumMode::Auto;
    uint64_t seed = 0;
    bool allowInverted = false;
    std::vector<ManifestSubfile> subfiles;  // sorted by slot, each slot once

    ManifestSubfile* Find(int slot);
    const ManifestSubfile* Find(int slot) const;
};

Manifest ParseManifest(const nlohmann::json& json);
Manifest LoadManifest(const std::string& path);

// Re-checks the cross-field rules; ParseManifest and ApplyVariant call it.
void ValidateManifest(const Manifest& manifest);

}  // namespace mkshx
