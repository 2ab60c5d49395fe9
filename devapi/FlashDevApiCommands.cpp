// CFlashDeviceApi's commands: argument checks, request payloads, and strict
// decoding of the answers (exact sizes, nothing read beyond them).
#include <cstring>

#include "DeviceApiImpl.h"

using devapi::Finish;
using orxproto::Command;
using orxproto::PayloadReader;
using orxproto::PayloadWriter;

namespace {

// The largest packet the two-byte length field can describe.
constexpr uint32_t kMaxPacket = 0xFFFF + 3;
constexpr uint32_t kMaxBootstrap = 0xFFFF;

std::vector<uint8_t> RangeRequest(uint32_t start, uint32_t end) {
    PayloadWriter request;
    request.U32(start);
    request.U32(end);
    return request.bytes;
}

bool IsKnownRate(BaudRateEnum rate) {
    switch (rate) {
        case BAUD_9600:
        case BAUD_19200:
        case BAUD_38400:
        case BAUD_57600:
        case BAUD_115200:
            return true;
    }
    return false;
}

}  // namespace

int CFlashDeviceApi::GetSUinfo(SU_INFO_STRUC* info, uint32_t& error) {
    if (info == nullptr) {
        return Finish(kFdaErrBadArgument, error);
    }
    std::vector<uint8_t> answer;
    uint32_t code = impl->RunExpecting(Command::GetInfo, {}, answer, sizeof(SU_INFO_STRUC));
    if (code == 0) {
        std::memcpy(info, answer.data(), sizeof(SU_INFO_STRUC));
    }
    return Finish(code, error);
}

int CFlashDeviceApi::GetSUchkSum(MAtypeEnum maType, CHECKSUMS_STRUC* checksums, uint32_t& error) {
    if (checksums == nullptr || maType < MA_TYPE_CDMA || maType > MA_TYPE_CDMA_HBX) {
        return Finish(kFdaErrBadArgument, error);
    }
    std::vector<uint8_t> answer;
    uint32_t code = impl->RunExpecting(Command::GetChecksums, {static_cast<uint8_t>(maType)},
                                       answer, orxproto::kChecksumRecordSize);
    if (code != 0) {
        return Finish(code, error);
    }
    PayloadReader reader(answer.data(), answer.size());
    CHECKSUMS_STRUC decoded{};
    auto read = [&](CHECKSUM_ENTRY& entry) {
        entry.valid = reader.U32();
        entry.checksum = reader.U16();
        reader.U16();
    };
    read(decoded.bootloader);
    for (CHECKSUM_ENTRY& entry : decoded.codeGroups) {
        read(entry);
    }
    *checksums = decoded;
    return Finish(0, error);
}

int CFlashDeviceApi::SetBaudRate(BaudRateEnum rate, uint32_t& error) {
    if (!IsKnownRate(rate)) {
        return Finish(kFdaErrBadArgument, error);
    }
    PayloadWriter request;
    request.U32(static_cast<uint32_t>(rate));
    std::vector<uint8_t> answer;
    return Finish(impl->RunExpecting(Command::SetBaudRate, request.bytes, answer, 0), error);
}

int CFlashDeviceApi::RAMdownload(int kind, uint32_t address, const uint8_t* data, uint32_t length,
                                 int singleFile, uint32_t& error) {
    bool bootstrap = kind == 0;
    bool badKind = kind != 0 && kind != 1;
    bool badData = (length > 0 && data == nullptr) || (bootstrap && length == 0) ||
                   length > (bootstrap ? kMaxBootstrap : kMaxPacket);
    if (badKind || badData) {
        return Finish(kFdaErrBadArgument, error);
    }
    PayloadWriter request;
    request.U8(static_cast<uint8_t>(kind));
    request.U32(address);
    request.U8(singleFile != 0 ? 1 : 0);
    request.Bytes(data, length);
    std::vector<uint8_t> answer;
    return Finish(impl->RunExpecting(Command::RamDownload, request.bytes, answer, 0), error);
}

int CFlashDeviceApi::GetRAMchecksum(uint32_t start, uint32_t end, uint16_t& sum, uint32_t& error) {
    sum = 0;
    std::vector<uint8_t> answer;
    uint32_t code = impl->RunExpecting(Command::RamChecksum, RangeRequest(start, end), answer, 2);
    if (code == 0) {
        sum = static_cast<uint16_t>(answer[0] | answer[1] << 8);
    }
    return Finish(code, error);
}

int CFlashDeviceApi::FlashSU(uint32_t address, const uint8_t* block, uint32_t length,
                             uint32_t& error) {
    if (block == nullptr || length == 0 || length > kMaxPacket) {
        return Finish(kFdaErrBadArgument, error);
    }
    PayloadWriter request;
    request.bytes.reserve(4 + length);
    request.U32(address);
    request.Bytes(block, length);
    std::vector<uint8_t> answer;
    return Finish(impl->RunExpecting(Command::Program, request.bytes, answer, 0), error);
}

int CFlashDeviceApi::GetRangeChecksum(uint32_t start, uint32_t end, uint16_t& sum,
                                      uint32_t& error) {
    sum = 0;
    std::vector<uint8_t> answer;
    uint32_t code = impl->RunExpecting(Command::RangeChecksum, RangeRequest(start, end), answer, 2);
    if (code == 0) {
        sum = static_cast<uint16_t>(answer[0] | answer[1] << 8);
    }
    return Finish(code, error);
}

int CFlashDeviceApi::EraseSU(EraseTypeEnum type, uint32_t& error) {
    if (type < 0 || type > 0xFF) {
        return Finish(kFdaErrBadArgument, error);
    }
    std::vector<uint8_t> answer;
    return Finish(impl->RunExpecting(Command::Erase, {static_cast<uint8_t>(type)}, answer, 0),
                  error);
}

int CFlashDeviceApi::SendFDI_REQ_STAT_Command(uint32_t& error, uint32_t& value,
                                              RESPONSE_TYPE& response) {
    response = RESPONSE_NONE;
    PayloadWriter request;
    request.U32(value);
    std::vector<uint8_t> answer;
    uint32_t code = impl->Run(Command::SettingsStatus, request.bytes, answer);
    // A refusal may still carry the phone's answer (incompatible, nothing to keep).
    if (answer.size() == 8) {
        PayloadReader reader(answer.data(), answer.size());
        value = reader.U32();
        response = static_cast<RESPONSE_TYPE>(reader.U32());
    } else if (code == 0) {
        code = kFdaErrBadFrame;
    }
    return Finish(code, error);
}

int CFlashDeviceApi::SendFDI_SAVE_Command(uint32_t& error) {
    std::vector<uint8_t> answer;
    return Finish(impl->RunExpecting(Command::SettingsSave, {}, answer, 0), error);
}

int CFlashDeviceApi::SendFDI_ERASE_FDI_Command(uint32_t& error) {
    std::vector<uint8_t> answer;
    return Finish(impl->RunExpecting(Command::SettingsErase, {}, answer, 0), error);
}

int CFlashDeviceApi::SendFDI_RESTORE_Command(uint32_t& error) {
    std::vector<uint8_t> answer;
    return Finish(impl->RunExpecting(Command::SettingsRestore, {}, answer, 0), error);
}

int CFlashDeviceApi::SendFDI_REQ_FDI_CS_Command(uint32_t& error, char* text, size_t textSize) {
    if (text == nullptr || textSize < orxproto::kSettingsChecksumSize) {
        return Finish(kFdaErrBadArgument, error);
    }
    std::vector<uint8_t> answer;
    uint32_t code =
        impl->RunExpecting(Command::SettingsChecksum, {}, answer, orxproto::kSettingsChecksumSize);
    if (code == 0) {
        std::memcpy(text, answer.data(), answer.size());
    }
    return Finish(code, error);
}

int CFlashDeviceApi::SendReinsertBarkerCmd(uint32_t& error) {
    std::vector<uint8_t> answer;
    return Finish(impl->RunExpecting(Command::ReinsertBarker, {}, answer, 0), error);
}

int CFlashDeviceApi::SendFDI_RESTART_Command(uint32_t& error) {
    std::vector<uint8_t> answer;
    return Finish(impl->RunExpecting(Command::Restart, {}, answer, 0), error);
}

int CFlashDeviceApi::PowerDownSU(uint32_t& error) {
    std::vector<uint8_t> answer;
    return Finish(impl->RunExpecting(Command::PowerDown, {}, answer, 0), error);
}
