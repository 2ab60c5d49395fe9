// The conversion's walk over the superfile body: S0 and S7 bound one block
// per present sub-file (code groups 0 and 1 share one), S3 records land in the
// block's images, and the images are written out once the walk ends.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

#include "ErrorLog.h"
#include "ORX_FP_FlashFileIO.h"
#include "platform/FileError.h"

namespace {

constexpr const char* kSource = "ORX_FP_FlashFileIO";

std::string Printf(const char* format, int a, int b = 0) {
    char text[160];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

}  // namespace

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

// Where the S-record walk stands: the block being read and what it made.
struct CFlashFileIO::BlockWalk {
    uint64_t total = 0;  // superfile length, for the percentage
    int image = 0;       // slot of the open block, or where the next one is looked for
    bool inBlock = false;
    int blockNumber = 1;  // blocks counted as sub-files, for the log
    int created = 0;      // images whose block ended
};

// A conversion that cannot go on: its text and the line it is logged with.
struct CFlashFileIO::BuildStop {
    std::string text;
    int line = 0;
};

// Everything a conversion needs before the walk: no image and no index of an
// earlier build left, the body open, and every image file made and reserved.
bool CFlashFileIO::StartImageBuild() {
    if (DeleteImageFiles() != 1) {
        return false;
    }
    if (!RemoveStaleIndex() || OpenSuperfileStream(shx::kHeaderSize) != 1) {
        return false;
    }
    if (OpenImageFiles() != 1) {
        EndImageBuild();
        return false;
    }
    return true;
}

void CFlashFileIO::EndImageBuild() {
    CloseImageFiles();
    superfileStream.Reset();
}

// S0 opens the block of the next present slot; one inside a block, or none
// left to open, stops the conversion.
std::optional<CFlashFileIO::BuildStop> CFlashFileIO::OpenBlock(BlockWalk& walk) {
    if (walk.inBlock) {
        return BuildStop{Printf("More than ONE SREC_S0 detected on image[%d] file ", walk.image),
                         __LINE__};
    }
    while (walk.image < shx::kSlots && !records[static_cast<size_t>(walk.image)].present) {
        ++walk.image;
    }
    if (walk.image >= shx::kSlots) {
        return BuildStop{"Exceeds MAXIMUM image file limit", __LINE__};
    }
    walk.inBlock = true;
    return std::nullopt;
}

// S7 ends the block: its images are done, and the walk moves past them.
std::optional<CFlashFileIO::BuildStop> CFlashFileIO::CloseBlock(BlockWalk& walk) {
    if (!walk.inBlock) {
        return BuildStop{Printf("Got SREC_S7 without SREC_S0 on image[%d] file", walk.image),
                         __LINE__};
    }
    walk.inBlock = false;
    FinishBlockInFiles(walk.image);
    if (walk.image == shx::kFirstCodeGroupSlot) {
        // Code group 1 rides in code group 0's block; it counts only when it
        // is there, so a missing block is never hidden.
        walk.created += records[shx::kFirstCodeGroupSlot + 1].present ? 2 : 1;
        walk.blockNumber += 2;
        walk.image = shx::kFirstCodeGroupSlot + 2;
    } else {
        walk.created += 1;
        walk.blockNumber += 1;
        walk.image += 1;
    }
    return std::nullopt;
}

// One record of the body: S0 and S7 bound a block, S3 carries its data, and
// any other type is logged and passed over.
std::optional<CFlashFileIO::BuildStop> CFlashFileIO::TakeRecord(BlockWalk& walk) {
    switch (srec.type) {
        case 0:
            return OpenBlock(walk);
        case 3:
            if (!walk.inBlock) {
                return BuildStop{Printf("Got SREC_S3 with SREC_S0 on image[%d] file", walk.image),
                                 __LINE__};
            }
            WriteRecordData(walk.image, walk.total);
            return std::nullopt;
        case 7:
            return CloseBlock(walk);
        default:
            LogFlashError(__LINE__,
                          Printf("SREC_S%d detected on subfile #%d", srec.type, walk.blockNumber),
                          kSource);
            return std::nullopt;
    }
}

// After the walk: a read error, a missing image or a barker beyond the table
// fails the conversion; the images are written all the same.
int CFlashFileIO::FinishImageBuild(const BlockWalk& walk) {
    int result = 1;
    if (lineReader.Failed()) {
        ReportFileException(platform::kHardIO);
        result = 0;
    }
    if (walk.created < fileCount) {
        std::string text =
            Printf("Only %d image file created out of %d subfiles", walk.created, fileCount);
        ReportBuildError(text);
        LogFlashError(__LINE__, text, kSource);
        result = 0;
    }
    ReportProgress(kProgressDone);
    if (CollectBarkerCodes() != 1) {
        result = 0;  // a barker beyond the table would be flashed wrongly
    }
    // Written even after a failed check, so the files hold what the walk
    // made of them; without an index nothing takes them as up to date.
    if (!WriteImageContents()) {
        result = 0;
    }
    return result;
}

int CFlashFileIO::BuildImageFiles() {
    if (!StartImageBuild()) {
        return 0;
    }
    BlockWalk walk;
    walk.total = fileSize;
    nextPercentAt = 0;
    while (fileCount > 0 && ReadSRecord() == 1) {
        if (std::optional<BuildStop> stop = TakeRecord(walk)) {
            ReportBuildStop(stop->text, stop->line);
            EndImageBuild();
            return 0;
        }
    }
    int result = FinishImageBuild(walk);
    EndImageBuild();
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
        std::memcpy(header.data() + shx::BarkerEntryOffset(slot), record.barkerCode.data(),
                    shx::kBarkerSize);
    }
    return 1;
}
