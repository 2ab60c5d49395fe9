// Plain lines for logs and pipes: one line per status or error, tagged with
// the phone's device number, and one line per phone's outcome. Progress is
// left out.
#pragma once

#include "PhoneReport.h"

class LineReport : public PhoneReport {
  public:
    explicit LineReport(std::FILE* out) : out(out) {}

  protected:
    void Show(const orxhost::DisplayEvent& event) override;
    void ShowResult(uint16_t deviceId, PhoneStep step, int result) override;

  private:
    std::FILE* out;
};
