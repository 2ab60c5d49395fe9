#include "GuiOptions.h"

#include <QCommandLineParser>

OptionsResult ParseGuiOptions(const QStringList& arguments, GuiOptions& options, QString& text) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("The ORX host window: the flashing module's dialog, the phones and a log."));
    parser.addPositionalArgument(QStringLiteral("SUPERFILE"),
                                 QStringLiteral("Superfile the dialog starts on (optional)."),
                                 QStringLiteral("[SUPERFILE]"));
    QCommandLineOption sim(QStringLiteral("sim"),
                           QStringLiteral("Attach a simulated phone from a profile (repeatable)."),
                           QStringLiteral("PROFILE"));
    QCommandLineOption module(QStringLiteral("module"),
                              QStringLiteral("The module to load (default: ORX_FP_Flash.so "
                                             "beside the program)."),
                              QStringLiteral("PATH"));
    QCommandLineOption sample(QStringLiteral("sample"),
                              QStringLiteral("Build the sample superfile into a new temporary "
                                             "folder and start on it."));
    QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                  QStringLiteral("Save the window as a PNG once it has started "
                                                 "and shows the superfile, then quit."),
                                  QStringLiteral("FILE"));
    parser.addOptions({sim, module, sample, screenshot});
    QCommandLineOption help = parser.addHelpOption();
    if (!parser.parse(arguments)) {
        text = parser.errorText();
        return OptionsResult::Error;
    }
    if (parser.isSet(help)) {
        text = parser.helpText();
        return OptionsResult::Exit;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1) {
        text = QStringLiteral("one superfile at most");
        return OptionsResult::Error;
    }
    options.sample = parser.isSet(sample);
    if (!positional.isEmpty()) {
        if (options.sample) {
            text = QStringLiteral("a superfile or --sample, not both");
            return OptionsResult::Error;
        }
        options.superfile = positional.first();
    }
    options.sims = parser.values(sim);
    options.module = parser.value(module);
    options.screenshot = parser.value(screenshot);
    return OptionsResult::Run;
}
