#include "WorkingDirectory.h"

WorkingDirectory::WorkingDirectory(const std::filesystem::path& directory) {
    std::error_code error;
    previous = std::filesystem::current_path(error);
    if (!error && !directory.empty()) {
        std::filesystem::current_path(directory, error);
        entered = !error;
    }
}

WorkingDirectory::~WorkingDirectory() {
    if (entered) {
        std::error_code ignored;
        std::filesystem::current_path(previous, ignored);
    }
}
