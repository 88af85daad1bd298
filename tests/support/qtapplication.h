#pragma once

#include <QCoreApplication>

// A serial port's notifiers want an event dispatcher on the thread that opens
// it, as the worker QThreads have; a test thread gets one from the application.
inline void EnsureQtApplication() {
  if (QCoreApplication::instance() != nullptr) return;
  static int argc = 1;
  static char name[] = "flotation_test";
  static char* argv[] = {name, nullptr};
  new QCoreApplication(argc, argv);  // lives until the process ends
}
