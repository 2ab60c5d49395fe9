#include "FaultPlan.h"

#include <cstdio>
#include <sstream>
#include <vector>

#include "SeededRandom.h"

namespace campaign {

namespace {

constexpr phonesim::FaultStage kStages[] = {phonesim::FaultStage::Request,
                                            phonesim::FaultStage::BeforeAnswer,
                                            phonesim::FaultStage::MidAnswer};
constexpr const char* kStageNames[] = {"request", "beforeAnswer", "midAnswer"};
// Refusals a phone gives: refused, bad packet, no figure, wrong address.
constexpr uint32_t kRefusals[] = {0xE0020024, 0xE0020020, 0xE0020085, 0xE0020022};

struct Drawn {
    size_t stage;
    uint32_t byte;
    uint32_t code;
};

Drawn Draw(const FaultPlan& plan) {
    SeededRandom rng(plan.detail);
    Drawn drawn{};
    drawn.stage = static_cast<size_t>(rng.Between(0, 2));
    drawn.code = kRefusals[rng.Between(0, 3)];
    switch (plan.kind) {
        case FaultKind::CorruptRequest:
        case FaultKind::CorruptAnswer:
            drawn.byte = static_cast<uint32_t>(rng.Between(0, 40));
            break;
        case FaultKind::PowerLoss:
            drawn.byte = static_cast<uint32_t>(rng.Between(0, 8192));
            break;
        default:
            break;
    }
    return drawn;
}

}  // namespace

const char* FaultKindName(FaultKind kind) {
    switch (kind) {
        case FaultKind::Cut:
            return "cut";
        case FaultKind::Stall:
            return "stall";
        case FaultKind::CorruptRequest:
            return "corruptRequest";
        case FaultKind::CorruptAnswer:
            return "corruptAnswer";
        case FaultKind::Refuse:
            return "refuse";
        case FaultKind::PowerLoss:
            return "powerLoss";
    }
    return "?";
}

bool FaultKindByName(const std::string& name, FaultKind& kind) {
    for (FaultKind candidate : kFaultKinds) {
        if (name == FaultKindName(candidate)) {
            kind = candidate;
            return true;
        }
    }
    return false;
}

phonesim::FaultOrder FaultPlan::Order() const {
    Drawn drawn = Draw(*this);
    phonesim::FaultOrder order;
    order.command = "any";
    order.occurrence = request;
    order.times = 1;
    order.stage = kStages[drawn.stage];
    switch (kind) {
        case FaultKind::Cut:
            order.action = phonesim::FaultAction::Cut;
            break;
        case FaultKind::Stall:
            order.action = phonesim::FaultAction::Stall;
            break;
        case FaultKind::CorruptRequest:
            order.action = phonesim::FaultAction::CorruptRequest;
            order.byte = drawn.byte;
            break;
        case FaultKind::CorruptAnswer:
            order.action = phonesim::FaultAction::CorruptAnswer;
            order.byte = drawn.byte;
            break;
        case FaultKind::Refuse:
            order.action = phonesim::FaultAction::Refuse;
            order.code = drawn.code;
            break;
        case FaultKind::PowerLoss:
            order.action = phonesim::FaultAction::PowerLoss;
            order.byte = drawn.byte;
            break;
    }
    return order;
}

std::string FaultPlan::Describe() const {
    Drawn drawn = Draw(*this);
    char text[128];
    switch (kind) {
        case FaultKind::Cut:
        case FaultKind::Stall:
            std::snprintf(text, sizeof text, "%s at request %u, stage %s", FaultKindName(kind),
                          request, kStageNames[drawn.stage]);
            break;
        case FaultKind::Refuse:
            std::snprintf(text, sizeof text, "refuse request %u with 0x%X", request, drawn.code);
            break;
        case FaultKind::PowerLoss:
            std::snprintf(text, sizeof text,
                          "power loss at request %u (a packet keeps %u data bytes)", request,
                          drawn.byte);
            break;
        default:
            std::snprintf(text, sizeof text, "%s at request %u, frame byte %u", FaultKindName(kind),
                          request, drawn.byte);
            break;
    }
    return text;
}

std::string CaseId::Text() const {
    std::string text = "m" + std::to_string(release) + "/" + variant + "/";
    if (!fault) {
        return text + "none";
    }
    return text + FaultKindName(fault->kind) + "/k" + std::to_string(fault->request) + "/d" +
           std::to_string(fault->detail);
}

bool CaseId::Parse(const std::string& text, CaseId& id) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, '/');) {
        parts.push_back(part);
    }
    try {
        if ((parts.size() != 3 && parts.size() != 5) || parts[0].size() < 2 || parts[0][0] != 'm') {
            return false;
        }
        id.release = std::stoi(parts[0].substr(1));
        if (id.release < 0 || id.release > 4095) {
            return false;
        }
        id.variant = parts[1];
        id.fault.reset();
        if (parts.size() == 3) {
            return parts[2] == "none";
        }
        FaultPlan plan;
        if (!FaultKindByName(parts[2], plan.kind) || parts[3].size() < 2 || parts[3][0] != 'k' ||
            parts[4].size() < 2 || parts[4][0] != 'd') {
            return false;
        }
        plan.request = static_cast<uint32_t>(std::stoul(parts[3].substr(1)));
        plan.detail = static_cast<uint32_t>(std::stoul(parts[4].substr(1)));
        id.fault = plan;
        return plan.request > 0;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace campaign
