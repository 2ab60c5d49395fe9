// One JSON object per line for scripts: every status, error and progress event
// with its phone's device number, and one result line per phone and step:
//   {"device":4,"event":"status","text":"..."}
//   {"device":4,"event":"progress","percent":40}
//   {"device":4,"event":"busy","busy":true}     (a long device operation)
//   {"device":4,"command":"flash","result":0,"ok":true}
// Events the host received without a device number carry "device":null.
#pragma once

#include <nlohmann/json.hpp>

#include "PhoneReport.h"

class JsonReport : public PhoneReport {
  public:
    explicit JsonReport(std::FILE* out) : out(out) {}

    // Writes one line now, in turn with the events.
    void WriteLine(const nlohmann::ordered_json& line);
    // Where the lines go from now on.
    void SetOutput(std::FILE* stream);

  protected:
    void Show(const orxhost::DisplayEvent& event) override;
    void ShowResult(uint16_t deviceId, PhoneStep step, int result) override;

  private:
    void Write(const nlohmann::ordered_json& line);
    std::FILE* out;
};

// The progress values that mark the start and the end of a long device
// operation rather than a percentage.
inline constexpr int kBusyStart = 1000;
inline constexpr int kBusyEnd = 1100;
