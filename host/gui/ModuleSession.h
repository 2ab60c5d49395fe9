// The module as the window uses it: loaded like any host loads it, opened with
// its dialog inside a container widget, resized with it and closed on quit.
#pragma once

#include <QRect>
#include <QString>

#include "FlashModule.h"

class QWidget;

class ModuleSession {
  public:
    explicit ModuleSession(FlashModule& module) : module(module) {}

    // UTCInit with the host library's instance, then UTCOpen in mode 1 with the
    // container as parent. Returns the first non-zero result, or 0.
    int OpenDialog(QWidget* container, const QRect& rect);
    void Resize(const QRect& rect);
    // UTCClose once; 16 (a flash runs) leaves the module open for a later try.
    int Close();

    bool IsOpen() const { return initialised && !closed; }
    // The dialog worker's thread handle as UTCOpen wrote it (null without one).
    void* DialogThread() const { return dialogThread; }
    FlashModule& Module() { return module; }

  private:
    FlashModule& module;
    bool initialised = false;
    bool closed = false;
    void* dialogThread = nullptr;
};
