#include "ProcessOwner.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

namespace orxresults {

namespace {

// Field 22 of /proc/PID/stat; empty when the process does not exist.
std::string StartTicks(long pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(stat, text)) {
        return {};
    }
    // The command name (field 2) is in parentheses and may hold spaces.
    size_t close = text.rfind(')');
    if (close == std::string::npos) {
        return {};
    }
    std::istringstream fields(text.substr(close + 1));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i) {
    }
    return field;
}

}  // namespace

std::string HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') {
        return "localhost";
    }
    return name;
}

std::string ThisProcessOwner() {
    long pid = static_cast<long>(getpid());
    return HostName() + " " + std::to_string(pid) + " " + StartTicks(pid);
}

bool OwnerRuns(const std::string& owner) {
    std::istringstream fields(owner);
    std::string host;
    long pid = 0;
    std::string start;
    if (!(fields >> host >> pid >> start) || host != HostName() || pid <= 0) {
        return false;
    }
    return StartTicks(pid) == start;
}

}  // namespace orxresults
