// What the dialog does: start-up at its first data exchange, the last file
// kept in the per-user store, reading the superfile's header, Browse, Flash,
// Verify, the interface choice and the file-name box's update.
#include <QAbstractButton>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QSignalBlocker>
#include <filesystem>
#include <new>
#include <system_error>

#include "ErrorLog.h"
#include "ORX_FP_FlashDlg.h"
#include "ORX_FP_FlashDlg_GuiCalls.h"
#include "ORX_FP_FlashFileIO.h"
#include "ORX_FP_FlashHost.h"
#include "ORX_FP_FlashThread.h"
#include "ui_CFlashDlg.h"

namespace {

constexpr const char* kSource = "ORX_FP_FlashDlg";
constexpr const char* kKeyPath = "SOFTWARE\\Kestrova\\k380_ORX\\FlashFile";
constexpr const char* kSuperFile = "Super File";
constexpr const char* kPathName = "PathName";
constexpr const char* kInvalidFile =
    "The file selected is not a valid s record or image file. Please enter in a valid file.";
constexpr const char* kMatchWarning =
    "Please verify the flash file selected in the Browse field matches the connected phone "
    "model. Failure to do so can result in damage to the phone.";
constexpr const char* kEnterFile = "Please enter in a file";

std::string CurrentDirectory() {
    std::error_code error;
    std::filesystem::path here = std::filesystem::current_path(error);
    return error ? std::string() : here.string();
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

bool NamesSuperfile(const std::string& text) {
    return text.find(".shx") != std::string::npos;
}

std::optional<std::string> PickWithFileDialog(QWidget* parent, const std::string& folder) {
    QString chosen = QFileDialog::getOpenFileName(parent, QString(), QString::fromStdString(folder),
                                                  QStringLiteral("(SuperFile)*.shx (*.shx)"));
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return chosen.toStdString();
}

}  // namespace

void CFlashDlg::ConnectHandlers() {
    filePicker = PickWithFileDialog;
    connect(ui->browse, &QAbstractButton::clicked, this, [this] { OnBrowse(); });
    connect(ui->flash, &QAbstractButton::clicked, this, [this] { OnFlash(); });
    connect(ui->verify, &QAbstractButton::clicked, this, [this] { OnVerify(); });
    connect(ui->fileName, &QLineEdit::textChanged, this,
            [this](const QString& text) { OnFileNameUpdated(text); });
    // Clicks only: the engine checking a button chooses nothing.
    connect(ui->tavenorOs, &QAbstractButton::clicked, this,
            [this] { SetInterfaceName("Kestrova_Tavenor_OS"); });
    connect(ui->tavenorFs, &QAbstractButton::clicked, this,
            [this] { SetInterfaceName("Kestrova_Tavenor_Filesystem"); });
    connect(ui->tavenorBp, &QAbstractButton::clicked, this,
            [this] { SetInterfaceName("Kestrova_Tavenor_Baseband"); });
}

void CFlashDlg::SetInterfaceName(const char* name) {
    std::lock_guard guard(interfaceLock);
    interfaceName = name;
}

std::string CFlashDlg::InterfaceName() {
    std::lock_guard guard(interfaceLock);
    return interfaceName;
}

// The exchange empties every field (the dialog's texts start empty), then
// runs the start-up steps once.
void CFlashDlg::DataExchange() {
    for (auto& [id, control] : controls) {
        if (auto* field = qobject_cast<QLineEdit*>(control)) {
            const QSignalBlocker quiet(field);  // no store is open yet
            field->clear();
        }
    }
    if (firstExchange == 1) {
        StartUp();
        firstExchange = 0;
    }
}

void CFlashDlg::StartUp() {
    currentDir = CurrentDirectory();
    interfaceControls = {ui->tavenorOs, ui->tavenorFs, ui->tavenorBp, ui->interfaceGroup};
    for (QWidget* control : interfaceControls) {
        control->hide();
    }
    if (registry.OpenKey(kKeyPath) != 1 || LoadLastFile() == 0) {
        return;
    }
    if (!NamesSuperfile(fileName) && !SameIgnoringCase(fileName, currentDir)) {
        platform::ShowStopBox(kInvalidFile);
        LogFlashError(__LINE__, kInvalidFile, kSource);
        return;
    }
    if (fileName != currentDir) {
        ReadFileHeader();
    }
}

int CFlashDlg::LoadLastFile() {
    int result = 1;
    if (registry.GetValue(kSuperFile, fileName) != 1) {
        fileName = currentDir;
        result = 0;
    }
    SetFileNameBox(fileName);
    if (SaveLastFile(fileName) != 1) {
        result = 0;
    }
    return result;
}

int CFlashDlg::SaveLastFile(const std::string& text) {
    return registry.SetValue(kSuperFile, text);
}

// The box's update handler runs for every text set, also an unchanged one.
void CFlashDlg::SetFileNameBox(const std::string& text) {
    QString wanted = QString::fromStdString(text);
    if (ui->fileName->text() == wanted) {
        OnFileNameUpdated(wanted);
    } else {
        ui->fileName->setText(wanted);
    }
}

void CFlashDlg::OnFileNameUpdated(const QString& text) {
    std::string now = text.toStdString();
    // Another file's header has not been read: a flash reads it first.
    if (now != fileName) {
        headerRead.store(false);
    }
    fileName = now;
    SaveLastFile(fileName);
}

int CFlashDlg::ReadFileHeader() {
    return calls->Call<int>([this] { return ReadFileHeaderHere(); }, 0);
}

int CFlashDlg::ReadFileHeaderHere() {
    std::unique_ptr<CFlashFileIO> reader(new (std::nothrow)
                                             CFlashFileIO(this, fileName, JobContext()));
    if (!reader) {
        const char* text = "Flash File IO pointer is a NULL Pointer";
        platform::ShowStopBox(text);
        LogFlashError(__LINE__, text, kSource);
        return 0;
    }
    int result = reader->ReadSuperfile(FailureBoxes::Show);
    headerRead.store(result == 1);
    if (result != 1) {
        LogFlashError(__LINE__, "Error Reading File Header", kSource);
    }
    return result;
}

int CFlashDlg::OnBrowse() {
    currentDir = CurrentDirectory();
    if (registry.OpenKey(kKeyPath) != 1) {
        SetFileNameBox(currentDir);
        return 0;
    }
    std::string folder;
    if (registry.GetValue(kPathName, folder) == 1) {
        pathName = folder;
    }
    std::optional<std::string> chosen =
        filePicker ? filePicker(this, pathName) : std::optional<std::string>();
    if (!chosen) {
        SetFileNameBox(fileName);
        return 0;
    }
    fileName = *chosen;
    headerRead.store(false);
    QFileInfo file(QString::fromStdString(fileName));
    fileTitle = file.fileName().toStdString();
    // The folder with its trailing separator: the path without its last name.
    pathName = fileName.substr(0, fileName.size() - fileTitle.size());
    registry.SetValue(kPathName, pathName);
    SetFileNameBox(fileName);
    if (file.suffix().toLower() != QStringLiteral("shx")) {
        platform::ShowStopBox(kInvalidFile);
        HostDisplayError(kInvalidFile);
        LogFlashError(__LINE__, kInvalidFile, kSource);
        SetFileNameBox(currentDir);
        return 0;
    }
    if (SaveLastFile(fileName) != 1) {
        return 0;
    }
    return ReadFileHeader() == 1 ? 1 : 0;
}

int CFlashDlg::OnFlash() {
    if (platform::ShowQuestionBox(kMatchWarning) != platform::BoxAnswer::Yes) {
        return 0;
    }
    if (!NamesSuperfile(fileName)) {
        platform::ShowMessageBox({kEnterFile, "ORX_FP_Flash", platform::BoxIcon::Information,
                                  platform::BoxButtons::Ok, true});
        HostDisplayStatus(kEnterFile);
        OnBrowse();
    }
    if (flashThread != nullptr) {
        flashThread->Post(CFlashThread::Command::Flash);
    }
    ui->verify->setEnabled(false);
    ui->browse->setEnabled(false);
    return 1;
}

int CFlashDlg::OnVerify() {
    if (flashThread != nullptr) {
        flashThread->Post(CFlashThread::Command::Verify);
    }
    ui->flash->setEnabled(false);
    ui->browse->setEnabled(false);
    return 1;
}
