#include "Invariant.h"

#include <cstdio>

namespace campaign {

namespace {

constexpr size_t kChecksumEntry = 8;  // u32 valid, u16 sum, u16 0
constexpr size_t kBarkerBytes = 8;

std::string Differences(int codeGroup, const std::vector<uint8_t>& phone,
                        const std::vector<uint8_t>& image, bool barker) {
    size_t count = 0;
    size_t first = 0;
    for (size_t i = 0; i < image.size(); ++i) {
        if (phone[i] != image[i]) {
            first = count == 0 ? i : first;
            ++count;
        }
    }
    if (count == 0) {
        return {};
    }
    char text[200];
    std::snprintf(text, sizeof text,
                  "code group %d: %zu of %zu bytes differ, first at +0x%zX (phone 0x%02X, file "
                  "0x%02X)%s",
                  codeGroup, count, image.size(), first, phone[first], image[first],
                  barker && first < kBarkerBytes ? ", in the barker" : "");
    return text;
}

uint32_t Le32(const std::vector<uint8_t>& bytes, size_t at) {
    return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
           uint32_t{bytes[at + 3]} << 24;
}

void Fnv(uint64_t& hash, const std::vector<uint8_t>& bytes) {
    for (uint8_t b : bytes) {
        hash = (hash ^ b) * 0x100000001B3ULL;
    }
    hash = (hash ^ bytes.size()) * 0x100000001B3ULL;
}

}  // namespace

std::vector<std::string> CheckFlashed(const phonesim::Phone& phone, const Release& release,
                                      const std::vector<uint8_t>* keptSettings) {
    std::vector<std::string> found;
    const std::vector<uint8_t> record = phone.ChecksumRecord();
    for (const auto& [slot, image] : release.built.images) {
        if (slot < mkshx::kFirstCodeGroupSlot) {
            continue;  // the RAM downloader lives in RAM only
        }
        const int codeGroup = slot - mkshx::kFirstCodeGroupSlot;
        const GroupPlan* group = release.Group(codeGroup);
        if (group == nullptr) {
            found.push_back("code group " + std::to_string(codeGroup) + " is not in the layout");
            continue;
        }
        std::string bytes = Differences(codeGroup, phone.ReadFlash(group->start, image.size()),
                                        image, group->type == 2);
        if (!bytes.empty()) {
            found.push_back(bytes);
        }
        const size_t at = kChecksumEntry * static_cast<size_t>(1 + codeGroup);
        if (record.size() < at + kChecksumEntry) {
            found.push_back("the checksum record is short");
            continue;
        }
        const uint16_t expected = mkshx::Sum16(image.data(), image.size());
        const uint16_t sum = static_cast<uint16_t>(record[at + 4] | record[at + 5] << 8);
        if (Le32(record, at) != 1 || sum != expected) {
            char text[120];
            std::snprintf(text, sizeof text,
                          "code group %d: checksum record %s 0x%04X, the file's image sums to "
                          "0x%04X",
                          codeGroup, Le32(record, at) == 1 ? "gives" : "marks invalid,", sum,
                          expected);
            found.push_back(text);
        }
    }
    if (keptSettings != nullptr && phone.SettingsData() != *keptSettings) {
        found.push_back("settings data not the ones the phone had (" +
                        std::to_string(phone.SettingsData().size()) + " bytes now, " +
                        std::to_string(keptSettings->size()) + " before)");
    }
    return found;
}

uint64_t PhoneStateHash(const phonesim::Phone& phone) {
    uint64_t hash = 0xCBF29CE484222325ULL;
    for (const phonesim::CodeGroupSpec& group : phone.GetProfile().layout) {
        Fnv(hash, phone.ReadFlash(group.range.start, static_cast<size_t>(group.range.Size())));
    }
    Fnv(hash, phone.SettingsData());
    return hash;
}

}  // namespace campaign
