// Faults on demand, one per stage of an exchange: each ends in an error code
// within the time-out, and the flash holds exactly what got through.
#include <algorithm>
#include <thread>

#include "PhoneSimBenchTest.h"

namespace {

using namespace phonebench;
using phonesim::FaultAction;
using phonesim::FaultOrder;
using phonesim::FaultStage;

FaultOrder Fault(FaultAction action, const std::string& command,
                 FaultStage stage = FaultStage::BeforeAnswer, uint32_t occurrence = 1) {
    FaultOrder fault;
    fault.action = action;
    fault.command = command;
    fault.stage = stage;
    fault.occurrence = occurrence;
    return fault;
}

class ExchangeFaultTest : public PhoneBench {
  protected:
    void SetUp() override {
        Make();
        StartRamDownloader();
        phone->ClearWriteLog();
    }
    uint32_t SumRange(uint32_t start, uint32_t end) {
        uint16_t sum = 0;
        uint32_t error = 0;
        api.GetRangeChecksum(start, end, sum, error);
        return error;
    }
};

TEST_F(ExchangeFaultTest, CutWhileTheRequestArrivesWritesNothing) {
    phone->AddFault(Fault(FaultAction::Cut, "Program", FaultStage::Request));

    EXPECT_EQ(Program(kCg1, Fill(16, 0x00)), kFdaErrSendFailed);

    EXPECT_EQ(phone->ReadFlash(kCg1, 16), Fill(16, 0xFF));
    EXPECT_EQ(SumRange(kCg1, kCg1 + 15), kFdaErrSendFailed);  // the link stays cut
}

TEST_F(ExchangeFaultTest, CutBeforeTheAnswerLeavesTheWriteDone) {
    phone->AddFault(Fault(FaultAction::Cut, "Program", FaultStage::BeforeAnswer));

    EXPECT_EQ(Program(kCg1, Fill(16, 0x00)), kFdaErrLinkCut);

    EXPECT_EQ(phone->ReadFlash(kCg1, 16), Fill(16, 0x00));
}

TEST_F(ExchangeFaultTest, CutInTheMiddleOfTheAnswerIsLinkCut) {
    phone->AddFault(Fault(FaultAction::Cut, "GetInfo", FaultStage::MidAnswer));
    SU_INFO_STRUC info{};
    uint32_t error = 0;

    EXPECT_EQ(api.GetSUinfo(&info, error), 0);
    EXPECT_EQ(error, kFdaErrLinkCut);
}

TEST_F(ExchangeFaultTest, CutAfterSoManyBytesStopsInTheSecondPacket) {
    FaultOrder cut;
    cut.action = FaultAction::Cut;
    cut.afterBytes = 40;  // one 32-byte request, then 8 bytes of the next
    phone->AddFault(cut);

    EXPECT_EQ(Program(kCg1, Fill(16, 0x01)), 0u);
    EXPECT_EQ(Program(kCg1 + 16, Fill(16, 0x02)), kFdaErrSendFailed);

    // The first packet written, the second erased as before. Built at its full
    // size: growing a 16-byte vector in place trips GCC 12's -Warray-bounds at -O3.
    Bytes expected = Fill(32, 0xFF);
    std::fill_n(expected.begin(), 16, uint8_t{0x01});
    EXPECT_EQ(phone->ReadFlash(kCg1, 32), expected);
}

TEST_F(ExchangeFaultTest, CutAtTheThirdPacketKeepsTheFirstTwo) {
    phone->AddFault(Fault(FaultAction::Cut, "packet", FaultStage::Request, 3));

    EXPECT_EQ(Program(kCg1, Fill(8, 0x01)), 0u);
    EXPECT_EQ(Program(kCg1 + 8, Fill(8, 0x02)), 0u);
    EXPECT_EQ(Program(kCg1 + 16, Fill(8, 0x03)), kFdaErrSendFailed);

    EXPECT_EQ(phone->ReadFlash(kCg1 + 8, 16),
              (Bytes{2, 2, 2, 2, 2, 2, 2, 2, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(phone->WriteLog().size(), 2u);
}

TEST_F(ExchangeFaultTest, StallAtTheRequestTimesOutAndWritesNothing) {
    phone->AddFault(Fault(FaultAction::Stall, "Program", FaultStage::Request));

    EXPECT_EQ(Program(kCg1, Fill(16, 0x00)), kFdaErrTimeout);

    EXPECT_EQ(phone->ReadFlash(kCg1, 16), Fill(16, 0xFF));
    EXPECT_EQ(Program(kCg1, Fill(16, 0x00)), 0u);  // the next exchange goes through
}

TEST_F(ExchangeFaultTest, StallBeforeTheAnswerTimesOutWithTheWriteDone) {
    phone->AddFault(Fault(FaultAction::Stall, "Program", FaultStage::BeforeAnswer));

    EXPECT_EQ(Program(kCg1, Fill(16, 0x00)), kFdaErrTimeout);

    EXPECT_EQ(phone->ReadFlash(kCg1, 16), Fill(16, 0x00));
}

TEST_F(ExchangeFaultTest, StallInTheMiddleOfTheAnswerTimesOutAndTheNextExchangeRecovers) {
    phone->AddFault(Fault(FaultAction::Stall, "RangeChecksum", FaultStage::MidAnswer));

    EXPECT_EQ(SumRange(kCg1, kCg1 + 7), kFdaErrTimeout);
    EXPECT_EQ(SumRange(kCg1, kCg1 + 7), 0u);
}

TEST_F(ExchangeFaultTest, CorruptedRequestIsRefusedAndNothingWritten) {
    FaultOrder fault = Fault(FaultAction::CorruptRequest, "Program");
    fault.byte = 14;  // a data byte of the packet
    phone->AddFault(fault);

    EXPECT_EQ(Program(kCg1, Fill(16, 0x00)), kFdaErrBadRequest);

    EXPECT_EQ(phone->ReadFlash(kCg1, 16), Fill(16, 0xFF));
    EXPECT_TRUE(phone->WriteLog().empty());
}

TEST_F(ExchangeFaultTest, CorruptedAnswerIsABadFrame) {
    FaultOrder fault = Fault(FaultAction::CorruptAnswer, "GetChecksums");
    fault.byte = 9;  // inside the status
    phone->AddFault(fault);
    CHECKSUMS_STRUC sums{};
    uint32_t error = 0;

    EXPECT_EQ(api.GetSUchkSum(MA_TYPE_GSM, &sums, error), 0);
    EXPECT_EQ(error, kFdaErrBadFrame);
    EXPECT_EQ(sums.codeGroups[0].valid, 0u);
}

TEST_F(ExchangeFaultTest, RefusedCommandGivesTheChosenCodeAndChangesNothing) {
    FaultOrder fault = Fault(FaultAction::Refuse, "Erase");
    fault.code = 0xE0020077;
    phone->AddFault(fault);
    uint32_t error = 0;

    EXPECT_EQ(api.EraseSU(ERASE_ALL, error), 0);
    EXPECT_EQ(error, 0xE0020077u);
    EXPECT_EQ(phone->ReadFlash(kCg0 + 16, 8), Fill(8, 0x11));
    EXPECT_EQ(api.EraseSU(ERASE_ALL, error), 1);  // refused once only
}

TEST_F(ExchangeFaultTest, PowerLossInAPacketKeepsWhatWasWritten) {
    FaultOrder fault = Fault(FaultAction::PowerLoss, "packet", FaultStage::BeforeAnswer, 2);
    fault.byte = 8;
    phone->AddFault(fault);
    ASSERT_EQ(Program(kCg1, Fill(32, 0x01)), 0u);

    EXPECT_EQ(Program(kCg1 + 32, Fill(32, 0x02)), kFdaErrLinkCut);

    Bytes expected = Fill(32, 0x01);
    Bytes second = Fill(8, 0x02);
    expected.insert(expected.end(), second.begin(), second.end());
    expected.resize(64, 0xFF);
    EXPECT_EQ(phone->ReadFlash(kCg1, 64), expected);
    EXPECT_FALSE(phone->IsPowered());
    EXPECT_EQ(phone->WriteLog().back().kind, WriteEvent::Kind::PowerLoss);
    phone->PowerOn();
    EXPECT_EQ(phone->ReadFlash(kCg1 + 32, 8), second);
}

TEST(ProfileFaultTest, FaultsListedInTheProfileStrike) {
    nlohmann::json profile = nlohmann::json::parse(kProfile);
    profile["faults"] = {
        {{"action", "refuse"}, {"command", "GetInfo"}, {"code", "0xE0020085"}, {"occurrence", 2}}};
    auto phone = Phone::FromJson(profile.dump());
    CFlashDeviceApi api;
    uint32_t error = 0;
    ASSERT_EQ(api.InitFlashDevAPIOnLink(phone->OpenLink("Kestrova_Flash").release(), error), 1);
    SU_INFO_STRUC info{};

    EXPECT_EQ(api.GetSUinfo(&info, error), 1);
    EXPECT_EQ(api.GetSUinfo(&info, error), 0);
    EXPECT_EQ(error, kFdaErrNotSupported);
}

TEST(LinkCutTest, CutFromAnotherThreadEndsTheWait) {
    auto phone = Phone::FromJson(kProfile);
    CFlashDeviceApi api;
    api.SetExchangeTimeout(60000);
    uint32_t error = 0;
    ASSERT_EQ(api.InitFlashDevAPIOnLink(phone->OpenLink("Kestrova_Flash").release(), error), 1);
    FaultOrder stall;
    stall.action = FaultAction::Stall;
    stall.command = "GetInfo";
    phone->AddFault(stall);
    std::thread unplug([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        phone->CutLinks();
    });
    SU_INFO_STRUC info{};

    EXPECT_EQ(api.GetSUinfo(&info, error), 0);
    EXPECT_EQ(error, kFdaErrLinkCut);  // not a time-out
    unplug.join();
}

}  // namespace
