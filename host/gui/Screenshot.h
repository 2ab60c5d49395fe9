// --screenshot: the window saved as a PNG once it has started and shows the
// superfile's information, then the program quits.
#pragma once

#include <QString>

class MainWindow;

// Watches the window and, when ready, saves it and ends the event loop with 0,
// or 1 when the file could not be written.
void ScreenshotWhenReady(MainWindow& window, const QString& file);

// Saves the whole window as a PNG; false when it could not be written.
bool SaveWindow(MainWindow& window, const QString& file);
