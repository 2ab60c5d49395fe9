// The phone, mkshx and the device library agree: the example release built by
// mkshx, sent to the example k.380 phone as the engine sends it (8 KB packets,
// barkers last), leaves the phone reporting the file's checksums and versions.
#include <cstdlib>

#include "Mkshx.h"
#include "PhoneSimBenchTest.h"

namespace {

using namespace phonebench;

std::string Source(const std::string& path) {
    const char* source = std::getenv("ORX_SOURCE_DIR");
    return std::string(source ? source : ".") + "/" + path;
}

struct Slot {
    int slot;
    uint32_t start;
    uint16_t type;
    uint16_t declared;
    uint16_t version;
};

class ReleaseOnExamplePhoneTest : public ::testing::Test {
  protected:
    ReleaseOnExamplePhoneTest()
        : built(mkshx::BuildSuperfile(
              mkshx::LoadManifest(Source("examples/phones/superfiles/k380.json")))),
          phone(Phone::FromFile(Source("examples/phones/flash-hmq-vintrel.json"))) {
        uint32_t error = 0;
        api.InitFlashDevAPIOnLink(phone->OpenLink("Kestrova_Flash").release(), error);
        for (int slot : {2, 3, 4, 6}) {
            const uint8_t* d = built.bytes.data() + 948 + 28 * slot;
            slots.push_back({slot, uint32_t(d[0] | d[1] << 8 | d[2] << 16 | uint32_t(d[3]) << 24),
                             uint16_t(d[26] | d[27] << 8), uint16_t(d[24] | d[25] << 8),
                             uint16_t(d[22] << 8 | d[23])});
        }
    }

    // The engine's block loop: one packet per 8 KB block of the range, the
    // first `skip` bytes (the barker) left out.
    void Send(bool toRam, uint32_t start, const Bytes& image, size_t skip = 0) {
        for (size_t at = skip; at < image.size(); at = (at / 8192 + 1) * 8192) {
            size_t size = std::min<size_t>((at / 8192 + 1) * 8192, image.size()) - at;
            Bytes packet = phonesim::MakeDataPacket(image.data() + at, size);
            uint32_t error = 0;
            int done = toRam ? api.RAMdownload(1, start + uint32_t(at), packet.data(),
                                               uint32_t(packet.size()), 0, error)
                             : api.FlashSU(start + uint32_t(at), packet.data(),
                                           uint32_t(packet.size()), error);
            ASSERT_EQ(done, 1) << std::hex << error;
        }
    }

    mkshx::BuiltSuperfile built;
    std::shared_ptr<Phone> phone;
    CFlashDeviceApi api;
    std::vector<Slot> slots;
};

TEST_F(ReleaseOnExamplePhoneTest, FlashedPhoneReportsTheFilesChecksumsAndVersions) {
    uint32_t error = 0;
    const Bytes& downloader = built.images.at(0);
    Send(true, 0x03FC0000, downloader);
    uint16_t ramSum = 0;
    ASSERT_EQ(api.GetRAMchecksum(0x03FC0000, 0x03FC0000 + 6143, ramSum, error), 1);
    EXPECT_EQ(ramSum, phonesim::Sum16(downloader.data(), downloader.size()));
    ASSERT_EQ(api.RAMdownload(1, 0x03FC0010, nullptr, 0, 0, error), 1);
    uint32_t value = 50;
    RESPONSE_TYPE response = RESPONSE_NONE;
    ASSERT_EQ(api.SendFDI_REQ_STAT_Command(error, value, response), 1);
    ASSERT_EQ(response, RESPONSE_READY);
    ASSERT_EQ(api.EraseSU(ERASE_ALL, error), 1);

    for (const Slot& s : slots) {
        Send(false, s.start, built.images.at(s.slot), s.type == 2 ? 8 : 0);
    }
    CHECKSUMS_STRUC before{};
    ASSERT_EQ(api.GetSUchkSum(MA_TYPE_GSM, &before, error), 1);
    for (const Slot& s : slots) {
        if (s.type == 2) {
            Bytes barker(built.images.at(s.slot).begin(), built.images.at(s.slot).begin() + 8);
            Bytes packet = phonesim::MakeDataPacket(barker);
            ASSERT_EQ(api.FlashSU(s.start, packet.data(), 11, error), 1);
        }
    }
    SU_INFO_STRUC info{};
    ASSERT_EQ(api.GetSUinfo(&info, error), 1);

    for (const Slot& s : slots) {
        int group = s.slot - 2;
        SCOPED_TRACE(group);
        EXPECT_EQ(before.codeGroups[group].checksum, s.declared);
        const SU_DESCRIPTOR& d = info.codeGroups[group];
        EXPECT_EQ(uint16_t(d.version[0] << 8 | d.version[1]), s.version);
        EXPECT_EQ(d.maType, 2);
        EXPECT_EQ(phone->ReadFlash(s.start, built.images.at(s.slot).size()),
                  built.images.at(s.slot));
    }
    EXPECT_EQ(info.codeGroups[0].dataType, 6);
    EXPECT_EQ(info.codeGroups[1].dataType, 6);
    // The last writes were the barkers, each 8 bytes at its code group's start.
    std::vector<WriteEvent> log = phone->WriteLog();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log.back().address, 0x10300000u);
    EXPECT_EQ(log.back().length, 8u);
}

}  // namespace
