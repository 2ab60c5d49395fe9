// What goes wrong in one run: a fault kind striking the k-th request the
// phone receives, with the details (stage, byte, code) drawn from a seed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Faults.h"

namespace campaign {

enum class FaultKind { Cut, Stall, CorruptRequest, CorruptAnswer, Refuse, PowerLoss };

inline constexpr FaultKind kFaultKinds[] = {
    FaultKind::Cut,           FaultKind::Stall,  FaultKind::CorruptRequest,
    FaultKind::CorruptAnswer, FaultKind::Refuse, FaultKind::PowerLoss};

const char* FaultKindName(FaultKind kind);
bool FaultKindByName(const std::string& name, FaultKind& kind);

struct FaultPlan {
    FaultKind kind = FaultKind::Cut;
    uint32_t request = 1;  // strikes the request-th request after it is armed
    uint32_t detail = 0;   // seed of the stage, byte or code

    phonesim::FaultOrder Order() const;
    std::string Describe() const;
};

// One run: release, phone variant and fault (none for the fault-free run).
struct CaseId {
    int release = 0;
    std::string variant;
    std::optional<FaultPlan> fault;

    // "m12/flash-r4x-dorsk+suspend/cut/k7/d1234" or "m12/flash-r4x-dorsk/none".
    std::string Text() const;
    static bool Parse(const std::string& text, CaseId& id);
};

}  // namespace campaign
