// The phone's flashing commands: RAM downloaders, programming, erasing,
// checksums and line rate.
#include <algorithm>

#include "FrameCodec.h"
#include "Packets.h"
#include "PhoneCore.h"
#include "FlashDevApi.h"

namespace phonesim {

namespace {

using orxproto::PayloadReader;

constexpr uint32_t kLineRates[] = {9600, 19200, 38400, 57600, 115200};

Answer Status(uint32_t status) {
    return Answer{status};
}

Answer SumAnswer(uint16_t sum) {
    return Answer{0, {static_cast<uint8_t>(sum), static_cast<uint8_t>(sum >> 8)}};
}

bool Overlaps(const Range& range, uint32_t address, uint64_t length) {
    return length > 0 && address <= range.end && uint64_t{range.start} < address + length;
}

// Reads (start, end inclusive) and checks the range is well formed.
bool ReadRange(const std::vector<uint8_t>& payload, uint32_t& start, uint64_t& length) {
    PayloadReader reader(payload.data(), payload.size());
    start = reader.U32();
    uint32_t end = reader.U32();
    if (reader.Failed() || !reader.AtEnd() || end < start) {
        return false;
    }
    length = uint64_t{end} - start + 1;
    return true;
}

}  // namespace

Answer PhoneCore::Connect() {
    return Answer{0, {static_cast<uint8_t>(mode)}};
}

Answer PhoneCore::GetChecksums(const std::vector<uint8_t>& payload) {
    if (payload.size() != 1) {
        return Status(orxproto::kBadRequest);
    }
    if (payload[0] > 4) {
        return Status(orxproto::kBadArgument);
    }
    // The bootloader answers for its own platform family only (MA type 1 to 5
    // is the enumeration's 0 to 4); a phone with none answers any.
    const std::optional<BootloaderSpec>& boot = profile.bootloader;
    if (boot && boot->maType >= 1 && boot->maType <= 5 && payload[0] != boot->maType - 1) {
        return Refuse(kFdaErrWrongMaType, static_cast<uint8_t>(orxproto::Command::GetChecksums));
    }
    return Answer{0, ChecksumRecord()};
}

Answer PhoneCore::SetBaudRate(const std::vector<uint8_t>& payload) {
    PayloadReader reader(payload.data(), payload.size());
    uint32_t rate = reader.U32();
    if (reader.Failed() || !reader.AtEnd()) {
        return Status(orxproto::kBadRequest);
    }
    if (std::find(std::begin(kLineRates), std::end(kLineRates), rate) == std::end(kLineRates)) {
        return Status(orxproto::kBadArgument);
    }
    lineRate = rate;  // the answer already went out at the old rate
    MarksChanged();
    return Status(0);
}

Answer PhoneCore::RamDownload(const std::vector<uint8_t>& payload) {
    PayloadReader reader(payload.data(), payload.size());
    uint8_t kind = reader.U8();
    uint32_t address = reader.U32();
    bool single = reader.U8() != 0;
    size_t size = 0;
    const uint8_t* data = reader.Rest(size);
    if (reader.Failed() || kind > 1) {
        return Status(orxproto::kBadRequest);
    }
    if (kind == 0) {
        // The bootstrap loads raw bytes and runs them at once.
        if (mode != Mode::Blank) {
            return Status(orxproto::kWrongMode);
        }
        if (size == 0) {
            return Status(orxproto::kBadArgument);
        }
        if (!ram.Contains(address, size)) {
            return Status(orxproto::kAddress);
        }
        ram.Write(address, data, size);
        NoteRamLoaded(address, size);
        session.ramDownloaderRunning = true;
        log.push_back({WriteEvent::Kind::RamWrite, address, static_cast<uint32_t>(size)});
        log.push_back({WriteEvent::Kind::RamStart, address, 0, 0});
        return Status(0);
    }
    if (mode == Mode::Blank) {
        return Status(orxproto::kWrongMode);  // no flash bootloader to load it
    }
    if (size == 0) {
        // Start: only a whole image, without gaps, at its execution address.
        if (session.ramLoaded.size() != 1) {
            return Refuse(kFdaErrIncompleteDownload,
                          static_cast<uint8_t>(orxproto::Command::RamDownload), address);
        }
        if (session.ramLoaded.begin()->first + profile.ram.entryOffset != address) {
            return Status(orxproto::kAddress);
        }
        session.ramDownloaderRunning = true;
        session.singleFile = single;
        log.push_back({WriteEvent::Kind::RamStart, address, 0, single ? 1u : 0u});
        return Status(0);
    }
    size_t dataSize = 0;
    if (CheckPacket(data, size, dataSize) != PacketFault::None) {
        return Status(orxproto::kBadPacket);
    }
    if (!ram.Contains(address, dataSize)) {
        return Status(orxproto::kAddress);
    }
    ram.Write(address, data + 2, dataSize);
    NoteRamLoaded(address, dataSize);
    log.push_back({WriteEvent::Kind::RamWrite, address, static_cast<uint32_t>(dataSize)});
    return Status(0);
}

Answer PhoneCore::RamChecksum(const std::vector<uint8_t>& payload) {
    uint32_t start = 0;
    uint64_t length = 0;
    if (!ReadRange(payload, start, length)) {
        return Status(orxproto::kBadArgument);
    }
    if (!ram.Contains(start, length)) {
        return Status(orxproto::kAddress);
    }
    return SumAnswer(ram.Sum16(start, length));
}

Answer PhoneCore::Program(const std::vector<uint8_t>& payload, std::optional<size_t> keepBytes) {
    PayloadReader reader(payload.data(), payload.size());
    uint32_t address = reader.U32();
    size_t size = 0;
    const uint8_t* packet = reader.Rest(size);
    if (reader.Failed()) {
        return Status(orxproto::kBadRequest);
    }
    size_t dataSize = 0;
    if (CheckPacket(packet, size, dataSize) != PacketFault::None) {
        return Status(orxproto::kBadPacket);
    }
    const uint8_t* data = packet + 2;
    size_t written = std::min(dataSize, keepBytes.value_or(dataSize));
    if (ram.Contains(address, dataSize)) {
        // The RAM downloader's last eight bytes come as a tail packet.
        ram.Write(address, data, written);
        NoteRamLoaded(address, written);
        log.push_back({WriteEvent::Kind::RamWrite, address, static_cast<uint32_t>(written)});
        return Status(0);
    }
    if (!flash.Contains(address, dataSize)) {
        return Status(orxproto::kAddress);
    }
    if (!MayWrite()) {
        return Status(orxproto::kNoRamDownloader);
    }
    // Checked whole before anything is written: a refused packet writes nothing.
    constexpr auto kProgram = static_cast<uint8_t>(orxproto::Command::Program);
    if (CrossesBoundary(address, dataSize)) {
        return Refuse(kFdaErrCrossesBlock, kProgram, address, dataSize);
    }
    if (!flash.CanProgram(address, data, dataSize)) {
        return Refuse(kFdaErrNotErased, kProgram, address, dataSize);
    }
    ProgramFlash(address, data, written);
    log.push_back({WriteEvent::Kind::Program, address, static_cast<uint32_t>(written)});
    const CodeGroupSpec* area = SettingsArea();
    if (area && session.upgrade == UpgradeStep::Erased && Overlaps(area->range, address, written)) {
        session.upgrade = UpgradeStep::Programmed;
    }
    return Status(0);
}

Answer PhoneCore::RangeChecksum(const std::vector<uint8_t>& payload) {
    uint32_t start = 0;
    uint64_t length = 0;
    if (!ReadRange(payload, start, length)) {
        return Status(orxproto::kBadArgument);
    }
    if (!flash.Contains(start, length)) {
        return Status(orxproto::kAddress);
    }
    return SumAnswer(flash.Sum16(start, length));
}

Answer PhoneCore::Erase(const std::vector<uint8_t>& payload) {
    if (payload.size() != 1) {
        return Status(orxproto::kBadRequest);
    }
    uint8_t type = payload[0];
    if (type == 1) {
        return Status(orxproto::kNotSupported);
    }
    if (type != 0 && type != 2) {
        return Status(orxproto::kBadArgument);
    }
    if (!MayWrite()) {
        return Status(orxproto::kNoRamDownloader);
    }
    if (type == 2) {
        // The language package alone; code group 0 stays unmarked until the
        // reinsert-barker command.
        const CodeGroupSpec* language = profile.CodeGroup(4);
        if (language == nullptr) {
            return Status(orxproto::kNotSupported);
        }
        EraseFlash(language->range.start, language->range.Size());
        codeGroup0Unmarked = profile.CodeGroup(0) != nullptr;
        MarksChanged();
    } else {
        bool keepSettings = session.upgrade == UpgradeStep::Done;
        for (const CodeGroupSpec& group : profile.layout) {
            if (!(keepSettings && group.number == 2)) {
                EraseFlash(group.range.start, group.range.Size());
            }
        }
        if (!keepSettings) {
            std::fill(settings.begin(), settings.end(), 0xFF);
            SettingsChanged();
        }
        session.upgrade = UpgradeStep::None;
        codeGroup0Unmarked = false;
        MarksChanged();
    }
    log.push_back({WriteEvent::Kind::Erase, 0, 0, type});
    return Status(0);
}

Answer PhoneCore::ReinsertBarker() {
    if (!MayWrite()) {
        return Status(orxproto::kNoRamDownloader);
    }
    codeGroup0Unmarked = false;
    MarksChanged();
    log.push_back({WriteEvent::Kind::ReinsertBarker});
    return Status(0);
}

}  // namespace phonesim
