// Catches what is written to standard output (file descriptor 1, so the
// module's own console lines too) and hands it on line by line, while the
// command keeps writing to the real standard output through Original().
// Used where the module prints on its console route but the command owes its
// caller JSON lines only.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <thread>

class StdoutCapture {
  public:
    // Each line without its line end; a carriage return also ends a line (the
    // module's progress figures). Called on the capture's own thread.
    explicit StdoutCapture(std::function<void(const std::string&)> onLine);
    // Restores standard output and hands on what is left; Original() stays
    // open until the capture is destroyed.
    void Stop();
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    // False when standard output could not be redirected (nothing is caught).
    bool Active() const { return active; }
    // The real standard output.
    std::FILE* Original() const { return original; }

  private:
    void Read(int fd);

    std::function<void(const std::string&)> onLine;
    std::FILE* original = stdout;
    int savedFd = -1;
    int readFd = -1;
    bool active = false;
    std::thread reader;
};
