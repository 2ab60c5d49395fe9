#include "SimReadCommand.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <stdexcept>

#include "Phone.h"

namespace {

// A number in decimal or with a 0x prefix; false when it is neither.
bool ParseNumber(const std::string& text, uint64_t& value) {
    try {
        size_t used = 0;
        value = std::stoull(text, &used, 0);
        return used == text.size() && text[0] != '-';
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

void AddSimReadCommand(CLI::App& app, SimReadOptions& options) {
    CLI::App* read = app.add_subcommand(
        "sim-read",
        "Write LENGTH bytes of a simulated phone's flash from START to standard output "
        "(the phone as its profile's state file keeps it)");
    read->add_option("PROFILE", options.profile, "The phone's profile (.json)")->required();
    read->add_option("START", options.start, "First address (decimal or 0x...)")->required();
    read->add_option("LENGTH", options.length, "Number of bytes (decimal or 0x...)")->required();
}

int RunSimReadCommand(const SimReadOptions& options) {
    uint64_t start = 0;
    uint64_t length = 0;
    if (!ParseNumber(options.start, start) || !ParseNumber(options.length, length) ||
        start > 0xFFFFFFFFu || length > (uint64_t{1} << 30)) {
        std::fprintf(stderr,
                     "orxflash: START and LENGTH must be numbers within the address space\n");
        return 1;
    }
    try {
        std::shared_ptr<phonesim::Phone> phone = phonesim::Phone::Observe(options.profile);
        std::vector<uint8_t> bytes = phone->ReadFlash(static_cast<uint32_t>(start), length);
        if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() ||
            std::fflush(stdout) != 0) {
            std::fprintf(stderr, "orxflash: cannot write to standard output\n");
            return 1;
        }
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "orxflash: %s: %s\n", options.profile.c_str(), error.what());
        return 1;
    }
}
