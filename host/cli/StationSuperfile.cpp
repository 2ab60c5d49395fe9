#include "StationSuperfile.h"

#include <stdlib.h>

#include <filesystem>

#include "PhoneJobs.h"

namespace {

bool Same(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

}  // namespace

StationSuperfile::~StationSuperfile() {
    if (!folder.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
}

bool StationSuperfile::Take(const std::string& path, std::string& why) {
    original = AbsolutePath(path);
    std::error_code error;
    std::string pattern =
        (std::filesystem::temp_directory_path(error) / "orxflash-station-XXXXXX").string();
    if (error || mkdtemp(pattern.data()) == nullptr) {
        why = "cannot make the station's work folder";
        return false;
    }
    folder = pattern;
    copy = (std::filesystem::path(folder) / std::filesystem::path(original).filename()).string();
    struct stat after {};
    if (stat(original.c_str(), &taken) != 0 || !std::filesystem::copy_file(original, copy, error) ||
        error || stat(original.c_str(), &after) != 0) {
        why = "cannot copy it into " + folder + (error ? ": " + error.message() : "");
        return false;
    }
    if (!Same(taken, after)) {
        why = "it changed while it was being copied; try again";
        return false;
    }
    return true;
}

bool StationSuperfile::ChangedSinceTaken() {
    if (changeSaid) {
        return false;
    }
    struct stat now {};
    if (stat(original.c_str(), &now) == 0 && Same(taken, now)) {
        return false;
    }
    changeSaid = true;
    return true;
}
