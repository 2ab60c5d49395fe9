// Tests of the profile loader: every refusal names its field, what it
// accepts builds the phone it describes, and every example profile loads.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include <nlohmann/json.hpp>

#include "Phone.h"
#include "Profile.h"
#include "TestSupport.h"

namespace {

using nlohmann::json;
using ::testing::HasSubstr;

const char* const kMinimal = R"({
  "deviceId": 3, "mode": "flash",
  "modes": {"flash": {"descriptor": "Flash R4X Quellin", "interfaces": ["Kestrova_Flash"]}},
  "layout": [{"codeGroup": 0, "start": "0x1000", "size": 64, "barker": true},
             {"codeGroup": 1, "start": "0x2000", "end": "0x20FF"}]
})";

// The loader's message for the minimal profile after `edit`, or "(loaded)".
std::string ErrorOf(const std::function<void(json&)>& edit) {
    json profile = json::parse(kMinimal);
    edit(profile);
    try {
        phonesim::ParseProfile(profile.dump());
    } catch (const phonesim::ProfileError& error) {
        return error.what();
    }
    return "(loaded)";
}

TEST(ProfileErrorTest, TextThatIsNoJsonIsRefused) {
    EXPECT_THROW(phonesim::ParseProfile("{\"deviceId\": "), phonesim::ProfileError);
    EXPECT_THROW(phonesim::ParseProfile("[]"), phonesim::ProfileError);
}

TEST(ProfileErrorTest, MissingDeviceIdIsNamed) {
    EXPECT_THAT(ErrorOf([](json& p) { p.erase("deviceId"); }), HasSubstr("needs \"deviceId\""));
}

TEST(ProfileErrorTest, UnknownKeyIsNamedWithItsPlace) {
    EXPECT_THAT(ErrorOf([](json& p) { p["layout"][1]["sise"] = 4; }),
                HasSubstr("layout[1]: unknown key \"sise\""));
}

TEST(ProfileErrorTest, InitialModeNeedsItsEntry) {
    EXPECT_THAT(ErrorOf([](json& p) { p["mode"] = "os"; }),
                HasSubstr("has no entry for mode \"os\""));
    EXPECT_THAT(ErrorOf([](json& p) { p["mode"] = "sleeping"; }), HasSubstr("mode"));
}

TEST(ProfileErrorTest, OverlappingCodeGroupsAreRefused) {
    EXPECT_THAT(ErrorOf([](json& p) {
                    p["layout"][1]["start"] = "0x1020";
                    p["layout"][1].erase("end");
                    p["layout"][1]["size"] = 16;
                }),
                HasSubstr("overlaps layout[0]"));
}

TEST(ProfileErrorTest, CodeGroupGivenTwiceIsRefused) {
    EXPECT_THAT(ErrorOf([](json& p) { p["layout"][1]["codeGroup"] = 0; }),
                HasSubstr("given twice"));
}

TEST(ProfileErrorTest, CodeGroupOutsideTheFlashBanksIsRefused) {
    EXPECT_THAT(ErrorOf([](json& p) {
                    p["flash"] = {{{"start", "0x1000"}, {"size", 64}}};
                }),
                HasSubstr("code group 1 lies outside the flash banks"));
}

TEST(ProfileErrorTest, RangePastTheAddressSpaceIsRefused) {
    EXPECT_THAT(ErrorOf([](json& p) {
                    p["layout"][1] = {{"codeGroup", 1}, {"start", "0xFFFFFFF0"}, {"size", 32}};
                }),
                HasSubstr("within 0 to 0xFFFFFFFF"));
    EXPECT_THAT(ErrorOf([](json& p) { p["layout"][1]["size"] = 8; }),
                HasSubstr("exactly one of \"size\" and \"end\""));
}

TEST(ProfileErrorTest, BarkerOfTheWrongLengthIsRefused) {
    EXPECT_THAT(ErrorOf([](json& p) { p["layout"][0]["barker"] = "A5 5A C3"; }),
                HasSubstr("a barker code has 8 bytes"));
    EXPECT_THAT(ErrorOf([](json& p) { p["layout"][0]["barker"] = "A5 5A C3 3C 00 00 00 0G"; }),
                HasSubstr("hexadecimal byte pairs"));
}

TEST(ProfileErrorTest, NumbersAreCheckedForFormAndRange) {
    EXPECT_THAT(ErrorOf([](json& p) { p["deviceId"] = "0xZZ"; }), HasSubstr("is not a number"));
    EXPECT_THAT(ErrorOf([](json& p) { p["deviceId"] = -1; }), HasSubstr("must not be negative"));
    EXPECT_THAT(ErrorOf([](json& p) { p["deviceId"] = 65536; }), HasSubstr("at most 65535"));
    EXPECT_THAT(ErrorOf([](json& p) { p["baudRate"] = 4800; }), HasSubstr("baudRate"));
}

TEST(ProfileErrorTest, FirmwareNeedsACodeGroupOfTheLayoutWithRoomForItsDescriptor) {
    EXPECT_THAT(ErrorOf([](json& p) {
                    p["firmware"] = {{{"codeGroup", 6}, {"version", 1}}};
                }),
                HasSubstr("code group 6 is not in the layout"));
    EXPECT_THAT(ErrorOf([](json& p) {
                    p["layout"][1] = {{"codeGroup", 1}, {"start", "0x2000"}, {"size", 8}};
                    p["firmware"] = {{{"codeGroup", 1}, {"version", 1}}};
                }),
                HasSubstr("16 bytes"));
}

TEST(ProfileErrorTest, ContentMustLieInTheFlashAndItsFileMustOpen) {
    EXPECT_THAT(ErrorOf([](json& p) {
                    p["content"] = {{{"address", "0x3000"}, {"hex", "00"}}};
                }),
                HasSubstr("content[0]: does not lie within one flash bank"));
    EXPECT_THAT(ErrorOf([](json& p) {
                    p["content"] = {{{"codeGroup", 1}, {"file", "no-such.bin"}}};
                }),
                HasSubstr("cannot open"));
}

TEST(ProfileErrorTest, RamMustNotOverlapTheFlash) {
    EXPECT_THAT(ErrorOf([](json& p) {
                    p["ram"] = {{"start", "0x2080"}, {"size", 256}};
                }),
                HasSubstr("ram: overlaps the flash"));
}

TEST(ProfileErrorTest, FaultsAreChecked) {
    EXPECT_THAT(ErrorOf([](json& p) {
                    p["faults"] = {{{"action", "refuse"}, {"command", "Erase"}}};
                }),
                HasSubstr("a refusal needs a non-zero code"));
    EXPECT_THAT(ErrorOf([](json& p) {
                    p["faults"] = {{{"action", "stall"}, {"command", "SUSPEND"}}};
                }),
                HasSubstr("only with refuse"));
    EXPECT_THAT(ErrorOf([](json& p) {
                    p["faults"] = {{{"action", "cut"}, {"command", "Progam"}}};
                }),
                HasSubstr("\"Progam\" is no protocol command"));
    EXPECT_THAT(ErrorOf([](json& p) {
                    p["faults"] = {{{"action", "melt"}}};
                }),
                HasSubstr("\"melt\" is not one of"));
    EXPECT_THAT(ErrorOf([](json& p) { p["unsupported"] = {"Teleport"}; }),
                HasSubstr("no protocol command"));
}

TEST(ProfileErrorTest, StrictnessOptionsAreChecked) {
    EXPECT_THAT(ErrorOf([](json& p) { p["packetBoundary"] = 12; }),
                HasSubstr("packetBoundary: must be 0 or a multiple of 8"));
    EXPECT_THAT(ErrorOf([](json& p) { p["modes"]["flash"]["flashing"] = {"Kestrova_Boot"}; }),
                HasSubstr("\"Kestrova_Boot\" is not one of the mode's interfaces"));
}

TEST(ProfileLoadTest, DefaultsFollowTheProfile) {
    phonesim::Profile profile = phonesim::ParseProfile(kMinimal);

    EXPECT_EQ(profile.restartMode, phonesim::Mode::Flash);  // no "os" entry
    ASSERT_EQ(profile.flash.size(), 2u);                    // banks: the layout's ranges
    EXPECT_EQ(profile.flash[1].end, 0x20FFu);
    EXPECT_EQ(profile.ram.entryOffset, 16u);
    EXPECT_FALSE(profile.IsSerial());
    EXPECT_EQ(profile.packetBoundary, 8192u);
    EXPECT_EQ(profile.modes[phonesim::Mode::Flash].flashing,
              std::vector<std::string>{"Kestrova_Flash"});  // every interface of flash mode
}

TEST(ProfileLoadTest, ContentFileIsReadBesideTheProfile) {
    testsupport::ScratchDir scratch;
    testsupport::WriteBytes(scratch.File("cg1.bin"), {1, 2, 3, 4});
    json profile = json::parse(kMinimal);
    profile["content"] = {{{"codeGroup", 1}, {"file", "cg1.bin"}},
                          {{"address", "0x2004"}, {"fill", 9}, {"size", 2}}};
    std::filesystem::create_directory(scratch.Path() / "profiles");
    testsupport::WriteText(scratch.Path() / "profiles" / "p.json", profile.dump());
    std::filesystem::rename(scratch.File("cg1.bin"), scratch.Path() / "profiles" / "cg1.bin");

    auto phone = phonesim::Phone::FromFile(scratch.Path() / "profiles" / "p.json");

    EXPECT_EQ(phone->ReadFlash(0x2000, 7), (std::vector<uint8_t>{1, 2, 3, 4, 9, 9, 0xFF}));
}

TEST(ProfileLoadTest, EveryExampleProfileLoads) {
    const char* source = std::getenv("ORX_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    int count = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(source) / "examples/phones")) {
        if (entry.path().extension() != ".json") {
            continue;
        }
        SCOPED_TRACE(entry.path().string());
        phonesim::Profile profile = phonesim::LoadProfile(entry.path());
        EXPECT_TRUE(profile.modes.count(profile.mode));
        EXPECT_NE(profile.CodeGroup(0), nullptr);
        ++count;
    }
    EXPECT_GE(count, 14);
}

}  // namespace
