// Small helpers shared by the tests: a scratch directory per test and whole-file
// reads and writes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// A fresh empty directory that becomes the current directory for the test's
// lifetime (the module writes its error logs there); removed afterwards.
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& Path() const { return path; }
    std::string File(const std::string& name) const { return (path / name).string(); }

  private:
    std::filesystem::path path;
    std::filesystem::path previous;
};

std::vector<uint8_t> ReadBytes(const std::filesystem::path& file);
// The same, or an empty vector after a test failure that names the file.
std::vector<uint8_t> ReadBytesOrFail(const std::filesystem::path& file);
std::string ReadText(const std::filesystem::path& file);
void WriteBytes(const std::filesystem::path& file, const std::vector<uint8_t>& bytes);
void WriteText(const std::filesystem::path& file, const std::string& text);

}  // namespace testsupport
