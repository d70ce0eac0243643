// Where the program's dialogs appear: centred over the main window the first time, and where
// the user left them on every later show.
#pragma once

#include <QFont>

class QWidget;

// Call from the dialog's showEvent. The first call centres the dialog over the main window (or
// the screen when there is none) and sets *placed; later calls leave it where it is.
void PlaceDialogOnFirstShow(QWidget* dialog, bool* placed);

// The program's font: the system's sans-serif at 11 pixels.
QFont KvcFont(bool bold = false);
