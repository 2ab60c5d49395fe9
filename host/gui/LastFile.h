// The dialog's last superfile as the module's per-user store keeps it, written
// before the dialog opens so that it starts on that file.
#pragma once

#include <QString>

// Returns false when the store could not be written.
bool PresetLastFile(const QString& superfile);
