#include "ORX_FP_FlashReg.h"

#include <algorithm>

#include <QSettings>
#include <QStringList>

#include "ErrorLog.h"
#include "ORX_FP_FlashHost.h"
#include "platform/MessageBox.h"

namespace {

constexpr const char* kSource = "ORX_FP_FlashReg";
constexpr const char* kCreateFailed = "Error Creating Flash Registry";
constexpr const char* kNotCreated = "Error Flash Registry was not created";
constexpr const char* kSetFailed = "Unable to set Registry Value";
constexpr const char* kMissingValue =
    "Unable to retrieve file from Registry.  Please enter in a file to flash.";

// A report: stop box, the host's error display and the error log.
void Report(const char* text, int line) {
    platform::ShowStopBox(text);
    HostDisplayError(text);
    LogFlashError(line, text, kSource);
}

// "SOFTWARE\<organisation>\<application>\<group...>": the store of the
// organisation's application and the group inside it; false for any other path.
bool SplitKeyPath(const QString& path, QString& organisation, QString& application,
                  QString& group) {
    QStringList parts = path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    if (parts.size() < 3 || parts.front().compare("SOFTWARE", Qt::CaseInsensitive) != 0) {
        return false;
    }
    organisation = parts.at(1);
    application = parts.at(2);
    group = parts.mid(3).join(QLatin1Char('/'));
    return true;
}

}  // namespace

CFlashReg::CFlashReg() = default;

CFlashReg::~CFlashReg() {
    CloseKey();
}

int CFlashReg::OpenKey(const char* subKey) {
    QString organisation, application, group;
    if (subKey == nullptr ||
        !SplitKeyPath(QString::fromUtf8(subKey), organisation, application, group)) {
        Report(kCreateFailed, __LINE__);
        return 0;
    }
    auto opened = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                              organisation, application);
    if (opened->status() != QSettings::NoError) {
        Report(kCreateFailed, __LINE__);
        return 0;
    }
    if (!group.isEmpty()) {
        opened->beginGroup(group);
    }
    key = std::move(opened);
    return 1;
}

int CFlashReg::SetValue(const char* name, const std::string& text) {
    if (!key || name == nullptr) {
        Report(kNotCreated, __LINE__);
        return 0;
    }
    bool written = false;
    if (text.size() <= kMaxText && key->isWritable()) {
        key->setValue(QString::fromUtf8(name), QString::fromStdString(text));
        key->sync();
        written = key->status() == QSettings::NoError;
    }
    if (written) {
        writeFailureShown = false;
        return 1;
    }
    if (writeFailureShown && text.size() <= kMaxText) {
        LogFlashError(__LINE__, kSetFailed, kSource);
    } else {
        writeFailureShown = text.size() <= kMaxText;
        Report(kSetFailed, __LINE__);
    }
    return 0;
}

int CFlashReg::GetValue(const char* name, std::string& text) {
    if (!key || name == nullptr) {
        Report(kNotCreated, __LINE__);
        return 0;
    }
    const QString valueName = QString::fromUtf8(name);
    if (!key->contains(valueName)) {
        LogFlashError(__LINE__, kMissingValue, kSource);
        return 0;
    }
    text = key->value(valueName).toString().toStdString();
    // A reader takes the text up to its first zero byte.
    text.resize(std::min(text.size(), text.find('\0')));
    return 1;
}

void CFlashReg::CloseKey() {
    if (key) {
        key->sync();
        key.reset();
    }
}
