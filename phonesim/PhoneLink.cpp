// The phone's end of a link: request bytes in, frames out, and the faults
// that strike on the way.
#include <algorithm>
#include <atomic>

#include "Channel.h"
#include "FrameCodec.h"
#include "Phone.h"
#include "PhoneCore.h"

namespace phonesim {

namespace {

using orxproto::Frame;
using orxproto::ParseStatus;

class PhoneLink final : public ORXDeviceLink {
  public:
    PhoneLink(std::shared_ptr<Phone> phone, std::shared_ptr<Channel> channel)
        : phone(std::move(phone)), channel(std::move(channel)) {}
    ~PhoneLink() override { Close(); }

    bool Write(const uint8_t* data, size_t size) override {
        if (closed.load() || !channel->IsUsable()) {
            return false;
        }
        channel->Pace(size);
        return phone->Receive(*channel, data, size);
    }

    long Read(uint8_t* out, size_t capacity, uint32_t timeoutMs) override {
        return channel->Read(out, capacity, timeoutMs);
    }

    void Close() override {
        if (closed.exchange(true)) {
            return;
        }
        channel->Close();
        phone->LinkClosed();
    }

  private:
    std::shared_ptr<Phone> phone;
    std::shared_ptr<Channel> channel;
    std::atomic<bool> closed{false};
};

void AppendAnswer(std::vector<uint8_t>& out, uint8_t kind, uint8_t sequence, const Answer& answer) {
    orxproto::PayloadWriter payload;
    payload.U32(answer.status);
    payload.Bytes(answer.data.data(), answer.data.size());
    orxproto::AppendFrame(out, orxproto::kAnswerStart, kind, sequence, payload.bytes.data(),
                          payload.bytes.size());
}

void SendNak(Channel& channel, uint8_t sequence) {
    std::vector<uint8_t> out;
    AppendAnswer(out, orxproto::kNakKind, sequence, Answer{orxproto::kBadRequest});
    channel.Deliver(out.data(), out.size());
}

uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

}  // namespace

std::unique_ptr<ORXDeviceLink> Phone::OpenLink(const std::string& interfaceName) {
    std::lock_guard guard(lock);
    auto mode = profile.modes.find(core->mode);
    if (core->mode == Mode::Off || mode == profile.modes.end() ||
        interfaceName == kTestCommandInterface) {
        return nullptr;
    }
    const std::vector<std::string>& offered = mode->second.interfaces;
    if (std::find(offered.begin(), offered.end(), interfaceName) == offered.end()) {
        return nullptr;
    }
    auto channel = std::make_shared<Channel>(interfaceName, profile.linkBytesPerSecond);
    std::erase_if(channels, [](const std::weak_ptr<Channel>& weak) { return weak.expired(); });
    channels.push_back(channel);
    return std::make_unique<PhoneLink>(shared_from_this(), channel);
}

bool Phone::Receive(Channel& channel, const uint8_t* data, size_t size) {
    std::lock_guard guard(lock);
    if (!channel.IsUsable()) {
        return false;
    }
    if (core->mode == Mode::Off) {
        channel.Cut();
        return false;
    }
    bool cutOnTheWay = false;
    size_t arriving = faults.BytesBeforeCut(size, cutOnTheWay);
    // On a serial line whose two ends disagree on the rate, the phone hears noise.
    if (!profile.IsSerial() || core->lineRate == hostLineRate) {
        channel.inbound.insert(channel.inbound.end(), data, data + arriving);
        bool requestCut = false;
        ProcessFrames(channel, requestCut);
        if (requestCut) {
            return false;
        }
    }
    if (cutOnTheWay) {
        channel.Cut();
        return false;
    }
    return true;
}

void Phone::ProcessFrames(Channel& channel, bool& requestCut) {
    std::vector<uint8_t>& in = channel.inbound;
    while (!in.empty() && channel.IsUsable()) {
        if (in[0] != orxproto::kRequestStart) {
            auto start = std::find(in.begin(), in.end(), orxproto::kRequestStart);
            in.erase(in.begin(), start);  // noise between frames
            continue;
        }
        if (in.size() < orxproto::kHeaderSize) {
            return;
        }
        uint32_t length = Le32(in.data() + 3);
        if (length > orxproto::kMaxRequestPayload) {
            SendNak(channel, in[2]);
            in.clear();
            return;
        }
        size_t total = orxproto::kHeaderSize + length + orxproto::kCrcSize;
        if (in.size() < total) {
            return;
        }
        std::vector<uint8_t> raw(in.begin(), in.begin() + static_cast<long>(total));
        in.erase(in.begin(), in.begin() + static_cast<long>(total));

        uint8_t kind = raw[1];
        bool isPacket =
            kind == static_cast<uint8_t>(orxproto::Command::Program) ||
            (kind == static_cast<uint8_t>(orxproto::Command::RamDownload) && length > 6);
        ++requests;
        std::optional<FaultOrder> fault = faults.Strike(orxproto::CommandName(kind), isPacket);
        FaultAction action = fault ? fault->action : FaultAction::Refuse;
        FaultStage stage = fault ? fault->stage : FaultStage::BeforeAnswer;
        bool atRequest = fault && stage == FaultStage::Request;
        if (fault && action == FaultAction::Cut && atRequest) {
            channel.Cut();
            requestCut = true;
            return;
        }
        if (fault && action == FaultAction::Stall && atRequest) {
            continue;
        }
        if (fault && action == FaultAction::CorruptRequest) {
            raw[fault->byte % raw.size()] ^= 0xFF;
        }
        Frame frame;
        if (orxproto::ParseFrame(raw.data(), raw.size(), orxproto::kRequestStart,
                                 orxproto::kMaxRequestPayload, frame)
                .status != ParseStatus::Complete) {
            SendNak(channel, raw[2]);
            continue;
        }
        if (fault && action == FaultAction::PowerLoss) {
            if (isPacket && kind == static_cast<uint8_t>(orxproto::Command::Program)) {
                core->Handle(kind, frame.payload, channel.interfaceName, size_t{fault->byte});
            }
            core->log.push_back({WriteEvent::Kind::PowerLoss});
            Reenumerate(Mode::Off, true);
            return;
        }
        Answer answer = fault && action == FaultAction::Refuse
                            ? Answer{fault->code}
                            : core->Handle(kind, frame.payload, channel.interfaceName);
        std::vector<uint8_t> out;
        AppendAnswer(out, static_cast<uint8_t>(kind | orxproto::kAnswerBit), frame.sequence,
                     answer);
        size_t sent = out.size();
        if (fault && action == FaultAction::CorruptAnswer) {
            out[fault->byte % out.size()] ^= 0xFF;
        }
        if (fault && (action == FaultAction::Cut || action == FaultAction::Stall)) {
            sent = stage == FaultStage::MidAnswer ? out.size() / 2 : 0;
        }
        channel.Deliver(out.data(), sent);
        if (fault && action == FaultAction::Cut) {
            channel.Cut();
        }
        if (answer.after == AfterAnswer::Restart) {
            core->log.push_back({WriteEvent::Kind::Restart});
            Reenumerate(profile.restartMode, true);
        } else if (answer.after == AfterAnswer::PowerDown) {
            core->log.push_back({WriteEvent::Kind::PowerDown});
            Reenumerate(Mode::Off, true);
        }
    }
}

}  // namespace phonesim
