#include "Attempt.h"

#include <iterator>

namespace orxresults {

namespace {
const char* const kCommands[] = {"flash", "verify", "station"};
const char* const kOutcomes[] = {"running", "passed", "failed", "up to date", "interrupted"};
}  // namespace

const char* CommandName(Command command) {
    return kCommands[static_cast<int>(command)];
}

const char* OutcomeName(Outcome outcome) {
    return kOutcomes[static_cast<int>(outcome)];
}

std::optional<Command> CommandByName(const std::string& name) {
    for (size_t i = 0; i < std::size(kCommands); ++i) {
        if (name == kCommands[i]) {
            return static_cast<Command>(i);
        }
    }
    return std::nullopt;
}

std::optional<Outcome> OutcomeByName(const std::string& name) {
    for (size_t i = 0; i < std::size(kOutcomes); ++i) {
        if (name == kOutcomes[i]) {
            return static_cast<Outcome>(i);
        }
    }
    return std::nullopt;
}

}  // namespace orxresults
