#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <functional>

// The database readers' hand-over: the database thread puts its results
// under the reader's mutex and then asks the user-interface thread to
// collect them. At most one such wake-up waits at a time ("posted", guarded
// by the same mutex, is cleared by the collector); the data itself goes
// through the mutex, the event only says "look". Called with the mutex held.
inline void PostWakeOnce(bool& posted, const std::function<void()>& collect) {
  if (posted) return;
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) return;
  posted = true;
  QMetaObject::invokeMethod(app, collect, Qt::QueuedConnection);
}
