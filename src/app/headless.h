#pragma once

#include <QString>

// Runs the console core without any window until SIGINT or SIGTERM: loads
// the configuration and the last setpoints from "appDir", drains the event log
// every 500 ms into appDir/LOG, and on the signal saves both and returns 0
// (1 when the save failed; the reason is in the event log).
// Needs a QCoreApplication; call from the main thread.
int RunHeadless(const QString& appDir);
