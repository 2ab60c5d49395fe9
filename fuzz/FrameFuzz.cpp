// Fuzz target for the protocol's frames at both ends.
// Input: byte 0 picks the mode, byte 1 a device-library command, the rest is
// the data.
//   mode 0: the data is what the phone sends back, byte for byte;
//   mode 1: the data is the payload of a well-formed answer (status and data),
//           so the device library's answer decoders see it;
//   mode 2: the data is what the host sends a simulated phone, which must
//           answer or refuse it without harm.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "FrameCodec.h"
#include "Phone.h"
#include "interfaces/FlashDevApi.h"
#include "interfaces/ORX.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The phone's end: Connect is answered properly, the next request with the
// fuzz data (raw or framed); an empty link reads as cut, so nothing waits.
class FuzzLink : public ORXDeviceLink {
  public:
    FuzzLink(const uint8_t* data, size_t size, bool framed)
        : data(data, data + size), framed(framed) {}

    bool Write(const uint8_t* bytes, size_t size) override {
        orxproto::Frame request;
        orxproto::ParseFrame(bytes, size, orxproto::kRequestStart, orxproto::kMaxRequestPayload,
                             request);
        uint8_t kind = request.kind | orxproto::kAnswerBit;
        if (request.kind == static_cast<uint8_t>(orxproto::Command::Connect)) {
            uint8_t ok[5] = {0, 0, 0, 0, 2};
            orxproto::AppendFrame(answers, orxproto::kAnswerStart, kind, request.sequence, ok, 5);
        } else if (framed) {
            orxproto::AppendFrame(answers, orxproto::kAnswerStart, kind, request.sequence,
                                  data.data(), data.size());
        } else {
            answers.insert(answers.end(), data.begin(), data.end());
        }
        return true;
    }

    long Read(uint8_t* out, size_t capacity, uint32_t) override {
        if (answers.empty()) {
            return -1;
        }
        size_t count = std::min(capacity, answers.size());
        std::copy(answers.begin(), answers.begin() + static_cast<long>(count), out);
        answers.erase(answers.begin(), answers.begin() + static_cast<long>(count));
        return static_cast<long>(count);
    }

    void Close() override {}

  private:
    Bytes data;
    bool framed;
    Bytes answers;
};

void RunCommand(CFlashDeviceApi& api, uint8_t selector) {
    uint32_t error = 0;
    uint16_t sum = 0;
    switch (selector % 9) {
        case 0: {
            SU_INFO_STRUC info;
            api.GetSUinfo(&info, error);
            break;
        }
        case 1: {
            CHECKSUMS_STRUC sums;
            api.GetSUchkSum(MA_TYPE_GSM, &sums, error);
            break;
        }
        case 2:
            api.GetRAMchecksum(0, 15, sum, error);
            break;
        case 3:
            api.GetRangeChecksum(0, 15, sum, error);
            break;
        case 4: {
            uint32_t value = 50;
            RESPONSE_TYPE response = RESPONSE_NONE;
            api.SendFDI_REQ_STAT_Command(error, value, response);
            break;
        }
        case 5: {
            char text[12];
            api.SendFDI_REQ_FDI_CS_Command(error, text, sizeof text);
            break;
        }
        case 6:
            api.EraseSU(ERASE_ALL, error);
            break;
        case 7: {
            uint8_t packet[11] = {0, 8, 1, 2, 3, 4, 5, 6, 7, 8, 0x2C};
            api.FlashSU(0x1000, packet, sizeof packet, error);
            break;
        }
        default:
            api.SetBaudRate(BAUD_115200, error);
            break;
    }
}

const char* const kPhone = R"({
  "deviceId": 9, "mode": "flash", "directProgramming": true,
  "modes": {"flash": {"descriptor": "Flash J617 Tavenor", "interfaces": ["Kestrova_Flash"]}},
  "bootloader": {"chipsetType": 6, "maType": 4, "version": 1},
  "ram": {"start": "0x00100000", "size": 256},
  "layout": [{"codeGroup": 0, "start": "0x1000", "size": 64, "barker": true},
             {"codeGroup": 2, "start": "0x2000", "size": 64},
             {"codeGroup": 4, "start": "0x3000", "size": 64}],
  "settings": {"data": {"hex": "01 02 03 04"}}
})";

void FeedPhone(const uint8_t* data, size_t size) {
    static std::shared_ptr<phonesim::Phone> phone = phonesim::Phone::FromJson(kPhone);
    std::unique_ptr<ORXDeviceLink> link = phone->OpenLink("Kestrova_Flash");
    if (!link) {
        phone->PowerOn();
        return;
    }
    link->Write(data, size);
    uint8_t answer[4096];
    while (link->Read(answer, sizeof answer, 0) > 0) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    uint8_t mode = data[0] % 3;
    uint8_t selector = data[1];
    data += 2;
    size -= 2;
    orxproto::Frame frame;
    orxproto::ParseFrame(data, size, orxproto::kAnswerStart, orxproto::kMaxAnswerPayload, frame);
    if (mode == 2) {
        FeedPhone(data, size);
        return 0;
    }
    CFlashDeviceApi api;
    api.SetExchangeTimeout(10);
    uint32_t error = 0;
    if (api.InitFlashDevAPIOnLink(new FuzzLink(data, size, mode == 1), error) == 1) {
        RunCommand(api, selector);
    }
    return 0;
}
