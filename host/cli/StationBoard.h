// The station on a terminal: a header line with the counts, a line for the
// station's notices, then one line per port, redrawn in place: the phone's
// descriptor and platform, a progress bar, the latest status, and at the end
// a large PASS or FAIL (in colour) with the reason. A port's line keeps its
// outcome until a new phone on that port starts a new attempt.
#pragma once

#include <vector>

#include "StationView.h"
#include "TerminalLines.h"

class StationBoard : public StationView {
  public:
    StationBoard(std::FILE* out, std::string superfile);

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
    struct Row {
        uint16_t port = 0;
        std::string phone;  // descriptor and platform
        std::string state;  // "checking", "flashing", "PASS", "FAIL", "up to date"
        int percent = -1;
        std::string text;
        bool unplugged = false;
    };
    Row& RowOf(uint16_t port);
    void Draw(const Row& row);
    std::string Format(const Row& row) const;

    TerminalLines lines;
    std::string superfile;
    std::vector<Row> rows;
    std::string header;
};
