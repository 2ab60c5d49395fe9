#include "ProcessRun.h"

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

#include "TestSupport.h"

namespace testsupport {

ProcessRun Orxflash(const std::string& arguments) {
    std::error_code ignored;
    std::string bin =
        std::filesystem::read_symlink("/proc/self/exe", ignored).parent_path().string();
    ProcessRun run;
    std::string command = bin + "/orxflash " + arguments + " 2>stderr.txt </dev/null";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.out.append(buffer, got);
    }
    int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = ReadText("stderr.txt");
    return run;
}

}  // namespace testsupport
