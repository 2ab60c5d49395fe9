// The dialog's window: made from template 130 with every rectangle turned from
// dialog units into pixels, its life as a child of the host's window, and the
// message boxes it shows while it exists.
#include "ORX_FP_FlashDlg.h"

#include <QFontMetrics>
#include <QLinearGradient>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QVariant>

#include "ORX_FP_FlashDlg_GuiCalls.h"
#include "ui_CFlashDlg.h"

namespace {

// Dialog units to pixels, rounded as the window system rounds them.
int Scale(int units, int base, int divisor) {
    return (units * base + divisor / 2) / divisor;
}

QMessageBox::Icon IconOf(platform::BoxIcon icon) {
    switch (icon) {
        case platform::BoxIcon::Stop:
            return QMessageBox::Critical;
        case platform::BoxIcon::Question:
            return QMessageBox::Question;
        case platform::BoxIcon::Information:
            return QMessageBox::Information;
        case platform::BoxIcon::Warning:
            return QMessageBox::Warning;
        case platform::BoxIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

// The buttons of a box, its first one the default as the window system has it.
std::vector<QMessageBox::StandardButton> ButtonsOf(platform::BoxButtons buttons) {
    switch (buttons) {
        case platform::BoxButtons::OkCancel:
            return {QMessageBox::Ok, QMessageBox::Cancel};
        case platform::BoxButtons::YesNo:
            return {QMessageBox::Yes, QMessageBox::No};
        case platform::BoxButtons::RetryCancel:
            return {QMessageBox::Retry, QMessageBox::Cancel};
        case platform::BoxButtons::Ok:
            break;
    }
    return {QMessageBox::Ok};
}

std::optional<platform::BoxAnswer> AnswerOf(int button) {
    switch (button) {
        case QMessageBox::Ok:
            return platform::BoxAnswer::Ok;
        case QMessageBox::Cancel:
            return platform::BoxAnswer::Cancel;
        case QMessageBox::Yes:
            return platform::BoxAnswer::Yes;
        case QMessageBox::No:
            return platform::BoxAnswer::No;
        case QMessageBox::Retry:
            return platform::BoxAnswer::Retry;
        default:
            return std::nullopt;
    }
}

}  // namespace

CFlashDlg::CFlashDlg(const DialogPlacement& placement)
    : QDialog(static_cast<QWidget*>(placement.parent)),
      ui(std::make_unique<Ui::CFlashDlg>()),
      placement(placement) {
    // A child control of the host's window, not a window of its own.
    if (parentWidget() != nullptr) {
        setWindowFlags(Qt::Widget);
    }
    ui->setupUi(this);
    for (QWidget* child : findChildren<QWidget*>()) {
        QVariant id = child->property("controlId");
        if (id.isValid()) {
            controls[id.toInt()] = child;
        }
    }
    ConvertLayout();
    PaintBanner();
    calls = std::make_shared<GuiThreadCalls>(this);
    ConnectHandlers();
    InstallBoxHandler();
}

CFlashDlg::~CFlashDlg() {
    // Callers holding the box handler are answered from now on.
    calls->Release();
    platform::SetMessageBoxHandler(std::move(previousBoxes));
    registry.CloseKey();
}

// The .ui holds dialog units; a unit is a quarter of the font's average
// character width and an eighth of its height, so the layout keeps its
// proportions at any font size.
void CFlashDlg::ConvertLayout() {
    QFontMetrics metrics(font());
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    baseX = (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2;
    baseY = metrics.height();
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        QRect units = child->geometry();
        child->setGeometry(Scale(units.x(), baseX, 4), Scale(units.y(), baseY, 8),
                           Scale(units.width(), baseX, 4), Scale(units.height(), baseY, 8));
    }
    resize(Scale(width(), baseX, 4), Scale(height(), baseY, 8));
}

// The banner: a band drawn here, no picture file needed.
void CFlashDlg::PaintBanner() {
    QLabel* banner = ui->banner;
    QSize size = banner->size();
    if (size.isEmpty()) {
        return;
    }
    QPixmap band(size);
    band.fill(Qt::transparent);
    QPainter painter(&band);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient shade(0, 0, size.width(), 0);
    shade.setColorAt(0.0, QColor(0x12, 0x2b, 0x4a));
    shade.setColorAt(1.0, QColor(0x2f, 0x6f, 0x9f));
    painter.setBrush(shade);
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(band.rect()).adjusted(1, 1, -1, -1), 6, 6);
    QFont title = font();
    title.setBold(true);
    title.setPixelSize(std::max(8, size.height() * 2 / 5));
    painter.setFont(title);
    painter.setPen(Qt::white);
    painter.drawText(band.rect(), Qt::AlignCenter, QStringLiteral("Kestrova  ORX  Flash"));
    painter.end();
    banner->setPixmap(band);
}

void CFlashDlg::Attach(CFlashThread* engine, void* instance) {
    flashThread = engine;
    hostInstance = instance;
}

int CFlashDlg::CreateAndShow() {
    DataExchange();
    setGeometry(placement.left, placement.top, placement.right - placement.left,
                placement.bottom - placement.top);
    repaint();
    show();
    return 1;
}

void CFlashDlg::ReleaseWorker() {
    calls->Release();
    // A box shown for the worker goes; its answer is no longer awaited.
    std::vector<QPointer<QMessageBox>> open;
    open.swap(workerBoxes);
    for (const QPointer<QMessageBox>& box : open) {
        if (box) {
            box->done(QMessageBox::Cancel);
        }
    }
}

void CFlashDlg::Destroy() {
    ReleaseWorker();
    hide();
    // The owner deletes the object; the host's window must not do it as well.
    setParent(nullptr);
}

QWidget* CFlashDlg::Control(int id) const {
    auto found = controls.find(id);
    return found == controls.end() ? nullptr : found->second;
}

void CFlashDlg::InstallBoxHandler() {
    previousBoxes = platform::SetMessageBoxHandler(
        [calls = calls, self = this](const platform::BoxRequest& request) {
            bool forWorker = !calls->OnGuiThread();
            return calls->Call<platform::BoxAnswer>(
                [self, request, forWorker] { return self->ShowBoxHere(request, forWorker); },
                platform::DefaultAnswer(request.buttons));
        });
}

platform::BoxAnswer CFlashDlg::ShowBoxHere(const platform::BoxRequest& request, bool forWorker) {
    // On the heap: the box goes with the dialog if the dialog is deleted
    // while the box waits for its answer.
    QPointer<QMessageBox> box =
        new QMessageBox(IconOf(request.icon), QString::fromStdString(request.caption),
                        QString::fromStdString(request.text), QMessageBox::NoButton, this);
    std::vector<QMessageBox::StandardButton> buttons = ButtonsOf(request.buttons);
    for (QMessageBox::StandardButton button : buttons) {
        box->addButton(button);
    }
    box->setDefaultButton(buttons.front());
    box->setWindowModality(request.systemModal ? Qt::ApplicationModal : Qt::WindowModal);
    if (forWorker) {
        std::erase_if(workerBoxes, [](const QPointer<QMessageBox>& gone) { return gone.isNull(); });
        workerBoxes.push_back(box);
    }
    const platform::BoxAnswer fallback = platform::DefaultAnswer(request.buttons);
    int pressed = box->exec();
    if (!box) {
        return fallback;
    }
    delete box.data();
    return AnswerOf(pressed).value_or(fallback);
}
