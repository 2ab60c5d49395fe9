#include "TerminalRun.h"

#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

namespace testsupport {

ProcessRun OrxflashOnTerminal(const std::vector<std::string>& arguments) {
    ProcessRun run;
    std::error_code ignored;
    std::string program =
        (std::filesystem::read_symlink("/proc/self/exe", ignored).parent_path() / "orxflash")
            .string();
    std::vector<char*> argv{program.data()};
    std::vector<std::string> copies = arguments;
    for (std::string& argument : copies) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    winsize size{};
    size.ws_col = 120;
    size.ws_row = 40;
    int master = -1;
    pid_t child = forkpty(&master, nullptr, nullptr, &size);
    if (child == 0) {
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    char buffer[4096];
    ssize_t got;
    while ((got = read(master, buffer, sizeof buffer)) > 0) {
        run.out.append(buffer, static_cast<size_t>(got));
    }
    close(master);
    int status = 0;
    waitpid(child, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::vector<std::string> Screen(const std::string& bytes) {
    std::vector<std::string> lines(1);
    size_t row = 0;
    size_t column = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        char c = bytes[i];
        if (c == '\x1b' && i + 1 < bytes.size() && bytes[i + 1] == '[') {
            size_t end = bytes.find_first_not_of("0123456789;", i + 2);
            if (end == std::string::npos) {
                break;
            }
            std::string figures = bytes.substr(i + 2, end - i - 2);
            size_t count = !figures.empty() && figures.find(';') == std::string::npos
                               ? std::stoul(figures)
                               : 1;
            char command = bytes[end];
            if (command == 'A') {
                row -= std::min(row, count);
            } else if (command == 'B') {
                row += count;
            } else if (command == 'K') {
                lines[row].clear();
            }
            i = end;
        } else if (c == '\r') {
            column = 0;
        } else if (c == '\n') {
            ++row;
            column = 0;
        } else {
            if (lines[row].size() <= column) {
                lines[row].resize(column + 1, ' ');
            }
            lines[row][column++] = c;
        }
        if (lines.size() <= row) {
            lines.resize(row + 1);
        }
    }
    return lines;
}

}  // namespace testsupport
