// CFlashFileIO: one superfile seen by one user. It reads and validates the
// superfile, keeps one record per sub-file slot, knows whether the image files
// on disk are up to date, and reports what it finds through the module's routes.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "FlashView.h"
#include "ImageIndexLayout.h"
#include "ORX_FP_FlashFileIO_ImageWriter.h"
#include "ORX_FP_FlashFileIO_LineReader.h"
#include "ORX_FP_FlashJobContext.h"
#include "SRecordDecode.h"
#include "SuperfileFormat.h"
#include "SuperfileNames.h"
#include "platform/File.h"

struct SubfileRecord {
    uint32_t length = 0;
    std::string imageName;
    uint16_t declaredChecksum = 0;
    uint32_t start = 0;
    uint32_t end = 0;
    uint32_t highMark = 0;
    std::array<uint8_t, 8> extraBytes{};
    std::array<uint8_t, 8> barkerCode{};
    uint16_t extraSum = 0;
    std::array<uint8_t, 6> descriptorBytes{};
    uint16_t version = 0;
    uint16_t type = 0;
    bool present = false;
    bool type8 = false;
    bool combo = false;
    bool platformFallback = false;  // slot 0: platform named from the boot slot's bytes
    int builtSum = -1;              // 16-bit sum of the image as just written, or -1
};

using SRecordFields = shx::SRecordFields;

// An image file while it is built: locked against other processes, its
// blocks reserved, and its bytes assembled in memory (whole pages go to the
// file while the walk goes on) or, beyond the memory budget, in the file.
struct ImageFile {
    platform::UniqueFd fd;
    uint8_t* map = nullptr;                  // anonymous memory of length bytes, or
    std::unique_ptr<shx::FileImage> inFile;  // the image built in its file
    uint64_t length = 0;
    uint64_t filled = 0;                // end of the highest record written so far
    uint64_t posted = 0;                // [0, posted) was handed to the writer
    uint64_t rewriteFrom = UINT64_MAX;  // lowest byte changed below posted since
};

// Whether a superfile that cannot be read says so in a message box (with a
// dialog or on the per-device route) or only on the console and in the log.
enum class FailureBoxes { Show, Quiet };

class CFlashFileIO {
  public:
    // dialog is null for a caller without a dialog; the object is then headless
    // and reports on the job's route without a dialog (per-device or console),
    // naming the job's phone. Its failures become the job's outcome.
    CFlashFileIO(IFlashView* dialog, std::string superfilePath,
                 const JobContext& job = CallerContext());
    ~CFlashFileIO();
    CFlashFileIO(const CFlashFileIO&) = delete;
    CFlashFileIO& operator=(const CFlashFileIO&) = delete;

    // 1 when the superfile is valid and its records are filled. Quiet keeps
    // message boxes away from a caller that only needs the data.
    int ReadSuperfile(FailureBoxes boxes);
    void ShowFileInformation();

    int PlatformName(uint8_t family, uint8_t variant);
    static uint32_t ParseHexField(std::string_view line, size_t offset, size_t width) {
        return shx::ParseHexField(line, offset, width);
    }

    int WriteImageIndex();
    int ReadImageIndex();
    int CheckImageChecksums();
    // True when the index and images now on disk are those of this superfile.
    bool ConvertedMeanwhile();
    static int SumFile16(const std::string& fileName, uint16_t& sum);

    // Conversion into image files (ORX_FP_FlashFileIO_Images.cpp).
    int PrepareImages();
    int BuildImageFiles();
    int DeleteImageFiles();
    int CollectBarkerCodes();
    // Reads the next S-record line into the current fields; 0 at the end.
    int ReadSRecord();
    const SRecordFields& CurrentRecord() const { return srec; }
    // Opens the superfile for S-record reading at offset (the body starts at
    // the end of the header); 0 when it cannot be opened.
    int OpenSuperfileStream(uint64_t offset);

    // Packets for the engine from an image file it opened itself: a data
    // packet (2-byte big-endian length, n bytes, Sum8) and a tail packet
    // (0, 8, eight bytes, Sum8). 1 on success; a failed read is reported.
    int ReadImagePacket(int fd, std::span<uint8_t> buffer, size_t n);
    int ReadImageTailPacket(int fd, std::span<uint8_t> buffer, size_t have, size_t n);
    static uint8_t Sum8(const uint8_t* block, size_t n) { return shx::Sum8(block, n); }

    // Fills an information array of at least 12 texts; see the export.
    void GetFileInformation(std::span<std::string> info, uint16_t& firstVersion);
    // Reports the message of a file-error cause (1 to 14); 0 and unknown causes
    // report nothing.
    void ReportFileException(int cause);
    static const char* FileErrorText(int cause);

    // Read access for the converter and the engine.
    const SubfileRecord& Record(int slot) const { return records.at(static_cast<size_t>(slot)); }
    SubfileRecord& Record(int slot) { return records.at(static_cast<size_t>(slot)); }
    const shx::SuperfileHeader& Header() const { return header; }
    const std::string& SuperfilePath() const { return superfilePath; }
    const std::string& IndexPath() const { return indexPath; }
    uint32_t FileSize() const { return fileSize; }
    int FileCount() const { return fileCount; }
    bool Headless() const { return headless; }
    bool ImagesUpToDate() const { return imagesUpToDate; }
    uint16_t SuperfileChecksum() const { return superfileChecksum; }
    uint16_t IndexVersion() const { return indexVersion; }
    uint16_t RamChecksum() const { return ramChecksum; }
    uint16_t BootChecksum() const { return bootChecksum; }
    uint16_t AppChecksum() const { return appChecksum; }
    const std::string& RamVersionText() const { return ramVersionText; }
    const std::string& AppVersionText() const { return appVersionText; }
    const std::string& BootVersionText() const { return bootVersionText; }
    const std::string& PlatformText() const { return platformText; }
    uint8_t PlatformFamily() const { return platformFamily; }
    std::string FileDate() const;

    // Entry i of the image index table as last read or written.
    std::string IndexEntryName(int slot) const;
    uint16_t IndexEntrySum(int slot) const;
    bool IndexEntryPresent(int slot) const;

    // The reader's route and phone, within the job that made it.
    const JobContext& Context() const { return context; }

  private:
    // Reporting routes (see ORX_FP_FlashFileIO_Report.cpp).
    void ReportOpenFailure(const std::string& text, int quiet, int line);
    void ReportInvalid(const std::string& text, int quiet, int line);
    void ReportError(const std::string& text, int line);
    void ReportBootSlot();
    void ReportProgress(int percent);
    static constexpr int kProgressDone = -1;  // ReportProgress: the conversion ended
    void ReportBuildStop(const std::string& text, int line);
    void ReportBuildError(const std::string& text);
    void ReportBoxedError(const std::string& text, int line);

    // The conversion's steps (ORX_FP_FlashFileIO_ImageBuild.cpp).
    struct BlockWalk;
    struct BuildStop;
    bool StartImageBuild();
    void EndImageBuild();
    std::optional<BuildStop> TakeRecord(BlockWalk& walk);
    std::optional<BuildStop> OpenBlock(BlockWalk& walk);
    std::optional<BuildStop> CloseBlock(BlockWalk& walk);
    int FinishImageBuild(const BlockWalk& walk);
    bool CreateImageFile(int slot);
    bool ReserveImage(int slot, platform::UniqueFd fd);
    void ReportImageFailure(int error);
    void FinishBlockInFiles(int image);
    int OpenImageFiles();
    void CloseImageFiles();
    bool WriteImageContents();
    void PostFilledParts();
    void WriteRecordData(int image, uint64_t total);
    void WriteSlotPart(int slot);
    bool RemoveStaleIndex();

    bool ReadTail(int fd, shx::StoredChecksum& stored);
    bool ChecksumMatches(int fd, const shx::StoredChecksum& stored);
    bool IndexNamesMatch() const;
    void FillIndexTable();
    platform::UniqueFd OpenSuperfile(int quiet);
    bool CheckSuperfileSum(int fd, int quiet);
    bool ReadHeader(int fd, int quiet);
    int WalkSubfiles(int quiet);
    void FillRecord(int slot, const shx::SubfileDescriptor& descriptor);
    void FillRamDownloaderRecord(const shx::SubfileDescriptor& descriptor);
    void FillCodeGroupRecord(int slot, bool present);

    std::string superfilePath;
    std::string indexPath;
    IFlashView* dialog;
    JobContext context;
    uint32_t fileSize = 0;
    int fileCount = 0;
    int lastPercent = 0;
    uint64_t nextPercentAt = 0;  // stream position of the next percentage step
    uint8_t platformFamily = 0;
    bool headless;
    bool imagesUpToDate = false;
    uint16_t indexVersion = 0;
    uint16_t indexChecksum = 0;
    uint16_t superfileChecksum = 0;
    shx::SuperfileHeader header{};
    uint16_t ramChecksum = 0;
    uint16_t bootChecksum = 0;
    uint16_t appChecksum = 0;
    std::string ramVersionText;
    std::string appVersionText;
    std::string platformText;
    std::string bootVersionText;
    std::vector<SubfileRecord> records;
    std::vector<uint8_t> indexTable;
    SRecordFields srec;
    platform::UniqueFd superfileStream;
    shx::LineReader lineReader;
    std::vector<ImageFile> images;
    uint64_t imageMemory = 0;  // assembled in memory by this conversion
    shx::ImageWriter imageWriter;
};
