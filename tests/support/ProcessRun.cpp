#include "ProcessRun.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <cstdio>
#include <filesystem>

#include "TestSupport.h"

namespace testsupport {

namespace {
std::string BinDir() {
    std::error_code ignored;
    return std::filesystem::read_symlink("/proc/self/exe", ignored).parent_path().string();
}
}  // namespace

ProcessRun Orxflash(const std::string& arguments) {
    std::string bin = BinDir();
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

ProcessRun OrxflashWatched(const std::vector<std::string>& arguments,
                           const std::function<void(const std::string& out, pid_t child)>& watch) {
    ProcessRun run;
    std::string program = BinDir() + "/orxflash";
    std::vector<std::string> copies = arguments;
    std::vector<char*> argv{program.data()};
    for (std::string& argument : copies) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    int out[2];
    if (pipe(out) != 0) {
        return run;
    }
    pid_t child = fork();
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        int err = open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(err, STDERR_FILENO);
        int none = open("/dev/null", O_RDONLY);
        dup2(none, STDIN_FILENO);
        close(out[0]);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    char buffer[4096];
    ssize_t got;
    while ((got = read(out[0], buffer, sizeof buffer)) > 0) {
        run.out.append(buffer, static_cast<size_t>(got));
        watch(run.out, child);
    }
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = ReadText("stderr.txt");
    return run;
}

ProcessRun OrxflashSignalled(const std::vector<std::string>& arguments, const std::string& cue,
                             int signal) {
    bool sent = false;
    ProcessRun run = OrxflashWatched(arguments, [&](const std::string& out, pid_t child) {
        if (!sent && out.find(cue) != std::string::npos) {
            kill(child, signal);
            sent = true;
        }
    });
    EXPECT_TRUE(sent) << "never saw " << cue << " in " << run.out;
    return run;
}

std::vector<nlohmann::json> JsonLines(const std::string& out) {
    std::vector<nlohmann::json> lines;
    size_t start = 0;
    for (size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = out.substr(start, end - start);
        try {
            lines.push_back(nlohmann::json::parse(line));
        } catch (const nlohmann::json::exception&) {
            ADD_FAILURE() << "not a JSON line: " << line;
        }
    }
    EXPECT_EQ(start, out.size()) << "output does not end with a line end";
    return lines;
}

}  // namespace testsupport
