#pragma once

#include <QString>

// Runs the windowed console until its main window closes: Russian texts for
// Qt's own dialogs, the single-instance check, the console controller and
// TFormMain over it, maximized (or given the whole screen where no window
// manager runs). SIGINT and SIGTERM close the main window as its close
// button does. Returns the exit status: 0, or 1 when the save failed.
// Creates the QApplication itself; call from main() with its arguments.
int RunWindowed(int& argc, char** argv, const QString& homeDir, bool emulate);
