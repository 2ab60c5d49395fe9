// The flash dialog as the entry points see it. The module's code knows no
// widget toolkit: the plug-in that carries the windowed dialog installs a
// factory for it at load, and without one the dialog cannot be made.
#pragma once

#include <functional>
#include <memory>

#include "FlashView.h"

class CFlashThread;

// Where UTCOpen places the dialog: the host's window (a QWidget* for the
// windowed dialog) and the rectangle in its client coordinates.
struct DialogPlacement {
    void* parent = nullptr;
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

class IFlashDialog : public IFlashView {
  public:
    // The dialog's engine and the host's instance, given before the window
    // is made. The engine outlives every call the dialog makes on it.
    virtual void Attach(CFlashThread* engine, void* hostInstance) = 0;
    // Makes the window as a child of the placement's parent, moves it to the
    // rectangle and shows it; runs the start-up steps. 0 when the window
    // cannot be made.
    virtual int CreateAndShow() = 0;
    // Set by the engine while a flash job runs.
    virtual bool Flashing() const = 0;
    // Called on the GUI thread before the engine's worker is stopped: a call
    // of the worker waiting for the GUI thread is answered at once, and later
    // ones return at once without touching the window, so the worker can end.
    virtual void ReleaseWorker() = 0;
    // Hides and destroys the window (GUI thread). The object stays until the
    // engine that may still call it has ended.
    virtual void Destroy() = 0;
};

using DialogFactory = std::function<std::unique_ptr<IFlashDialog>(const DialogPlacement&)>;

// Installs the factory UTCOpen uses in dialog mode (empty: no dialog can be
// made). Returns the previous one.
DialogFactory SetDialogFactory(DialogFactory factory);
// A new dialog, or null when no factory is installed or it made none.
std::unique_ptr<IFlashDialog> MakeFlashDialog(const DialogPlacement& placement);
