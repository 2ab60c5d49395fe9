// Tests of the host's device services with simulated phones attached:
// interfaces and handles, string descriptors, line rate, test commands, the
// device link the device library binds to, hot-plug and refresh.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "OrxHost.h"
#include "Phone.h"
#include "TestSupport.h"
#include "FlashDevApi.h"

namespace {

using phonesim::Phone;

std::string Example(const std::string& name) {
    const char* source = std::getenv("ORX_SOURCE_DIR");
    return std::string(source ? source : ".") + "/examples/phones/" + name;
}

std::vector<uint16_t> Listed() {
    ORXDeviceArray devices;
    EXPECT_EQ(ORXGetDeviceList(&devices), 0);
    std::vector<uint16_t> ids;
    for (size_t i = 0; i < devices.GetSize(); ++i) {
        ids.push_back(devices.GetAt(i));
    }
    return ids;
}

class HostDevicesTest : public ::testing::Test {
  protected:
    HostDevicesTest() { orxhost::Reset(); }
    ~HostDevicesTest() override { orxhost::Reset(); }

    ORXInterfaceHandle Handle(uint16_t deviceId, const char* name, int expected = 0) {
        ORXInterfaceHandle handle = nullptr;
        EXPECT_EQ(ORXGetInterfaceHandle(deviceId, name, &handle), expected) << name;
        return handle;
    }

    std::string Descriptor(uint16_t deviceId, ORXInterfaceHandle handle, int expected = 0) {
        char text[64] = "stale";
        EXPECT_EQ(ORXGetStringDescriptor(deviceId, handle, 1, 0, text, sizeof text), expected);
        return text;
    }

    testsupport::ScratchDir scratch;
};

class HostInterfaceTest : public HostDevicesTest {};

TEST_F(HostInterfaceTest, MissingInterfaceAnswers71WithoutAHandle) {
    orxhost::AttachPhone(Example("flash-r4x-dorsk.json"));
    ORXInterfaceHandle handle = &handle;

    EXPECT_EQ(ORXGetInterfaceHandle(1, "Kestrova_Boot", &handle), kOrxNoSuchInterface);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(ORXGetInterfaceHandle(99, "Kestrova_Flash", &handle), kOrxNoSuchInterface);
}

TEST_F(HostInterfaceTest, OfferedInterfaceGivesTheDescriptorOfThePresentMode) {
    orxhost::AttachPhone(Example("flash-r4x-dorsk.json"));

    ORXInterfaceHandle handle = Handle(1, "Kestrova_Flash");

    EXPECT_NE(handle, nullptr);
    EXPECT_EQ(Descriptor(1, handle), "Flash R4X Dorsk");
    EXPECT_EQ(Handle(1, "Kestrova_Flash"), handle);  // asked again: the same handle
}

TEST_F(HostInterfaceTest, SerialPhoneHasNoStringDescriptor) {
    orxhost::AttachPhone(Example("serial-1000.json"));
    ORXInterfaceHandle handle = Handle(1000, "Kestrova_Flash");

    EXPECT_EQ(Descriptor(1000, handle, orxhost::kOrxNotAvailable), "");
}

TEST_F(HostInterfaceTest, DescriptorIsCutToTheCallersRoom) {
    orxhost::AttachPhone(Example("flash-r4x-dorsk.json"));
    char text[6];

    EXPECT_EQ(ORXGetStringDescriptor(1, Handle(1, "Kestrova_Flash"), 1, 0, text, sizeof text), 0);
    EXPECT_STREQ(text, "Flash");
}

TEST_F(HostInterfaceTest, HandleOfAnotherDeviceIsRefused) {
    orxhost::AttachPhone(Example("flash-r4x-dorsk.json"));
    orxhost::AttachPhone(Example("flash-r4x-brinmar.json"));

    EXPECT_EQ(Descriptor(2, Handle(1, "Kestrova_Flash"), orxhost::kOrxBadHandle), "");
}

TEST_F(HostInterfaceTest, HandleFromBeforeARestartIsStale) {
    auto phone = orxhost::AttachPhone(Example("blank-r4x-dorsk.json"));
    ORXInterfaceHandle boot = Handle(11, "Kestrova_Boot");
    EXPECT_EQ(Descriptor(11, boot), "Blank R4X Dorsk");
    CFlashDeviceApi api;
    uint32_t error = 0;
    ASSERT_EQ(api.InitFlashDevAPI(nullptr, 11, boot, error), 1);

    ASSERT_EQ(api.SendFDI_RESTART_Command(error), 1);

    EXPECT_EQ(Descriptor(11, boot, orxhost::kOrxBadHandle), "");
    Handle(11, "Kestrova_Boot", kOrxNoSuchInterface);
    EXPECT_EQ(Descriptor(11, Handle(11, "Kestrova_Flash")), "Flash R4X Dorsk");
    EXPECT_EQ(api.InitFlashDevAPI(nullptr, 11, boot, error), 0);
    EXPECT_EQ(error, kFdaErrHostRefused);
}

TEST_F(HostInterfaceTest, InjectedFailuresStillAnswerFirst) {
    orxhost::AttachPhone(Example("flash-r4x-dorsk.json"));
    orxhost::InjectFailure("ORXGetInterfaceHandle", 5);
    ORXInterfaceHandle handle = nullptr;

    EXPECT_EQ(ORXGetInterfaceHandle(1, "Kestrova_Flash", &handle), 5);
    EXPECT_EQ(ORXGetInterfaceHandle(1, "Kestrova_Flash", &handle), 0);
    EXPECT_EQ(orxhost::CallCount("ORXGetInterfaceHandle"), 2);
}

class DeviceLinkTest : public HostDevicesTest {};

TEST_F(DeviceLinkTest, DeviceLibraryReachesThePhoneThroughTheHostInstanceHandle) {
    orxhost::AttachPhone(Example("flash-hmq-vintrel.json"));
    void* host = dlopen("ORX.so", RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(host, nullptr);
    CFlashDeviceApi api;
    uint32_t error = 0;
    SU_INFO_STRUC info{};

    EXPECT_EQ(api.InitFlashDevAPI(host, 4, Handle(4, "Kestrova_Flash"), error), 1);
    EXPECT_EQ(api.GetSUinfo(&info, error), 1);

    EXPECT_EQ(info.codeGroups[1].dataType, 6);
    EXPECT_EQ(info.codeGroups[1].version[0], 0x03);
    EXPECT_EQ(info.bootloader.maType, 2);
    EXPECT_EQ(orxhost::CallCount("ORXOpenDeviceLink"), 1);
    dlclose(host);
}

TEST_F(DeviceLinkTest, AnyOtherInstanceValueUsesTheLoadedHostLibrary) {
    orxhost::AttachPhone(Example("flash-hmq-vintrel.json"));
    int notAHandle = 0;
    CFlashDeviceApi api;
    uint32_t error = 0;

    EXPECT_EQ(api.InitFlashDevAPI(&notAHandle, 4, Handle(4, "Kestrova_Flash"), error), 1);
    EXPECT_EQ(error, 0u);
}

TEST_F(DeviceLinkTest, TestCommandInterfaceCarriesNoLink) {
    orxhost::AttachPhone(Example("suspend-t340x.json"));
    CFlashDeviceApi api;
    uint32_t error = 0;

    EXPECT_EQ(api.InitFlashDevAPI(nullptr, 13, Handle(13, "Kestrova_Test_Command"), error), 0);
    EXPECT_EQ(error, kFdaErrHostRefused);
}

TEST_F(DeviceLinkTest, InjectedLinkFailureRefusesTheBinding) {
    orxhost::AttachPhone(Example("flash-r4x-dorsk.json"));
    orxhost::InjectFailure("ORXOpenDeviceLink", 9);
    CFlashDeviceApi api;
    uint32_t error = 0;

    EXPECT_EQ(api.InitFlashDevAPI(nullptr, 1, Handle(1, "Kestrova_Flash"), error), 0);
    EXPECT_EQ(error, kFdaErrHostRefused);
}

TEST_F(DeviceLinkTest, UnpluggedPhoneCutsItsLink) {
    orxhost::AttachPhone(Example("flash-r4x-dorsk.json"));
    CFlashDeviceApi api;
    uint32_t error = 0;
    ASSERT_EQ(api.InitFlashDevAPI(nullptr, 1, Handle(1, "Kestrova_Flash"), error), 1);

    orxhost::DetachPhone(1);

    EXPECT_EQ(api.PowerDownSU(error), 0);
    EXPECT_EQ(error, kFdaErrSendFailed);
    EXPECT_TRUE(Listed().empty());
}

TEST_F(DeviceLinkTest, UnplugFromAnotherThreadEndsAWaitingExchange) {
    auto phone = orxhost::AttachPhone(Example("flash-r4x-dorsk.json"));
    CFlashDeviceApi api;
    api.SetExchangeTimeout(60000);
    uint32_t error = 0;
    ASSERT_EQ(api.InitFlashDevAPI(nullptr, 1, Handle(1, "Kestrova_Flash"), error), 1);
    phonesim::FaultOrder stall;
    stall.action = phonesim::FaultAction::Stall;
    stall.command = "Erase";
    phone->AddFault(stall);
    std::thread unplug([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        orxhost::DetachPhone(1);
    });

    EXPECT_EQ(api.EraseSU(ERASE_ALL, error), 0);
    EXPECT_EQ(error, kFdaErrLinkCut);
    unplug.join();
}

class TestCommandTest : public HostDevicesTest {
  protected:
    int Suspend(uint16_t deviceId, int serial = 0) {
        ORXTestCmdInit(deviceId, serial);
        ORXInterfaceHandle handle = nullptr;
        ORXGetInterfaceHandle(deviceId, "Kestrova_Test_Command", &handle);
        uint8_t data[kOrxCommandBufferSize];
        uint32_t value = 0;
        return ORXSendCommand(deviceId, handle, "SUSPEND", reply, 1, data, &value, deviceId);
    }
    uint8_t reply[kOrxCommandBufferSize];
};

TEST_F(TestCommandTest, SuspendMovesThePhoneToFlashModeAtOnce) {
    orxhost::AttachPhone(Example("suspend-t340x.json"));
    Handle(13, "Kestrova_Boot", kOrxNoSuchInterface);
    Handle(13, "Kestrova_Flash", kOrxNoSuchInterface);

    EXPECT_EQ(Suspend(13), 0);

    EXPECT_STREQ(reinterpret_cast<char*>(reply), "OK");
    EXPECT_EQ(Descriptor(13, Handle(13, "Kestrova_Flash")), "Kestrova T.340x");
    EXPECT_EQ(Listed(), std::vector<uint16_t>{13});
}

TEST_F(TestCommandTest, CommandBeforeItsInitialisationIsRefused) {
    orxhost::AttachPhone(Example("suspend-t340x.json"));
    uint8_t data[kOrxCommandBufferSize];
    uint32_t value = 0;

    EXPECT_EQ(ORXSendCommand(13, Handle(13, "Kestrova_Test_Command"), "SUSPEND", reply, 1, data,
                             &value, 13),
              orxhost::kOrxNotInitialised);
    Handle(13, "Kestrova_Flash", kOrxNoSuchInterface);
}

TEST_F(TestCommandTest, PhoneRefusingSuspendPassesItsCode) {
    auto phone = orxhost::AttachPhone(Example("suspend-t340x.json"));
    phonesim::FaultOrder refuse;
    refuse.command = "SUSPEND";
    refuse.code = 6;
    phone->AddFault(refuse);

    EXPECT_EQ(Suspend(13), 6);
    EXPECT_EQ(phone->CurrentMode(), phonesim::Mode::Os);
}

TEST_F(TestCommandTest, SerialFlagMustFitTheConnection) {
    orxhost::AttachPhone(Example("serial-1000.json"));

    EXPECT_EQ(ORXTestCmdInit(1000, 0), orxhost::kOrxBadArgument);
    EXPECT_EQ(ORXTestCmdInit(1000, 1), 0);
}

class ListingTest : public HostDevicesTest {};

TEST_F(ListingTest, PhonesComeAndGoAtRunTime) {
    orxhost::AttachPhone(Example("flash-r4x-dorsk.json"));
    orxhost::AttachPhone(Example("serial-1000.json"), false);
    EXPECT_EQ(Listed(), (std::vector<uint16_t>{1, 1000}));
    ORXDeviceArray selected;
    ASSERT_EQ(ORXGetSelectedDeviceList(&selected), 0);
    EXPECT_EQ(selected.GetSize(), 1u);

    orxhost::DetachPhone(1);

    EXPECT_EQ(Listed(), std::vector<uint16_t>{1000});
    Handle(1, "Kestrova_Flash", kOrxNoSuchInterface);
}

TEST_F(ListingTest, PoweredDownPhoneLeavesTheListAtTheNextRefresh) {
    auto phone = orxhost::AttachPhone(Example("flash-r4x-dorsk.json"));
    CFlashDeviceApi api;
    uint32_t error = 0;
    ASSERT_EQ(api.InitFlashDevAPI(nullptr, 1, Handle(1, "Kestrova_Flash"), error), 1);
    ASSERT_EQ(api.PowerDownSU(error), 1);

    EXPECT_EQ(Listed(), std::vector<uint16_t>{1});
    Handle(1, "Kestrova_Flash", kOrxNoSuchInterface);
    ASSERT_EQ(ORXRefreshConnections(), 0);
    EXPECT_TRUE(Listed().empty());

    phone->PowerOn();
    ASSERT_EQ(ORXRefreshConnections(), 0);
    EXPECT_EQ(Listed(), std::vector<uint16_t>{1});
}

TEST_F(ListingTest, BadProfileIsRefusedWhenAttaching) {
    testsupport::WriteText(scratch.File("bad.json"), R"({"deviceId": 3, "mode": "flash"})");

    EXPECT_THROW(orxhost::AttachPhone(scratch.File("bad.json")), phonesim::ProfileError);
    EXPECT_TRUE(Listed().empty());
}

TEST_F(ListingTest, HostSideLineRateIsKeptPerDevice) {
    auto phone = orxhost::AttachPhone(Example("serial-1000.json"));

    EXPECT_EQ(ORXSetBaudRate(115200, 1000), 0);
    EXPECT_EQ(ORXSetBaudRate(12345, 1000), orxhost::kOrxBadArgument);
    EXPECT_EQ(ORXSetBaudRate(115200, 77), orxhost::kOrxNotAvailable);

    EXPECT_EQ(orxhost::HostLineRate(1000), 115200u);
}

// Every example phone as the host shows it.
struct ExampleRow {
    const char* file;
    uint16_t deviceId;
    const char* interfaceName;
    const char* descriptor;  // null: none
};

void PrintTo(const ExampleRow& row, std::ostream* out) {
    *out << row.file;
}

class ExamplePhoneTest : public HostDevicesTest,
                         public ::testing::WithParamInterface<ExampleRow> {};

TEST_P(ExamplePhoneTest, IsListedWithItsInterfaceAndDescriptor) {
    const ExampleRow& row = GetParam();
    orxhost::AttachPhone(Example(row.file));

    EXPECT_EQ(Listed(), std::vector<uint16_t>{row.deviceId});
    ORXInterfaceHandle handle = Handle(row.deviceId, row.interfaceName);
    if (row.descriptor != nullptr) {
        EXPECT_EQ(Descriptor(row.deviceId, handle), row.descriptor);
    } else {
        EXPECT_EQ(Descriptor(row.deviceId, handle, orxhost::kOrxNotAvailable), "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ExamplePhoneTest,
    ::testing::Values(
        ExampleRow{"flash-r4x-dorsk.json", 1, "Kestrova_Flash", "Flash R4X Dorsk"},
        ExampleRow{"flash-r4x-brinmar.json", 2, "Kestrova_Flash", "Flash R4X Brinmar"},
        ExampleRow{"flash-r4x-quellin.json", 3, "Kestrova_Flash", "Flash R4X Quellin"},
        ExampleRow{"flash-hmq-vintrel.json", 4, "Kestrova_Flash", "Flash HMQ Vintrel"},
        ExampleRow{"kestrova-t340x.json", 5, "Kestrova_Flash", "Kestrova T.340x"},
        ExampleRow{"kestrova-trq07.json", 6, "Kestrova_Flash", "Kestrova T. RQ07"},
        ExampleRow{"kestrova-t340e.json", 7, "Kestrova_Flash", "Kestrova T.340e"},
        ExampleRow{"flash-hbx4200.json", 8, "Kestrova_Flash", "Flash HBX4200"},
        ExampleRow{"flash-j617-tavenor.json", 9, "Kestrova_Tavenor_Filesystem",
                   "Flash J617 Tavenor"},
        ExampleRow{"j617-tavenor-os.json", 10, "Kestrova_Tavenor_OS", "Flash J617 Tavenor"},
        ExampleRow{"blank-r4x-dorsk.json", 11, "Kestrova_Boot", "Blank R4X Dorsk"},
        ExampleRow{"blank-j617-tavenor.json", 12, "Kestrova_Flash", "Blank J617 Tavenor"},
        ExampleRow{"suspend-t340x.json", 13, "Kestrova_Test_Command", "Kestrova T.340x"},
        ExampleRow{"serial-1000.json", 1000, "Kestrova_Flash", nullptr}),
    [](const ::testing::TestParamInfo<ExampleRow>& info) {
        std::string name = std::filesystem::path(info.param.file).stem().string();
        std::replace_if(
            name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
        return name;
    });

}  // namespace
