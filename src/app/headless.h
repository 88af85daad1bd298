#pragma once

#include <QString>

// Runs the console core without any window until SIGINT or SIGTERM: loads
// the configuration and the last setpoints from "appDir", starts the worker
// threads on the first tick when the configuration says so, drains the event
// log every 500 ms into appDir/LOG, and on the signal stops the workers, saves
// and returns 0 (1 when the save failed; the reason is in the event log).
// "emulate" switches module emulation on from the start.
// Needs a QCoreApplication; call from the main thread.
int RunHeadless(const QString& appDir, bool emulate = false);
