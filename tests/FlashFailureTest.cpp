// A failure at each step of the flash sequence: the exact report, no barker
// of the file left written, and the same phone flashing correctly afterwards.
#include <gtest/gtest.h>

#include "EngineConfig.h"
#include "ModuleFakes.h"
#include "ORX_FP_FlashThread.h"
#include "OrxHost.h"
#include "PhoneFiles.h"
#include "ShxFiles.h"

namespace {

using nlohmann::json;
using phonesim::FaultAction;
using phonesim::FaultOrder;
using phonesim::WriteEvent;

struct StepFailure {
    const char* name;
    bool combo;         // the file carries a combo settings area
    bool languageOnly;  // the file carries only a language package
    FaultOrder fault;
    int statusResponse;       // the phone's settings status answer (0: the profile's; -1: a
                              // phone whose code group 1 range is 8 bytes longer than the file's)
    const char* report;       // a line the failure must print
    uint32_t statusCode = 0;  // a refused status request, still carrying statusResponse
};

FaultOrder Refuse(const char* command, uint32_t code = 0xE0020024, uint32_t occurrence = 1) {
    FaultOrder fault;
    fault.action = FaultAction::Refuse;
    fault.command = command;
    fault.code = code;
    fault.occurrence = occurrence;
    return fault;
}

FaultOrder CutMidBlock() {
    FaultOrder fault;
    fault.action = FaultAction::Cut;
    fault.command = "Program";
    fault.occurrence = 5;
    fault.stage = phonesim::FaultStage::Request;
    return fault;
}

FaultOrder None() {
    FaultOrder fault;
    fault.command = "";
    return fault;
}

class FlashFailure : public testsupport::HostedModuleTest,
                     public ::testing::WithParamInterface<StepFailure> {
  protected:
    int FlashOnce() {
        CFlashThread engine(testsupport::EngineConfig(this, scratch.File("fw.shx")));
        engine.SetReader(std::make_unique<CFlashFileIO>(nullptr, scratch.File("fw.shx")));
        testing::internal::CaptureStdout();
        int result =
            engine.Reader()->PrepareImages() == 1 && engine.IdentifyDevice(phone->DeviceId()) == 1
                ? (engine.InitDeviceApi(CFlashThread::Failures::Report),
                   engine.FlashSequence(reboot))
                : 0;
        output = testing::internal::GetCapturedStdout();
        return result;
    }
    int reboot = 0;
    std::shared_ptr<phonesim::Phone> phone;
    std::string output;
};

TEST_P(FlashFailure, ReportsLeavesNoBarkerAndTheNextAttemptSucceeds) {
    const StepFailure& step = GetParam();
    json manifest = testsupport::FlashableManifest();
    if (step.combo) {
        testsupport::Subfile(manifest, "cg2")["type"] = 4;
    }
    if (step.languageOnly) {
        for (const char* slot : {"cg0", "cg1", "cg2"}) {
            testsupport::RemoveSubfile(manifest, slot);
        }
    }
    mkshx::BuiltSuperfile built = testsupport::WriteShx(manifest, scratch.File("fw.shx"));
    phone = testsupport::AttachExamplePhone("flash-hmq-vintrel", [&](json& profile) {
        if (step.statusResponse > 0) {
            profile["settings"]["status"]["response"] = step.statusResponse;
            profile["settings"]["status"]["code"] = step.statusCode;
        } else if (step.statusResponse < 0) {
            for (json& group : profile["layout"]) {
                if (group["codeGroup"] == 1) {
                    group["size"] = group["size"].get<int>() + 8;
                }
            }
        }
    });
    if (!step.fault.command.empty()) {
        phone->AddFault(step.fault);
    }
    EXPECT_EQ(FlashOnce(), 0);
    EXPECT_NE(output.find(step.report), std::string::npos) << output;
    EXPECT_EQ(output.find("FLASH COMPLETED"), std::string::npos);
    if (step.statusCode != 0) {  // a phone that never allowed an erase
        for (const WriteEvent& event : phone->WriteLog()) {
            EXPECT_NE(event.kind, WriteEvent::Kind::Erase);
            EXPECT_NE(event.kind, WriteEvent::Kind::SettingsErase);
        }
    }

    CFlashFileIO reader(nullptr, scratch.File("fw.shx"));
    ASSERT_EQ(reader.ReadSuperfile(FailureBoxes::Quiet), 1);
    if (!step.languageOnly) {  // there the barkers precede the failing command
        for (int slot = 2; slot < shx::kSlots; ++slot) {
            const SubfileRecord& record = reader.Record(slot);
            if (record.present && record.type == shx::kSubfileTypeBarker) {
                std::vector<uint8_t> barker(record.barkerCode.begin(), record.barkerCode.end());
                EXPECT_NE(phone->ReadFlash(record.start, 8), barker) << "slot " << slot;
            }
        }
    }

    phone->ClearFaults();
    if (step.statusResponse != 0) {  // a phone that never could take the file
        orxhost::Reset();
        phone = testsupport::AttachExamplePhone("flash-hmq-vintrel");
    }
    if (!phone->IsPowered()) {
        phone->PowerOn();
        ORXRefreshConnections();
    }
    ASSERT_EQ(FlashOnce(), 1) << output;
    for (const auto& [slot, image] : built.images) {
        if (slot >= 2) {
            EXPECT_EQ(phone->ReadFlash(reader.Record(slot).start, image.size()), image) << slot;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, FlashFailure,
    ::testing::Values(
        StepFailure{"StatusAnswers2", false, false, None(), 2,
                    "Phone[0004]: Error : Incompatible file\n"},
        // A refused status request allows no erase, whatever answer it carries.
        StepFailure{"StatusRefusedCarrying3", false, false, None(), 3,
                    "Phone[0004]: Error : Incompatible file\n", 0xE0020024},
        StepFailure{"StatusRefusedCarrying4", false, false, None(), 4,
                    "Phone[0004]: Error : Incompatible file\n", 0xE0020024},
        // The settings upgrade did nothing: the settings area is not kept.
        StepFailure{"ComboStatusRefusedCarrying3", true, false, None(), 3,
                    "Phone[0004]: Error : Incompatible file\n", 0xE0020024},
        StepFailure{"EraseRefused", false, false, Refuse("Erase"), 0,
                    "Phone[0004]: Error Erasing Subscriber Unit. Error 0xE0020024 \n"},
        StepFailure{"PacketRefused", false, false, Refuse("Program", 0xE0020024, 5), 0,
                    "Phone[0004]: Error Flashing Subscriber Unit Error 0xE0020024  \nwhile sending "
                    "address 0x"},
        StepFailure{"LinkCutMidBlock", false, false, CutMidBlock(), 0,
                    "Phone[0004]: Error Flashing Subscriber Unit Error 0xE00200"},
        StepFailure{"ChecksumMismatch", false, false, None(), -1,
                    "Phone[0004]: Error verifying Code Group 1 checksums. File: 0x"},
        StepFailure{"SettingsSaveRefused", true, false, Refuse("SettingsSave"), 0,
                    "Phone[0004]: Error saving settings data!\nPhone[0004]: FDI Upgrade Failed\n"},
        StepFailure{"SettingsEraseRefused", true, false, Refuse("SettingsErase"), 0,
                    "Phone[0004]: Error erasing old settings area!\n"},
        StepFailure{"SettingsProgramRefused", true, false, Refuse("Program"), 0,
                    "Phone[0004]: Error flashing new settings!\n"},
        StepFailure{"SettingsChecksumRefused", true, false, Refuse("SettingsChecksum"), 0,
                    "Phone[0004]: checksum mismatch!\nPhone[0004]: FDI Upgrade Failed\n"},
        StepFailure{"SettingsRestoreRefused", true, false, Refuse("SettingsRestore"), 0,
                    "Phone[0004]: Error restoring settings\n"},
        StepFailure{"SettingsStatusUnknownCode", true, false, Refuse("SettingsStatus"), 0,
                    "Phone[0004]: Error retrieving response from phone\n"},
        StepFailure{"SettingsStatusNoFigure", true, false, Refuse("SettingsStatus", 0xE0020085), 0,
                    "Phone[0004]: FDI Upgrade Failed\n"},
        StepFailure{
            "ReinsertBarkerRefused", false, true, Refuse("ReinsertBarker"), 0,
            "Phone[0004]: ERROR: Unable to re-program Code Group 0 barker. Error 0xE0020024 \n"}),
    [](const ::testing::TestParamInfo<StepFailure>& info) { return std::string(info.param.name); });

}  // namespace
