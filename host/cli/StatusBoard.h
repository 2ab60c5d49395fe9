// The terminal view: one line per phone with its step, a progress bar and its
// latest status, redrawn in place as reports arrive. Errors stay on the line
// once a phone failed, and are listed in full below the board at the end.
#pragma once

#include "PhoneReport.h"
#include "TerminalLines.h"

class StatusBoard : public PhoneReport {
  public:
    StatusBoard(std::FILE* out, const std::vector<uint16_t>& devices);
    void Finish() override;

  protected:
    void Show(const orxhost::DisplayEvent& event) override;
    void ShowBegin(PhoneStep step) override;
    void ShowResult(uint16_t deviceId, PhoneStep step, int result) override;

  private:
    struct Row {
        Row(bool hasDevice, uint16_t deviceId) : hasDevice(hasDevice), deviceId(deviceId) {}
        bool hasDevice;  // false: the host's reports that name no phone
        uint16_t deviceId;
        std::string state = "waiting";
        int percent = -1;  // none yet
        bool busy = false;
        std::string text;
        std::string lastError;
        bool failed = false;
    };
    // The row's line, cut to width columns.
    static std::string Format(const Row& row, size_t width);
    size_t RowOf(bool hasDevice, uint16_t deviceId);
    void Draw(size_t index);
    void DrawAll();

    std::FILE* out;
    TerminalLines lines;
    std::vector<Row> rows;
    size_t drawn = 0;  // rows already on the screen
};
