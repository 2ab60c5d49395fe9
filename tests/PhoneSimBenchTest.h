// The simulated phone on the bench for tests: a small standard profile and a
// device library bound to the phone's flash interface.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Packets.h"
#include "Phone.h"
#include "TestSupport.h"
#include "FlashDevApi.h"

namespace phonebench {

using phonesim::Phone;
using phonesim::WriteEvent;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kCg0 = 0x10000000, kCg1 = 0x10000100, kCg2 = 0x10000200, kCg4 = 0x10000300;
constexpr uint32_t kRam = 0x00100000;

inline const char* const kProfile = R"({
  "deviceId": 7, "mode": "flash", "restartMode": "os",
  "modes": {"flash": {"descriptor": "Flash R4X Dorsk", "interfaces": ["Kestrova_Flash"]},
            "os": {"descriptor": "Kestrova T.340x", "interfaces": ["Kestrova_Test_Command"]}},
  "bootloader": {"chipsetType": 2, "maType": 2, "version": "0x0105"},
  "ram": {"start": "0x00100000", "size": 4096, "entryOffset": 16},
  "flash": [{"start": "0x10000000", "size": "0x10000"}],
  "layout": [{"codeGroup": 0, "start": "0x10000000", "size": 256, "barker": true},
             {"codeGroup": 1, "start": "0x10000100", "size": 256, "barker": "A55AC33C10010357"},
             {"codeGroup": 2, "start": "0x10000200", "size": 256},
             {"codeGroup": 4, "start": "0x10000300", "size": 256, "barker": true}],
  "firmware": [{"codeGroup": 0, "version": "0x0200", "fill": "0x11"},
               {"codeGroup": 2, "version": "0x0010", "dataType": 9, "fill": "0x22"},
               {"codeGroup": 4, "version": "0x0104", "dataType": 7, "fill": "0x44"}],
  "settings": {"data": {"hex": "53 45 54 54 49 4E 47 53 01 02 03 04"},
               "status": {"code": "0xE0020024", "response": 3}}
})";

inline Bytes Fill(size_t size, uint8_t byte) {
    return Bytes(size, byte);
}

// A phone made from a profile (the standard one, changed by `edit`) and a
// device library bound to its flash interface.
class PhoneBench : public ::testing::Test {
  protected:
    void Make(const std::function<void(nlohmann::json&)>& edit = nullptr) {
        nlohmann::json profile = nlohmann::json::parse(kProfile);
        if (edit) {
            edit(profile);
        }
        phone = Phone::FromJson(profile.dump());
        Bind(profile["modes"][profile["mode"].get<std::string>()]["interfaces"][0]);
    }

    void Bind(const std::string& interfaceName) {
        api.SetExchangeTimeout(200);
        uint32_t error = 0;
        ASSERT_EQ(api.InitFlashDevAPIOnLink(phone->OpenLink(interfaceName).release(), error), 1);
    }

    // Loads a 16-byte bootloader RAM downloader and starts it at its entry.
    void StartRamDownloader() {
        uint32_t error = 0;
        Bytes packet = phonesim::MakeDataPacket(Fill(16, 0x5A));
        ASSERT_EQ(api.RAMdownload(1, kRam, packet.data(), uint32_t(packet.size()), 0, error), 1);
        ASSERT_EQ(api.RAMdownload(1, kRam + 16, nullptr, 0, 0, error), 1);
    }

    uint32_t Program(uint32_t address, const Bytes& data) {
        Bytes packet = phonesim::MakeDataPacket(data);
        uint32_t error = 0;
        api.FlashSU(address, packet.data(), uint32_t(packet.size()), error);
        return error;
    }

    CHECKSUMS_STRUC Checksums() {
        CHECKSUMS_STRUC sums{};
        uint32_t error = 0;
        EXPECT_EQ(api.GetSUchkSum(MA_TYPE_GSM, &sums, error), 1);
        return sums;
    }

    SU_INFO_STRUC Info() {
        SU_INFO_STRUC info{};
        uint32_t error = 0;
        EXPECT_EQ(api.GetSUinfo(&info, error), 1);
        return info;
    }

    static bool Absent(const SU_DESCRIPTOR& d) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(&d);
        return std::all_of(bytes, bytes + 8, [](uint8_t b) { return b == 0xFF; });
    }

    std::shared_ptr<Phone> phone;
    CFlashDeviceApi api;
};

}  // namespace phonebench
