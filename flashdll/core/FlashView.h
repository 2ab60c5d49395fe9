// What the engine and the superfile reader need of the flash dialog, without
// depending on a widget toolkit. The dialog implements it; tests use a
// recording fake. Calls made from a worker thread are carried out on the GUI
// thread and return when done.
#pragma once

#include <string>

class IFlashView {
  public:
    virtual ~IFlashView() = default;

    virtual std::string GetControlText(int id) = 0;
    virtual void SetControlText(int id, const std::string& text) = 0;
    virtual void EnableControl(int id, bool enable) = 0;
    virtual void ShowControl(int id, bool show) = 0;
    virtual void ListReset(int id) = 0;
    virtual void ListAdd(int id, const std::string& line) = 0;
    virtual void ListSelect(int id, int index) = 0;
    virtual void CheckRadio(int id, bool checked) = 0;
    virtual void Move(int left, int top, int right, int bottom) = 0;

    // The dialog members the engine reads and sets.
    virtual std::string InterfaceName() = 0;
    virtual void SetFlashing(bool flashing) = 0;
    virtual bool HeaderRead() = 0;
    // Reads the superfile named in the file-name box; 1 when it was read.
    virtual int ReadFileHeader() = 0;
};

// Control ids of the flash dialog.
namespace ctl {
inline constexpr int kBrowse = 1000;
inline constexpr int kFileName = 1001;
inline constexpr int kFlash = 1002;
inline constexpr int kVerify = 1003;
inline constexpr int kFileAppVersion = 1006;
inline constexpr int kPhoneAppVersion = 1007;
inline constexpr int kFilePlatform = 5002;
inline constexpr int kPhonePlatform = 5003;
inline constexpr int kFileBootChecksum = 5004;
inline constexpr int kFileRamChecksum = 5005;
inline constexpr int kFileAppChecksum = 5006;
inline constexpr int kFileBootVersion = 5007;
inline constexpr int kFileRamVersion = 5008;
inline constexpr int kFileSize = 5009;
inline constexpr int kPhoneBootVersion = 5010;
inline constexpr int kPhoneBuildVersion = 5011;
inline constexpr int kPhoneBootChecksum = 5013;
inline constexpr int kPhoneRamChecksum = 5014;
inline constexpr int kPhoneAppChecksum = 5015;
inline constexpr int kFileDate = 5016;
inline constexpr int kFileMiscList = 5041;
inline constexpr int kPhoneMiscList = 5042;
inline constexpr int kTavenorOs = 5043;
inline constexpr int kTavenorFs = 5044;
inline constexpr int kTavenorBp = 5045;
inline constexpr int kInterfaceGroup = 5046;
}  // namespace ctl
