// Converting a superfile into one image file per present sub-file, each an
// exact copy of the sub-file's address range with 0xFF where no record wrote,
// followed by the image index that lets the next job skip the work. Here: the
// image files themselves, made, reserved, written and removed; the walk over
// the body that fills them is in ORX_FP_FlashFileIO_ImageBuild.cpp.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "ORX_FP_FlashFileIO.h"
#include "platform/File.h"
#include "platform/FileError.h"
#include "platform/MessageBox.h"

namespace {

constexpr const char* kWriteProtected =
    "Image file is currently write protected by another process!";
constexpr const char* kOutOfMemory = "ERROR: There is not enough memory to build the image files.";

// One conversion at a time in the whole module.
std::mutex imageLock;

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
    if (ReadSuperfile(FailureBoxes::Show) != 1) {
        return 0;
    }
    if (imagesUpToDate) {
        return 1;
    }
    std::lock_guard guard(imageLock);
    // A job that held the lock meanwhile may have converted this superfile;
    // reading it again then takes up its index and barker codes.
    if (ConvertedMeanwhile() && ReadSuperfile(FailureBoxes::Show) != 1) {
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
            platform::ShowMessageBox({.text = kWriteProtected,
                                      .icon = platform::BoxIcon::Stop,
                                      .buttons = platform::BoxButtons::RetryCancel,
                                      .systemModal = true}) == platform::BoxAnswer::Retry) {
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
