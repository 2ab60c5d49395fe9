// The dialog and its engine as the entry points hold them, from UTCOpen in
// dialog mode to UTCClose. All calls come on the host's (GUI) thread.
#pragma once

#include "ORX_FP_FlashDialog.h"

// Makes the dialog and its engine, shows the window and starts the worker,
// writing its handle to threadHandle. 0, 15 when the two could not be made or
// there is no host instance (the objects then stay until UTCClose), 16 when a
// dialog is open already.
int OpenDialogSession(const DialogPlacement& placement, void** threadHandle);
// Hands the new rectangle to the engine's worker. 0.
int ResizeDialogSession(int left, int top, int right, int bottom);
// Keeps the file-name box as the last superfile, stops the worker and
// destroys dialog and engine. 16 (nothing changed) while a flash job runs.
int CloseDialogSession();
