// Makes a directory the current one for a scope and goes back afterwards.
#pragma once

#include <filesystem>

class WorkingDirectory {
  public:
    explicit WorkingDirectory(const std::filesystem::path& directory);
    ~WorkingDirectory();
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

    // False when the directory could not be entered (the current one stays).
    bool Entered() const { return entered; }

  private:
    std::filesystem::path previous;
    bool entered = false;
};
