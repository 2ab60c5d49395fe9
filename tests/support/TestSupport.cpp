#include "TestSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testsupport {

ScratchDir::ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orxtest.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a scratch directory");
    }
    path = pattern;
    previous = std::filesystem::current_path();
    std::filesystem::current_path(path);
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::current_path(previous, ignored);
    std::filesystem::remove_all(path, ignored);
}

// One read of the whole file: stream iterators are slow on megabytes in a
// debug build.
std::vector<uint8_t> ReadBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    if (!in) {
        throw std::runtime_error("cannot read " + file.string());
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(in.tellg()));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()),
                 static_cast<std::streamsize>(bytes.size()))) {
        throw std::runtime_error("cannot read " + file.string());
    }
    return bytes;
}

std::vector<uint8_t> ReadBytesOrFail(const std::filesystem::path& file) {
    try {
        return ReadBytes(file);
    } catch (const std::exception& error) {
        ADD_FAILURE() << error.what();
        return {};
    }
}

std::string ReadText(const std::filesystem::path& file) {
    std::vector<uint8_t> bytes = ReadBytes(file);
    return {bytes.begin(), bytes.end()};
}

void WriteBytes(const std::filesystem::path& file, const std::vector<uint8_t>& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + file.string());
    }
}

void WriteText(const std::filesystem::path& file, const std::string& text) {
    WriteBytes(file, {text.begin(), text.end()});
}

}  // namespace testsupport
