// The station as JSON lines, one event per line; the field names are stable
// (README, "Station"):
//   {"event":"attempt","port":4,"attempt":1,"descriptor":"...","platform":"..."}
//   {"event":"checking"|"flashing","port":4,"attempt":1}
//   {"event":"status"|"error","port":4,"attempt":1,"text":"..."}
//   {"event":"progress","port":4,"attempt":1,"percent":40}
//   {"event":"busy","port":4,"attempt":1,"busy":true}
//   {"event":"result","port":4,"attempt":1,"outcome":"passed"|"failed"|"up to date",
//    "result":0,"reason":"","seconds":0.4}
//   {"event":"unplugged","port":4,"attempt":1,"running":false}
//   {"event":"counts","passed":1,"failed":0,"upToDate":0,"running":0,"target":5}
//   {"event":"notice","text":"..."}
//   {"event":"ended","why":"count reached"|"interrupted","passed":..,"failed":..,"upToDate":..}
// Reports the host received without a device number carry "port":null.
#pragma once

#include <nlohmann/json.hpp>

#include "StationView.h"

class StationJson : public StationView {
  public:
    explicit StationJson(std::FILE* out) : out(out) {}

  protected:
    void ShowEvent(const orxhost::DisplayEvent& event, int number) override;
    void ShowStarted(const AttemptInfo& attempt) override;
    void ShowPhase(uint16_t port, PortPhase phase) override;
    void ShowEnded(uint16_t port, int number, const AttemptEnd& end) override;
    void ShowUnplugged(uint16_t port, int number, bool running) override;
    void ShowCounts(const StationCounts& counts) override;
    void ShowNotice(const std::string& text) override;
    void ShowClosed(const StationCounts& counts, const std::string& why) override;

  private:
    void Write(const nlohmann::ordered_json& line);
    std::FILE* out;
    std::map<uint16_t, int> numbers;  // each port's current attempt
};
