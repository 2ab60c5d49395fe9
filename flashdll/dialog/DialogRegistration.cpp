// The plug-in's dialog: installed at load, made only where a QApplication
// runs and only on its thread, so the module loads and runs headless where no
// display exists.
#include <QApplication>
#include <QThread>

#include "ORX_FP_FlashDlg.h"

void InstallFlashDialogFactory() {
    SetDialogFactory([](const DialogPlacement& placement) -> std::unique_ptr<IFlashDialog> {
        auto* application = qobject_cast<QApplication*>(QCoreApplication::instance());
        if (application == nullptr || QThread::currentThread() != application->thread()) {
            return nullptr;
        }
        return std::make_unique<CFlashDlg>(placement);
    });
}

namespace {

struct Registration {
    Registration() { InstallFlashDialogFactory(); }
} registration;

}  // namespace
