// Fuzz target for the superfile reader, the image index functions and the
// S-record conversion.
// Input: a 4-byte little-endian length n, then n bytes of superfile, then the
// rest as the superfile's index file. Both are written into a private scratch
// directory under relative names, so a seed's index can name the images.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ErrorLog.h"
#include "ORX_FP_FlashFileIO.h"
#include "ORX_FP_FlashState.h"
#include "platform/MessageBox.h"

namespace {

void WriteFile(const char* name, const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(name, "wb");
    if (file == nullptr) {
        std::abort();
    }
    if (size > 0 && std::fwrite(data, 1, size, file) != size) {
        std::abort();
    }
    std::fclose(file);
}

// The scratch directory is entered only while an input runs, so libFuzzer
// keeps reading and writing its corpus where it was started.
int scratchDir = -1;
int startDir = -1;

void SetUpOnce() {
    if (scratchDir >= 0) {
        return;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "orxfuzz.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::abort();
    }
    scratchDir = open(pattern.c_str(), O_RDONLY | O_DIRECTORY);
    startDir = open(".", O_RDONLY | O_DIRECTORY);
    if (scratchDir < 0 || startDir < 0) {
        std::abort();
    }
    std::freopen("/dev/null", "w", stdout);  // the console route prints every refusal
    platform::SetMessageBoxHandler([](const platform::BoxRequest& request) {
        return platform::DefaultAnswer(request.buttons);
    });
    errorLogEnabled.store(0);
    headlessMode.store(1);
}

void RunOne(const uint8_t* data, size_t size);

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SetUpOnce();
    if (size < 4 || fchdir(scratchDir) != 0) {
        return 0;
    }
    RunOne(data, size);
    if (fchdir(startDir) != 0) {
        std::abort();
    }
    return 0;
}

namespace {

void RunOne(const uint8_t* data, size_t size) {
    size_t split = shx::ReadLe32(data);
    data += 4;
    size -= 4;
    if (split > size) {
        split = size;
    }
    WriteFile("f.shx", data, split);
    WriteFile("f.hmg", data + split, size - split);

    CFlashFileIO reader(nullptr, "f.shx");
    if (reader.ReadSuperfile(1) == 1) {
        // The S-record walk and the image builder, for files whose images stay
        // small (a descriptor may declare gigabytes that the fuzzer would write).
        uint64_t imageBytes = 0;
        for (int slot = 0; slot < shx::kSlots; ++slot) {
            const SubfileRecord& record = reader.Record(slot);
            if (record.present) {
                imageBytes += static_cast<uint64_t>(record.end) - record.start + 1;
            }
        }
        if (imageBytes <= (1u << 20)) {
            CFlashFileIO converter(nullptr, "f.shx");
            converter.PrepareImages();
        }
        std::vector<std::string> info(13);
        uint16_t firstVersion = 0;
        reader.GetFileInformation(info, firstVersion);
        reader.CheckImageChecksums();
        reader.WriteImageIndex();
        CFlashFileIO again(nullptr, "f.shx");
        again.ReadSuperfile(1);
    }
    // The trailer and hex-field parsers on raw bytes too.
    shx::FindStoredChecksum(data, size < 64 ? size : 64);
    std::string_view text(reinterpret_cast<const char*>(data), size);
    for (size_t offset = 0; offset < 16 && offset < size; ++offset) {
        shx::ParseHexField(text, offset, data[offset] & 0x1F);
    }
}

}  // namespace
