#include "ORX_FP_FlashMessages.h"

#include <string>

#include "ORX.h"

namespace {
// Registered when the module is loaded.
struct Registrations {
    std::array<unsigned, kModuleMessageNames.size()> ids{};
    Registrations() {
        for (size_t i = 0; i < ids.size(); ++i) {
            ids[i] = ORXRegisterWindowMessage(std::string(kModuleMessageNames[i]).c_str());
        }
    }
};

const Registrations registrations;
}  // namespace

unsigned RegisteredMessage(ModuleMessage message) {
    return registrations.ids.at(static_cast<size_t>(message));
}
