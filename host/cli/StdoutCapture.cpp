#include "StdoutCapture.h"

#include <unistd.h>

#include <cerrno>

StdoutCapture::StdoutCapture(std::function<void(const std::string&)> onLine)
    : onLine(std::move(onLine)) {
    std::fflush(stdout);
    int pipeFds[2];
    savedFd = dup(STDOUT_FILENO);
    if (savedFd < 0 || pipe(pipeFds) != 0) {
        return;
    }
    int ownFd = dup(savedFd);
    std::FILE* own = ownFd >= 0 ? fdopen(ownFd, "w") : nullptr;
    if (own == nullptr || dup2(pipeFds[1], STDOUT_FILENO) < 0) {
        if (own != nullptr) {
            std::fclose(own);
        } else if (ownFd >= 0) {
            close(ownFd);
        }
        close(pipeFds[0]);
        close(pipeFds[1]);
        return;
    }
    close(pipeFds[1]);  // fd 1 is now the pipe's only writing end
    original = own;
    readFd = pipeFds[0];
    active = true;
    reader = std::thread([this] { Read(readFd); });
}

void StdoutCapture::Stop() {
    if (!reader.joinable()) {
        return;
    }
    std::fflush(stdout);
    dup2(savedFd, STDOUT_FILENO);  // closes the writing end: the reader sees its end
    reader.join();
    close(readFd);
}

StdoutCapture::~StdoutCapture() {
    Stop();
    if (active) {
        std::fclose(original);
    }
    if (savedFd >= 0) {
        close(savedFd);
    }
}

void StdoutCapture::Read(int fd) {
    std::string line;
    char buffer[4096];
    for (;;) {
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        for (ssize_t i = 0; i < got; ++i) {
            char c = buffer[i];
            if (c == '\n' || c == '\r') {
                if (!line.empty()) {
                    onLine(line);
                }
                line.clear();
            } else {
                line += c;
            }
        }
    }
    if (!line.empty()) {
        onLine(line);
    }
}
