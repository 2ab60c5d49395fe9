// Fuzz target for the simulated phone's profile loader. Input: the profile's
// JSON text. A profile that loads is built into a phone (small ones only),
// whose records are derived and which answers a first request.
#include <cstdint>
#include <string>
#include <vector>

#include "Channel.h"
#include "FrameCodec.h"
#include "Phone.h"
#include "Profile.h"

namespace {

// Keeps an input from building a phone that takes long to fill.
constexpr size_t kMaxBuiltBytes = 1 << 20;

size_t BytesToBuild(const phonesim::Profile& profile) {
    size_t total = 0;
    for (const auto& firmware : profile.firmware) {
        const phonesim::CodeGroupSpec* group = profile.CodeGroup(firmware.codeGroup);
        total += group ? static_cast<size_t>(group->range.Size()) : 0;
    }
    for (const auto& content : profile.content) {
        total += content.bytes.size();
    }
    return total;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    // Content files would let an input read any file; the loader's file
    // handling is covered by the tests.
    if (text.find("\"file\"") != std::string::npos) {
        return 0;
    }
    phonesim::Profile profile;
    try {
        profile = phonesim::ParseProfile(text, "/nonexistent");
    } catch (const phonesim::ProfileError&) {
        return 0;
    }
    if (BytesToBuild(profile) > kMaxBuiltBytes) {
        return 0;
    }
    profile.stateFile.clear();  // never write where an input says
    std::shared_ptr<phonesim::Phone> phone = phonesim::Phone::Create(profile);
    phone->InfoRecord();
    phone->ChecksumRecord();
    // A first request straight into the phone, on an unpaced channel: a link
    // would hold each answer back to the profile's line rate.
    std::vector<uint8_t> request;
    orxproto::AppendFrame(request, orxproto::kRequestStart,
                          static_cast<uint8_t>(orxproto::Command::GetInfo), 1, nullptr, 0);
    // Opened to the first interface of the phone's mode, as a host would.
    std::string interfaceName;
    if (auto mode = profile.modes.find(profile.mode);
        mode != profile.modes.end() && !mode->second.interfaces.empty()) {
        interfaceName = mode->second.interfaces.front();
    }
    phonesim::Channel channel(interfaceName, 0);
    phone->Receive(channel, request.data(), request.size());
    uint8_t answer[4096];
    while (channel.Read(answer, sizeof answer, 0) > 0) {
    }
    std::string reply;
    phone->TestCommand("SUSPEND", reply);
    return 0;
}
