// The framed request/answer protocol between the flash device library and a
// phone, shared by both ends.
//
// Frame: start byte, kind, sequence number, payload length (u32 little-endian),
// payload, CRC-16/CCITT (u16 little-endian) over everything before it. The
// library sends requests (start 0x5A, kind = command); the phone answers each
// with start 0xA5, kind = command | 0x80 and the request's sequence number. An
// answer's payload is a u32 status (0 = done, else an error code) and the
// command's data. A request the phone cannot read gets kind 0xFF (NAK) with
// status kBadRequest.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orxproto {

inline constexpr uint8_t kRequestStart = 0x5A;
inline constexpr uint8_t kAnswerStart = 0xA5;
inline constexpr uint8_t kAnswerBit = 0x80;
inline constexpr uint8_t kNakKind = 0xFF;
inline constexpr size_t kHeaderSize = 7;
inline constexpr size_t kCrcSize = 2;
// Largest request payload: a 64 KiB bootstrap RAM downloader and its fields.
inline constexpr size_t kMaxRequestPayload = 0x10100;
// Largest answer payload: the information record and the status.
inline constexpr size_t kMaxAnswerPayload = 4096;

enum class Command : uint8_t {
    Connect = 0x01,           // -> u8 mode
    GetInfo = 0x02,           // -> 2,080-byte information record
    GetChecksums = 0x03,      // u8 MA type -> 257 x (u32 valid, u16 sum, u16 0)
    SetBaudRate = 0x04,       // u32 rate
    RamDownload = 0x05,       // u8 kind, u32 address, u8 singleFile, data
    RamChecksum = 0x06,       // u32 start, u32 end -> u16 sum
    Program = 0x07,           // u32 address, packet
    RangeChecksum = 0x08,     // u32 start, u32 end -> u16 sum
    Erase = 0x09,             // u8 type
    SettingsStatus = 0x0A,    // u32 value -> u32 value, u32 response
    SettingsSave = 0x0B,      //
    SettingsErase = 0x0C,     //
    SettingsRestore = 0x0D,   //
    SettingsChecksum = 0x0E,  // -> 12 bytes of text
    ReinsertBarker = 0x0F,    //
    Restart = 0x10,           //
    PowerDown = 0x11,         //
};
inline constexpr uint8_t kFirstCommand = 0x01;
inline constexpr uint8_t kLastCommand = 0x11;

// Status codes; the device library documents the same values in FlashDevApi.h.
inline constexpr uint32_t kOk = 0;
inline constexpr uint32_t kBadArgument = 0xE0020004;
inline constexpr uint32_t kBadPacket = 0xE0020020;
inline constexpr uint32_t kNoRamDownloader = 0xE0020021;
inline constexpr uint32_t kAddress = 0xE0020022;
inline constexpr uint32_t kWrongMode = 0xE0020023;
inline constexpr uint32_t kRefused = 0xE0020024;
inline constexpr uint32_t kBadRequest = 0xE0020025;
inline constexpr uint32_t kNotSupported = 0xE0020085;

inline constexpr size_t kInfoRecordSize = 2080;
inline constexpr size_t kChecksumEntries = 257;
inline constexpr size_t kChecksumRecordSize = kChecksumEntries * 8;
inline constexpr size_t kSettingsChecksumSize = 12;

// "GetInfo", "Program", ...; "?" for a value that is no command.
const char* CommandName(uint8_t command);
// The command with that name; false when none has it.
bool CommandByName(const char* name, Command& command);

}  // namespace orxproto
