// Fuzz target for the protocol's frames at both ends, in memory: no threads,
// no waiting, a fresh phone per input.
// Input: byte 0 picks the mode, byte 1 a command, the rest is the data.
//   mode 0: the data is what the phone sends back, byte for byte, to the
//           device library's protocol driver;
//   mode 1: the data is the payload of a well-formed answer (status and data)
//           to the driver's request, so its answer checks see it;
//   mode 2: the data is what the host sends a simulated phone, which must
//           answer or refuse it; whatever it sends back is a whole frame.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "Channel.h"
#include "DeviceClient.h"
#include "FrameCodec.h"
#include "Phone.h"
#include "Profile.h"
#include "ORX.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Check(bool holds) {
    if (!holds) {
        std::abort();
    }
}

// The phone's end as the fuzz data: each request is answered with the data,
// raw or framed; once the answers are read the link reads as cut, so the
// driver never waits.
class MemoryLink : public ORXDeviceLink {
  public:
    MemoryLink(const uint8_t* data, size_t size, bool framed)
        : data(data, data + size), framed(framed) {}

    bool Write(const uint8_t* bytes, size_t size) override {
        orxproto::Frame request;
        orxproto::ParseResult parsed = orxproto::ParseFrame(bytes, size, orxproto::kRequestStart,
                                                            orxproto::kMaxRequestPayload, request);
        Check(parsed.status == orxproto::ParseStatus::Complete && parsed.consumed == size);
        if (framed) {
            orxproto::AppendFrame(answers, orxproto::kAnswerStart,
                                  request.kind | orxproto::kAnswerBit, request.sequence,
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
        std::copy_n(answers.begin(), count, out);
        answers.erase(answers.begin(), answers.begin() + static_cast<long>(count));
        return static_cast<long>(count);
    }

    void Close() override {}

  private:
    Bytes data;
    bool framed;
    Bytes answers;
};

uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void FeedDriver(const uint8_t* data, size_t size, bool framed, uint8_t selector) {
    MemoryLink link(data, size, framed);
    devapi::DeviceClient client(&link, 1000);
    auto command = static_cast<orxproto::Command>(
        orxproto::kFirstCommand +
        selector % (orxproto::kLastCommand - orxproto::kFirstCommand + 1));
    Bytes request{selector, 0, 0, 0, 0, 0, 0, 0};
    Bytes answer;
    if (client.Exchange(command, request, answer) == 0) {
        // The answer's fields as the device library reads them: never past its end.
        orxproto::PayloadReader reader(answer.data(), answer.size());
        while (!reader.Failed() && !reader.AtEnd()) {
            reader.U32();
            reader.U16();
            reader.U8();
        }
        size_t rest = 0;
        reader.Rest(rest);
        Check(rest == 0);
    }
    // A second exchange on the same driver drops what the first left over.
    client.Exchange(orxproto::Command::GetInfo, {}, answer);
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

// Parsed once, before the first input, so its parsing is no input's coverage.
const phonesim::Profile& PhoneProfile() {
    static const phonesim::Profile profile = phonesim::ParseProfile(kPhone, ".");
    return profile;
}

void FeedPhone(const uint8_t* data, size_t size) {
    std::shared_ptr<phonesim::Phone> phone = phonesim::Phone::Create(PhoneProfile());
    phonesim::Channel channel("Kestrova_Flash", 0);
    phone->Receive(channel, data, size);
    Bytes sent;
    uint8_t chunk[4096];
    for (long got; (got = channel.Read(chunk, sizeof chunk, 0)) > 0;) {
        sent.insert(sent.end(), chunk, chunk + got);
    }
    // Every answer is a whole frame the host can read: answer start, a status,
    // no more than the host takes. The CRC is the codec's own, which the
    // driver's modes check; a second pass here would cost a sixth of the speed.
    size_t offset = 0;
    while (offset < sent.size()) {
        const uint8_t* frame = sent.data() + offset;
        size_t left = sent.size() - offset;
        Check(left >= orxproto::kHeaderSize + orxproto::kCrcSize);
        size_t length = Le32(frame + 3);
        Check(frame[0] == orxproto::kAnswerStart && length >= 4 &&
              length <= orxproto::kMaxAnswerPayload);
        Check(left >= orxproto::kHeaderSize + length + orxproto::kCrcSize);
        offset += orxproto::kHeaderSize + length + orxproto::kCrcSize;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    PhoneProfile();
    return 0;
}

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
    } else {
        FeedDriver(data, size, mode == 1, selector);
    }
    return 0;
}
