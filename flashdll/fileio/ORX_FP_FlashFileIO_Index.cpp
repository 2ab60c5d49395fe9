// The image index file (.hmg): what the last conversion of a superfile wrote,
// so that an unchanged superfile skips the next one.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "ORX_FP_FlashFileIO.h"
#include "platform/File.h"

namespace {

constexpr size_t kNameOffset = 0;
constexpr size_t kSumOffset = 256;
constexpr size_t kBarkerOffset = 258;
constexpr size_t kPresentOffset = 268;
constexpr size_t kSumBlock = 64 * 1024;

}  // namespace

namespace shx {

std::string IndexEntryName(const uint8_t* table, int slot) {
    const char* name = reinterpret_cast<const char*>(table + slot * kIndexEntrySize + kNameOffset);
    return std::string(name, strnlen(name, kIndexNameRoom));
}

uint16_t IndexEntrySum(const uint8_t* table, int slot) {
    return ReadLe16(table + slot * kIndexEntrySize + kSumOffset);
}

bool IndexEntryPresent(const uint8_t* table, int slot) {
    return ReadLe32(table + slot * kIndexEntrySize + kPresentOffset) == 1;
}

// An index copied along with another superfile's images never matches.
bool IndexNamesMatch(const uint8_t* table, const std::string& superfilePath) {
    for (int slot = 0; slot < kSlots; ++slot) {
        if (!IndexEntryPresent(table, slot)) {
            continue;
        }
        std::string expected = ImageFileName(superfilePath, slot);
        if (expected.empty() || expected.size() >= kIndexNameRoom ||
            IndexEntryName(table, slot) != expected) {
            return false;
        }
    }
    return true;
}

IndexVerdict ParseIndex(const uint8_t* data, size_t size, IndexView& index) {
    // An index of any other length is damaged or of another layout.
    if (data == nullptr || size != kIndexFileSize) {
        return IndexVerdict::WrongSize;
    }
    index.version = ReadLe16(data);
    if (index.version != kIndexVersion) {
        return IndexVerdict::WrongVersion;
    }
    index.checksum = ReadLe16(data + 2);
    index.superfileChecksum = ReadLe16(data + 4);
    index.header = data + 6;
    index.table = data + 6 + kHeaderSize;
    uint16_t expected = static_cast<uint16_t>(Sum16(index.table, kIndexTableSize) +
                                              Sum16(index.header, kHeaderSize));
    return index.checksum == expected ? IndexVerdict::Valid : IndexVerdict::BadChecksum;
}

}  // namespace shx

std::string CFlashFileIO::IndexEntryName(int slot) const {
    return shx::IndexEntryName(indexTable.data(), slot);
}

uint16_t CFlashFileIO::IndexEntrySum(int slot) const {
    return shx::IndexEntrySum(indexTable.data(), slot);
}

bool CFlashFileIO::IndexEntryPresent(int slot) const {
    return shx::IndexEntryPresent(indexTable.data(), slot);
}

// Written beside its final name and then renamed, so a reader sees either the
// old index or the whole new one, never a part.
int CFlashFileIO::WriteImageIndex() {
    indexVersion = shx::kIndexVersion;
    indexChecksum = 0;
    int error = 0;
    const std::string partPath = indexPath + ".part";
    // Whatever holds the temporary name goes first (a link in its place is
    // removed, not written through); one planted again meanwhile is refused.
    unlink(partPath.c_str());
    platform::UniqueFd file = platform::CreateForWriting(partPath, error);
    if (!file.Valid()) {
        return 0;
    }
    std::fill(indexTable.begin(), indexTable.end(), 0);
    for (int slot = 0; slot < shx::kSlots; ++slot) {
        const SubfileRecord& record = records[static_cast<size_t>(slot)];
        uint8_t* entry = IndexEntry(slot);
        std::memcpy(entry + kNameOffset, record.imageName.data(),
                    std::min(record.imageName.size(), shx::kIndexNameRoom));
        std::memcpy(entry + kBarkerOffset, record.barkerCode.data(), shx::kBarkerSize);
        shx::WriteLe32(entry + kPresentOffset, record.present ? 1 : 0);
        uint16_t sum = 0;
        if (record.present && record.builtSum >= 0) {
            shx::WriteLe16(entry + kSumOffset, static_cast<uint16_t>(record.builtSum));
        } else if (record.present && SumFile16(record.imageName, sum) == 1) {
            shx::WriteLe16(entry + kSumOffset, sum);
        }
    }
    indexChecksum = static_cast<uint16_t>(shx::Sum16(indexTable.data(), indexTable.size()) +
                                          shx::Sum16(header.data(), header.size()));
    std::vector<uint8_t> image(shx::kIndexFileSize);
    shx::WriteLe16(image.data(), indexVersion);
    shx::WriteLe16(image.data() + 2, indexChecksum);
    shx::WriteLe16(image.data() + 4, superfileChecksum);
    std::memcpy(image.data() + 6, header.data(), header.size());
    std::memcpy(image.data() + 6 + header.size(), indexTable.data(), indexTable.size());
    bool written = platform::WriteAll(file.Get(), image.data(), image.size());
    file.Reset();
    if (!written || rename(partPath.c_str(), indexPath.c_str()) != 0) {
        unlink(partPath.c_str());
        return 0;
    }
    return 1;
}

int CFlashFileIO::ReadImageIndex() {
    indexVersion = 0;
    indexChecksum = 0;
    superfileChecksum = 0;
    int error = 0;
    platform::UniqueFd file = platform::OpenRegularForReading(indexPath, error);
    if (!file.Valid()) {
        return 0;
    }
    std::fill(indexTable.begin(), indexTable.end(), 0);
    // An index of any other length is damaged or of another layout.
    if (platform::FileLength(file.Get()) != static_cast<int64_t>(shx::kIndexFileSize)) {
        return 0;
    }
    std::vector<uint8_t> image(shx::kIndexFileSize);
    if (!platform::ReadAt(file.Get(), 0, image.data(), image.size())) {
        return 0;
    }
    shx::IndexView index;
    shx::IndexVerdict verdict = shx::ParseIndex(image.data(), image.size(), index);
    indexVersion = index.version;
    if (verdict == shx::IndexVerdict::WrongSize || verdict == shx::IndexVerdict::WrongVersion) {
        return 0;
    }
    indexChecksum = index.checksum;
    superfileChecksum = index.superfileChecksum;
    std::memcpy(header.data(), index.header, header.size());
    std::memcpy(indexTable.data(), index.table, indexTable.size());
    return verdict == shx::IndexVerdict::Valid ? 1 : 0;
}

bool CFlashFileIO::IndexNamesMatch() const {
    return shx::IndexNamesMatch(indexTable.data(), superfilePath);
}

int CFlashFileIO::CheckImageChecksums() {
    int result = 1;
    for (int slot = 0; slot < shx::kSlots; ++slot) {
        if (!IndexEntryPresent(slot)) {
            continue;
        }
        uint16_t sum = 0;
        if (SumFile16(IndexEntryName(slot), sum) != 1 || sum != IndexEntrySum(slot)) {
            result = 0;
        }
    }
    return result;
}

int CFlashFileIO::SumFile16(const std::string& fileName, uint16_t& sum) {
    int error = 0;
    platform::UniqueFd file = platform::OpenRegularForReading(fileName, error);
    if (!file.Valid()) {
        return 0;
    }
    platform::AlignedBuffer block(kSumBlock);
    uint64_t total = 0;
    for (;;) {
        long got = platform::ReadSome(file.Get(), block.data(), block.size());
        if (got <= 0) {
            break;
        }
        total += shx::ByteSum(block.data(), static_cast<size_t>(got));
    }
    sum = static_cast<uint16_t>(total);
    return 1;
}
