#include "Faults.h"

#include <algorithm>

namespace phonesim {

namespace {

struct Named {
    const char* name;
    int value;
};

constexpr Named kActions[] = {
    {"cut", static_cast<int>(FaultAction::Cut)},
    {"stall", static_cast<int>(FaultAction::Stall)},
    {"corruptRequest", static_cast<int>(FaultAction::CorruptRequest)},
    {"corruptAnswer", static_cast<int>(FaultAction::CorruptAnswer)},
    {"refuse", static_cast<int>(FaultAction::Refuse)},
    {"powerLoss", static_cast<int>(FaultAction::PowerLoss)},
};

constexpr Named kStages[] = {
    {"request", static_cast<int>(FaultStage::Request)},
    {"beforeAnswer", static_cast<int>(FaultStage::BeforeAnswer)},
    {"midAnswer", static_cast<int>(FaultStage::MidAnswer)},
};

template <typename T, size_t N>
bool ByName(const Named (&table)[N], const std::string& name, T& out) {
    for (const Named& entry : table) {
        if (name == entry.name) {
            out = static_cast<T>(entry.value);
            return true;
        }
    }
    return false;
}

bool Matches(const std::string& wanted, const std::string& command, bool isDataPacket) {
    return wanted == "any" || wanted == command || (wanted == "packet" && isDataPacket);
}

}  // namespace

bool FaultActionByName(const std::string& name, FaultAction& action) {
    return ByName(kActions, name, action);
}

bool FaultStageByName(const std::string& name, FaultStage& stage) {
    return ByName(kStages, name, stage);
}

void FaultBook::Arm(const FaultOrder& fault) {
    armed.push_back({fault});
}

std::optional<FaultOrder> FaultBook::Strike(const std::string& command, bool isDataPacket) {
    std::optional<FaultOrder> strikes;
    for (Armed& entry : armed) {
        if (entry.wanted.afterBytes || !Matches(entry.wanted.command, command, isDataPacket)) {
            continue;
        }
        ++entry.seen;
        bool due = entry.seen >= entry.wanted.occurrence && entry.struck < entry.wanted.times;
        if (due && !strikes) {
            ++entry.struck;
            strikes = entry.wanted;
        }
    }
    return strikes;
}

size_t FaultBook::BytesBeforeCut(size_t size, bool& cut) {
    cut = false;
    size_t allowed = size;
    for (Armed& entry : armed) {
        if (!entry.wanted.afterBytes || entry.struck > 0) {
            continue;
        }
        uint64_t left = *entry.wanted.afterBytes - std::min(entry.bytes, *entry.wanted.afterBytes);
        if (left < size) {
            allowed = std::min<size_t>(allowed, static_cast<size_t>(left));
            cut = true;
            entry.struck = 1;
        }
    }
    for (Armed& entry : armed) {
        if (entry.wanted.afterBytes) {
            entry.bytes += allowed;
        }
    }
    return allowed;
}

}  // namespace phonesim
