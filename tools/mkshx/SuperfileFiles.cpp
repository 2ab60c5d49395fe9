// File names derived from a superfile's path, and writing the files.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "Superfile.h"
#include "SuperfileNames.h"

namespace mkshx {

namespace {

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        throw std::runtime_error("cannot create " + path + ": " + std::strerror(errno));
    }
    size_t written = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), file);
    int writeError = written == bytes.size() ? 0 : errno;
    if (std::fclose(file) != 0 && writeError == 0) {
        writeError = errno;
    }
    if (writeError != 0 || written != bytes.size()) {
        throw std::runtime_error("cannot write " + path + ": " +
                                 std::strerror(writeError != 0 ? writeError : EIO));
    }
}

}  // namespace

std::string ImageFileName(const std::string& shxPath, int slot) {
    if (slot < 0 || slot >= kSlotCount || slot == kBootSlot) {
        throw std::runtime_error("slot " + std::to_string(slot) + " has no image file");
    }
    // The reader's own names: every ".shx" goes, case-sensitive.
    return shx::ImageFileName(shxPath, slot);
}

void WriteSuperfile(const BuiltSuperfile& built, const std::string& shxPath, bool writeImages) {
    WriteFile(shxPath, built.bytes);
    if (writeImages) {
        for (const auto& [slot, image] : built.images) {
            WriteFile(ImageFileName(shxPath, slot), image);
        }
    }
}

}  // namespace mkshx
