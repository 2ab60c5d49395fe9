// Reading and validating a superfile: open, checksum, image index, header,
// kind, file count and the walk that fills one record per sub-file slot.
#include <fcntl.h>

#include <algorithm>
#include <cstdio>
#include <system_error>
#include <thread>
#include <vector>

#include "ORX_FP_FlashFileIO.h"
#include "platform/File.h"

namespace {

constexpr const char* kUnableToOpen = "Unable to open file.";
constexpr const char* kChecksumMismatch =
    "ERROR: Super-file checksum mismatch.  Download original super-file.\r\nFlashing with older "
    "versions of ORX may cause this.\r\n";
constexpr const char* kInvalidSuperfile =
    "ERROR: The file you have selected is an invalid superfile.\nPlease enter in a valid "
    "superfile.";
constexpr const char* kWrongCustomer =
    "ERROR: The file you have selected got a wrong CustomerID.\nPlease enter in a correct "
    "superfile.";
constexpr const char* kTooManyFiles = "ERROR: Superfile exceeds maximum file limit!";
constexpr const char* kCountMismatch =
    "Possible Corrupt SuperFile.  File count does not match with the number of valid files.";
constexpr const char* kNoVersion = "-------------";

constexpr size_t kChecksumChunk = 128 << 10;
constexpr uint64_t kParallelSumFrom = 8 << 20;

std::string VersionText(const char* format, uint16_t version) {
    char text[32];
    std::snprintf(text, sizeof text, format, static_cast<unsigned>(version));
    return text;
}

}  // namespace

bool CFlashFileIO::ReadTail(int fd, shx::StoredChecksum& stored) {
    size_t length = fileSize < shx::kTrailerSize ? fileSize : shx::kTrailerSize;
    std::vector<uint8_t> tail(length);
    if (!platform::ReadAt(fd, fileSize - length, tail.data(), length)) {
        return false;
    }
    stored = shx::FindStoredChecksum(tail.data(), length);
    return true;
}

namespace {

// The byte sum of [from, to) of the file; false when it cannot be read.
bool SumRange(int fd, uint64_t from, uint64_t to, uint64_t& sum) {
    platform::AlignedBuffer chunk(kChecksumChunk);
    sum = 0;
    for (uint64_t offset = from; offset < to;) {
        size_t want = to - offset < chunk.size() ? static_cast<size_t>(to - offset) : chunk.size();
        if (!platform::ReadAt(fd, offset, chunk.data(), want)) {
            return false;
        }
        sum += shx::ByteSum(chunk.data(), want);
        offset += want;
    }
    return true;
}

}  // namespace

// The whole-file sum, less the tail's text from its first "S7" on, against the
// stored checksum. A large file is summed in two halves side by side.
bool CFlashFileIO::ChecksumMatches(int fd, const shx::StoredChecksum& stored) {
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    uint64_t sum = 0;
    uint64_t middle =
        fileSize >= kParallelSumFrom ? fileSize / 2 / kChecksumChunk * kChecksumChunk : fileSize;
    uint64_t upperSum = 0;
    bool upperRead = true;
    std::thread upper;
    if (middle < fileSize) {
        try {
            upper = std::thread([&] { upperRead = SumRange(fd, middle, fileSize, upperSum); });
        } catch (const std::system_error&) {
            middle = fileSize;  // no second thread: one pass over the whole file
        }
    }
    bool lowerRead = SumRange(fd, 0, middle, sum);
    if (upper.joinable()) {
        upper.join();
    }
    if (!lowerRead || !upperRead) {
        return false;
    }
    sum += upperSum;
    size_t tailLength = fileSize < shx::kTrailerSize ? fileSize : shx::kTrailerSize;
    std::vector<uint8_t> tail(tailLength);
    if (!platform::ReadAt(fd, fileSize - tailLength, tail.data(), tailLength)) {
        return false;
    }
    sum -= shx::ByteSum(tail.data() + stored.excludedFrom, stored.excludedTo - stored.excludedFrom);
    return static_cast<uint16_t>(sum) == stored.value;
}

// The superfile opened as a regular file, its length taken; a file that
// cannot be opened is reported.
platform::UniqueFd CFlashFileIO::OpenSuperfile(int quiet) {
    int openError = 0;
    platform::UniqueFd file;
    if (dialog == nullptr || !superfilePath.empty()) {
        file = platform::OpenRegularForReading(superfilePath, openError);
    }
    if (!file.Valid()) {
        ReportOpenFailure(kUnableToOpen + superfilePath, quiet, __LINE__);
        return file;
    }
    int64_t length = platform::FileLength(file.Get());
    fileSize = length > 0xFFFFFFFF ? 0xFFFFFFFF : static_cast<uint32_t>(length < 0 ? 0 : length);
    return file;
}

// The stored checksum, and whether the images on disk are this superfile's;
// the whole file is summed only when they are not.
bool CFlashFileIO::CheckSuperfileSum(int fd, int quiet) {
    shx::StoredChecksum stored;
    if (!ReadTail(fd, stored)) {
        ReportOpenFailure(kUnableToOpen + superfilePath, quiet, __LINE__);
        return false;
    }
    indexPath = shx::IndexFileName(superfilePath);

    // Images count as up to date only for an index written from this very
    // superfile: same stored checksum (never 0), names of its own image files,
    // and image files that still hold what the index recorded.
    imagesUpToDate = ReadImageIndex() == 1 && superfileChecksum != 0 &&
                     superfileChecksum == stored.value && IndexNamesMatch() &&
                     CheckImageChecksums() == 1;

    if (stored.value != 0 && !imagesUpToDate && !ChecksumMatches(fd, stored)) {
        ReportOpenFailure(kChecksumMismatch + superfilePath, quiet, __LINE__);
        return false;
    }
    superfileChecksum = stored.value;
    return true;
}

// The header (from the file, unless the index supplied it), its kind and
// its file count.
bool CFlashFileIO::ReadHeader(int fd, int quiet) {
    if (!imagesUpToDate) {
        if (fileSize < shx::kHeaderSize || !platform::ReadAt(fd, 0, header.data(), header.size())) {
            header.fill(0);
            ReportInvalid(kInvalidSuperfile, quiet, __LINE__);
            return false;
        }
    }
    shx::HeaderVerdict verdict = shx::CheckHeaderKind(header);
    if (verdict == shx::HeaderVerdict::WrongCustomer) {
        ReportInvalid(kWrongCustomer, quiet, __LINE__);
        return false;
    }
    if (verdict == shx::HeaderVerdict::Invalid) {
        ReportInvalid(kInvalidSuperfile, quiet, __LINE__);
        return false;
    }
    fileCount = shx::FileCount(header);
    if (verdict == shx::HeaderVerdict::TooManyFiles) {
        ReportInvalid(kTooManyFiles, quiet, __LINE__);
        return false;
    }
    return true;
}

int CFlashFileIO::ReadSuperfile(FailureBoxes boxes) {
    const int quiet = boxes == FailureBoxes::Quiet ? 1 : 0;
    records[shx::kRamDownloaderSlot].platformFallback = false;
    if (dialog != nullptr) {
        superfilePath = dialog->GetControlText(ctl::kFileName);
    }
    header.fill(0);
    platform::UniqueFd file = OpenSuperfile(quiet);
    if (!file.Valid() || !CheckSuperfileSum(file.Get(), quiet) || !ReadHeader(file.Get(), quiet)) {
        return 0;
    }
    if (dialog != nullptr) {
        dialog->ListReset(ctl::kFileMiscList);
    }
    if (WalkSubfiles(quiet) != 1) {
        return 0;
    }
    if (dialog != nullptr) {
        ShowFileInformation();
    }
    return 1;
}

void CFlashFileIO::FillRecord(int slot, const shx::SubfileDescriptor& descriptor) {
    SubfileRecord& record = records[static_cast<size_t>(slot)];
    record.start = descriptor.start;
    record.end = descriptor.end;
    record.length = descriptor.end - descriptor.start + 1;
    record.declaredChecksum = descriptor.declaredChecksum;
    record.type = descriptor.type;
    record.descriptorBytes = descriptor.descriptorBytes;
    record.version = descriptor.version;
    record.highMark = descriptor.start;
    record.imageName = shx::ImageFileName(superfilePath, slot);
    record.present = true;
}

// Slot 0, the RAM downloader: its checksum, version and the platform its
// bytes name (or, when they name none, the boot slot's bytes).
void CFlashFileIO::FillRamDownloaderRecord(const shx::SubfileDescriptor& descriptor) {
    SubfileRecord& record = records[shx::kRamDownloaderSlot];
    FillRecord(shx::kRamDownloaderSlot, descriptor);
    record.type8 = false;
    record.combo = false;
    ramChecksum = descriptor.declaredChecksum;
    ramVersionText = VersionText("v0x%.6X", descriptor.version);
    if (PlatformName(descriptor.Family(), descriptor.Variant()) == 0) {
        shx::SubfileDescriptor boot = shx::DescriptorAt(header, shx::kBootSlot);
        if (PlatformName(boot.Family(), boot.Variant()) == 1) {
            record.platformFallback = true;
        }
    }
    platformFamily = descriptor.Family();
}

// A code group's slot: empty, or a record with its barker code, its type and
// its line in the dialog's list. Code group 1 carries the application's
// checksum and version.
void CFlashFileIO::FillCodeGroupRecord(int slot, bool present) {
    SubfileRecord& record = records[static_cast<size_t>(slot)];
    const int codeGroup = slot - shx::kFirstCodeGroupSlot;
    if (!present) {
        record.present = false;
        record.type8 = false;
        if (codeGroup == 1) {
            appVersionText = kNoVersion;
        }
        return;
    }
    const shx::SubfileDescriptor descriptor = shx::DescriptorAt(header, slot);
    FillRecord(slot, descriptor);
    record.extraBytes = descriptor.extra;
    record.extraSum = shx::Sum16(descriptor.extra.data(), descriptor.extra.size());
    if (slot < shx::kBarkerEntries) {
        std::copy_n(header.data() + shx::BarkerEntryOffset(slot), shx::kBarkerSize,
                    record.barkerCode.begin());
    }
    record.type8 = descriptor.type == shx::kSubfileTypeMarked;
    record.combo = descriptor.type == shx::kSubfileTypeCombo;
    std::string version = VersionText(" v0x%.6X", descriptor.version);
    if (codeGroup == 1) {
        appChecksum = descriptor.declaredChecksum;
        appVersionText = version;
    }
    if (dialog != nullptr) {
        dialog->ListAdd(ctl::kFileMiscList, "Code Group " + std::to_string(codeGroup) + version);
        dialog->ListSelect(ctl::kFileMiscList, 0);
    }
}

// Fills the records of the slots the walk looked at, in order, then reports
// what it found: a non-empty descriptor the count leaves out means the count
// is wrong, and the file is refused rather than flashed in part.
int CFlashFileIO::WalkSubfiles(int quiet) {
    const shx::DescriptorWalk walk = shx::WalkDescriptors(header);
    for (int slot = 0; slot < walk.walked; ++slot) {
        if (slot == shx::kRamDownloaderSlot) {
            FillRamDownloaderRecord(shx::DescriptorAt(header, slot));
        } else if (slot == shx::kBootSlot) {
            records[shx::kBootSlot].present = false;
            bootVersionText = kNoVersion;
        } else {
            FillCodeGroupRecord(slot, walk.present[static_cast<size_t>(slot)]);
        }
    }
    if (walk.verdict == shx::HeaderVerdict::Invalid) {
        ReportInvalid(kInvalidSuperfile, quiet, __LINE__);
        return 0;
    }
    if (walk.verdict == shx::HeaderVerdict::BootSlotUsed) {
        ReportBootSlot();
        return 0;
    }
    for (int slot = walk.walked; slot < shx::kSlots; ++slot) {
        records[static_cast<size_t>(slot)].present = false;
    }
    if (walk.verdict == shx::HeaderVerdict::CountMismatch) {
        ReportInvalid(kCountMismatch, quiet, __LINE__);
        return 0;
    }
    return 1;
}
