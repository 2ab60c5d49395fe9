// The window's table of phones: one row per device number with its descriptor,
// latest status or error line and a progress bar.
#pragma once

#include <QString>
#include <QTableWidget>
#include <cstdint>
#include <optional>

class QProgressBar;

// Progress values that mark the start and end of a long device operation
// rather than a percentage.
inline constexpr int kBusyStart = 1000;
inline constexpr int kBusyEnd = 1100;

// The device number of a "Phone[NNNN]: " tag at the start of text, and the
// text after it.
std::optional<uint16_t> TaggedPhone(const QString& text, QString* rest = nullptr);
QString PhoneTag(uint16_t deviceId);

class PhoneTable : public QTableWidget {
    Q_OBJECT
  public:
    explicit PhoneTable(QWidget* parent = nullptr);

    // The phone's row, added when missing; descriptor set when given.
    int EnsureRow(uint16_t deviceId, const QString& descriptor = QString());
    void RemovePhone(uint16_t deviceId);
    void ShowLine(uint16_t deviceId, const QString& text, bool error);
    // A percentage, or one of the busy markers.
    void ShowProgress(uint16_t deviceId, int progress);

    // For tests and the status bar: -1 / empty when the phone has no row.
    int RowOf(uint16_t deviceId) const;
    QList<uint16_t> DeviceIds() const;
    QString LineOf(uint16_t deviceId) const;
    int PercentOf(uint16_t deviceId) const;
    bool BusyOf(uint16_t deviceId) const;

  private:
    QProgressBar* BarOf(int row) const;
};
