#include "PhoneTable.h"

#include <QHeaderView>
#include <QProgressBar>
#include <QRegularExpression>
#include <algorithm>

namespace {

enum Column { kPhone, kDescriptor, kLine, kProgress, kColumns };

}  // namespace

std::optional<uint16_t> TaggedPhone(const QString& text, QString* rest) {
    static const QRegularExpression tag(QStringLiteral("^Phone\\[(\\d{1,5})\\]: "));
    QRegularExpressionMatch match = tag.match(text);
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    uint number = match.captured(1).toUInt();
    if (number > 0xFFFF) {
        return std::nullopt;
    }
    if (rest != nullptr) {
        *rest = text.mid(match.capturedLength());
    }
    return static_cast<uint16_t>(number);
}

QString PhoneTag(uint16_t deviceId) {
    return QStringLiteral("Phone[%1]: ").arg(deviceId, 4, 10, QLatin1Char('0'));
}

PhoneTable::PhoneTable(QWidget* parent) : QTableWidget(0, kColumns, parent) {
    setHorizontalHeaderLabels({tr("Phone"), tr("Descriptor"), tr("Status"), tr("Progress")});
    horizontalHeader()->setSectionResizeMode(kDescriptor, QHeaderView::ResizeToContents);
    horizontalHeader()->setSectionResizeMode(kLine, QHeaderView::Stretch);
    horizontalHeader()->setSectionResizeMode(kProgress, QHeaderView::Fixed);
    setColumnWidth(kProgress, 140);
    verticalHeader()->hide();
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::NoSelection);
    setSortingEnabled(false);
}

int PhoneTable::RowOf(uint16_t deviceId) const {
    for (int row = 0; row < rowCount(); ++row) {
        if (item(row, kPhone)->data(Qt::UserRole).toUInt() == deviceId) {
            return row;
        }
    }
    return -1;
}

QList<uint16_t> PhoneTable::DeviceIds() const {
    QList<uint16_t> ids;
    for (int row = 0; row < rowCount(); ++row) {
        ids.append(static_cast<uint16_t>(item(row, kPhone)->data(Qt::UserRole).toUInt()));
    }
    return ids;
}

int PhoneTable::EnsureRow(uint16_t deviceId, const QString& descriptor) {
    int row = RowOf(deviceId);
    if (row < 0) {
        // Rows stay ordered by device number.
        row = 0;
        while (row < rowCount() && item(row, kPhone)->data(Qt::UserRole).toUInt() < deviceId) {
            ++row;
        }
        insertRow(row);
        auto* phone = new QTableWidgetItem(QString::number(deviceId));
        phone->setData(Qt::UserRole, static_cast<uint>(deviceId));
        setItem(row, kPhone, phone);
        setItem(row, kDescriptor, new QTableWidgetItem);
        setItem(row, kLine, new QTableWidgetItem);
        auto* bar = new QProgressBar;
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setProperty("percent", 0);
        setCellWidget(row, kProgress, bar);
    }
    if (!descriptor.isEmpty()) {
        item(row, kDescriptor)->setText(descriptor);
    }
    return row;
}

void PhoneTable::RemovePhone(uint16_t deviceId) {
    if (int row = RowOf(deviceId); row >= 0) {
        removeRow(row);
    }
}

void PhoneTable::ShowLine(uint16_t deviceId, const QString& text, bool error) {
    int row = EnsureRow(deviceId);
    QTableWidgetItem* line = item(row, kLine);
    line->setText(QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')));  // one line a row
    line->setToolTip(text);
    line->setForeground(error ? QBrush(Qt::red) : QBrush());
}

void PhoneTable::ShowProgress(uint16_t deviceId, int progress) {
    QProgressBar* bar = BarOf(EnsureRow(deviceId));
    // A busy range drops the bar's value; the last percentage is kept aside.
    if (progress == kBusyStart) {
        bar->setRange(0, 0);  // moving bar while the phone works
        return;
    }
    if (progress != kBusyEnd) {
        bar->setProperty("percent", std::clamp(progress, 0, 100));
    }
    bar->setRange(0, 100);
    bar->setValue(bar->property("percent").toInt());
}

QProgressBar* PhoneTable::BarOf(int row) const {
    return static_cast<QProgressBar*>(cellWidget(row, kProgress));
}

QString PhoneTable::LineOf(uint16_t deviceId) const {
    int row = RowOf(deviceId);
    return row < 0 ? QString() : item(row, kLine)->text();
}

int PhoneTable::PercentOf(uint16_t deviceId) const {
    int row = RowOf(deviceId);
    return row < 0 ? -1 : BarOf(row)->property("percent").toInt();
}

bool PhoneTable::BusyOf(uint16_t deviceId) const {
    int row = RowOf(deviceId);
    return row >= 0 && BarOf(row)->maximum() == 0;
}
