// CFlashDlg: the windowed flash dialog (template 130), a child of the host's
// window. The user picks a superfile, sees what it holds and what the
// connected phone carries, chooses the interface of a J617 Tavenor phone and
// starts Flash or Verify; the engine does the work and fills the phone fields
// through the view interface. Calls of the engine's worker are carried out on
// the dialog's thread and wait for it, until ReleaseWorker.
#pragma once

#include <QDialog>
#include <QPointer>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ORX_FP_FlashDialog.h"
#include "ORX_FP_FlashReg.h"
#include "platform/MessageBox.h"

class CFlashThread;
class GuiThreadCalls;
class QMessageBox;

namespace Ui {
class CFlashDlg;
}

class CFlashDlg : public QDialog, public IFlashDialog {
    Q_OBJECT

  public:
    // Asks the user for a superfile, starting in a folder (empty: anywhere);
    // nothing when cancelled. Tests install their own.
    using FilePicker =
        std::function<std::optional<std::string>(QWidget* parent, const std::string& folder)>;

    explicit CFlashDlg(const DialogPlacement& placement);
    ~CFlashDlg() override;

    // IFlashDialog.
    void Attach(CFlashThread* engine, void* hostInstance) override;
    int CreateAndShow() override;
    bool Flashing() const override { return flashing.load(); }
    void ReleaseWorker() override;
    void Destroy() override;

    // IFlashView.
    std::string GetControlText(int id) override;
    void SetControlText(int id, const std::string& text) override;
    void EnableControl(int id, bool enable) override;
    void ShowControl(int id, bool show) override;
    void ListReset(int id) override;
    void ListAdd(int id, const std::string& line) override;
    void ListSelect(int id, int index) override;
    void CheckRadio(int id, bool checked) override;
    void Move(int left, int top, int right, int bottom) override;
    std::string InterfaceName() override;
    void SetFlashing(bool value) override { flashing.store(value); }
    bool HeaderRead() override { return headerRead.load(); }
    int ReadFileHeader() override;

    // The buttons' handlers; each returns 1 when it went through.
    int OnBrowse();
    int OnFlash();
    int OnVerify();

    // The control with the number, or null.
    QWidget* Control(int id) const;
    void SetFilePicker(FilePicker picker) { filePicker = std::move(picker); }
    // Font units of the layout: average character width and height in pixels.
    int BaseUnitX() const { return baseX; }
    int BaseUnitY() const { return baseY; }

  protected:
    // Escape never closes a dialog that lives inside the host's window.
    void reject() override {}

  private:
    void ConvertLayout();
    void PaintBanner();
    void ConnectHandlers();
    void InstallBoxHandler();

    // Start-up at the first data exchange, and what it is made of.
    void DataExchange();
    void StartUp();
    int LoadLastFile();
    int SaveLastFile(const std::string& text);
    int ReadFileHeaderHere();
    void OnFileNameUpdated(const QString& text);
    void SetFileNameBox(const std::string& text);
    void SetInterfaceName(const char* name);

    // The controls on the dialog's thread.
    std::string TextOf(int id) const;
    void SetTextOf(int id, const std::string& text);
    void AddSorted(int id, const std::string& line);

    // A box on the dialog's thread; one shown for a worker closes when the
    // worker is released.
    platform::BoxAnswer ShowBoxHere(const platform::BoxRequest& request, bool forWorker);

    std::unique_ptr<Ui::CFlashDlg> ui;
    std::map<int, QWidget*> controls;
    std::shared_ptr<GuiThreadCalls> calls;
    platform::BoxHandler previousBoxes;
    FilePicker filePicker;
    std::vector<QPointer<QMessageBox>> workerBoxes;
    int baseX = 0;
    int baseY = 0;

    int firstExchange = 1;
    std::vector<QWidget*> interfaceControls;
    std::string fileName;
    std::string currentDir;
    mutable std::mutex interfaceLock;  // the worker reads interfaceName
    std::string interfaceName = "Kestrova_Tavenor_OS";
    CFlashThread* flashThread = nullptr;
    std::atomic<bool> flashing{false};
    std::atomic<bool> headerRead{false};
    CFlashReg registry;
    DialogPlacement placement;
    void* hostInstance = nullptr;
    std::string fileTitle;
    std::string pathName;
};

// Installs the factory that makes a CFlashDlg for UTCOpen. The plug-in does
// it at load; a program that links the dialog library may call it itself.
void InstallFlashDialogFactory();
