// The image index file (.hmg): what the last conversion of a superfile wrote,
// so that an unchanged superfile skips the next one.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "ORX_FP_FlashFileIO.h"
#include "platform/File.h"

namespace {

constexpr size_t kSumBlock = 64 * 1024;

}  // namespace

std::string CFlashFileIO::IndexEntryName(int slot) const {
    return shx::IndexEntryName(indexTable.data(), slot);
}

uint16_t CFlashFileIO::IndexEntrySum(int slot) const {
    return shx::IndexEntrySum(indexTable.data(), slot);
}

bool CFlashFileIO::IndexEntryPresent(int slot) const {
    return shx::IndexEntryPresent(indexTable.data(), slot);
}

// Each slot's entry from its record; a present image's sum is the one the
// build worked out, or the file's own when this object did not build it.
void CFlashFileIO::FillIndexTable() {
    std::fill(indexTable.begin(), indexTable.end(), 0);
    for (int slot = 0; slot < shx::kSlots; ++slot) {
        const SubfileRecord& record = records[static_cast<size_t>(slot)];
        shx::IndexEntryFields entry;
        entry.name = record.imageName;
        entry.barker = record.barkerCode;
        entry.present = record.present;
        if (record.present && record.builtSum >= 0) {
            entry.hasSum = true;
            entry.sum = static_cast<uint16_t>(record.builtSum);
        } else if (record.present) {
            entry.hasSum = SumFile16(record.imageName, entry.sum) == 1;
        }
        shx::EncodeIndexEntry(indexTable.data(), slot, entry);
    }
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
    FillIndexTable();
    indexChecksum = shx::IndexChecksum(header.data(), indexTable.data());
    const std::vector<uint8_t> image =
        shx::EncodeIndex(superfileChecksum, header.data(), indexTable.data());
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
