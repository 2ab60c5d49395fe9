// Tests of the simulated phone through the device library: packet checks,
// NOR flash, RAM downloaders and erase rules. Each looks at what the phone holds.
#include "FlashMemory.h"
#include "PhoneSimBenchTest.h"

namespace {

using namespace phonebench;

class PacketCheckTest : public PhoneBench {};

TEST_F(PacketCheckTest, CorruptSumIsRefusedAndNothingWritten) {
    Make();
    StartRamDownloader();
    Bytes packet = phonesim::MakeDataPacket(Fill(16, 0x00));
    packet.back() ^= 0x01;
    uint32_t error = 0;

    EXPECT_EQ(api.FlashSU(kCg1, packet.data(), uint32_t(packet.size()), error), 0);
    EXPECT_EQ(error, kFdaErrBadPacket);
    EXPECT_EQ(phone->ReadFlash(kCg1, 16), Fill(16, 0xFF));
}

TEST_F(PacketCheckTest, LengthFieldThatDisagreesWithThePacketIsRefused) {
    Make();
    StartRamDownloader();
    Bytes packet = phonesim::MakeDataPacket(Fill(16, 0x00));
    packet[1] = 8;  // claims 8 data bytes, carries 16
    packet.back() = phonesim::Sum8(packet.data(), packet.size() - 1);

    EXPECT_EQ(Program(kCg1, Fill(0, 0)), kFdaErrBadPacket);  // empty packet too
    uint32_t error = 0;
    EXPECT_EQ(api.FlashSU(kCg1, packet.data(), uint32_t(packet.size()), error), 0);
    EXPECT_EQ(error, kFdaErrBadPacket);
    EXPECT_EQ(phone->ReadFlash(kCg1, 16), Fill(16, 0xFF));
}

TEST_F(PacketCheckTest, DataLengthNotAMultipleOf8IsRefused) {
    Make();
    StartRamDownloader();

    EXPECT_EQ(Program(kCg1, Fill(13, 0x00)), kFdaErrBadPacket);
    EXPECT_EQ(phone->ReadFlash(kCg1, 16), Fill(16, 0xFF));
    EXPECT_EQ(Program(kCg1, Fill(16, 0x00)), 0u);
}

TEST_F(PacketCheckTest, PacketRunningPastTheFlashIsRefused) {
    Make();
    StartRamDownloader();

    EXPECT_EQ(Program(0x1000FFF8, Fill(16, 0x00)), kFdaErrAddress);
    EXPECT_EQ(phone->ReadFlash(0x1000FFF8, 8), Fill(8, 0xFF));
}

class NorFlashTest : public PhoneBench {};

TEST_F(NorFlashTest, PacketThatNeedsABitSetIsRefusedWholeAndWritesNothing) {
    Make();
    StartRamDownloader();
    ASSERT_EQ(Program(kCg1 + 16, Fill(8, 0x0F)), 0u);
    phone->ClearWriteLog();
    Bytes wanted = Fill(8, 0x00);  // fine on its own: erased flash
    wanted.resize(16, 0xF0);       // needs bits the first program cleared

    EXPECT_EQ(Program(kCg1 + 8, wanted), kFdaErrNotErased);

    EXPECT_EQ(phone->ReadFlash(kCg1 + 8, 8), Fill(8, 0xFF));
    EXPECT_EQ(phone->ReadFlash(kCg1 + 16, 8), Fill(8, 0x0F));
    ASSERT_EQ(phone->WriteLog().size(), 1u);
    EXPECT_EQ(phone->WriteLog()[0].kind, WriteEvent::Kind::Refused);
    EXPECT_EQ(phone->WriteLog()[0].detail, kFdaErrNotErased);
    // Clearing more bits, or programming the same bytes again, is what NOR does.
    EXPECT_EQ(Program(kCg1 + 16, Fill(8, 0x0F)), 0u);
    EXPECT_EQ(Program(kCg1 + 16, Fill(8, 0x03)), 0u);
    EXPECT_EQ(phone->ReadFlash(kCg1 + 16, 8), Fill(8, 0x03));
}

TEST_F(NorFlashTest, ErasedFlashTakesEveryBitPattern) {
    Make();
    StartRamDownloader();
    Bytes data;
    for (int i = 0; i < 256; ++i) {
        data.push_back(uint8_t(i));
    }

    EXPECT_EQ(Program(kCg1, data), 0u);

    EXPECT_EQ(phone->ReadFlash(kCg1, 256), data);
    EXPECT_EQ(phone->WriteLog().back().kind, WriteEvent::Kind::Program);
}

// A flash job erases and programs on its own thread; pages freed and made
// anew there would come from another allocator arena and double the memory a
// phone takes, so erased pages are kept and written again.
TEST(FlashMemoryTest, ErasingAndReprogrammingReusesThePages) {
    constexpr uint32_t kPages = 16;
    constexpr uint32_t kSize = kPages * phonesim::FlashMemory::kPageSize;
    phonesim::FlashMemory flash({phonesim::Range{0x1000, 0x1000 + kSize - 1}});
    flash.Write(0x1000, Fill(kSize, 0x11).data(), kSize);
    ASSERT_EQ(flash.BytesHeld(), uint64_t{kSize});

    flash.Erase(0x1000, kSize);
    EXPECT_EQ(flash.Pages().size(), 0u);
    EXPECT_EQ(flash.Read(0x1000, 16), Fill(16, 0xFF));
    ASSERT_TRUE(flash.Program(0x1000 + 8, Fill(kSize - 8, 0x22).data(), kSize - 8));

    EXPECT_EQ(flash.BytesHeld(), uint64_t{kSize});
    EXPECT_EQ(flash.Read(0x1000, 16), Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x22,
                                             0x22, 0x22, 0x22, 0x22, 0x22, 0x22, 0x22}));
    EXPECT_EQ(flash.Read(0x1000 + kSize - 8, 8), Fill(8, 0x22));
}

class RamDownloaderTest : public PhoneBench {};

TEST_F(RamDownloaderTest, FlashingAndErasingWithoutARamDownloaderAreRefused) {
    Make();
    uint32_t error = 0;

    EXPECT_EQ(Program(kCg1, Fill(8, 0)), kFdaErrNoRamDownloader);
    EXPECT_EQ(api.EraseSU(ERASE_ALL, error), 0);
    EXPECT_EQ(error, kFdaErrNoRamDownloader);
    EXPECT_EQ(phone->ReadFlash(kCg0 + 16, 8), Fill(8, 0x11));  // firmware still there
}

TEST_F(RamDownloaderTest, BootloaderDownloaderStartsOnlyAtItsEntry) {
    Make();
    Bytes packet = phonesim::MakeDataPacket(Fill(32, 0x5A));
    uint32_t error = 0;
    ASSERT_EQ(api.RAMdownload(1, kRam, packet.data(), uint32_t(packet.size()), 0, error), 1);

    EXPECT_EQ(api.RAMdownload(1, kRam, nullptr, 0, 0, error), 0);
    EXPECT_EQ(error, kFdaErrAddress);
    EXPECT_FALSE(phone->RamDownloaderRunning());
    EXPECT_EQ(api.RAMdownload(1, kRam + 16, nullptr, 0, 1, error), 1);
    EXPECT_TRUE(phone->RamDownloaderRunning());
    EXPECT_EQ(phone->WriteLog().back().kind, WriteEvent::Kind::RamStart);
    EXPECT_EQ(phone->WriteLog().back().detail, 1u);  // single-file flag
}

TEST_F(RamDownloaderTest, StartWithNothingLoadedIsRefused) {
    Make();
    uint32_t error = 0;

    EXPECT_EQ(api.RAMdownload(1, kRam + 16, nullptr, 0, 0, error), 0);
    EXPECT_EQ(error, kFdaErrIncompleteDownload);
}

TEST_F(RamDownloaderTest, TailPacketThroughFlashSULandsInRamAndCountsInItsChecksum) {
    Make();
    Bytes body = Fill(16, 0x01);
    Bytes tail = {1, 2, 3, 4, 5, 6, 7, 8};
    Bytes packet = phonesim::MakeDataPacket(body);
    uint32_t error = 0;
    ASSERT_EQ(api.RAMdownload(1, kRam, packet.data(), uint32_t(packet.size()), 0, error), 1);

    EXPECT_EQ(Program(kRam + 16, tail), 0u);  // no RAM downloader needed for RAM

    EXPECT_EQ(phone->ReadRam(kRam + 16, 8), tail);
    uint16_t sum = 0;
    EXPECT_EQ(api.GetRAMchecksum(kRam, kRam + 23, sum, error), 1);
    EXPECT_EQ(sum, 16 + 36);
    EXPECT_EQ(phone->ReadFlash(kCg1, 8), Fill(8, 0xFF));
}

TEST_F(RamDownloaderTest, RamChecksumOutsideRamIsRefused) {
    Make();
    uint16_t sum = 7;
    uint32_t error = 0;

    EXPECT_EQ(api.GetRAMchecksum(kRam, kRam + 4096, sum, error), 0);
    EXPECT_EQ(error, kFdaErrAddress);
    EXPECT_EQ(sum, 0);
}

TEST_F(RamDownloaderTest, BootstrapLoadsOnlyIntoABlankPhoneAndRunsAtOnce) {
    Make([](nlohmann::json& p) {
        p["mode"] = "blank";
        p["modes"]["blank"] = {{"descriptor", "Blank R4X Dorsk"},
                               {"interfaces", {"Kestrova_Boot"}}};
    });
    Bytes raw = Fill(100, 0xA7);  // raw bytes, no framing, any length
    uint32_t error = 0;

    EXPECT_EQ(api.RAMdownload(1, kRam, phonesim::MakeDataPacket(Fill(8, 0)).data(), 11, 0, error),
              0);
    EXPECT_EQ(error, kFdaErrWrongMode);
    EXPECT_EQ(api.RAMdownload(0, kRam, raw.data(), uint32_t(raw.size()), 0, error), 1);
    EXPECT_TRUE(phone->RamDownloaderRunning());
    EXPECT_EQ(phone->ReadRam(kRam, 100), raw);
    EXPECT_EQ(Program(kCg1, Fill(8, 0)), 0u);
}

TEST_F(RamDownloaderTest, BootstrapIsRefusedInFlashMode) {
    Make();
    Bytes raw = Fill(16, 0xA7);
    uint32_t error = 0;

    EXPECT_EQ(api.RAMdownload(0, kRam, raw.data(), uint32_t(raw.size()), 0, error), 0);
    EXPECT_EQ(error, kFdaErrWrongMode);
    EXPECT_EQ(phone->ReadRam(kRam, 16), Fill(16, 0xFF));
}

TEST_F(RamDownloaderTest, PhoneThatProgramsDirectlyNeedsNoDownloader) {
    Make([](nlohmann::json& p) { p["directProgramming"] = true; });

    EXPECT_EQ(Program(kCg1, Fill(8, 0x12)), 0u);
    EXPECT_EQ(phone->ReadFlash(kCg1, 8), Fill(8, 0x12));
}

// What a real phone refuses: each row sets the phone up, makes one request
// and expects its own code and a Refused entry in the write log.
class StrictPhoneTest;
struct Refusal {
    const char* name;
    std::function<void(nlohmann::json&)> profile;
    std::function<uint32_t(StrictPhoneTest&)> request;
    uint32_t code;
};

class StrictPhoneTest : public PhoneBench, public ::testing::WithParamInterface<Refusal> {
  public:
    using PhoneBench::api;
    using PhoneBench::Program;
    using PhoneBench::StartRamDownloader;
};

uint32_t Erase(CFlashDeviceApi& api) {
    uint32_t error = 0;
    api.EraseSU(ERASE_ALL, error);
    return error;
}

void OsModeOverTheFlashInterface(nlohmann::json& p) {
    p["mode"] = "os";
    p["modes"]["os"]["interfaces"] = {"Kestrova_Flash"};
}

TEST_P(StrictPhoneTest, RefusesWithItsOwnCodeAndLogsIt) {
    const Refusal& row = GetParam();
    Make(row.profile);
    Bytes flashBefore = phone->ReadFlash(kCg0, 0x400);

    EXPECT_EQ(row.request(*this), row.code);

    ASSERT_FALSE(phone->WriteLog().empty());
    EXPECT_EQ(phone->WriteLog().back().kind, WriteEvent::Kind::Refused);
    EXPECT_EQ(phone->WriteLog().back().detail, row.code);
    EXPECT_EQ(phone->ReadFlash(kCg0, 0x400), flashBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, StrictPhoneTest,
    ::testing::Values(
        Refusal{"PacketCrossingAn8KBlock", nullptr,
                [](StrictPhoneTest& t) {
                    t.StartRamDownloader();
                    return t.Program(0x10001FF8, Fill(16, 0x00));
                },
                kFdaErrCrossesBlock},
        Refusal{"PacketOverUnerasedFlash", nullptr,
                [](StrictPhoneTest& t) {
                    t.StartRamDownloader();
                    return t.Program(kCg0 + 16, Fill(8, 0xEE));  // holds 0x11
                },
                kFdaErrNotErased},
        Refusal{"ProgramInOsMode", OsModeOverTheFlashInterface,
                [](StrictPhoneTest& t) { return t.Program(kCg1, Fill(8, 0)); }, kFdaErrWrongMode},
        Refusal{"EraseInOsMode", OsModeOverTheFlashInterface,
                [](StrictPhoneTest& t) { return Erase(t.api); }, kFdaErrWrongMode},
        Refusal{"SettingsSaveInOsMode", OsModeOverTheFlashInterface,
                [](StrictPhoneTest& t) {
                    uint32_t error = 0;
                    t.api.SendFDI_SAVE_Command(error);
                    return error;
                },
                kFdaErrWrongMode},
        Refusal{
            "DownloadOverAnInterfaceWithoutFlashing",
            [](nlohmann::json& p) {
                p["modes"]["flash"]["interfaces"] = {"Kestrova_Tavenor_Baseband", "Kestrova_Flash"};
                p["modes"]["flash"]["flashing"] = {"Kestrova_Flash"};
            },
            [](StrictPhoneTest& t) {
                Bytes packet = phonesim::MakeDataPacket(Fill(16, 0x5A));
                uint32_t error = 0;
                t.api.RAMdownload(1, kRam, packet.data(), uint32_t(packet.size()), 0, error);
                return error;
            },
            kFdaErrWrongInterface},
        Refusal{"DownloaderStartWithAGap", nullptr,
                [](StrictPhoneTest& t) {
                    Bytes packet = phonesim::MakeDataPacket(Fill(16, 0x5A));
                    uint32_t error = 0;
                    for (uint32_t at : {kRam, kRam + 24}) {
                        t.api.RAMdownload(1, at, packet.data(), uint32_t(packet.size()), 0, error);
                    }
                    t.api.RAMdownload(1, kRam + 16, nullptr, 0, 0, error);
                    return error;
                },
                kFdaErrIncompleteDownload},
        Refusal{"ChecksumsForAnotherMaType", nullptr,
                [](StrictPhoneTest& t) {
                    CHECKSUMS_STRUC sums{};
                    uint32_t error = 0;
                    t.api.GetSUchkSum(MA_TYPE_CDMA, &sums, error);  // the bootloader's is GSM
                    return error;
                },
                kFdaErrWrongMaType}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

TEST_F(PacketCheckTest, PhoneWithoutPacketBoundaryTakesACrossingPacket) {
    Make([](nlohmann::json& p) { p["packetBoundary"] = 0; });
    StartRamDownloader();

    EXPECT_EQ(Program(0x10001FF8, Fill(16, 0x00)), 0u);
    EXPECT_EQ(phone->ReadFlash(0x10001FF8, 16), Fill(16, 0x00));
}

class EraseRuleTest : public PhoneBench {};

TEST_F(EraseRuleTest, FullEraseClearsEveryCodeGroupAndTheSettingsData) {
    Make();
    StartRamDownloader();
    uint32_t error = 0;

    ASSERT_EQ(api.EraseSU(ERASE_ALL, error), 1);

    for (uint32_t start : {kCg0, kCg1, kCg2, kCg4}) {
        EXPECT_EQ(phone->ReadFlash(start, 256), Fill(256, 0xFF)) << std::hex << start;
    }
    EXPECT_EQ(phone->SettingsData(), Fill(12, 0xFF));
    SU_INFO_STRUC info = Info();
    EXPECT_TRUE(Absent(info.codeGroups[0]));
    EXPECT_TRUE(Absent(info.codeGroups[2]));
    EXPECT_FALSE(Absent(info.bootloader));
}

TEST_F(EraseRuleTest, LanguagePackageEraseTouchesOnlyCodeGroup4AndUnmarksCodeGroup0) {
    Make();
    StartRamDownloader();
    Bytes cg0 = phone->ReadFlash(kCg0, 256);
    Bytes cg2 = phone->ReadFlash(kCg2, 256);
    uint32_t error = 0;

    ASSERT_EQ(api.EraseSU(ERASE_LANGUAGE_PACKAGE, error), 1);

    EXPECT_EQ(phone->ReadFlash(kCg4, 256), Fill(256, 0xFF));
    EXPECT_EQ(phone->ReadFlash(kCg0, 256), cg0);
    EXPECT_EQ(phone->ReadFlash(kCg2, 256), cg2);
    EXPECT_TRUE(Absent(Info().codeGroups[0]));
    EXPECT_EQ(Checksums().codeGroups[0].valid, 1u);  // its sum is still there

    ASSERT_EQ(api.SendReinsertBarkerCmd(error), 1);
    SU_INFO_STRUC info = Info();
    EXPECT_EQ(info.codeGroups[0].version[0], 0x02);
    EXPECT_EQ(info.codeGroups[0].dataType, 6);
}

TEST_F(EraseRuleTest, CompleteSettingsUpgradeSparesTheSettingsAreaAtTheNextFullErase) {
    Make();
    StartRamDownloader();
    Bytes settings = phone->SettingsData();
    uint32_t error = 0;
    ASSERT_EQ(api.SendFDI_SAVE_Command(error), 1);
    ASSERT_EQ(api.SendFDI_ERASE_FDI_Command(error), 1);
    Bytes newArea = Fill(256, 0x3C);
    ASSERT_EQ(Program(kCg2, newArea), 0u);
    ASSERT_EQ(api.SendFDI_RESTORE_Command(error), 1);

    ASSERT_EQ(api.EraseSU(ERASE_ALL, error), 1);

    EXPECT_EQ(phone->ReadFlash(kCg2, 256), newArea);
    EXPECT_EQ(phone->SettingsData(), settings);
    EXPECT_EQ(phone->ReadFlash(kCg1, 256), Fill(256, 0xFF));
    // Spared once: the next full erase takes the settings area too.
    ASSERT_EQ(api.EraseSU(ERASE_ALL, error), 1);
    EXPECT_EQ(phone->ReadFlash(kCg2, 256), Fill(256, 0xFF));
}

TEST_F(EraseRuleTest, SaveAndRestoreWithoutNewSettingsDoNotSpareThem) {
    Make();
    StartRamDownloader();
    uint32_t error = 0;
    ASSERT_EQ(api.SendFDI_SAVE_Command(error), 1);
    ASSERT_EQ(api.SendFDI_RESTORE_Command(error), 1);

    ASSERT_EQ(api.EraseSU(ERASE_ALL, error), 1);

    EXPECT_EQ(phone->ReadFlash(kCg2, 256), Fill(256, 0xFF));
    EXPECT_EQ(phone->SettingsData(), Fill(12, 0xFF));
}

TEST_F(EraseRuleTest, EraseType1IsNotSupported) {
    Make();
    StartRamDownloader();
    uint32_t error = 0;

    EXPECT_EQ(api.EraseSU(ERASE_RESERVED, error), 0);
    EXPECT_EQ(error, kFdaErrNotSupported);
    EXPECT_NE(phone->ReadFlash(kCg0 + 16, 8), Fill(8, 0xFF));
}

}  // namespace
