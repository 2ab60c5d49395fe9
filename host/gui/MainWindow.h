// The host window: the module's dialog embedded at the top, the table of
// phones with their latest line and progress, a log of every display line and
// a status bar. Display calls reach it as posted events of the host's
// registered message types.
#pragma once

#include <QEvent>
#include <QMainWindow>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "ModuleSession.h"
#include "OrxHost.h"

class DisplayPostEvent;
class PhoneTable;
class PostingSink;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QScrollArea;
class QSplitter;

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    explicit MainWindow(FlashModule& module, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Lists the host's phones and opens the module with its dialog inside the
    // window; a failure is shown in the log and the status bar. Returns the
    // first non-zero result of UTCInit and UTCOpen, or 0.
    int OpenModule();

    // Attaches a simulated phone from a profile; false (and a log line) when
    // the profile cannot be loaded.
    bool PlugPhone(const QString& profile);
    void UnplugPhone(uint16_t deviceId);
    // Replaces the file dialog of Phones > Plug In Phone (for tests).
    void SetProfileChooser(std::function<QString()> chooser);

    // The module closes (UTCClose) before the window; false while a flash runs.
    bool CloseModule();

    // True once the dialog shows a superfile's information.
    bool DialogShowsFile() const;
    QWidget* DialogControl(int controlId) const;

    PhoneTable* Phones() const { return phones; }
    QPlainTextEdit* Log() const { return log; }
    QWidget* DialogContainer() const { return container; }
    QMenu* PhonesMenu() const { return phonesMenu; }

  protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildMenus();
    void FillUnplugMenu();
    void ChoosePhoneToPlug();
    void FitDialog();
    void ShowDisplay(const orxhost::DisplayEvent& display);
    void ShowDevice(QEvent::Type type, uint16_t deviceId);
    void ListDevices();
    // A line in the log; the status bar shows it too unless a phone's row does.
    void Say(const QString& line, bool inStatusBar = true);

    ModuleSession session;
    std::shared_ptr<PostingSink> sink;
    std::shared_ptr<orxhost::DisplaySink> previousSink;
    std::function<QString()> chooseProfile;
    // The phone a thread's plain lines last named: its plain progress goes there.
    std::map<void*, uint16_t> lastPhoneOfThread;

    QSplitter* split = nullptr;
    QScrollArea* dialogArea = nullptr;
    QWidget* container = nullptr;
    PhoneTable* phones = nullptr;
    QPlainTextEdit* log = nullptr;
    QProgressBar* hostProgress = nullptr;
    QMenu* phonesMenu = nullptr;
    QMenu* unplugMenu = nullptr;
};
