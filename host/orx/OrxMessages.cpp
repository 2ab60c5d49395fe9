// Registered window messages: one identifier per name for the whole process,
// kept apart from the device state so that Reset() never renumbers them.
#include <map>
#include <mutex>
#include <string>

#include "ORX.h"

namespace {
constexpr unsigned kFirstMessage = 0xC000;
constexpr unsigned kLastMessage = 0xFFFF;

struct MessageTable {
    std::mutex lock;
    std::map<std::string, unsigned> ids;
};

MessageTable& Table() {
    static MessageTable table;
    return table;
}
}  // namespace

unsigned ORXRegisterWindowMessage(const char* name) {
    if (name == nullptr || *name == '\0') {
        return 0;
    }
    MessageTable& table = Table();
    std::lock_guard guard(table.lock);
    auto found = table.ids.find(name);
    if (found != table.ids.end()) {
        return found->second;
    }
    unsigned next = kFirstMessage + static_cast<unsigned>(table.ids.size());
    if (next > kLastMessage) {
        return 0;
    }
    table.ids.emplace(name, next);
    return next;
}
