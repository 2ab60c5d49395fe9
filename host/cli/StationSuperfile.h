// The station's own copy of the superfile: taken once at the start into a
// work folder of its own, so that the release it flashes never changes under
// it; the original is watched (size, time of change, file identity) so that
// a superfile replaced on disk is said once, never picked up silently.
#pragma once

#include <sys/stat.h>

#include <string>

class StationSuperfile {
  public:
    StationSuperfile() = default;
    // Removes the work folder and everything in it.
    ~StationSuperfile();
    StationSuperfile(const StationSuperfile&) = delete;
    StationSuperfile& operator=(const StationSuperfile&) = delete;

    // Copies the superfile into a new work folder; false with the reason.
    bool Take(const std::string& original, std::string& why);

    const std::string& Original() const { return original; }  // absolute
    const std::string& Copy() const { return copy; }
    // True the first time the original is found changed or gone since Take.
    bool ChangedSinceTaken();

  private:
    std::string original;
    std::string folder;
    std::string copy;
    struct stat taken {};
    bool changeSaid = false;
};
