// Identifying phones and reading their records: the descriptor table, the
// serial path, the test-command suspend, retries with one report, the status
// request before an erase, and checksums with and without a figure.
#include <gtest/gtest.h>

#include "EngineConfig.h"
#include "ModuleFakes.h"
#include "ORX_FP_Flash.h"
#include "ORX_FP_FlashThread.h"
#include "OrxHost.h"
#include "PhoneFiles.h"
#include "ShxFiles.h"

namespace {

using nlohmann::json;
using testsupport::AttachExamplePhone;
using Failures = CFlashThread::Failures;
using Stage = CFlashThread::Stage;
using SettingsArea = CFlashThread::SettingsArea;

constexpr const char* kNoDescriptor =
    "***Error*** Unable to connect to the Subscriber Unit. Unable to get string descriptors.";

class EngineIdentify : public testsupport::HostedModuleTest {
  protected:
    template <typename Step>
    int Quietly(Step step) {
        testing::internal::CaptureStdout();
        int result = step();
        output += testing::internal::GetCapturedStdout();
        return result;
    }
    bool Printed(const std::string& text) const { return output.find(text) != std::string::npos; }

    CFlashThread engine{testsupport::EngineConfig(this, scratch.File("fw.shx"))};
    std::string output;
};

struct Row {
    const char* profile;
    const char* descriptor;  // replaces the profile's when set
    int boot, flash, tavenorFlash, tavenorBlank;
    const char* platform;
};

TEST_F(EngineIdentify, EveryDescriptorRowSetsItsFlagsAndPlatform) {
    const Row rows[] = {
        {"blank-r4x-dorsk", nullptr, 1, 0, 0, 0, "Blank CDMA Dorsk"},
        {"blank-r4x-dorsk", "Blank R4X Brinmar", 1, 0, 0, 0, "Blank Brinmar"},
        {"flash-r4x-dorsk", nullptr, 0, 1, 0, 0, "Unknown Platform"},
        {"flash-r4x-brinmar", nullptr, 0, 1, 0, 0, "Unknown Platform"},
        {"flash-r4x-quellin", nullptr, 0, 1, 0, 0, "Unknown Platform"},
        {"blank-r4x-dorsk", "Blank R4X Quellin", 1, 0, 0, 0, "Blank Quellin"},
        {"flash-hmq-vintrel", nullptr, 0, 1, 0, 0, "Unknown Platform"},
        {"blank-r4x-dorsk", "Blank HMQ Vintrel", 1, 0, 0, 0, "Blank k.380"},
        {"kestrova-t340x", nullptr, 0, 1, 0, 0, "Unknown Platform"},
        {"kestrova-trq07", nullptr, 0, 1, 0, 0, "Unknown Platform"},
        {"flash-j617-tavenor", nullptr, 0, 1, 1, 0, "Unknown Platform"},
        {"blank-j617-tavenor", nullptr, 0, 1, 0, 1, "Blank Tavenor"},
        {"kestrova-t340e", nullptr, 0, 1, 0, 0, "Unknown Platform"},
        {"flash-hbx4200", nullptr, 0, 1, 0, 0, "Unknown Platform"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.profile) + " " + (row.descriptor ? row.descriptor : ""));
        orxhost::Reset();
        auto phone = AttachExamplePhone(row.profile, [&](json& profile) {
            if (row.descriptor != nullptr) {
                profile["modes"][profile["mode"].get<std::string>()]["descriptor"] = row.descriptor;
            }
        });
        CFlashThread fresh(testsupport::EngineConfig(nullptr));
        const CFlashThread::PhoneRecords& identified = fresh.Phone();
        ASSERT_EQ(Quietly([&] { return fresh.IdentifyDevice(phone->DeviceId()); }), 1) << output;
        EXPECT_EQ(identified.bootState, row.boot);
        EXPECT_EQ(identified.flashState, row.flash);
        EXPECT_EQ(identified.tavenorFlash, row.tavenorFlash);
        EXPECT_EQ(identified.tavenorBlank, row.tavenorBlank);
        EXPECT_EQ(identified.platformName, row.platform);
    }
}

TEST_F(EngineIdentify, DescriptorMatchingNoRowIsRefused) {
    auto phone = AttachExamplePhone("flash-r4x-dorsk", [](json& profile) {
        profile["modes"]["flash"]["descriptor"] = "Flash R4X Dorsk ";  // a trailing blank
    });
    EXPECT_EQ(Quietly([&] { return engine.IdentifyDevice(phone->DeviceId()); }), 0);
    EXPECT_TRUE(Printed(std::string("Phone[0001]: ") + kNoDescriptor + "\n")) << output;
}

TEST_F(EngineIdentify, SerialPhoneIsNeverAskedForADescriptor) {
    auto flashPhone = AttachExamplePhone("flash-r4x-dorsk");
    auto serial = AttachExamplePhone("serial-1000");
    ASSERT_EQ(Quietly([&] { return engine.ConnectDevice(flashPhone->DeviceId()); }), 1) << output;
    ASSERT_FALSE(engine.Phone().stringDescriptor.empty());
    int descriptorReads = orxhost::CallCount("ORXGetStringDescriptor");
    ASSERT_EQ(Quietly([&] { return engine.ConnectDevice(1000); }), 1) << output;
    EXPECT_EQ(orxhost::CallCount("ORXGetStringDescriptor"), descriptorReads);
    EXPECT_EQ(engine.Phone().stringDescriptor, "");  // not the previous phone's
    EXPECT_EQ(engine.Phone().flashState, 1);
}

TEST_F(EngineIdentify, TestCommandSuspendBringsThePhoneToFlashMode) {
    auto phone = AttachExamplePhone("suspend-t340x");
    ASSERT_EQ(Quietly([&] { return engine.ConnectDevice(phone->DeviceId()); }), 1) << output;
    EXPECT_EQ(engine.Phone().flashState, 1);
    EXPECT_EQ(engine.Phone().stringDescriptor, "Kestrova T.340x");
}

TEST_F(EngineIdentify, RefusedSuspendAsksForPowerUpOnce) {
    auto phone = AttachExamplePhone("suspend-t340x");
    orxhost::InjectFailure("ORXSendCommand", 5, 1);
    EXPECT_EQ(Quietly([&] { return engine.ConnectDevice(phone->DeviceId()); }), 0);
    const std::string message =
        "ERROR: Phone is not fully power up. Please power up the phone.\r\nAlso RESTART "
        "Application.";
    size_t first = output.find(message);
    ASSERT_NE(first, std::string::npos) << output;
    EXPECT_EQ(output.find(message, first + 1), std::string::npos);
}

TEST_F(EngineIdentify, InformationRecordIsRetriedThreeTimesWithOneReport) {
    auto phone = AttachExamplePhone("flash-hmq-vintrel");
    ASSERT_EQ(Quietly([&] { return engine.OpenDeviceInterface(phone->DeviceId()); }), 1);
    engine.InitDeviceApi(Failures::Report);
    phonesim::FaultOrder refuse;
    refuse.action = phonesim::FaultAction::Refuse;
    refuse.command = "GetInfo";
    refuse.times = 2;
    refuse.code = 0xE0020024;
    phone->AddFault(refuse);
    EXPECT_EQ(Quietly([&] { return engine.ReadSUInfo(Failures::Report); }), 1);
    EXPECT_EQ(output, "");

    refuse.times = 3;
    phone->AddFault(refuse);
    EXPECT_EQ(Quietly([&] { return engine.ReadSUInfo(Failures::Report); }), 0);
    EXPECT_EQ(output,
              "Phone[0004]: Error Getting Subscriber Unit Information. Error 0xE0020024 \n");
}

TEST_F(EngineIdentify, EraseWaitsForASettingsAnswerThatAllowsIt) {
    for (int response : {2, 3, 4}) {
        SCOPED_TRACE(response);
        orxhost::Reset();
        output.clear();
        auto phone = AttachExamplePhone("flash-hmq-vintrel", [&](json& profile) {
            profile["settings"]["status"]["response"] = response;
            profile["directProgramming"] = true;  // no RAM downloader needed to erase
        });
        CFlashThread fresh(testsupport::EngineConfig(this));
        int erased = Quietly([&] {
            fresh.OpenDeviceInterface(phone->DeviceId());
            fresh.InitDeviceApi(Failures::Report);
            return fresh.EraseFlash(ERASE_ALL, SettingsArea::AskPhone);
        });
        bool erasedAny = false;
        for (const auto& event : phone->WriteLog()) {
            erasedAny |= event.kind == phonesim::WriteEvent::Kind::Erase;
        }
        EXPECT_EQ(erased, response == 2 ? 0 : 1) << output;
        EXPECT_EQ(erasedAny, response != 2);
        EXPECT_EQ(
            Printed("Phone[0004]: Incompatible file!\nPhone[0004]: Error : Incompatible file\n"),
            response == 2);
    }
}

TEST_F(EngineIdentify, FailedStatusRequestNeverReadsAsPermission) {
    auto phone = AttachExamplePhone("flash-hmq-vintrel",
                                    [](json& profile) { profile["directProgramming"] = true; });
    engine.OpenDeviceInterface(phone->DeviceId());
    engine.InitDeviceApi(Failures::Report);
    phonesim::FaultOrder refuse;
    refuse.action = phonesim::FaultAction::Refuse;
    refuse.command = "SettingsStatus";
    refuse.code = 0xE0020024;
    phone->AddFault(refuse);
    EXPECT_EQ(Quietly([&] { return engine.EraseFlash(ERASE_ALL, SettingsArea::AskPhone); }), 0);
    EXPECT_TRUE(Printed("Error : Incompatible file"));
    // With the settings just preserved no status request is made.
    phone->AddFault(refuse);
    output.clear();
    EXPECT_EQ(Quietly([&] { return engine.EraseFlash(ERASE_ALL, SettingsArea::Restored); }), 1)
        << output;
}

class EngineChecksums : public EngineIdentify {
  protected:
    // Flashes the sample (with code group 4 marked for a range checksum) and
    // keeps a reader of it.
    void FlashSample(const std::function<void(json&)>& phoneChange = nullptr) {
        json manifest = testsupport::FlashableManifest();
        testsupport::Subfile(manifest, "cg4")["type"] = 8;
        testsupport::WriteShx(manifest, scratch.File("fw.shx"));
        phone = AttachExamplePhone("flash-hmq-vintrel", phoneChange);
        engine.SetReader(std::make_unique<CFlashFileIO>(nullptr, scratch.File("fw.shx")));
        int reboot = 0;
        ASSERT_EQ(Quietly([&] {
                      return engine.Reader()->PrepareImages() == 1 &&
                                     engine.IdentifyDevice(phone->DeviceId()) == 1
                                 ? (engine.InitDeviceApi(Failures::Report),
                                    engine.FlashSequence(reboot))
                                 : 0;
                  }),
                  1)
            << output;
        output.clear();
    }
    std::shared_ptr<phonesim::Phone> phone;
};

TEST_F(EngineChecksums, FinishedPhoneMatchesOnlyWithTheBarkerAdjustment) {
    FlashSample();
    EXPECT_EQ(Quietly([&] { return engine.VerifyChecksums(*engine.Reader(), Stage::Finished); }), 1)
        << output;
    EXPECT_TRUE(Printed("Phone[0004]: Code Group 0 checksums match.\n"));
    EXPECT_TRUE(Printed("Phone[0004]: Code Group 4 checksums match.\n"));
    EXPECT_FALSE(Printed("Code Group 2"));  // the settings area is never compared
    output.clear();
    EXPECT_EQ(
        Quietly([&] { return engine.VerifyChecksums(*engine.Reader(), Stage::BeforeBarkers); }), 0);
    EXPECT_TRUE(Printed("Error verifying Code Group 0 checksums. File: 0x"));
}

TEST_F(EngineChecksums, RangeWithoutAFigurePassesSilentlyOtherFailuresDoNot) {
    FlashSample();
    phonesim::FaultOrder noFigure;
    noFigure.action = phonesim::FaultAction::Refuse;
    noFigure.command = "RangeChecksum";
    noFigure.code = 0xE0020085;
    phone->AddFault(noFigure);
    EXPECT_EQ(Quietly([&] { return engine.VerifyChecksums(*engine.Reader(), Stage::Finished); }), 1)
        << output;
    EXPECT_FALSE(Printed("Code Group 4"));

    phonesim::FaultOrder refuse;
    refuse.action = phonesim::FaultAction::Refuse;
    refuse.command = "RangeChecksum";
    refuse.code = 0xE0020024;
    orxhost::Reset();
    output.clear();
    FlashSample();
    phone->AddFault(refuse);
    EXPECT_EQ(Quietly([&] { return engine.VerifyChecksums(*engine.Reader(), Stage::Finished); }),
              0);
    EXPECT_TRUE(Printed("Error Geting Subscriber Unit Checksum. Error 0xE0020024 "));
    EXPECT_TRUE(Printed("Error verifying Code Group 4 checksums. File: 0x"));
}

TEST_F(EngineChecksums, ChecksumRecordIsRetriedThreeTimesWithExactlyOneLine) {
    FlashSample();
    phonesim::FaultOrder refuse;
    refuse.action = phonesim::FaultAction::Refuse;
    refuse.command = "GetChecksums";
    refuse.times = 3;
    refuse.code = 0xE0020024;
    phone->AddFault(refuse);
    EXPECT_EQ(Quietly([&] { return engine.VerifyChecksums(*engine.Reader(), Stage::Finished); }),
              0);
    EXPECT_EQ(output,
              "Phone[0004]: Verifying Checksums...\n"
              "Phone[0004]: Error Geting Subscriber Unit Checksum. Error 0xE0020024 \n");
}

class DeviceInformationExport : public testsupport::HostedModuleTest {};

TEST_F(DeviceInformationExport, AnswersOnlyWhenInitialisedAndGivenRoom) {
    auto phone = AttachExamplePhone("flash-hmq-vintrel");
    std::vector<std::array<char, 32>> buffers(3);
    std::vector<char*> entries;
    for (auto& buffer : buffers) {
        buffer[0] = '\0';
        entries.push_back(buffer.data());
    }
    OrxTextArray info{entries.data(), 3, 32};
    uint16_t firstVersion = 0;
    hostInstance.store(nullptr);
    EXPECT_EQ(GetDeviceInformation(4, &info, &firstVersion), 15);
    hostInstance.store(this);
    OrxTextArray two{entries.data(), 2, 32};
    EXPECT_EQ(GetDeviceInformation(4, &two, &firstVersion), 52);
    ASSERT_EQ(GetDeviceInformation(0x70004, &info, &firstVersion), 0);  // upper bits ignored
    EXPECT_STREQ(buffers[0].data(), "v0x0200");
    EXPECT_STREQ(buffers[1].data(), "v0x0350");
    EXPECT_STREQ(buffers[2].data(), "v0xFFFF");  // the phone has no code group 6
    EXPECT_EQ(firstVersion, 0x0200);
}

}  // namespace
