// The flash sequence end to end against the simulated phone: what the phone
// holds afterwards, not only what was reported.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "EngineConfig.h"
#include "ModuleFakes.h"
#include "ORX_FP_FlashThread.h"
#include "OrxHost.h"
#include "Phone.h"
#include "PhoneFiles.h"
#include "ShxFiles.h"

namespace {

using nlohmann::json;
using phonesim::WriteEvent;

using testsupport::FlashableManifest;
using testsupport::RemoveSubfile;
using testsupport::Subfile;

std::string Profile(const std::string& name) {
    return testsupport::PhoneProfile(name);
}

class FlashSequenceTest : public testsupport::HostedModuleTest {
  protected:
    void Use(const json& manifest, const std::string& profile) {
        built = testsupport::WriteShx(manifest, scratch.File("fw.shx"));
        phone = orxhost::AttachPhone(Profile(profile));
        testing::internal::CaptureStdout();
        engine.SetReader(std::make_unique<CFlashFileIO>(nullptr, scratch.File("fw.shx")));
        prepared = engine.Reader()->PrepareImages();
        output = testing::internal::GetCapturedStdout();
        ASSERT_EQ(prepared, 1) << output;
    }

    // Connects like a headless job and runs the sequence.
    int Flash(int& reboot) {
        testing::internal::CaptureStdout();
        uint16_t id = phone->DeviceId();
        int result =
            id >= 1000 && id <= 1031 ? engine.OpenDeviceInterface(id) : engine.IdentifyDevice(id);
        uint32_t error = 0;
        if (result == 1) {
            result = engine.StartDeviceApi(error);
        }
        if (result == 1) {
            result = engine.FlashSequence(reboot);
        }
        output += testing::internal::GetCapturedStdout();
        return result;
    }
    int Flash() {
        int reboot = 0;
        return Flash(reboot);
    }

    bool Printed(const std::string& text) const { return output.find(text) != std::string::npos; }

    std::vector<uint8_t> Image(int slot) const { return built.images.at(slot); }
    std::vector<uint8_t> OnPhone(int slot) const {
        const SubfileRecord& record = engine.Reader()->Record(slot);
        return phone->ReadFlash(record.start, record.length);
    }

    std::vector<WriteEvent> Events(WriteEvent::Kind kind) const {
        std::vector<WriteEvent> chosen;
        for (const WriteEvent& event : phone->WriteLog()) {
            if (event.kind == kind) {
                chosen.push_back(event);
            }
        }
        return chosen;
    }

    mkshx::BuiltSuperfile built;
    std::shared_ptr<phonesim::Phone> phone;
    CFlashThread engine{testsupport::EngineConfig(this, scratch.File("fw.shx"))};
    int prepared = 0;
    std::string output;
};

TEST_F(FlashSequenceTest, GoodFlashLeavesEveryImageOnThePhoneWithBarkersLast) {
    Use(FlashableManifest(), "flash-hmq-vintrel");
    int reboot = -1;
    ASSERT_EQ(Flash(reboot), 1) << output;
    EXPECT_EQ(reboot, 0);
    for (int slot : {2, 3, 4, 6}) {
        EXPECT_EQ(OnPhone(slot), Image(slot)) << "slot " << slot;
    }
    // The last three programs are the barkers, each at its code group's start.
    std::vector<WriteEvent> programs = Events(WriteEvent::Kind::Program);
    ASSERT_GE(programs.size(), 3u);
    std::vector<uint32_t> lastAddresses;
    for (size_t i = programs.size() - 3; i < programs.size(); ++i) {
        lastAddresses.push_back(programs[i].address);
        EXPECT_EQ(programs[i].length, 8u);
    }
    EXPECT_EQ(lastAddresses, (std::vector<uint32_t>{0x10000000, 0x10010000, 0x10300000}));
    EXPECT_TRUE(Printed("Phone[0004]: Code Group 0 checksums match."));
    EXPECT_TRUE(Printed("Phone[0004]: FLASH COMPLETED!!!."));
    EXPECT_FALSE(Printed("Erasing Language Package only."));
}

TEST_F(FlashSequenceTest, FinishedPhoneVerifiesAndReportsTheFilesVersions) {
    Use(FlashableManifest(), "flash-hmq-vintrel");
    ASSERT_EQ(Flash(), 1) << output;
    testing::internal::CaptureStdout();
    int verified = engine.RunVerify();
    std::string verify = testing::internal::GetCapturedStdout();
    EXPECT_EQ(verified, 1) << verify;
    EXPECT_NE(verify.find("\nVerify Successful\n"), std::string::npos) << verify;

    std::vector<std::string> info(4);
    uint16_t firstVersion = 0;
    ASSERT_EQ(engine.GetPhoneVersions(info, firstVersion), 1);
    EXPECT_EQ(info[0], "v0x0210");
    EXPECT_EQ(info[1], "v0x0357");
    EXPECT_EQ(info[3], "");  // entries past the third stay the caller's
    EXPECT_EQ(firstVersion, 0x0210);
}

TEST_F(FlashSequenceTest, ComboFileKeepsTheSettingsAndAsksForAReboot) {
    json manifest = FlashableManifest();
    Subfile(manifest, "cg2")["type"] = 4;
    Use(manifest, "flash-hmq-vintrel");
    std::vector<uint8_t> settings = phone->SettingsData();
    int reboot = 0;
    ASSERT_EQ(Flash(reboot), 1) << output;
    EXPECT_EQ(reboot, 1);
    EXPECT_EQ(phone->SettingsData(), settings);
    EXPECT_EQ(OnPhone(4), Image(4));
    EXPECT_TRUE(
        Printed("Phone[0004]: Performing Pre Upgrade Status Check\n"
                "Phone[0004]: Please wait (This takes up to 20 seconds)\n"));
    EXPECT_TRUE(Printed("Code Group 2 Checksums match"));
    EXPECT_EQ(Events(WriteEvent::Kind::SettingsRestore).size(), 1u);
}

// A settings upgrade that the phone let do nothing keeps nothing: the flash
// either fails before any erase or ends with the file's settings area.
TEST_F(FlashSequenceTest, ComboFileOnAPhoneThatKeepsNothingNeverLeavesABlankSettingsArea) {
    json manifest = FlashableManifest();
    Subfile(manifest, "cg2")["type"] = 4;
    Use(manifest, "flash-hmq-vintrel");
    orxhost::Reset();
    phone = testsupport::AttachExamplePhone("flash-hmq-vintrel", [](json& profile) {
        profile["settings"]["status"] = {{"code", 0xE0020024}, {"response", 3}};
    });
    std::vector<uint8_t> settingsArea = OnPhone(4);
    if (Flash() == 1) {
        EXPECT_EQ(OnPhone(4), Image(4)) << output;
    } else {
        EXPECT_TRUE(Events(WriteEvent::Kind::Erase).empty()) << output;
        EXPECT_EQ(OnPhone(4), settingsArea);
    }
}

// A language package erase clears code group 4 alone: another part of the
// file is passed over when the phone holds it whole, else the file is refused
// before anything is erased; a combo settings area goes through the upgrade.
// The phone's application is kept in every case.
TEST_F(FlashSequenceTest, LanguagePackageWithOtherPartsProgramsOnlyWhatItErased) {
    struct Case {
        bool phoneHoldsCodeGroup0;
        bool comboSettings;
    };
    for (Case c : {Case{false, false}, Case{true, false}, Case{true, true}}) {
        SCOPED_TRACE(std::to_string(c.phoneHoldsCodeGroup0) + std::to_string(c.comboSettings));
        json manifest = FlashableManifest();
        RemoveSubfile(manifest, "cg1");
        if (c.comboSettings) {
            Subfile(manifest, "cg2")["type"] = 4;
        } else {
            RemoveSubfile(manifest, "cg2");
        }
        orxhost::Reset();
        output.clear();
        Use(manifest, "flash-hmq-vintrel");
        if (c.phoneHoldsCodeGroup0) {
            phone->WriteFlash(0x10000000, Image(2));
        }
        const std::vector<uint8_t> codeGroupZero = OnPhone(2);
        const std::vector<uint8_t> application = phone->ReadFlash(0x10010000, 307200);
        const std::vector<uint8_t> language = OnPhone(6);
        const std::vector<uint8_t> settings = phone->SettingsData();
        int result = Flash();
        EXPECT_EQ(OnPhone(2), codeGroupZero);
        EXPECT_EQ(phone->ReadFlash(0x10010000, 307200), application);
        EXPECT_EQ(phone->SettingsData(), settings);
        for (const WriteEvent& event : Events(WriteEvent::Kind::Program)) {
            EXPECT_GE(event.address, 0x10200000u) << std::hex << event.address;
        }
        if (c.phoneHoldsCodeGroup0) {
            EXPECT_EQ(result, 1) << output;
            EXPECT_EQ(OnPhone(6), Image(6));
            if (c.comboSettings) {
                EXPECT_EQ(OnPhone(4), Image(4));
            }
            ASSERT_EQ(Events(WriteEvent::Kind::Erase).size(), 1u);
            EXPECT_EQ(Events(WriteEvent::Kind::Erase)[0].detail, 2u);
            EXPECT_EQ(Events(WriteEvent::Kind::ReinsertBarker).size(), 1u);
        } else {
            EXPECT_EQ(result, 0);
            EXPECT_TRUE(
                Printed("Phone[0004]: ERROR: The language package file also carries Code Group 0, "
                        "which the phone does not hold."))
                << output;
            EXPECT_TRUE(Events(WriteEvent::Kind::Erase).empty());
            EXPECT_EQ(OnPhone(6), language);
        }
    }
}

// A range checksum that proves nothing fails the flash before any barker,
// even when the declared sum is 0 (64 KiB of 0xFF).
TEST_F(FlashSequenceTest, RangeChecksumThatCannotBeReadFailsTheFlash) {
    json manifest = FlashableManifest();
    json& language = Subfile(manifest, "cg4");
    language["type"] = 8;
    language["descriptor"] = false;
    language["data"] = {{"generate", "fill"}, {"byte", 255}};
    const std::pair<uint32_t, const char*> refusals[] = {
        {0xE0020024u, "Phone[0004]: Error verifying Code Group 4 checksums. File: 0x0, Phone: 0x0"},
        {0xE0020085u, "Phone[0004]: Error Code Group 4 contains no Subscriber Unit checksum."},
    };
    for (const auto& [code, report] : refusals) {
        SCOPED_TRACE(report);
        orxhost::Reset();
        output.clear();
        Use(manifest, "flash-hmq-vintrel");
        ASSERT_EQ(engine.Reader()->Record(6).declaredChecksum, 0);
        phonesim::FaultOrder refuse;
        refuse.action = phonesim::FaultAction::Refuse;
        refuse.command = "RangeChecksum";
        refuse.code = code;
        phone->AddFault(refuse);
        EXPECT_EQ(Flash(), 0);
        EXPECT_TRUE(Printed(report)) << output;
        EXPECT_FALSE(Printed("FLASH COMPLETED"));
        EXPECT_EQ(phone->ReadFlash(0x10000000, 8), std::vector<uint8_t>(8, 0xFF));
    }
}

TEST_F(FlashSequenceTest, LanguagePackageAloneErasesOnlyItAndReinsertsTheBarker) {
    json manifest = FlashableManifest();
    for (const char* slot : {"cg0", "cg1", "cg2"}) {
        RemoveSubfile(manifest, slot);
    }
    Use(manifest, "flash-hmq-vintrel");
    std::vector<uint8_t> codeGroupZero = phone->ReadFlash(0x10000000, 40960);
    ASSERT_EQ(Flash(), 1) << output;
    EXPECT_TRUE(Printed("Erasing Language Package only."));
    EXPECT_EQ(OnPhone(6), Image(6));
    EXPECT_EQ(phone->ReadFlash(0x10000000, 40960), codeGroupZero);
    ASSERT_EQ(Events(WriteEvent::Kind::Erase).size(), 1u);
    EXPECT_EQ(Events(WriteEvent::Kind::Erase)[0].detail, 2u);
    EXPECT_EQ(Events(WriteEvent::Kind::ReinsertBarker).size(), 1u);
}

TEST_F(FlashSequenceTest, BlankPhoneTakesTheBootstrapPath) {
    Use(FlashableManifest(1, 1), "blank-r4x-dorsk");
    ASSERT_EQ(Flash(), 1) << output;
    EXPECT_TRUE(Printed("Loading RAM Downloader for Bootstrap."));
    EXPECT_FALSE(Printed("Loading RAM Downloader for Bootloader."));
    EXPECT_FALSE(Printed("File version"));  // no version check on a blank phone
    for (int slot : {2, 3, 4, 6}) {
        EXPECT_EQ(OnPhone(slot), Image(slot)) << "slot " << slot;
    }
}

TEST_F(FlashSequenceTest, BlankTavenorSkipsDownloaderAndChecksumsButGetsItsBarkers) {
    Use(FlashableManifest(4, 6), "blank-j617-tavenor");
    ASSERT_EQ(Flash(), 1) << output;
    EXPECT_TRUE(Events(WriteEvent::Kind::RamWrite).empty());
    EXPECT_FALSE(Printed("Verifying Checksums..."));
    for (int slot : {2, 3, 6}) {
        EXPECT_EQ(OnPhone(slot), Image(slot)) << "slot " << slot;
    }
}

TEST_F(FlashSequenceTest, SerialPhoneRaisesBothEndsOfTheLine) {
    Use(FlashableManifest(1, 1), "serial-1000");
    ASSERT_EQ(Flash(), 1) << output;
    EXPECT_TRUE(Printed("Phone[1000]: Baud rate set to 115200\n"));
    EXPECT_EQ(orxhost::HostLineRate(1000), 115200u);
    EXPECT_EQ(OnPhone(3), Image(3));
}

// An attempt that failed between the two ends' rate changes leaves them apart:
// the next connection must find the phone at the other rate.
TEST_F(FlashSequenceTest, SerialPhoneAtTheOtherLineRateIsFoundAgain) {
    Use(FlashableManifest(1, 1), "serial-1000");
    ASSERT_EQ(ORXSetBaudRate(115200, 1000), 0);  // host raised, phone still at the base rate
    ASSERT_EQ(Flash(), 1) << output;
    ASSERT_EQ(ORXSetBaudRate(9600, 1000), 0);  // phone raised, host back at the base rate
    ASSERT_EQ(Flash(), 1) << output;
    EXPECT_EQ(OnPhone(3), Image(3));
}

TEST_F(FlashSequenceTest, SingleFileLoadsTheDownloaderAndStops) {
    json manifest = FlashableManifest();
    for (const char* slot : {"cg0", "cg1", "cg2", "cg4"}) {
        RemoveSubfile(manifest, slot);
    }
    Use(manifest, "flash-hmq-vintrel");
    ASSERT_EQ(Flash(), 1) << output;
    ASSERT_EQ(Events(WriteEvent::Kind::RamStart).size(), 1u);
    EXPECT_EQ(Events(WriteEvent::Kind::RamStart)[0].detail, 1u);  // the single-file flag
    EXPECT_EQ(Events(WriteEvent::Kind::RamStart)[0].address, 0x03FC0000u + 16);
    EXPECT_TRUE(Events(WriteEvent::Kind::Erase).empty());
    EXPECT_TRUE(Printed("FLASH COMPLETED!!!."));
}

TEST_F(FlashSequenceTest, MissingImageFailsTheSequence) {
    Use(FlashableManifest(), "flash-hmq-vintrel");
    std::filesystem::remove(scratch.File("fwCG1.smg"));
    EXPECT_EQ(Flash(), 0);
    EXPECT_TRUE(Printed("An error ocurred while opening Software Image File"));
    EXPECT_FALSE(Printed("FLASH COMPLETED"));
    std::vector<WriteEvent> programs = Events(WriteEvent::Kind::Program);
    EXPECT_TRUE(std::none_of(programs.begin(), programs.end(),
                             [](const WriteEvent& e) { return e.length == 8; }));
}

TEST_F(FlashSequenceTest, FailedBarkerStillWritesTheOthersThenFails) {
    Use(FlashableManifest(), "flash-hmq-vintrel");
    ASSERT_EQ(Flash(), 1) << output;
    size_t programs = Events(WriteEvent::Kind::Program).size();
    orxhost::Reset();
    phone = orxhost::AttachPhone(Profile("flash-hmq-vintrel"));
    phonesim::FaultOrder refuse;
    refuse.action = phonesim::FaultAction::Refuse;
    refuse.command = "Program";
    refuse.occurrence = static_cast<uint32_t>(programs - 2);  // the first barker
    refuse.code = 0xE0020024;
    phone->AddFault(refuse);
    output.clear();
    EXPECT_EQ(Flash(), 0);
    EXPECT_TRUE(Printed(
        "Error sending Barker Code. Error 0xE0020024  \nwhile sending address 0x10000000."));
    EXPECT_FALSE(Printed("FLASH COMPLETED"));
    EXPECT_EQ(phone->ReadFlash(0x10000000, 8), std::vector<uint8_t>(8, 0xFF));
    std::vector<uint8_t> application = Image(3);
    std::vector<uint8_t> language = Image(6);
    EXPECT_EQ(phone->ReadFlash(0x10010000, 8),
              std::vector<uint8_t>(application.begin(), application.begin() + 8));
    EXPECT_EQ(phone->ReadFlash(0x10300000, 8),
              std::vector<uint8_t>(language.begin(), language.begin() + 8));
}

TEST_F(FlashSequenceTest, RamChecksumThatCannotBeReadStopsWithItsOwnText) {
    Use(FlashableManifest(), "flash-hmq-vintrel");
    phonesim::FaultOrder refuse;
    refuse.action = phonesim::FaultAction::Refuse;
    refuse.command = "RamChecksum";
    refuse.times = 3;
    refuse.code = 0xE0020024;
    phone->AddFault(refuse);
    EXPECT_EQ(Flash(), 0);
    EXPECT_TRUE(
        Printed("Error reading the RAM Downloader checksum from the phone. Error 0xE0020024 "));
    EXPECT_TRUE(Events(WriteEvent::Kind::Erase).empty());
}

TEST_F(FlashSequenceTest, SettingsUpgradeWithoutItsImageTouchesNothing) {
    json manifest = FlashableManifest();
    Subfile(manifest, "cg2")["type"] = 4;
    Use(manifest, "flash-hmq-vintrel");
    std::filesystem::remove(scratch.File("fwCG2.smg"));
    EXPECT_EQ(Flash(), 0);
    EXPECT_TRUE(Printed("Error flashing new settings!\nPhone[0004]: FDI Upgrade Failed\n"));
    EXPECT_TRUE(Events(WriteEvent::Kind::SettingsSave).empty());
    EXPECT_TRUE(Events(WriteEvent::Kind::Erase).empty());
}

TEST_F(FlashSequenceTest, OverlongBootstrapDownloaderIsRefused) {
    json manifest = FlashableManifest(1, 1);
    Subfile(manifest, "ramdld")["size"] = 70000;
    Use(manifest, "blank-r4x-dorsk");
    EXPECT_EQ(Flash(), 0);
    EXPECT_TRUE(Printed(
        "The RAM Downloader for Bootstrap holds 70000 bytes; the bootstrap takes at most 65535."));
    EXPECT_TRUE(Events(WriteEvent::Kind::RamWrite).empty());
}

// FlashRange on its own, on a phone whose RAM downloader already runs.
class FlashRangeTest : public FlashSequenceTest {
  protected:
    void SetUp() override {
        json manifest = FlashableManifest();
        for (const char* slot : {"cg0", "cg1", "cg2", "cg4"}) {
            RemoveSubfile(manifest, slot);
        }
        Use(manifest, "flash-hmq-vintrel");
        ASSERT_EQ(Flash(), 1) << output;
    }

    // Programs `length` random bytes at address; returns the image.
    std::vector<uint8_t> Program(uint32_t address, uint32_t length, uint16_t type) {
        std::vector<uint8_t> image(length);
        for (uint32_t i = 0; i < length; ++i) {
            image[i] = static_cast<uint8_t>((i * 131 + length) ^ 0x5A);
        }
        testsupport::WriteBytes(scratch.File("range.smg"), image);
        int fd = open(scratch.File("range.smg").c_str(), O_RDONLY);
        testing::internal::CaptureStdout();
        int result = engine.FlashRange(fd, address, length, type);
        output = testing::internal::GetCapturedStdout();
        close(fd);
        EXPECT_EQ(result, 1) << output;
        return image;
    }
};

TEST_F(FlashRangeTest, EveryLengthEndsWithExactlyTheImageOnThePhone) {
    std::vector<uint32_t> lengths;
    for (uint32_t length = 1; length <= 24; ++length) {
        lengths.push_back(length);
    }
    for (uint32_t length = 8185; length <= 8200; ++length) {
        lengths.push_back(length);
    }
    for (uint32_t length = 16385; length <= 16391; ++length) {
        lengths.push_back(length);
    }
    // Erased flash between code group 1 and the settings area; each range
    // starts an 8 KB block, as code groups do, clear of the 8 bytes after it.
    uint32_t address = 0x10060000;
    for (uint16_t type : {uint16_t{0}, uint16_t{2}}) {
        for (uint32_t length : lengths) {
            SCOPED_TRACE("type " + std::to_string(type) + " length " + std::to_string(length));
            std::vector<uint8_t> image = Program(address, length, type);
            std::vector<uint8_t> expected = image;
            if (type == 2) {
                std::fill(expected.begin(), expected.begin() + std::min<size_t>(8, length), 0xFF);
            }
            EXPECT_EQ(phone->ReadFlash(address, length), expected);
            EXPECT_EQ(phone->ReadFlash(address + length, 8), std::vector<uint8_t>(8, 0xFF));
            address += (length + 8 + 8191) / 8192 * 8192;
        }
    }
    for (const WriteEvent& event : Events(WriteEvent::Kind::Program)) {
        EXPECT_EQ(event.length % 8, 0u) << std::hex << event.address;
    }
    EXPECT_TRUE(Events(WriteEvent::Kind::Refused).empty());  // unerased or crossing a block
}

TEST_F(FlashRangeTest, BarkerRangeLeavesItsBarkerOutOfTheFirstBlockOnly) {
    phone->ClearWriteLog();
    Program(0x10060000, 16384, 2);
    std::vector<WriteEvent> programs = Events(WriteEvent::Kind::Program);
    ASSERT_EQ(programs.size(), 2u);
    EXPECT_EQ(programs[0].address, 0x10060000u + 8);
    EXPECT_EQ(programs[0].length, 8184u);
    EXPECT_EQ(programs[1].address, 0x10060000u + 8192);
    EXPECT_EQ(programs[1].length, 8192u);
}

TEST_F(FlashRangeTest, TwentyThousandBytesGoInThreeBlocksAndATail) {
    phone->ClearWriteLog();
    Program(0x10060000, 20003, 0);
    std::vector<WriteEvent> programs = Events(WriteEvent::Kind::Program);
    ASSERT_EQ(programs.size(), 4u);
    EXPECT_EQ(programs[0].length, 8192u);
    EXPECT_EQ(programs[1].length, 8192u);
    EXPECT_EQ(programs[2].length, 3616u);
    EXPECT_EQ(programs[3].address, 0x10060000u + 19995);
    EXPECT_EQ(programs[3].length, 8u);
}

}  // namespace

namespace {

TEST_F(FlashSequenceTest, EmptyRamDownloaderSlotIsSentAsOnePaddedTail) {
    // No descriptor for slot 0, yet it counts, and an empty block stands for it.
    json manifest = FlashableManifest();
    RemoveSubfile(manifest, "ramdld");
    manifest["fileCount"] = 5;
    manifest["checksum"] = "none";
    mkshx::BuiltSuperfile base = mkshx::BuildSuperfile(mkshx::ParseManifest(manifest));
    std::string file(base.bytes.begin(), base.bytes.begin() + shx::kHeaderSize);
    file += "S00600004844521B\r\nS70500000000FA\r\n";
    file.append(base.bytes.begin() + shx::kHeaderSize, base.bytes.end());
    testsupport::WriteText(scratch.File("fw.shx"), file);
    phone = orxhost::AttachPhone(Profile("flash-hmq-vintrel"));
    engine.SetReader(std::make_unique<CFlashFileIO>(nullptr, scratch.File("fw.shx")));
    testing::internal::CaptureStdout();
    ASSERT_EQ(engine.Reader()->PrepareImages(), 1) << testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(engine.Reader()->Record(0).length, 1u);
    int result = Flash();
    for (const WriteEvent& event : phone->WriteLog()) {
        if (event.kind == WriteEvent::Kind::RamWrite) {
            EXPECT_EQ(event.length % 8, 0u);
        }
    }
    // One padded tail at address 0, which this phone has no RAM for: a clear
    // refusal before anything is erased.
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(Printed("Phone[0004]: Error Flashing Subscriber Unit Error 0xE0020022 \n"))
        << output;
    EXPECT_TRUE(Events(WriteEvent::Kind::Erase).empty());
}

TEST_F(FlashSequenceTest, SettingsChecksumAnswerIsReadWithinItsTwelveBytes) {
    json manifest = FlashableManifest();
    Subfile(manifest, "cg2")["type"] = 4;
    Use(manifest, "flash-hmq-vintrel");
    orxhost::Reset();
    // Twelve hex digits and no terminator anywhere: the first text is "ABCDABCD".
    phone = testsupport::AttachExamplePhone("flash-hmq-vintrel", [](json& profile) {
        profile["settings"]["checksumAnswer"] = "414243444142434431323334";
    });
    EXPECT_EQ(Flash(), 0);
    EXPECT_TRUE(
        Printed("Phone[0004]: checksum mismatch!\nPhone[0004]: ABCDABCD\nPhone[0004]: 1234\n"))
        << output;
    EXPECT_TRUE(Events(WriteEvent::Kind::SettingsRestore).empty());
}

}  // namespace
