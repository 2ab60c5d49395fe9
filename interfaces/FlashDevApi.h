// What the module calls in the flash device library (ORX_FP_FlashDevApi.so):
// the class CFlashDeviceApi, which speaks the phone-side flashing protocol over
// a byte-stream link that the host services library hands over, and the
// records and enumerations of its methods.
//
// Conventions: every method returns an int, non-zero on success and 0 on
// failure; the settings-area commands (SendFDI_...) return exactly 1 on
// success. Each method writes its error code into a uint32_t out-parameter:
// 0 on success, one of the codes below on failure. Out-records are written
// only on success; 16-bit sums are set to 0 on failure; the RESPONSE_TYPE is
// the phone's answer whenever one came (also with a refusal), else RESPONSE_NONE.
// One object serves one phone at a time, from one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#if defined(__GNUC__)
#define ORX_DEVAPI_API __attribute__((visibility("default")))
#else
#define ORX_DEVAPI_API
#endif

class ORXDeviceLink;  // interfaces/ORX.h

// Error codes. The 0xE002 range is the library's; a phone's own refusal
// arrives with the code the phone gave.
// Not bound: InitFlashDevAPI was not called, failed, or the link is gone.
inline constexpr uint32_t kFdaErrNotBound = 0xE0020001;
// The host library offers no device link service.
inline constexpr uint32_t kFdaErrNoHostLink = 0xE0020002;
// The host refused to open a link for this device and interface handle.
inline constexpr uint32_t kFdaErrHostRefused = 0xE0020003;
// A null pointer, a buffer too small, or a length or value out of range.
inline constexpr uint32_t kFdaErrBadArgument = 0xE0020004;
// The link was cut while the request was being sent.
inline constexpr uint32_t kFdaErrSendFailed = 0xE0020010;
// No complete answer within the time-out.
inline constexpr uint32_t kFdaErrTimeout = 0xE0020011;
// The link was cut while waiting for the answer.
inline constexpr uint32_t kFdaErrLinkCut = 0xE0020012;
// The answer was malformed: bad start byte, checksum, length or kind.
inline constexpr uint32_t kFdaErrBadFrame = 0xE0020013;
// The phone refused a data packet: length field, Sum8, or a data length that
// is not a positive multiple of 8. Nothing was written.
inline constexpr uint32_t kFdaErrBadPacket = 0xE0020020;
// Programming or erasing needs a running RAM downloader.
inline constexpr uint32_t kFdaErrNoRamDownloader = 0xE0020021;
// An address or range outside the phone's flash or RAM, or a RAM downloader
// started anywhere but its execution address.
inline constexpr uint32_t kFdaErrAddress = 0xE0020022;
// The command is not allowed in the phone's present mode.
inline constexpr uint32_t kFdaErrWrongMode = 0xE0020023;
// The phone refused the command (for example a restore with nothing saved).
inline constexpr uint32_t kFdaErrRefused = 0xE0020024;
// The phone received a damaged request.
inline constexpr uint32_t kFdaErrBadRequest = 0xE0020025;
// Programming would have to set a bit from 0 to 1 (the flash there is not
// erased). Nothing of the packet was written.
inline constexpr uint32_t kFdaErrNotErased = 0xE0020026;
// A flash packet crosses a program-block boundary (8 KB unless the phone
// says otherwise). Nothing was written.
inline constexpr uint32_t kFdaErrCrossesBlock = 0xE0020027;
// The interface the request came over does not carry this command.
inline constexpr uint32_t kFdaErrWrongInterface = 0xE0020028;
// A RAM downloader start with nothing loaded, or with a gap in what was loaded.
inline constexpr uint32_t kFdaErrIncompleteDownload = 0xE0020029;
// A checksum record asked for an MA type other than the phone's.
inline constexpr uint32_t kFdaErrWrongMaType = 0xE002002A;
// The phone has no figure for the request, or does not support it.
inline constexpr uint32_t kFdaErrNotSupported = 0xE0020085;

// The platform family (MA type) of a superfile, 1..5, minus one.
enum MAtypeEnum : int32_t {
    MA_TYPE_CDMA = 0,
    MA_TYPE_GSM = 1,
    MA_TYPE_TDMA = 2,
    MA_TYPE_UMTS = 3,
    MA_TYPE_CDMA_HBX = 4,
};

// Line rates of a serial phone, by value.
enum BaudRateEnum : int32_t {
    BAUD_9600 = 9600,
    BAUD_19200 = 19200,
    BAUD_38400 = 38400,
    BAUD_57600 = 57600,
    BAUD_115200 = 115200,
};

enum EraseTypeEnum : int32_t {
    ERASE_ALL = 0,               // every code group and the settings data
    ERASE_RESERVED = 1,          // not supported by any phone
    ERASE_LANGUAGE_PACKAGE = 2,  // code group 4 only
};

// Answer of the settings-area status request.
enum RESPONSE_TYPE : int32_t {
    RESPONSE_NONE = 0,          // no answer (the request failed on the way)
    RESPONSE_BUSY = 1,          // the settings area is busy
    RESPONSE_INCOMPATIBLE = 2,  // the settings data does not fit the new file
    RESPONSE_NO_UPGRADE = 3,    // nothing to preserve; erasing may proceed
    RESPONSE_READY = 4,         // settings data present and compatible
};

// One 8-byte descriptor of the phone information record; all 0xFF: absent.
struct SU_DESCRIPTOR {
    uint8_t flag;
    uint8_t chipsetType;
    uint8_t maType;
    uint8_t dataType;
    uint8_t carried[2];
    uint8_t version[2];  // most significant byte first
};
static_assert(sizeof(SU_DESCRIPTOR) == 8);

// The phone information record.
struct SU_INFO_STRUC {
    uint8_t reserved0[16];
    SU_DESCRIPTOR bootloader;  // bytes 16..23
    uint8_t reserved1[8];
    SU_DESCRIPTOR codeGroups[256];  // code group n at 32 + 8 n
};
static_assert(sizeof(SU_INFO_STRUC) == 2080);

struct CHECKSUM_ENTRY {
    uint32_t valid;  // 1 = valid
    uint16_t checksum;
    uint8_t unused[2];
};
static_assert(sizeof(CHECKSUM_ENTRY) == 8);

// The phone's checksum record: the flash bootloader at 0, code group n at 8 + 8 n.
struct CHECKSUMS_STRUC {
    CHECKSUM_ENTRY bootloader;
    CHECKSUM_ENTRY codeGroups[256];
};
static_assert(sizeof(CHECKSUMS_STRUC) == 2056);

class ORX_DEVAPI_API CFlashDeviceApi {
  public:
    CFlashDeviceApi();
    ~CFlashDeviceApi();
    CFlashDeviceApi(const CFlashDeviceApi&) = delete;
    CFlashDeviceApi& operator=(const CFlashDeviceApi&) = delete;

    // Binds to the phone: asks the host library for a link to (deviceId,
    // interfaceHandle) and checks that the phone answers. hostInstance is the
    // host library's dlopen handle; any other value (or null) makes the
    // library use the host library already loaded in the process. A new call
    // replaces the previous binding.
    int InitFlashDevAPI(void* hostInstance, uint16_t deviceId, void* interfaceHandle,
                        uint32_t& error);
    int GetSUinfo(SU_INFO_STRUC* info, uint32_t& error);
    int GetSUchkSum(MAtypeEnum maType, CHECKSUMS_STRUC* checksums, uint32_t& error);
    int SetBaudRate(BaudRateEnum rate, uint32_t& error);
    // kind 0: the bootstrap RAM downloader, raw bytes, running once loaded.
    // kind 1: one data packet of the bootloader's RAM downloader; null data
    // with length 0 starts it at `address` (singleFile: the superfile holds it alone).
    int RAMdownload(int kind, uint32_t address, const uint8_t* data, uint32_t length,
                    int singleFile, uint32_t& error);
    // 16-bit byte sum of RAM from start to end inclusive.
    int GetRAMchecksum(uint32_t start, uint32_t end, uint16_t& sum, uint32_t& error);
    // Programs one data or tail packet (length field, data, Sum8) at address.
    int FlashSU(uint32_t address, const uint8_t* block, uint32_t length, uint32_t& error);
    // 16-bit byte sum of flash from start to end inclusive.
    int GetRangeChecksum(uint32_t start, uint32_t end, uint16_t& sum, uint32_t& error);
    int EraseSU(EraseTypeEnum type, uint32_t& error);
    // value: in, ignored; out, the size of the phone's settings data in bytes.
    int SendFDI_REQ_STAT_Command(uint32_t& error, uint32_t& value, RESPONSE_TYPE& response);
    int SendFDI_SAVE_Command(uint32_t& error);
    int SendFDI_ERASE_FDI_Command(uint32_t& error);
    int SendFDI_RESTORE_Command(uint32_t& error);
    // Writes the 12-byte answer: the settings area's checksum as hexadecimal
    // text at byte 0 and a second text (Sum8 of the settings data) at byte 8,
    // each NUL-padded within its room. textSize must be at least 12.
    int SendFDI_REQ_FDI_CS_Command(uint32_t& error, char* text, size_t textSize);
    int SendReinsertBarkerCmd(uint32_t& error);
    int SendFDI_RESTART_Command(uint32_t& error);
    int PowerDownSU(uint32_t& error);

    // Extensions of this port.
    // Binds to a link the caller opened; the object takes ownership of it.
    int InitFlashDevAPIOnLink(ORXDeviceLink* link, uint32_t& error);
    // Time-out of one exchange (request sent, whole answer read). The default
    // is 20000 ms, or ORX_DEVAPI_TIMEOUT_MS from the environment.
    void SetExchangeTimeout(uint32_t milliseconds);
    uint32_t ExchangeTimeout() const;
    // Drops the binding and closes the link.
    void Close();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};
