// Converting a superfile into one image file per present sub-file, each an
// exact copy of the sub-file's address range with 0xFF where no record wrote,
// followed by the image index that lets the next job skip the work.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "ErrorLog.h"
#include "ORX_FP_FlashFileIO.h"
#include "ORX_FP_FlashHost.h"
#include "ORX_FP_FlashState.h"
#include "platform/File.h"
#include "platform/FileError.h"
#include "platform/MessageBox.h"

namespace {

constexpr const char* kSource = "ORX_FP_FlashFileIO";
constexpr const char* kWriteProtected =
    "Image file is currently write protected by another process!";
constexpr const char* kOutOfMemory = "ERROR: There is not enough memory to build the image files.";

// One conversion at a time in the whole module.
std::mutex imageLock;

std::string Printf(const char* format, int a, int b = 0) {
    char text[160];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

// True when another process holds the file's build lock.
bool LockedElsewhere(int fd) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
        flock(fd, LOCK_UN);
        return false;
    }
    return errno == EWOULDBLOCK;
}

// The image file opened as a regular file (never through a link) and locked
// against other processes; invalid with error set when either fails.
platform::UniqueFd OpenLockedImage(const std::string& name, int& error) {
    platform::UniqueFd fd = platform::OpenRegularForWriting(name, error);
    if (fd.Valid() && flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        error = errno;
        fd.Reset();
    }
    return fd;
}

}  // namespace

// Reading and checking only reads files, so jobs do it side by side; the
// module-wide lock is taken only to convert.
int CFlashFileIO::PrepareImages() {
    if (ReadSuperfile(0) != 1) {
        return 0;
    }
    if (imagesUpToDate) {
        return 1;
    }
    std::lock_guard guard(imageLock);
    // A job that held the lock meanwhile may have converted this superfile;
    // reading it again then takes up its index and barker codes.
    if (ConvertedMeanwhile() && ReadSuperfile(0) != 1) {
        return 0;
    }
    if (imagesUpToDate) {
        return 1;
    }
    if (BuildImageFiles() != 1) {
        return 0;
    }
    WriteImageIndex();
    return 1;
}

int CFlashFileIO::DeleteImageFiles() {
    int result = 1;
    for (int slot = 0; slot < shx::kSlots; ++slot) {
        const SubfileRecord& record = records[static_cast<size_t>(slot)];
        if (!record.present) {
            continue;
        }
        // A link under an image's name goes; the file it names is not touched.
        struct stat info {};
        if (lstat(record.imageName.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
            if (unlink(record.imageName.c_str()) != 0) {
                result = 0;
            }
            continue;
        }
        int error = 0;
        platform::UniqueFd existing = platform::OpenRegularForReading(record.imageName, error);
        if (!existing.Valid()) {
            continue;
        }
        // A file another process is building stays; creating it again meets
        // that process's lock and asks the user.
        if (LockedElsewhere(existing.Get())) {
            continue;
        }
        existing.Reset();
        if (unlink(record.imageName.c_str()) != 0) {
            result = 0;
        }
    }
    return result;
}

// An index left from an earlier build must not outlive the images it
// described: removed before any image is touched, it is written again only
// after a good build, so an interrupted build always leads to a rebuild.
bool CFlashFileIO::RemoveStaleIndex() {
    if (unlink(indexPath.c_str()) == 0 || errno == ENOENT) {
        return true;
    }
    ReportFileException(platform::FileErrorCauseFromErrno(errno));
    return false;
}

// A failure while the images are made: a full disk or a lack of memory is
// named as such; anything else leaves the file as held by another process.
void CFlashFileIO::ReportImageFailure(int error) {
    if (error == ENOMEM) {
        ReportError(kOutOfMemory, __LINE__);
        return;
    }
    int cause = platform::FileErrorCauseFromErrno(error);
    ReportFileException(cause);
    if (cause != platform::kDiskFull) {
        ReportBuildError(kWriteProtected);
    }
}

bool CFlashFileIO::CreateImageFile(int slot) {
    const std::string& name = records[static_cast<size_t>(slot)].imageName;
    int error = 0;
    platform::UniqueFd fd = OpenLockedImage(name, error);
    if (!fd.Valid()) {
        int cause = platform::FileErrorCauseFromErrno(error);
        ReportFileException(cause);
        // Retry tries once more; a second refusal ends the build like Cancel.
        if (cause == platform::kSharingViolation &&
            platform::ShowMessageBox({kWriteProtected, "ORX_FP_Flash", platform::BoxIcon::Stop,
                                      platform::BoxButtons::RetryCancel, true}) ==
                platform::BoxAnswer::Retry) {
            fd = OpenLockedImage(name, error);
        }
        if (!fd.Valid()) {
            if (cause != platform::kDiskFull) {
                ReportBuildError(kWriteProtected);
            }
            return false;
        }
    }
    return ReserveImage(slot, std::move(fd));
}

// Reserves the image's blocks, so that a full disk (or a range no disk
// holds) is reported here, before any work; then assembles it in memory while
// the budget allows and memory is given, else in its file.
bool CFlashFileIO::ReserveImage(int slot, platform::UniqueFd fd) {
    const SubfileRecord& record = records[static_cast<size_t>(slot)];
    ImageFile& image = images[static_cast<size_t>(slot)];
    image.length = static_cast<uint64_t>(record.end) - record.start + 1;
    int error = 0;
    if (ftruncate(fd.Get(), 0) != 0 ||
        (error = posix_fallocate(fd.Get(), 0, static_cast<off_t>(image.length))) != 0 ||
        ftruncate(fd.Get(), static_cast<off_t>(image.length)) != 0) {
        ReportImageFailure(error != 0 ? error : errno);
        ftruncate(fd.Get(), 0);  // gives back what was reserved
        return false;
    }
    image.fd = std::move(fd);
    if (image.length <=
        shx::ImageMemoryBudget() - std::min(imageMemory, shx::ImageMemoryBudget())) {
        // Anonymous memory: writing the file once at the end costs far less
        // than faulting in and dirtying a file mapping.
        void* map =
            mmap(nullptr, image.length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (map != MAP_FAILED) {
            madvise(map, image.length, MADV_HUGEPAGE);
            image.map = static_cast<uint8_t*>(map);
            std::memset(image.map, 0xFF, image.length);
            imageMemory += image.length;
            return true;
        }
    }
    image.inFile = std::make_unique<shx::FileImage>(image.fd.Get(), image.length);
    return true;
}

bool CFlashFileIO::ConvertedMeanwhile() {
    // The index read overwrites the header and checksum this object holds.
    const auto savedHeader = header;
    const uint16_t expected = superfileChecksum;
    bool converted = ReadImageIndex() == 1 && expected != 0 && superfileChecksum == expected &&
                     IndexNamesMatch() && CheckImageChecksums() == 1;
    header = savedHeader;
    superfileChecksum = expected;
    return converted;
}

// Creates the image files of the present records, in slot order, until as
// many as the file count are open; 0 when one cannot be created.
int CFlashFileIO::OpenImageFiles() {
    for (SubfileRecord& record : records) {
        record.builtSum = -1;
    }
    images.clear();
    images.resize(shx::kSlots);
    imageMemory = 0;
    int opened = 0;
    for (int slot = 0; slot < shx::kSlots && opened < fileCount; ++slot) {
        if (!records[static_cast<size_t>(slot)].present) {
            continue;
        }
        if (!CreateImageFile(slot)) {
            // The images already made give back their reserved blocks: a
            // header whose ranges add up past the disk leaves no disk taken.
            for (ImageFile& image : images) {
                if (image.fd.Valid()) {
                    ftruncate(image.fd.Get(), 0);
                }
            }
            return 0;
        }
        ++opened;
    }
    return 1;
}

// Waits for the writer, then writes what it was not given (and what changed
// after it was) into the files, whose blocks are reserved. The index takes
// each image's sum from here instead of reading it back.
bool CFlashFileIO::WriteImageContents() {
    if (int failed = imageWriter.Finish(); failed != 0) {
        ReportImageFailure(failed);
        return false;
    }
    for (size_t slot = 0; slot < images.size(); ++slot) {
        ImageFile& image = images[slot];
        if (image.inFile != nullptr) {
            if (int failed = image.inFile->Finish(); failed != 0) {
                ReportImageFailure(failed);
                return false;
            }
            records[slot].builtSum = static_cast<uint16_t>(image.inFile->Sum());
            continue;
        }
        if (image.map == nullptr) {
            continue;
        }
        uint64_t from = std::min(image.posted, image.rewriteFrom);
        if (!platform::WriteAt(image.fd.Get(), from, image.map + from, image.length - from)) {
            ReportImageFailure(errno);
            return false;
        }
        records[slot].builtSum = static_cast<uint16_t>(shx::ByteSum(image.map, image.length));
    }
    return true;
}

void CFlashFileIO::CloseImageFiles() {
    imageWriter.Finish();  // it reads the memory released here
    for (ImageFile& image : images) {
        if (image.map != nullptr) {
            munmap(image.map, image.length);
            image.map = nullptr;
        }
        image.inFile.reset();
        image.fd.Reset();
    }
    images.clear();
}

// Writes the part of the current S3 record that lies in the slot's range.
void CFlashFileIO::WriteSlotPart(int slot) {
    SubfileRecord& record = records[static_cast<size_t>(slot)];
    ImageFile& image = images[static_cast<size_t>(slot)];
    if ((image.map == nullptr && image.inFile == nullptr) || srec.dataLength <= 0) {
        return;
    }
    uint64_t a = srec.address;
    uint64_t last = a + static_cast<uint64_t>(srec.dataLength) - 1;
    uint64_t first = std::max<uint64_t>(a, record.start);
    last = std::min<uint64_t>(last, record.end);
    if (first > last) {
        return;
    }
    const uint64_t offset = first - record.start;
    record.highMark = std::max(record.highMark, static_cast<uint32_t>(last));
    if (image.inFile != nullptr) {
        image.inFile->Write(offset, srec.data.data() + (first - a), last - first + 1);
        return;
    }
    if (offset < image.posted) {
        // Bytes the writer may be reading: it finishes first, and the file
        // gets this part again at the end.
        imageWriter.Drain();
        image.rewriteFrom = std::min(image.rewriteFrom, offset);
    }
    std::memcpy(image.map + offset, srec.data.data() + (first - a), last - first + 1);
    image.filled = std::max(image.filled, last - record.start + 1);
}

// Records come in address order as a rule: whole pages below the highest one
// written so far go to the writer, which copies them into the files while the
// walk goes on.
void CFlashFileIO::PostFilledParts() {
    constexpr uint64_t kPage = 4096;
    for (ImageFile& image : images) {
        uint64_t upTo = image.filled & ~(kPage - 1);
        if (image.map != nullptr && upTo > image.posted) {
            imageWriter.Post(image.fd.Get(), image.map + image.posted, image.posted,
                             upTo - image.posted);
            image.posted = upTo;
        }
    }
}

// The walk never comes back to a block's images once it ends: those built in
// their files are written out now, so no more than one block's windows are
// held at a time.
void CFlashFileIO::FinishBlockInFiles(int image) {
    int last = image == shx::kFirstCodeGroupSlot ? image + 1 : image;
    for (int slot = image; slot <= last && static_cast<size_t>(slot) < images.size(); ++slot) {
        if (images[static_cast<size_t>(slot)].inFile != nullptr) {
            images[static_cast<size_t>(slot)].inFile->Finish();
        }
    }
}

void CFlashFileIO::WriteRecordData(int image, uint64_t total) {
    WriteSlotPart(image);
    if (image == shx::kFirstCodeGroupSlot && records[shx::kFirstCodeGroupSlot + 1].present) {
        WriteSlotPart(shx::kFirstCodeGroupSlot + 1);
    }
    // The percentage is worked out only when the stream passes the next step.
    uint64_t position = lineReader.Position();
    if (position < nextPercentAt) {
        return;
    }
    PostFilledParts();
    int percent = total == 0 ? 0 : static_cast<int>(position * 100 / total);
    if (percent != lastPercent) {
        ReportProgress(percent);
        lastPercent = percent;
    }
    nextPercentAt =
        total == 0 ? UINT64_MAX : ((static_cast<uint64_t>(percent) + 1) * total + 99) / 100;
}

int CFlashFileIO::BuildImageFiles() {
    if (DeleteImageFiles() != 1) {
        return 0;
    }
    if (!RemoveStaleIndex() || OpenSuperfileStream(shx::kHeaderSize) != 1) {
        return 0;
    }
    if (OpenImageFiles() != 1) {
        CloseImageFiles();
        superfileStream.Reset();
        return 0;
    }
    const uint64_t total = fileSize;
    nextPercentAt = 0;
    int created = 0;
    int image = 0;
    bool inBlock = false;
    int blockNumber = 1;
    int result = 1;
    auto stop = [&](const std::string& text, int line) {
        ReportBuildStop(text, line);
        CloseImageFiles();
        superfileStream.Reset();
        return 0;
    };
    while (fileCount > 0 && ReadSRecord() == 1) {
        switch (srec.type) {
            case 0:
                if (inBlock) {
                    return stop(Printf("More than ONE SREC_S0 detected on image[%d] file ", image),
                                __LINE__);
                }
                while (image < shx::kSlots && !records[static_cast<size_t>(image)].present) {
                    ++image;
                }
                if (image >= shx::kSlots) {
                    return stop("Exceeds MAXIMUM image file limit", __LINE__);
                }
                inBlock = true;
                break;
            case 3:
                if (!inBlock) {
                    return stop(Printf("Got SREC_S3 with SREC_S0 on image[%d] file", image),
                                __LINE__);
                }
                WriteRecordData(image, total);
                break;
            case 7:
                if (!inBlock) {
                    return stop(Printf("Got SREC_S7 without SREC_S0 on image[%d] file", image),
                                __LINE__);
                }
                inBlock = false;
                FinishBlockInFiles(image);
                if (image == shx::kFirstCodeGroupSlot) {
                    // Code group 1 rides in code group 0's block; it counts only
                    // when it is there, so a missing block is never hidden.
                    created += records[shx::kFirstCodeGroupSlot + 1].present ? 2 : 1;
                    blockNumber += 2;
                    image = shx::kFirstCodeGroupSlot + 2;
                } else {
                    created += 1;
                    blockNumber += 1;
                    image += 1;
                }
                break;
            default:
                LogFlashError(__LINE__,
                              Printf("SREC_S%d detected on subfile #%d", srec.type, blockNumber),
                              kSource);
                break;
        }
    }
    if (lineReader.Failed()) {
        ReportFileException(platform::kHardIO);
        result = 0;
    }
    if (created < fileCount) {
        std::string text =
            Printf("Only %d image file created out of %d subfiles", created, fileCount);
        ReportBuildError(text);
        LogFlashError(__LINE__, text, kSource);
        result = 0;
    }
    ReportProgress(-1);
    if (CollectBarkerCodes() != 1) {
        result = 0;  // a barker beyond the table would be flashed wrongly
    }
    // Written even after a failed check, so the files hold what the walk
    // made of them; without an index nothing takes them as up to date.
    if (!WriteImageContents()) {
        result = 0;
    }
    CloseImageFiles();
    superfileStream.Reset();
    return result;
}

int CFlashFileIO::CollectBarkerCodes() {
    int visited = 0;
    for (int slot = 0; slot < shx::kSlots && visited < fileCount; ++slot) {
        SubfileRecord& record = records[static_cast<size_t>(slot)];
        if (!record.present) {
            continue;
        }
        ++visited;
        if (record.type != shx::kSubfileTypeBarker) {
            continue;
        }
        const ImageFile* image = static_cast<size_t>(slot) < images.size()
                                     ? &images[static_cast<size_t>(slot)]
                                     : nullptr;
        if (image != nullptr && image->map != nullptr) {
            record.barkerCode.fill(0xFF);
            std::memcpy(record.barkerCode.data(), image->map,
                        std::min<uint64_t>(shx::kBarkerSize, image->length));
        } else if (image != nullptr && image->inFile != nullptr) {
            record.barkerCode.fill(0xFF);
            image->inFile->ReadHead(record.barkerCode.data(), shx::kBarkerSize);
        }
        if (slot >= shx::kBarkerEntries) {
            ReportBoxedError("Exceeded the number of barker code limit", __LINE__);
            return 0;
        }
        std::memcpy(header.data() + shx::kBarkerTableOffset + shx::kBarkerSize * slot,
                    record.barkerCode.data(), shx::kBarkerSize);
    }
    return 1;
}
