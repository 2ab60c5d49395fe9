#include "DeviceClient.h"

#include <chrono>

#include "FlashDevApi.h"

namespace devapi {

namespace {

using Clock = std::chrono::steady_clock;
using orxproto::Frame;
using orxproto::ParseStatus;

// Bytes left over from an exchange that timed out are dropped before the next
// request, at most this many, so a chattering link cannot hold us forever.
constexpr size_t kMaxStaleBytes = 1 << 20;
constexpr size_t kReadChunk = 4096;

}  // namespace

void DeviceClient::DropStaleInput() {
    inbox.clear();
    uint8_t scratch[kReadChunk];
    size_t dropped = 0;
    while (dropped < kMaxStaleBytes) {
        long got = link->Read(scratch, sizeof scratch, 0);
        if (got <= 0) {
            return;  // nothing pending; a cut link shows when we send
        }
        dropped += static_cast<size_t>(got);
    }
}

uint32_t DeviceClient::Exchange(orxproto::Command command, const std::vector<uint8_t>& request,
                                std::vector<uint8_t>& answer) {
    answer.clear();
    if (link == nullptr) {
        return kFdaErrNotBound;
    }
    if (request.size() > orxproto::kMaxRequestPayload) {
        return kFdaErrBadArgument;
    }
    DropStaleInput();
    ++sequence;
    auto kind = static_cast<uint8_t>(command);
    outbox.clear();
    orxproto::AppendFrame(outbox, orxproto::kRequestStart, kind, sequence, request.data(),
                          request.size());
    if (!link->Write(outbox.data(), outbox.size())) {
        return kFdaErrSendFailed;
    }
    return AwaitAnswer(kind, answer);
}

uint32_t DeviceClient::AwaitAnswer(uint8_t kind, std::vector<uint8_t>& answer) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    uint8_t chunk[kReadChunk];
    Frame frame;
    for (;;) {
        orxproto::ParseResult parsed = orxproto::ParseFrame(
            inbox.data(), inbox.size(), orxproto::kAnswerStart, orxproto::kMaxAnswerPayload, frame);
        if (parsed.status == ParseStatus::Bad) {
            inbox.clear();
            return kFdaErrBadFrame;
        }
        if (parsed.status == ParseStatus::Complete) {
            inbox.erase(inbox.begin(), inbox.begin() + static_cast<long>(parsed.consumed));
            if (frame.sequence != sequence) {
                continue;  // a late answer to an earlier request
            }
            orxproto::PayloadReader reader(frame.payload.data(), frame.payload.size());
            uint32_t status = reader.U32();
            if (reader.Failed()) {
                return kFdaErrBadFrame;
            }
            if (frame.kind == orxproto::kNakKind) {
                return status == 0 ? kFdaErrBadFrame : status;
            }
            if (frame.kind != (kind | orxproto::kAnswerBit)) {
                return kFdaErrBadFrame;
            }
            size_t count = 0;
            const uint8_t* rest = reader.Rest(count);
            answer.assign(rest, rest + count);
            return status;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return kFdaErrTimeout;
        }
        long got = link->Read(chunk, sizeof chunk, static_cast<uint32_t>(left.count()));
        if (got < 0) {
            return kFdaErrLinkCut;
        }
        if (got > static_cast<long>(sizeof chunk)) {
            return kFdaErrBadFrame;  // a link that claims more than it was given room for
        }
        inbox.insert(inbox.end(), chunk, chunk + got);
    }
}

}  // namespace devapi
