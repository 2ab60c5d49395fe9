// The command line of orxflash-gui.
#pragma once

#include <QString>
#include <QStringList>

struct GuiOptions {
    QString superfile;    // preset as the dialog's last file
    QStringList sims;     // phone profiles attached at start
    QString module;       // empty: ORX_FP_Flash.so beside the program
    bool sample = false;  // build the sample superfile and start on it
    QString screenshot;   // save the window there once started, then quit
};

enum class OptionsResult { Run, Exit, Error };

// Parses the arguments (the program's name first). Exit when help or the
// version was asked for (text holds it); Error with the reason in text.
OptionsResult ParseGuiOptions(const QStringList& arguments, GuiOptions& options, QString& text);
