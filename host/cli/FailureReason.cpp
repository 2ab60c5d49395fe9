#include "FailureReason.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace {

constexpr int kReasonSize = 1024;

// Drops the phone's tag and the "ERROR: " that some of the module's texts
// carry in front: the line says both already.
std::string Tidied(std::string text) {
    unsigned deviceId = 0;
    int consumed = 0;
    if (std::sscanf(text.c_str(), "Phone[%u]: %n", &deviceId, &consumed) == 1 && consumed > 0) {
        text.erase(0, static_cast<size_t>(consumed));
    }
    const std::string error = "ERROR: ";
    if (text.rfind(error, 0) == 0) {
        text.erase(0, error.size());
    }
    // One line: a text of several lines is joined with blanks.
    std::string line;
    for (char c : text) {
        bool lineEnd = c == '\n' || c == '\r';
        if (!lineEnd) {
            line += c;
        } else if (!line.empty() && line.back() != ' ') {
            line += ' ';
        }
    }
    while (!line.empty() && line.back() == ' ') {
        line.pop_back();
    }
    return line;
}

const char* Meaning(int result) {
    switch (result) {
        case ORX_RESULT_BAD_ARGUMENTS:
            return "the module refused the arguments";
        case ORX_RESULT_FAILED:
            return "the module is not ready or could not start the job";
        case ORX_RESULT_BUSY:
            return "the module is busy";
        default:
            return "failed";
    }
}

}  // namespace

ModuleFailure AskFailure(const FlashModule& module, int deviceId) {
    ModuleFailure failure;
    if (module.getFailureReason == nullptr) {
        return failure;
    }
    char reason[kReasonSize] = {};
    failure.code = module.getFailureReason(deviceId, reason, kReasonSize);
    failure.reason = Tidied(reason);
    return failure;
}

void SayFailure(const std::string& what, int result, const std::string& reason) {
    std::fprintf(stderr, "orxflash: %s: %s (result %d)\n", what.c_str(),
                 reason.empty() ? Meaning(result) : reason.c_str(), result);
}

std::vector<PhoneFailure> PhoneFailures(const FlashModule& module,
                                        const std::vector<uint16_t>& devices,
                                        const std::vector<int>& results) {
    std::vector<PhoneFailure> failures;
    for (size_t i = 0; i < devices.size() && i < results.size(); ++i) {
        if (results[i] == 0) {
            continue;
        }
        // Only a job that ran and failed has a cause of its own.
        ModuleFailure job = AskFailure(module, devices[i]);
        failures.push_back(
            {devices[i], results[i],
             results[i] == ORX_RESULT_JOB_FAILED && job.code != 0 ? job.reason : ""});
    }
    return failures;
}

void SayPhoneFailures(PhoneStep step, const std::vector<PhoneFailure>& failures) {
    for (const PhoneFailure& failure : failures) {
        SayFailure("phone " + std::to_string(failure.deviceId) + " was not " +
                       (step == PhoneStep::Flash ? "flashed" : "verified"),
                   failure.result, failure.reason);
    }
}

void SayPhoneFailures(const FlashModule& module, PhoneStep step,
                      const std::vector<uint16_t>& devices, const std::vector<int>& results) {
    SayPhoneFailures(step, PhoneFailures(module, devices, results));
}

bool SuperfileReadable(const std::string& path) {
    struct stat info {};
    const char* why = nullptr;
    if (stat(path.c_str(), &info) != 0) {
        why = std::strerror(errno);
    } else if (S_ISDIR(info.st_mode)) {
        why = "is a directory, not a superfile";
    } else if (!std::ifstream(path, std::ios::binary).is_open()) {
        why = std::strerror(errno != 0 ? errno : EACCES);
    }
    if (why != nullptr) {
        std::fprintf(stderr, "orxflash: %s: %s\n", path.c_str(), why);
        return false;
    }
    return true;
}
