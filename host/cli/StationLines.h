// The station as plain lines for logs and pipes: each status and error of a
// phone tagged Phone[NNNN], each attempt's start, outcome and unplugging, and
// a "Station:" line with the counts after every outcome. Progress is left out.
#pragma once

#include "StationView.h"

class StationLines : public StationView {
  public:
    StationLines(std::FILE* out, std::string superfile);

  protected:
    void ShowEvent(const orxhost::DisplayEvent& event, int number) override;
    void ShowStarted(const AttemptInfo& attempt) override;
    void ShowEnded(uint16_t port, int number, const AttemptEnd& end) override;
    void ShowUnplugged(uint16_t port, int number, bool running) override;
    void ShowCounts(const StationCounts& counts) override;
    void ShowNotice(const std::string& text) override;
    void ShowClosed(const StationCounts& counts, const std::string& why) override;

  private:
    void Line(const std::string& text);
    std::FILE* out;
    std::string superfile;
};

// "2 passed (of 5), 1 failed, 0 up to date, 1 running"
std::string CountsText(const StationCounts& counts);
// "PASS", "FAIL: REASON (result 52)" or "up to date"
std::string EndText(const AttemptEnd& end);
