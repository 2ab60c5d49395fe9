// Tests of what the simulated phone reports: the information and checksum
// records derived from its flash (against images mkshx builds), the settings
// area, and its modes and line rate.
#include "Mkshx.h"
#include "PhoneSimBenchTest.h"

namespace {

using namespace phonebench;

uint16_t Le16(const Bytes& bytes, size_t at) {
    return uint16_t(bytes[at] | bytes[at + 1] << 8);
}

// A one-code-group superfile: code group 1, type 2, with its descriptor.
struct BuiltCodeGroup {
    Bytes image;
    uint16_t declared = 0;
    uint16_t barkerAdjustment = 0;  // 16-bit sum of the descriptor's extra bytes
};

BuiltCodeGroup BuildCodeGroup1() {
    mkshx::Manifest manifest = mkshx::ParseManifest(nlohmann::json::parse(R"({
      "subfiles": [
        {"slot": "ramdld", "start": "0x00100000", "size": 64},
        {"slot": "cg1", "start": "0x10000100", "size": 256, "type": 2, "version": "0x0357",
         "family": 2, "variant": 2, "carried": "060000", "descriptor": true,
         "barker": "A55AC33C10010357"}]})"));
    mkshx::BuiltSuperfile built = mkshx::BuildSuperfile(manifest);
    const size_t descriptor = 948 + 28 * 3;
    BuiltCodeGroup group;
    group.image = built.images.at(3);
    group.declared = Le16(built.bytes, descriptor + 24);
    group.barkerAdjustment = phonesim::Sum16(built.bytes.data() + descriptor + 8, 8);
    return group;
}

class RecordTest : public PhoneBench {};

TEST_F(RecordTest, ChecksumFollowsTheFileBeforeAndAfterTheBarker) {
    Make();
    StartRamDownloader();
    BuiltCodeGroup group = BuildCodeGroup1();
    // Programmed the way the engine does: everything but the barker first.
    ASSERT_EQ(Program(kCg1 + 8, Bytes(group.image.begin() + 8, group.image.end())), 0u);

    CHECKSUMS_STRUC before = Checksums();
    SU_INFO_STRUC unmarked = Info();
    ASSERT_EQ(Program(kCg1, Bytes(group.image.begin(), group.image.begin() + 8)), 0u);
    CHECKSUMS_STRUC after = Checksums();
    SU_INFO_STRUC marked = Info();

    EXPECT_EQ(before.codeGroups[1].valid, 1u);
    EXPECT_EQ(before.codeGroups[1].checksum, group.declared);
    EXPECT_EQ(after.codeGroups[1].checksum,
              uint16_t(group.declared + group.barkerAdjustment - 0x7F8));
    EXPECT_TRUE(Absent(unmarked.codeGroups[1]));
    EXPECT_EQ(marked.codeGroups[1].dataType, 6);
    EXPECT_EQ(marked.codeGroups[1].maType, 2);
    EXPECT_EQ(marked.codeGroups[1].chipsetType, 2);
    EXPECT_EQ(marked.codeGroups[1].version[0], 0x03);
    EXPECT_EQ(marked.codeGroups[1].version[1], 0x57);
    EXPECT_EQ(phone->ReadFlash(kCg1, 256), group.image);
}

TEST_F(RecordTest, BarkerOtherThanTheExpectedOneLeavesTheCodeGroupUnmarked) {
    Make();
    StartRamDownloader();
    BuiltCodeGroup group = BuildCodeGroup1();
    ASSERT_EQ(Program(kCg1 + 8, Bytes(group.image.begin() + 8, group.image.end())), 0u);

    ASSERT_EQ(Program(kCg1, {1, 2, 3, 4, 5, 6, 7, 8}), 0u);

    EXPECT_TRUE(Absent(Info().codeGroups[1]));
}

// Code group 4 carries a barker with no code given in the layout: only the
// whole code the last programming put there marks it.
class BarkerMarkTest;
struct BarkerCase {
    const char* name;
    std::function<void(BarkerMarkTest&)> change;
    bool marked;
};

class BarkerMarkTest : public PhoneBench, public ::testing::WithParamInterface<BarkerCase> {
  public:
    using PhoneBench::api;
    using PhoneBench::phone;
    using PhoneBench::Program;
};

const Bytes kBarker = {'B', 'A', 'R', 'K', 'E', 'R', '0', '4'};
const Bytes kDescriptor = {0xFF, 2, 2, 7, 0, 0, 0x01, 0x05};

// Erased, then the descriptor programmed: all but the barker is in place.
void EraseAndProgramDescriptor(BarkerMarkTest& test) {
    uint32_t error = 0;
    ASSERT_EQ(test.api.EraseSU(ERASE_ALL, error), 1);
    ASSERT_EQ(test.Program(kCg4 + 8, kDescriptor), 0u);
}

TEST_P(BarkerMarkTest, MarksTheCodeGroupOnlyWithTheWholeProgrammedBarker) {
    Make();
    StartRamDownloader();

    GetParam().change(*this);

    EXPECT_EQ(!Absent(Info().codeGroups[4]), GetParam().marked);
}

INSTANTIATE_TEST_SUITE_P(
    Barkers, BarkerMarkTest,
    ::testing::Values(
        BarkerCase{"Installed", [](BarkerMarkTest&) {}, true},
        BarkerCase{"OneByteChangedSince",
                   [](BarkerMarkTest& t) { t.phone->WriteFlash(kCg4 + 3, {0x00}); }, false},
        BarkerCase{"ProgrammedWhole",
                   [](BarkerMarkTest& t) {
                       EraseAndProgramDescriptor(t);
                       ASSERT_EQ(t.Program(kCg4, kBarker), 0u);
                   },
                   true},
        BarkerCase{"ProgrammedInTwoParts",
                   [](BarkerMarkTest& t) {
                       EraseAndProgramDescriptor(t);
                       Bytes first = Fill(4, 0xFF);
                       first.insert(first.end(), kBarker.begin(), kBarker.begin() + 4);
                       Bytes second(kBarker.begin() + 4, kBarker.end());
                       second.insert(second.end(), kDescriptor.begin(), kDescriptor.begin() + 4);
                       ASSERT_EQ(t.Program(kCg4 - 4, first), 0u);
                       ASSERT_EQ(t.Program(kCg4 + 4, second), 0u);
                   },
                   false},
        BarkerCase{"PutInWithoutProgramming",
                   [](BarkerMarkTest& t) {
                       EraseAndProgramDescriptor(t);
                       t.phone->WriteFlash(kCg4, kBarker);
                   },
                   false}),
    [](const ::testing::TestParamInfo<BarkerCase>& info) { return std::string(info.param.name); });

TEST_F(RecordTest, CodeGroupOutsideTheLayoutHasNoValidChecksum) {
    Make();
    CHECKSUMS_STRUC sums = Checksums();

    EXPECT_EQ(sums.codeGroups[3].valid, 0u);
    EXPECT_EQ(sums.codeGroups[255].valid, 0u);
    EXPECT_EQ(sums.codeGroups[2].valid, 1u);
    EXPECT_EQ(sums.codeGroups[2].checksum,
              phonesim::Sum16(phone->ReadFlash(kCg2, 256).data(), 256));
    EXPECT_EQ(sums.bootloader.valid, 0u);  // the profile gives it no range
}

TEST_F(RecordTest, InstalledFirmwareShowsItsDescriptorsAndTheBootloaders) {
    Make();
    SU_INFO_STRUC info = Info();

    EXPECT_EQ(info.bootloader.chipsetType, 2);
    EXPECT_EQ(info.bootloader.maType, 2);
    EXPECT_EQ(info.bootloader.dataType, 1);
    EXPECT_EQ(info.bootloader.version[1], 0x05);
    EXPECT_EQ(info.codeGroups[2].dataType, 9);
    EXPECT_EQ(info.codeGroups[4].version[1], 0x04);
    EXPECT_TRUE(Absent(info.codeGroups[1]));  // no firmware there: erased
    EXPECT_TRUE(Absent(info.codeGroups[6]));  // not in the layout
}

TEST_F(RecordTest, BlankPhoneShowsNoBootloader) {
    Make([](nlohmann::json& p) {
        p["mode"] = "blank";
        p["modes"]["blank"] = {{"descriptor", "Blank R4X Dorsk"},
                               {"interfaces", {"Kestrova_Boot"}}};
    });

    EXPECT_TRUE(Absent(Info().bootloader));
}

class SettingsAreaTest : public PhoneBench {};

TEST_F(SettingsAreaTest, SavedSettingsComeBackByteForByte) {
    Make();
    StartRamDownloader();
    Bytes settings = phone->SettingsData();
    uint32_t error = 0;

    ASSERT_EQ(api.SendFDI_SAVE_Command(error), 1);
    ASSERT_EQ(api.SendFDI_ERASE_FDI_Command(error), 1);
    EXPECT_EQ(phone->SettingsData(), Fill(settings.size(), 0xFF));
    EXPECT_EQ(phone->ReadFlash(kCg2, 256), Fill(256, 0xFF));
    ASSERT_EQ(api.SendFDI_RESTORE_Command(error), 1);

    EXPECT_EQ(phone->SettingsData(), settings);
}

TEST_F(SettingsAreaTest, RestoreWithNothingSavedIsRefused) {
    Make();
    StartRamDownloader();
    uint32_t error = 0;

    EXPECT_EQ(api.SendFDI_RESTORE_Command(error), 0);
    EXPECT_EQ(error, kFdaErrRefused);
}

TEST_F(SettingsAreaTest, StatusAnswerIsTheProfiles) {
    Make();
    uint32_t error = 0;
    uint32_t value = 50;
    RESPONSE_TYPE response = RESPONSE_NONE;

    EXPECT_EQ(api.SendFDI_REQ_STAT_Command(error, value, response), 0);
    EXPECT_EQ(error, kFdaErrRefused);
    EXPECT_EQ(response, RESPONSE_NO_UPGRADE);
    EXPECT_EQ(value, 12u);
}

TEST_F(SettingsAreaTest, ChecksumTextIsTheAreasSumInLowerCaseHex) {
    Make();
    StartRamDownloader();
    uint32_t error = 0;
    ASSERT_EQ(api.SendFDI_ERASE_FDI_Command(error), 1);
    ASSERT_EQ(Program(kCg2, Fill(256, 0xAB)), 0u);
    char text[12];

    ASSERT_EQ(api.SendFDI_REQ_FDI_CS_Command(error, text, sizeof text), 1);

    EXPECT_STREQ(text, "ab00");    // 256 x 0xAB
    EXPECT_STREQ(text + 8, "f4");  // Sum8 of twelve erased bytes
}

class ModeTest : public PhoneBench {};

TEST_F(ModeTest, RestartMovesToTheRestartModeAndEndsTheLink) {
    Make();
    StartRamDownloader();
    uint64_t epoch = phone->Epoch();
    uint32_t error = 0;

    ASSERT_EQ(api.SendFDI_RESTART_Command(error), 1);

    EXPECT_EQ(phone->CurrentMode(), phonesim::Mode::Os);
    EXPECT_EQ(phone->Descriptor(), "Kestrova T.340x");
    EXPECT_NE(phone->Epoch(), epoch);
    EXPECT_FALSE(phone->RamDownloaderRunning());
    EXPECT_EQ(api.PowerDownSU(error), 0);
    EXPECT_EQ(error, kFdaErrSendFailed);
    EXPECT_EQ(phone->OpenLink("Kestrova_Flash"), nullptr);
}

TEST_F(ModeTest, PowerDownSwitchesThePhoneOffUntilPoweredOn) {
    Make();
    uint32_t error = 0;

    ASSERT_EQ(api.PowerDownSU(error), 1);

    EXPECT_FALSE(phone->IsPowered());
    EXPECT_EQ(phone->WriteLog().back().kind, WriteEvent::Kind::PowerDown);
    phone->PowerOn();
    EXPECT_EQ(phone->CurrentMode(), phonesim::Mode::Os);
}

TEST(SuspendTest, SuspendMovesAPhoneInNormalOperationToFlashMode) {
    nlohmann::json profile = nlohmann::json::parse(kProfile);
    profile["mode"] = "os";
    auto phone = Phone::FromJson(profile.dump());
    EXPECT_EQ(phone->OpenLink(phonesim::kTestCommandInterface), nullptr);  // commands only
    std::string reply;

    EXPECT_EQ(phone->TestCommand("SUSPEND", reply), 0);

    EXPECT_EQ(reply, "OK");
    EXPECT_EQ(phone->CurrentMode(), phonesim::Mode::Flash);
    EXPECT_TRUE(phone->HasInterface("Kestrova_Flash"));
    EXPECT_EQ(phone->TestCommand("SUSPEND", reply), phonesim::kTestCommandRefused);
}

TEST_F(ModeTest, SerialLineIsDeafUntilBothEndsAgreeOnTheRate) {
    Make([](nlohmann::json& p) {
        p["deviceId"] = 1000;
        p["modes"]["flash"].erase("descriptor");
    });
    uint32_t error = 0;
    ASSERT_EQ(api.SetBaudRate(BAUD_115200, error), 1);
    EXPECT_EQ(phone->LineRate(), 115200u);
    SU_INFO_STRUC info{};

    EXPECT_EQ(api.GetSUinfo(&info, error), 0);
    EXPECT_EQ(error, kFdaErrTimeout);
    phone->SetHostLineRate(115200);
    EXPECT_EQ(api.GetSUinfo(&info, error), 1);
}

TEST(StateFileTest, SeparatePhonesOfOneProfileShareTheirFlashAndSettings) {
    testsupport::ScratchDir scratch;
    nlohmann::json profile = nlohmann::json::parse(kProfile);
    profile["stateFile"] = "phone7.state";
    {
        auto first = Phone::FromJson(profile.dump());
        first->WriteFlash(kCg1, {1, 2, 3, 4, 5, 6, 7, 8});
    }

    auto second = Phone::FromJson(profile.dump());

    EXPECT_EQ(second->ReadFlash(kCg1, 8), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(second->ReadFlash(kCg0 + 16, 8), Fill(8, 0x11));
    EXPECT_EQ(second->SettingsData(), Phone::FromJson(kProfile)->SettingsData());
}

TEST(StateFileTest, DamagedStateFileIsAProfileError) {
    testsupport::ScratchDir scratch;
    testsupport::WriteText(scratch.File("phone7.state"), "ORXPHST1 but then nothing sensible");
    nlohmann::json profile = nlohmann::json::parse(kProfile);
    profile["stateFile"] = "phone7.state";

    EXPECT_THROW(Phone::FromJson(profile.dump()), phonesim::ProfileError);
}

}  // namespace

namespace {

// A phone with a state file, and a look at that file while the phone still
// runs: what a host killed at that moment would leave behind.
struct InScratchDir {
    testsupport::ScratchDir scratch;
};

// The scratch directory is a base before the bench: made before the phone,
// left only after the phone wrote its last state.
class StateJournalTest : public InScratchDir, public PhoneBench {
  protected:
    void SetUp() override {
        Make([](nlohmann::json& p) { p["stateFile"] = "phone7.state"; });
        nlohmann::json profile = nlohmann::json::parse(kProfile);
        profile["stateFile"] = "phone7.state";
        testsupport::WriteText(scratch.File("phone7.json"), profile.dump());
        StartRamDownloader();
    }
    std::shared_ptr<Phone> Observed() { return Phone::Observe(scratch.File("phone7.json")); }
};

TEST_F(StateJournalTest, EveryChangeReachesTheFilesWhileTheLinkIsOpen) {
    ASSERT_EQ(Program(kCg1, Fill(8, 0x12)), 0u);
    uint32_t error = 0;
    ASSERT_EQ(api.SendFDI_ERASE_FDI_Command(error), 1);

    std::shared_ptr<Phone> observed = Observed();

    EXPECT_EQ(observed->ReadFlash(kCg1, 8), Fill(8, 0x12));
    EXPECT_EQ(observed->ReadFlash(kCg2, 256), Fill(256, 0xFF));
    EXPECT_EQ(observed->SettingsData(), Fill(12, 0xFF));
    EXPECT_TRUE(std::filesystem::exists(scratch.File("phone7.state.journal")));
}

TEST_F(StateJournalTest, DamagedJournalTailIsDroppedAndTheRestKept) {
    ASSERT_EQ(Program(kCg1, Fill(8, 0x12)), 0u);
    ASSERT_EQ(Program(kCg1 + 8, Fill(8, 0x34)), 0u);
    const std::string journal = scratch.File("phone7.state.journal");
    const Bytes whole = testsupport::ReadBytes(journal);
    struct Damage {
        const char* name;
        std::function<Bytes(Bytes)> apply;
        bool lastKept;
    };
    const Damage damages[] = {
        {"cut short", [](Bytes b) { return Bytes(b.begin(), b.end() - 1); }, false},
        {"last byte flipped",
         [](Bytes b) {
             b.back() ^= 0x01;
             return b;
         },
         false},
        {"huge size field",
         [](Bytes b) {
             b.insert(b.end(), {1, 0xFF, 0xFF, 0xFF, 0x7F});
             return b;
         },
         true},
        {"garbage after",
         [](Bytes b) {
             b.insert(b.end(), {9, 3, 0, 0, 0, 1});
             return b;
         },
         true},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.name);
        testsupport::WriteBytes(journal, damage.apply(whole));

        std::shared_ptr<Phone> observed = Observed();

        EXPECT_EQ(observed->ReadFlash(kCg1, 8), Fill(8, 0x12));
        EXPECT_EQ(observed->ReadFlash(kCg1 + 8, 8), Fill(8, damage.lastKept ? 0x34 : 0xFF));
    }
}

TEST_F(StateJournalTest, NewPhoneStartsFromTheJournalAndCompactsIt) {
    ASSERT_EQ(Program(kCg1, Fill(8, 0x12)), 0u);
    testsupport::WriteBytes(scratch.File("phone7.state.journal"),
                            testsupport::ReadBytes(scratch.File("phone7.state.journal")));
    nlohmann::json profile = nlohmann::json::parse(kProfile);
    profile["stateFile"] = "phone7.state";

    auto next = Phone::FromJson(profile.dump());

    EXPECT_EQ(next->ReadFlash(kCg1, 8), Fill(8, 0x12));
    EXPECT_EQ(std::filesystem::file_size(scratch.File("phone7.state.journal")), 0u);
    EXPECT_EQ(Phone::FromJson(profile.dump())->ReadFlash(kCg1, 8), Fill(8, 0x12));
}

}  // namespace
