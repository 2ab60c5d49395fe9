#include "Screenshot.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "MainWindow.h"
#include "PhoneTable.h"

namespace {

constexpr int kCheckMs = 100;
constexpr int kPollRunMs = 700;  // the dialog polls the phones every 500 ms
constexpr int kLongestWaitMs = 3000;

// The file's fields are filled and every listed phone's information shown, or
// there is no dialog to wait for.
bool Ready(const MainWindow& window) {
    if (window.DialogControl(1001) == nullptr) {
        return true;
    }
    if (!window.DialogShowsFile()) {
        return false;
    }
    QWidget* platform = window.DialogControl(5003);
    return window.Phones()->rowCount() == 0 ||
           (platform != nullptr && !platform->property("text").toString().isEmpty());
}

}  // namespace

bool SaveWindow(MainWindow& window, const QString& file) {
    return window.grab().save(file, "PNG");
}

void ScreenshotWhenReady(MainWindow& window, const QString& file) {
    auto* timer = new QTimer(&window);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, &window, [&window, timer, clock, file] {
        qint64 elapsed = clock->elapsed();
        if (elapsed < kPollRunMs || (elapsed < kLongestWaitMs && !Ready(window))) {
            return;
        }
        timer->stop();
        bool saved = SaveWindow(window, file);
        if (!saved) {
            std::fprintf(stderr, "orxflash-gui: cannot write %s\n", qPrintable(file));
        }
        QCoreApplication::exit(saved ? 0 : 1);
    });
    timer->start(kCheckMs);
}
