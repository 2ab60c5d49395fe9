// CFlashReg: the per-user store of the dialog's last superfile and last
// browsed folder. A registry key path such as
// "SOFTWARE\\Kestrova\\k380_ORX\\FlashFile" names the organisation, the
// application and the group of a QSettings store in its native format (the
// registry on Windows, a per-user file elsewhere). Every failure is shown in a
// stop box, sent to the host's error display and logged.
#pragma once

#include <memory>
#include <string>

class QSettings;

class CFlashReg {
  public:
    // A value holds at most this many bytes of text (260 with its zero byte).
    static constexpr size_t kMaxText = 259;

    CFlashReg();
    ~CFlashReg();
    CFlashReg(const CFlashReg&) = delete;
    CFlashReg& operator=(const CFlashReg&) = delete;

    // 1 when the key is open (made when missing), else 0. A later call keeps
    // the newest key.
    int OpenKey(const char* subKey);
    // 1 when the value was written, else 0. A longer text than kMaxText is
    // refused, never cut.
    int SetValue(const char* name, const std::string& text);
    // 1 when the value was read into text, else 0; a missing value is only
    // logged.
    int GetValue(const char* name, std::string& text);
    void CloseKey();

  private:
    std::unique_ptr<QSettings> key;
    // A store that cannot be written fails every keystroke in the file-name
    // box: it is shown once until a write succeeds again, and always logged.
    bool writeFailureShown = false;
};
