// orxflash-gui: the host window. Loads the module like any host, attaches the
// simulated phones asked for, presets the dialog's superfile and opens the
// module's dialog inside the window.
#include <stdlib.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "FlashModule.h"
#include "GuiOptions.h"
#include "LastFile.h"
#include "MainWindow.h"
#include "SampleSuperfile.h"
#include "Screenshot.h"

namespace {

// A new folder for the sample, kept afterwards; the module's error logs go
// there too, as the program runs inside it.
bool BuildSample(QString& superfile) {
    QByteArray pattern = QDir::temp().filePath(QStringLiteral("orxflash-gui-XXXXXX")).toLocal8Bit();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::fprintf(stderr, "orxflash-gui: cannot make a folder for the sample\n");
        return false;
    }
    try {
        superfile = QString::fromStdString(BuildSampleSuperfile(pattern.toStdString()));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "orxflash-gui: cannot build the sample: %s\n", error.what());
        return false;
    }
    QDir::setCurrent(QString::fromLocal8Bit(pattern));
    std::printf("orxflash-gui: the sample superfile is %s\n", qPrintable(superfile));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    GuiOptions options;
    QString text;
    switch (ParseGuiOptions(QApplication::arguments(), options, text)) {
        case OptionsResult::Exit:
            std::printf("%s", qPrintable(text));
            return 0;
        case OptionsResult::Error:
            std::fprintf(stderr, "orxflash-gui: %s\n", qPrintable(text));
            return 2;
        case OptionsResult::Run:
            break;
    }
    // Paths as given, before --sample moves into its folder.
    for (QString& profile : options.sims) {
        profile = QFileInfo(profile).absoluteFilePath();
    }
    if (!options.screenshot.isEmpty()) {
        options.screenshot = QFileInfo(options.screenshot).absoluteFilePath();
    }
    if (!options.superfile.isEmpty()) {
        options.superfile = QFileInfo(options.superfile).absoluteFilePath();
    }
    FlashModule module;
    std::string error;
    std::string path =
        options.module.isEmpty() ? FlashModule::DefaultPath() : options.module.toStdString();
    if (!module.Load(path, error)) {
        std::fprintf(stderr, "orxflash-gui: %s\n", error.c_str());
        return 1;
    }
    QString superfile = options.superfile;
    if (options.sample && !BuildSample(superfile)) {
        return 1;
    }
    if (!superfile.isEmpty() && !PresetLastFile(superfile)) {
        std::fprintf(stderr, "orxflash-gui: cannot preset the dialog's superfile\n");
    }

    MainWindow window(module);
    for (const QString& profile : options.sims) {
        if (!window.PlugPhone(profile)) {
            std::fprintf(stderr, "orxflash-gui: cannot attach %s\n", qPrintable(profile));
            return 2;
        }
    }
    window.resize(1100, 820);
    window.show();
    window.OpenModule();
    if (!options.screenshot.isEmpty()) {
        ScreenshotWhenReady(window, options.screenshot);
    }
    int status = application.exec();
    if (!window.CloseModule()) {
        // Ended from outside while a flash runs: the module's worker still uses
        // the dialog and the module, so neither may be destroyed under it.
        std::fprintf(stderr, "orxflash-gui: a flash was running; ended without closing it\n");
        std::fflush(nullptr);
        std::_Exit(status == 0 ? 1 : status);
    }
    return status;
}
