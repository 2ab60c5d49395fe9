// Tests of the device library over a scripted link: one case per stage at
// which an exchange can fail, and the strict decoding of answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <functional>
#include <thread>
#include <vector>

#include "FrameCodec.h"
#include "FlashDevApi.h"
#include "ORX.h"

namespace {

using orxproto::Command;
using orxproto::Frame;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kTimeoutMs = 50;

Bytes AnswerFrame(const Frame& request, uint32_t status, const Bytes& data = {},
                  uint8_t kindBits = orxproto::kAnswerBit) {
    orxproto::PayloadWriter payload;
    payload.U32(status);
    payload.Bytes(data.data(), data.size());
    Bytes out;
    orxproto::AppendFrame(out, orxproto::kAnswerStart, request.kind | kindBits, request.sequence,
                          payload.bytes.data(), payload.bytes.size());
    return out;
}

// The phone's end as a script: every request written is parsed and handed to
// `respond`, whose bytes are then read back at most `chunk` at a time.
class ScriptedLink : public ORXDeviceLink {
  public:
    std::function<Bytes(const Frame&)> respond;
    bool failWrites = false;
    bool cutWhenDrained = false;
    size_t chunk = 1 << 20;
    std::vector<Frame> requests;
    bool closed = false;
    std::deque<uint8_t> pending;

    bool Write(const uint8_t* data, size_t size) override {
        if (closed || failWrites) {
            return false;
        }
        Frame frame;
        orxproto::ParseFrame(data, size, orxproto::kRequestStart, orxproto::kMaxRequestPayload,
                             frame);
        requests.push_back(frame);
        if (respond) {
            Bytes answer = respond(frame);
            pending.insert(pending.end(), answer.begin(), answer.end());
        }
        return true;
    }

    long Read(uint8_t* out, size_t capacity, uint32_t timeoutMs) override {
        if (closed) {
            return -1;
        }
        if (pending.empty()) {
            if (cutWhenDrained) {
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
            return 0;
        }
        size_t count = std::min({capacity, chunk, pending.size()});
        std::copy(pending.begin(), pending.begin() + static_cast<long>(count), out);
        pending.erase(pending.begin(), pending.begin() + static_cast<long>(count));
        return static_cast<long>(count);
    }

    void Close() override { closed = true; }
};

// A device library bound to a scripted link that answers Connect; each test
// then scripts the command it looks at.
class ScriptedDeviceTest : public ::testing::Test {
  protected:
    ScriptedDeviceTest() {
        link->respond = [](const Frame& request) { return AnswerFrame(request, 0, {2}); };
        api.SetExchangeTimeout(kTimeoutMs);
        uint32_t error = 1;
        bound = api.InitFlashDevAPIOnLink(link, error) == 1 && error == 0;
    }

    // Answers the command with `answer(request)`, everything else with success.
    void Script(Command command, std::function<Bytes(const Frame&)> answer) {
        link->respond = [command, answer](const Frame& request) {
            return request.kind == static_cast<uint8_t>(command) ? answer(request)
                                                                 : AnswerFrame(request, 0);
        };
    }

    ScriptedLink* link = new ScriptedLink;  // owned by api
    CFlashDeviceApi api;
    bool bound = false;
};

class ExchangeStageTest : public ScriptedDeviceTest {};

TEST_F(ExchangeStageTest, SendFailsGivesSendFailed) {
    ASSERT_TRUE(bound);
    link->failWrites = true;
    uint32_t error = 0;

    EXPECT_EQ(api.SendFDI_SAVE_Command(error), 0);
    EXPECT_EQ(error, kFdaErrSendFailed);
}

TEST_F(ExchangeStageTest, NoAnswerTimesOut) {
    ASSERT_TRUE(bound);
    Script(Command::Erase, [](const Frame&) { return Bytes{}; });
    uint32_t error = 0;

    EXPECT_EQ(api.EraseSU(ERASE_ALL, error), 0);
    EXPECT_EQ(error, kFdaErrTimeout);
}

TEST_F(ExchangeStageTest, HalfAnAnswerTimesOut) {
    ASSERT_TRUE(bound);
    Script(Command::Erase, [](const Frame& request) {
        Bytes answer = AnswerFrame(request, 0);
        answer.resize(answer.size() / 2);
        return answer;
    });
    uint32_t error = 0;

    EXPECT_EQ(api.EraseSU(ERASE_ALL, error), 0);
    EXPECT_EQ(error, kFdaErrTimeout);
}

TEST_F(ExchangeStageTest, LinkCutWhileWaitingIsLinkCut) {
    ASSERT_TRUE(bound);
    Script(Command::Restart, [](const Frame&) { return Bytes{}; });
    link->cutWhenDrained = true;
    uint32_t error = 0;

    EXPECT_EQ(api.SendFDI_RESTART_Command(error), 0);
    EXPECT_EQ(error, kFdaErrLinkCut);
}

TEST_F(ExchangeStageTest, AnswerWithBadChecksumIsBadFrame) {
    ASSERT_TRUE(bound);
    Script(Command::Erase, [](const Frame& request) {
        Bytes answer = AnswerFrame(request, 0);
        answer[orxproto::kHeaderSize] ^= 1;
        return answer;
    });
    uint32_t error = 0;

    EXPECT_EQ(api.EraseSU(ERASE_ALL, error), 0);
    EXPECT_EQ(error, kFdaErrBadFrame);
}

TEST_F(ExchangeStageTest, AnswerToAnotherCommandIsBadFrame) {
    ASSERT_TRUE(bound);
    Script(Command::Erase, [](const Frame& request) {
        Frame other = request;
        other.kind = static_cast<uint8_t>(Command::PowerDown);
        return AnswerFrame(other, 0);
    });
    uint32_t error = 0;

    EXPECT_EQ(api.EraseSU(ERASE_ALL, error), 0);
    EXPECT_EQ(error, kFdaErrBadFrame);
}

TEST_F(ExchangeStageTest, AnswerWithoutRoomForItsStatusIsBadFrame) {
    ASSERT_TRUE(bound);
    Script(Command::Erase, [](const Frame& request) {
        Bytes out;
        uint8_t two[2] = {0, 0};
        orxproto::AppendFrame(out, orxproto::kAnswerStart, request.kind | orxproto::kAnswerBit,
                              request.sequence, two, 2);
        return out;
    });
    uint32_t error = 0;

    EXPECT_EQ(api.EraseSU(ERASE_ALL, error), 0);
    EXPECT_EQ(error, kFdaErrBadFrame);
}

TEST_F(ExchangeStageTest, OversizedAnswerIsRefusedWithoutWaitingForIt) {
    ASSERT_TRUE(bound);
    Script(Command::GetInfo, [](const Frame& request) {
        return Bytes{orxproto::kAnswerStart,
                     static_cast<uint8_t>(request.kind | 0x80),
                     request.sequence,
                     0x00,
                     0x00,
                     0x00,
                     0x40};
    });
    SU_INFO_STRUC info{};
    uint32_t error = 0;

    EXPECT_EQ(api.GetSUinfo(&info, error), 0);
    EXPECT_EQ(error, kFdaErrBadFrame);
}

TEST_F(ExchangeStageTest, AnswerReadOneByteAtATimeIsWhole) {
    ASSERT_TRUE(bound);
    link->chunk = 1;
    Script(Command::RangeChecksum, [](const Frame& request) {
        return AnswerFrame(request, 0, {0x34, 0x12});
    });
    uint16_t sum = 0;
    uint32_t error = 0;

    EXPECT_EQ(api.GetRangeChecksum(0x1000, 0x1FFF, sum, error), 1);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(sum, 0x1234);
}

TEST_F(ExchangeStageTest, LateAnswerToAnEarlierRequestIsPassedOver) {
    ASSERT_TRUE(bound);
    Script(Command::RangeChecksum, [](const Frame& request) {
        Frame earlier = request;
        earlier.sequence = static_cast<uint8_t>(request.sequence - 1);
        Bytes both = AnswerFrame(earlier, 0, {0xEE, 0xEE});
        Bytes right = AnswerFrame(request, 0, {0x01, 0x00});
        both.insert(both.end(), right.begin(), right.end());
        return both;
    });
    uint16_t sum = 0;
    uint32_t error = 0;

    EXPECT_EQ(api.GetRangeChecksum(0, 7, sum, error), 1);
    EXPECT_EQ(sum, 1);
}

TEST_F(ExchangeStageTest, BytesLeftFromATimedOutExchangeAreDropped) {
    ASSERT_TRUE(bound);
    Script(Command::RangeChecksum, [](const Frame& request) {
        Bytes answer = AnswerFrame(request, 0, {5, 0});
        answer.resize(5);  // half an answer, never finished
        return answer;
    });
    uint16_t sum = 0;
    uint32_t error = 0;
    ASSERT_EQ(api.GetRangeChecksum(0, 7, sum, error), 0);
    ASSERT_EQ(error, kFdaErrTimeout);
    link->pending.push_back(0x55);  // and a stray byte after it
    Script(Command::RangeChecksum, [](const Frame& request) {
        return AnswerFrame(request, 0, {6, 0});
    });

    EXPECT_EQ(api.GetRangeChecksum(0, 7, sum, error), 1);
    EXPECT_EQ(sum, 6);
}

TEST_F(ExchangeStageTest, UseAfterCloseIsNotBound) {
    ASSERT_TRUE(bound);
    api.Close();
    uint32_t error = 0;

    EXPECT_EQ(api.PowerDownSU(error), 0);
    EXPECT_EQ(error, kFdaErrNotBound);
}

TEST_F(ExchangeStageTest, LinkClosedUnderneathGivesSendFailed) {
    ASSERT_TRUE(bound);
    link->closed = true;
    uint32_t error = 0;

    EXPECT_EQ(api.PowerDownSU(error), 0);
    EXPECT_EQ(error, kFdaErrSendFailed);
}

TEST_F(ExchangeStageTest, PhoneRefusalCarriesThePhonesCode) {
    ASSERT_TRUE(bound);
    Script(Command::Erase, [](const Frame& request) { return AnswerFrame(request, 0xE0020099); });
    uint32_t error = 0;

    EXPECT_EQ(api.EraseSU(ERASE_LANGUAGE_PACKAGE, error), 0);
    EXPECT_EQ(error, 0xE0020099u);
}

TEST_F(ExchangeStageTest, NakOfAGarbledRequestGivesBadRequest) {
    ASSERT_TRUE(bound);
    Script(Command::Erase,
           [](const Frame& request) { return AnswerFrame(request, kFdaErrBadRequest, {}, 0xFF); });
    uint32_t error = 0;

    EXPECT_EQ(api.EraseSU(ERASE_ALL, error), 0);
    EXPECT_EQ(error, kFdaErrBadRequest);
}

TEST(UnboundDeviceTest, EveryCallBeforeBindingIsNotBound) {
    CFlashDeviceApi api;
    SU_INFO_STRUC info{};
    uint32_t error = 0;

    EXPECT_EQ(api.GetSUinfo(&info, error), 0);
    EXPECT_EQ(error, kFdaErrNotBound);
}

TEST(UnboundDeviceTest, InitWithoutAHostLibraryGivesNoHostLink) {
    CFlashDeviceApi api;
    int notAHandle = 0;
    uint32_t error = 0;

    EXPECT_EQ(api.InitFlashDevAPI(&notAHandle, 5, nullptr, error), 0);
    EXPECT_EQ(error, kFdaErrNoHostLink);
}

// Answers are decoded strictly: exact sizes, fields where they belong.
class AnswerDecodingTest : public ScriptedDeviceTest {};

TEST_F(AnswerDecodingTest, InfoRecordOfTheWrongSizeLeavesTheRecordUntouched) {
    ASSERT_TRUE(bound);
    Script(Command::GetInfo,
           [](const Frame& request) { return AnswerFrame(request, 0, Bytes(2079, 0)); });
    SU_INFO_STRUC info;
    std::memset(&info, 0xAB, sizeof info);
    uint32_t error = 0;

    EXPECT_EQ(api.GetSUinfo(&info, error), 0);
    EXPECT_EQ(error, kFdaErrBadFrame);
    EXPECT_EQ(info.bootloader.version[0], 0xAB);
}

TEST_F(AnswerDecodingTest, ChecksumRecordEntriesLandInTheirFields) {
    ASSERT_TRUE(bound);
    Script(Command::GetChecksums, [](const Frame& request) {
        orxproto::PayloadWriter record;
        for (int entry = 0; entry < 257; ++entry) {
            record.U32(entry == 4 ? 1 : 0);  // code group 3
            record.U16(entry == 4 ? 0x0D5D : 0);
            record.U16(0xFFFF);
        }
        EXPECT_EQ(request.payload, Bytes{MA_TYPE_UMTS});
        return AnswerFrame(request, 0, record.bytes);
    });
    CHECKSUMS_STRUC sums{};
    uint32_t error = 0;

    EXPECT_EQ(api.GetSUchkSum(MA_TYPE_UMTS, &sums, error), 1);
    EXPECT_EQ(sums.codeGroups[3].valid, 1u);
    EXPECT_EQ(sums.codeGroups[3].checksum, 0x0D5D);
    EXPECT_EQ(sums.codeGroups[2].valid, 0u);
    EXPECT_EQ(sums.bootloader.valid, 0u);
}

TEST_F(AnswerDecodingTest, RefusedStatusRequestStillGivesThePhonesResponse) {
    ASSERT_TRUE(bound);
    Script(Command::SettingsStatus, [](const Frame& request) {
        orxproto::PayloadWriter data;
        data.U32(64);
        data.U32(RESPONSE_NO_UPGRADE);
        return AnswerFrame(request, kFdaErrRefused, data.bytes);
    });
    uint32_t error = 0;
    uint32_t value = 50;
    RESPONSE_TYPE response = RESPONSE_READY;

    EXPECT_EQ(api.SendFDI_REQ_STAT_Command(error, value, response), 0);
    EXPECT_EQ(error, kFdaErrRefused);
    EXPECT_EQ(response, RESPONSE_NO_UPGRADE);
    EXPECT_EQ(value, 64u);
}

TEST_F(AnswerDecodingTest, FailedStatusRequestLeavesNoResponse) {
    ASSERT_TRUE(bound);
    Script(Command::SettingsStatus, [](const Frame&) { return Bytes{}; });
    uint32_t error = 0;
    uint32_t value = 50;
    RESPONSE_TYPE response = RESPONSE_READY;

    EXPECT_EQ(api.SendFDI_REQ_STAT_Command(error, value, response), 0);
    EXPECT_EQ(error, kFdaErrTimeout);
    EXPECT_EQ(response, RESPONSE_NONE);
}

TEST_F(AnswerDecodingTest, SettingsChecksumTextIsCopiedWithinTwelveBytes) {
    ASSERT_TRUE(bound);
    Bytes text = {'1', 'a', '2', 'b', 'c', 'd', 'e', 'f', '9', '9', '9', '9'};
    Script(Command::SettingsChecksum,
           [text](const Frame& request) { return AnswerFrame(request, 0, text); });
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    uint32_t error = 0;

    EXPECT_EQ(api.SendFDI_REQ_FDI_CS_Command(error, buffer, sizeof buffer), 1);
    EXPECT_EQ(Bytes(buffer, buffer + 12), text);
    EXPECT_EQ(buffer[12], '#');
}

TEST_F(AnswerDecodingTest, BadArgumentsSendNothing) {
    ASSERT_TRUE(bound);
    size_t sent = link->requests.size();
    uint32_t error = 0;
    char small[11];
    uint8_t byte = 0;

    EXPECT_EQ(api.GetSUinfo(nullptr, error), 0);
    EXPECT_EQ(api.SendFDI_REQ_FDI_CS_Command(error, small, sizeof small), 0);
    EXPECT_EQ(api.FlashSU(0, nullptr, 11, error), 0);
    EXPECT_EQ(api.FlashSU(0, &byte, 0x10003, error), 0);
    EXPECT_EQ(api.RAMdownload(0, 0, &byte, 0x10000, 0, error), 0);
    EXPECT_EQ(api.RAMdownload(2, 0, &byte, 1, 0, error), 0);
    EXPECT_EQ(api.SetBaudRate(static_cast<BaudRateEnum>(12345), error), 0);
    EXPECT_EQ(api.GetSUchkSum(static_cast<MAtypeEnum>(5), nullptr, error), 0);
    EXPECT_EQ(error, kFdaErrBadArgument);
    EXPECT_EQ(link->requests.size(), sent);
}

TEST_F(AnswerDecodingTest, RequestsCarryTheirArgumentsInOrder) {
    ASSERT_TRUE(bound);
    link->respond = [](const Frame& request) { return AnswerFrame(request, 0); };
    uint8_t packet[11] = {0x00, 0x08, 1, 2, 3, 4, 5, 6, 7, 8, 0x2C};
    uint32_t error = 0;

    ASSERT_EQ(api.FlashSU(0x10000000, packet, sizeof packet, error), 1);
    ASSERT_EQ(api.RAMdownload(1, 0x03FC0010, nullptr, 0, 1, error), 1);

    const Frame& program = link->requests[link->requests.size() - 2];
    EXPECT_EQ(program.kind, static_cast<uint8_t>(Command::Program));
    EXPECT_EQ(program.payload,
              (Bytes{0x00, 0x00, 0x00, 0x10, 0x00, 0x08, 1, 2, 3, 4, 5, 6, 7, 8, 0x2C}));
    const Frame& start = link->requests.back();
    EXPECT_EQ(start.payload, (Bytes{1, 0x10, 0x00, 0xFC, 0x03, 1}));
}

}  // namespace
