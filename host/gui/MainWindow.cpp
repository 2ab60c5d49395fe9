#include "MainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollArea>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <exception>

#include "DisplayPost.h"
#include "Phone.h"
#include "PhoneTable.h"
#include "WindowMessages.h"

namespace {

QString DescriptorOf(uint16_t deviceId) {
    std::shared_ptr<phonesim::Phone> phone = orxhost::FindPhone(deviceId);
    if (phone == nullptr) {
        return QString();
    }
    return QString::fromStdString(phone->Descriptor().value_or(""));
}

}  // namespace

MainWindow::MainWindow(FlashModule& module, QWidget* parent)
    : QMainWindow(parent), session(module), sink(std::make_shared<PostingSink>(this)) {
    setWindowTitle(tr("ORX Flash"));
    Messages();  // the event types exist before the first display call

    container = new QWidget;
    container->setObjectName(QStringLiteral("dialogContainer"));
    container->installEventFilter(this);
    dialogArea = new QScrollArea;
    dialogArea->setWidget(container);
    dialogArea->setWidgetResizable(true);  // the dialog grows with the window, never shrinks

    phones = new PhoneTable;
    log = new QPlainTextEdit;
    log->setReadOnly(true);
    log->setMaximumBlockCount(5000);
    auto* lower = new QSplitter(Qt::Horizontal);
    lower->addWidget(phones);
    lower->addWidget(log);
    lower->setStretchFactor(0, 3);
    lower->setStretchFactor(1, 2);
    split = new QSplitter(Qt::Vertical);
    split->addWidget(dialogArea);
    split->addWidget(lower);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    setCentralWidget(split);

    hostProgress = new QProgressBar;
    hostProgress->setRange(0, 100);
    hostProgress->setValue(0);
    hostProgress->setMaximumWidth(160);
    statusBar()->addPermanentWidget(hostProgress);
    BuildMenus();
    previousSink = orxhost::SetDisplaySink(sink);
}

MainWindow::~MainWindow() {
    CloseModule();
    sink->Detach();
    orxhost::SetDisplaySink(previousSink);
}

void MainWindow::BuildMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    QAction* quit = file->addAction(tr("&Quit"), this, &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);

    phonesMenu = menuBar()->addMenu(tr("&Phones"));
    QAction* plug =
        phonesMenu->addAction(tr("&Plug In Phone..."), this, &MainWindow::ChoosePhoneToPlug);
    plug->setObjectName(QStringLiteral("plugPhone"));
    unplugMenu = phonesMenu->addMenu(tr("&Unplug Phone"));
    unplugMenu->setObjectName(QStringLiteral("unplugPhone"));
    connect(unplugMenu, &QMenu::aboutToShow, this, &MainWindow::FillUnplugMenu);
}

void MainWindow::FillUnplugMenu() {
    unplugMenu->clear();
    for (const orxhost::DeviceEntry& device : orxhost::Devices()) {
        if (orxhost::FindPhone(device.deviceId) == nullptr) {
            continue;  // only simulated phones can be unplugged
        }
        QString name = PhoneTag(device.deviceId) + DescriptorOf(device.deviceId);
        QAction* action = unplugMenu->addAction(name.trimmed());
        uint16_t deviceId = device.deviceId;
        action->setData(static_cast<uint>(deviceId));
        connect(action, &QAction::triggered, this, [this, deviceId] { UnplugPhone(deviceId); });
    }
    if (unplugMenu->isEmpty()) {
        unplugMenu->addAction(tr("(no phone)"))->setEnabled(false);
    }
}

void MainWindow::SetProfileChooser(std::function<QString()> chooser) {
    chooseProfile = std::move(chooser);
}

void MainWindow::ChoosePhoneToPlug() {
    QString profile = chooseProfile
                          ? chooseProfile()
                          : QFileDialog::getOpenFileName(this, tr("Plug In Phone"), QString(),
                                                         tr("Phone profiles (*.json)"));
    if (!profile.isEmpty()) {
        PlugPhone(profile);
    }
}

bool MainWindow::PlugPhone(const QString& profile) {
    try {
        auto phone = orxhost::AttachPhone(profile.toStdString());
        QCoreApplication::postEvent(
            this, new DevicePostEvent(Messages().deviceArrival, phone->DeviceId()));
        return true;
    } catch (const std::exception& error) {
        Say(tr("Cannot plug in %1: %2").arg(profile, QString::fromUtf8(error.what())));
        return false;
    }
}

void MainWindow::UnplugPhone(uint16_t deviceId) {
    orxhost::DetachPhone(deviceId);
    QCoreApplication::postEvent(this, new DevicePostEvent(Messages().deviceRemoval, deviceId));
}

int MainWindow::OpenModule() {
    ListDevices();
    int result = session.OpenDialog(container, container->rect());
    if (result != 0) {
        QString why = tr("The module did not open its dialog: it answered %1.").arg(result);
        Say(why);
        // The window stays usable: the phones, the menus and the log still work.
        auto* placeholder = new QLabel(why, container);
        placeholder->setObjectName(QStringLiteral("dialogMissing"));
        placeholder->setMargin(12);
        placeholder->show();
        return result;
    }
    FitDialog();
    statusBar()->showMessage(tr("Module open"));
    return 0;
}

// The dialog keeps its natural size as the least the container offers; the
// scroll area shows the rest when the window is smaller.
void MainWindow::FitDialog() {
    const QList<QWidget*> children = container->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    if (children.isEmpty()) {
        return;
    }
    QWidget* dialog = children.first();
    QSize natural = dialog->sizeHint();
    QRect used = dialog->childrenRect();
    if (!used.isEmpty()) {
        natural = natural.expandedTo(QSize(used.right() + 8, used.bottom() + 8));
    }
    if (!natural.isValid()) {
        natural = dialog->size();
    }
    container->setMinimumSize(natural);
    dialog->show();
    // The dialog's whole height when the window has room, the rest for the
    // phones; once the window's layout has settled.
    int wanted = natural.height() + 2 * dialogArea->frameWidth();
    QTimer::singleShot(0, this, [this, wanted] {
        int total = split->height() - split->handleWidth();
        if (total > wanted + 160) {
            split->setSizes({wanted, total - wanted});
        }
    });
    session.Resize(container->rect());
}

bool MainWindow::CloseModule() {
    int result = session.Close();
    if (result == 16) {
        Say(tr("A flash is running (UTCClose answered 16): the window stays open."));
        return false;
    }
    return true;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (CloseModule()) {
        event->accept();
    } else {
        event->ignore();
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == container && event->type() == QEvent::Resize) {
        session.Resize(container->rect());
    }
    return QMainWindow::eventFilter(watched, event);
}

bool MainWindow::event(QEvent* event) {
    const WindowMessages& messages = Messages();
    QEvent::Type type = event->type();
    if (type == messages.displayStatus || type == messages.displayError ||
        type == messages.displayProgress) {
        ShowDisplay(static_cast<DisplayPostEvent*>(event)->display);
        return true;
    }
    if (type == messages.deviceArrival || type == messages.deviceRemoval ||
        type == messages.refreshDeviceList) {
        ShowDevice(type, static_cast<DevicePostEvent*>(event)->deviceId);
        return true;
    }
    return QMainWindow::event(event);
}

void MainWindow::ShowDisplay(const orxhost::DisplayEvent& display) {
    using Kind = orxhost::DisplayEvent::Kind;
    if (display.kind == Kind::Progress) {
        if (display.perDevice) {
            phones->ShowProgress(display.deviceId, display.progress);
        } else if (auto named = lastPhoneOfThread.find(display.thread);
                   named != lastPhoneOfThread.end()) {
            phones->ShowProgress(named->second, display.progress);
        } else if (display.progress == kBusyStart) {
            hostProgress->setRange(0, 0);
        } else {
            hostProgress->setRange(0, 100);
            if (display.progress != kBusyEnd) {
                hostProgress->setValue(std::clamp(display.progress, 0, 100));
            }
        }
        return;
    }
    bool error = display.kind == Kind::Error;
    QString text = QString::fromStdString(display.text);
    QString rest = text;
    std::optional<uint16_t> phone = TaggedPhone(text, &rest);
    if (display.perDevice) {
        if (phone != display.deviceId) {
            rest = text;  // a tag naming another phone stays in the line
        }
        phone = display.deviceId;
    }
    if (phone) {
        phones->ShowLine(*phone, rest, error);
        if (!display.perDevice) {
            lastPhoneOfThread[display.thread] = *phone;
        }
        Say(QString(error ? "error: " : "") + PhoneTag(*phone) + rest, false);
        return;
    }
    Say(QString(error ? "error: " : "") + text);
}

void MainWindow::ShowDevice(QEvent::Type type, uint16_t deviceId) {
    if (type == Messages().deviceArrival) {
        phones->EnsureRow(deviceId, DescriptorOf(deviceId));
        Say(PhoneTag(deviceId) + tr("plugged in"), false);
    } else if (type == Messages().deviceRemoval) {
        phones->RemovePhone(deviceId);
        lastPhoneOfThread.clear();
        Say(PhoneTag(deviceId) + tr("unplugged"), false);
    } else {
        ListDevices();
    }
}

void MainWindow::ListDevices() {
    for (const orxhost::DeviceEntry& device : orxhost::Devices()) {
        phones->EnsureRow(device.deviceId, DescriptorOf(device.deviceId));
    }
}

void MainWindow::Say(const QString& line, bool inStatusBar) {
    log->appendPlainText(QDateTime::currentDateTime().toString(QStringLiteral("hh:mm:ss.zzz  ")) +
                         line);
    if (inStatusBar) {
        statusBar()->showMessage(line);
    }
}

QWidget* MainWindow::DialogControl(int controlId) const {
    for (QWidget* widget : container->findChildren<QWidget*>()) {
        if (widget->property("controlId").toInt() == controlId) {
            return widget;
        }
    }
    return nullptr;
}

bool MainWindow::DialogShowsFile() const {
    QWidget* name = DialogControl(1001);
    QWidget* platform = DialogControl(5002);
    return name != nullptr && platform != nullptr && !name->property("text").toString().isEmpty() &&
           !platform->property("text").toString().isEmpty();
}
