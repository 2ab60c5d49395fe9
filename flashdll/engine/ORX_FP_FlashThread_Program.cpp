// Moving bytes into the phone: the two RAM downloaders, programming an image
// file into its flash range in framed 8 KB packets, and the barker codes.
//
// The phone programs only lengths that are multiples of 8. A range whose
// length is not is sent as 8 KB blocks over its aligned part plus an 8-byte
// tail that ends at the range's last address; the bytes the tail covers are
// sent as 0xFF (which programs nothing) in the block before it, so every
// address receives its image byte once. A range shorter than 8 bytes, or
// whose last 8 bytes would cross an 8 KB block, ends in a tail that holds
// only its own last bytes, padded with 0xFF (RangePlan below).
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "ORX_FP_FlashHost.h"
#include "ORX_FP_FlashState.h"
#include "ORX_FP_FlashThread.h"
#include "platform/Text.h"

namespace {

constexpr size_t kBlock = 8192;
constexpr size_t kPacketRoom = kBlock + 3;
constexpr size_t kTailSize = 11;
constexpr uint32_t kBootstrapLimit = 65535;
constexpr int kAttempts = 3;
constexpr const char* kNoReader = "Flash File IO pointer is a NULL Pointer";
constexpr const char* kNoDeviceApi = "Flash Device API pointer is a NULL Pointer";
constexpr const char* kSeekFailed = "Error setting file pointer.";
constexpr const char* kFlashFailed = "Error Flashing Subscriber Unit";
constexpr const char* kRamFailed = "Error sending RAM download for bootloader.";

// One range of an image file cut into packets. Packets never cross an 8 KB
// block of the range: block i starts at start + 8,192 i, so a range that
// leaves its first `skip` bytes (a barker) out sends 8,192 - skip bytes in its
// first packet. A tail whose last 8 bytes would cross a block instead starts
// the last block, its image bytes followed by 0xFF past the range's end.
struct RangePlan {
    uint32_t start = 0;       // the range's first address
    uint32_t address = 0;     // where the first programmed byte goes
    uint64_t fileOffset = 0;  // where it is in the image file
    uint64_t length = 0;      // bytes to program
    uint64_t aligned = 0;     // the part sent in data blocks
    uint64_t blocks = 0;
    bool tail = false;
    uint32_t tailAddress = 0;
    uint64_t tailFileOffset = 0;
    size_t tailBytes = 0;  // image bytes in the tail; the rest is 0xFF
    size_t overlap = 0;    // bytes at the end of the aligned part the tail sends instead

    RangePlan(uint32_t rangeStart, uint64_t skip, uint64_t total) {
        start = rangeStart;
        address = static_cast<uint32_t>(start + skip);
        fileOffset = skip;
        length = total > skip ? total - skip : 0;
        aligned = length - length % 8;
        const uint64_t alignedEnd = fileOffset + aligned;  // file offset
        blocks = aligned == 0 ? 0 : (alignedEnd + kBlock - 1) / kBlock;
        tail = length % 8 != 0;
        if (!tail) {
            return;
        }
        const uint64_t end = fileOffset + length;
        uint64_t tailStart = end - 8;
        if (aligned == 0) {
            tailStart = fileOffset;
        } else if (tailStart / kBlock != (end - 1) / kBlock) {
            tailStart = alignedEnd;  // the last block's first byte
        } else {
            overlap = static_cast<size_t>(alignedEnd - tailStart);
        }
        tailAddress = static_cast<uint32_t>(start + tailStart);
        tailFileOffset = tailStart;
        tailBytes = static_cast<size_t>(std::min<uint64_t>(8, end - tailStart));
    }
    // Block i: its file offset (also its offset from the range's start) and size.
    uint64_t BlockOffset(uint64_t i) const { return i == 0 ? fileOffset : i * kBlock; }
    size_t BlockSize(uint64_t i) const {
        return static_cast<size_t>(std::min<uint64_t>((i + 1) * kBlock, fileOffset + aligned) -
                                   BlockOffset(i));
    }
    size_t Overlap() const { return overlap; }
};

}  // namespace

void CFlashThread::ReportPercent(int percent) {
    context.Progress(percent);
}

void CFlashThread::ResetProgress() {
    context.ResetProgress();
}

int CFlashThread::SendTail(int fd, uint32_t tailAddress, uint64_t fileOffset, size_t bytes,
                           uint32_t errorAddress) {
    uint8_t tail[kTailSize];
    std::memset(tail, 0xFF, sizeof tail);
    if (lseek(fd, static_cast<off_t>(fileOffset), SEEK_SET) < 0) {
        ShowError(kSeekFailed, Box::Show);
        return 0;
    }
    if (sequence.reader->ReadImageTailPacket(fd, tail, 0, bytes) != 1) {
        return 0;
    }
    uint32_t error = 0;
    if (deviceApi->FlashSU(tailAddress, tail, kTailSize, error) == 0) {
        ReportDeviceError(kFlashFailed, error, errorAddress);
        return 0;
    }
    return 1;
}

int CFlashThread::SendImage(int fd, uint32_t start, uint64_t skip, uint64_t total, Into into) {
    if (!sequence.reader) {
        ShowError(kNoReader, Box::Show);
        return 0;
    }
    if (!deviceApi) {
        ShowError(kNoDeviceApi, Box::Show);
        return 0;
    }
    const RangePlan plan(start, skip, total);
    const uint64_t steps = std::max<uint64_t>(plan.blocks, plan.tail ? 1 : 0);
    std::vector<uint8_t> packet(kPacketRoom);
    int lastPercent = 0;
    auto progress = [&](uint64_t done) {
        int percent = static_cast<int>(done * 100 / steps);
        if (into == Into::Ram || percent != lastPercent) {
            ReportPercent(percent);
            lastPercent = percent;
        }
    };
    for (uint64_t i = 0; i < plan.blocks; ++i) {
        if (StopHere()) {
            return 0;  // a stop ends the range between two packets
        }
        const bool last = i + 1 == plan.blocks;
        const uint64_t offset = plan.BlockOffset(i);
        const uint32_t address = static_cast<uint32_t>(plan.start + offset);
        if (SendBlock(fd, address, offset, plan.BlockSize(i), last ? plan.Overlap() : 0, into,
                      packet.data()) != 1) {
            return 0;
        }
        if (last && plan.tail &&
            SendTail(fd, plan.tailAddress, plan.tailFileOffset, plan.tailBytes, address) != 1) {
            return 0;
        }
        progress(i + 1);
    }
    if (plan.blocks == 0 && plan.tail) {
        if (SendTail(fd, plan.tailAddress, plan.tailFileOffset, plan.tailBytes, plan.address) !=
            1) {
            return 0;
        }
        progress(1);
    }
    ResetProgress();
    return 1;
}

// One data block of `size` image bytes from the file offset, its last
// `blankTail` bytes sent as 0xFF (the tail sends them), into RAM or flash.
// The packet has room for the largest block.
int CFlashThread::SendBlock(int fd, uint32_t address, uint64_t offset, size_t size,
                            size_t blankTail, Into into, uint8_t* packet) {
    if (lseek(fd, static_cast<off_t>(offset), SEEK_SET) < 0) {
        ShowError(kSeekFailed, Box::Show);
        return 0;
    }
    std::span<uint8_t> room(packet, kPacketRoom);
    if (sequence.reader->ReadImagePacket(fd, room, size) != 1) {
        return 0;
    }
    if (blankTail > 0) {
        std::memset(packet + 2 + size - blankTail, 0xFF, blankTail);
        packet[size + 2] = CFlashFileIO::Sum8(packet, size + 2);
    }
    const uint32_t bytes = static_cast<uint32_t>(size + 3);
    uint32_t error = 0;
    int sent = into == Into::Ram ? deviceApi->RAMdownload(1, address, packet, bytes, 0, error)
                                 : deviceApi->FlashSU(address, packet, bytes, error);
    if (sent == 0) {
        ReportDeviceError(into == Into::Ram ? kRamFailed : kFlashFailed, error, address);
        return 0;
    }
    return 1;
}

int CFlashThread::FlashRange(int fd, uint32_t start, uint32_t length, uint16_t type) {
    if (lseek(fd, 0, SEEK_SET) < 0) {
        ShowError(kSeekFailed, Box::Show);
        return 0;
    }
    // A barker-carrying range leaves its first 8 bytes for the barker, last.
    uint64_t skip = type == shx::kSubfileTypeBarker ? shx::kBarkerSize : 0;
    return SendImage(fd, start, skip, length, Into::Flash);
}

int CFlashThread::LoadBootloaderRamDownloader(int fd, uint32_t start, uint32_t length,
                                              uint16_t declaredChecksum) {
    const bool startsAtStart =
        records.platformName == "CDMA HBX4205" || records.platformName == "CDMA HBX4200";
    const uint32_t execution = startsAtStart ? start : start + 16;
    ShowStatus("Loading RAM Downloader for Bootloader.");
    if (lseek(fd, 0, SEEK_SET) < 0) {
        ShowError(kSeekFailed, Box::Show);
        return 0;
    }
    if (SendImage(fd, start, 0, length, Into::Ram) != 1) {
        return 0;
    }
    if (records.tavenorBlank == 1 || records.tavenorFlash == 1) {
        records.ramChecksumFigure = 0;
    } else if (ReadRamChecksum(start, length, declaredChecksum) != 1) {
        return 0;
    }
    uint32_t error = 0;
    int singleFile = sequence.reader && sequence.reader->FileCount() == 1 ? 1 : 0;
    if (deviceApi->RAMdownload(1, execution, nullptr, 0, singleFile, error) == 0) {
        ReportDeviceError(kRamFailed, error, execution);
        return 0;
    }
    return 1;
}

// The phone's sum of the downloader in its RAM must be the file's.
int CFlashThread::ReadRamChecksum(uint32_t start, uint32_t length, uint16_t declaredChecksum) {
    uint16_t sum = 0;
    uint32_t error = 0;
    bool read = false;
    for (int attempt = 0; attempt < kAttempts && !read; ++attempt) {
        read = deviceApi->GetRAMchecksum(start, start + length - 1, sum, error) != 0;
    }
    if (!read) {
        ReportDeviceError("Error reading the RAM Downloader checksum from the phone.", error, 0);
        return 0;
    }
    if (sum != declaredChecksum) {
        ShowError(platform::Format("Checksum error in the RAM Downloader for Flash Bootloader. "
                                   "File: 0x%X, Phone: 0x%X",
                                   declaredChecksum, sum),
                  Box::Show);
        return 0;
    }
    records.ramChecksumFigure = sum;
    return 1;
}

int CFlashThread::LoadBootstrapRamDownloader(int fd, uint32_t start, uint32_t length) {
    ShowStatus("Loading RAM Downloader for Bootstrap.");
    if (length > kBootstrapLimit) {
        ShowError(platform::Format("The RAM Downloader for Bootstrap holds %u bytes; the bootstrap "
                                   "takes at most %u.",
                                   length, kBootstrapLimit),
                  Box::Show);
        return 0;
    }
    if (lseek(fd, 0, SEEK_SET) < 0) {
        ShowError(kSeekFailed, Box::Show);
        return 0;
    }
    std::vector<uint8_t> buffer(length);
    size_t got = 0;
    while (got < length) {
        long read = platform::ReadSome(fd, buffer.data() + got, length - got);
        if (read <= 0) {
            break;
        }
        got += static_cast<size_t>(read);
    }
    if (got < length || length == 0) {
        ShowError("An error occurred while reading Image File.", Box::Show);
        return 0;
    }
    if (!deviceApi) {
        ShowError(kNoDeviceApi, Box::Show);
        return 0;
    }
    uint32_t error = 0;
    if (deviceApi->RAMdownload(0, start, buffer.data(), static_cast<uint32_t>(got), 0, error) ==
        0) {
        ReportDeviceError("Error sending RAM download for bootstrap.", error, 0);
        return 0;
    }
    return 1;
}

int CFlashThread::WriteBarker(const std::array<uint8_t, 8>& barker, uint32_t address) {
    if (!sequence.reader || !deviceApi) {
        return 0;
    }
    uint8_t packet[kTailSize];
    packet[0] = 0;
    packet[1] = 8;
    std::memcpy(packet + 2, barker.data(), barker.size());
    packet[10] = CFlashFileIO::Sum8(packet, 10);
    uint32_t error = 0;
    if (deviceApi->FlashSU(address, packet, kTailSize, error) == 0) {
        ReportDeviceError("Error sending Barker Code.", error, address);
        return 0;
    }
    return 1;
}
