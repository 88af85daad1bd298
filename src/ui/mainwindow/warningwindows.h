#pragma once

#include <QPointer>
#include <QWidget>

#include "storage/eventlog.h"
#include "ui/mainwindow/showerrorform.h"

// The warning windows of the event-log drain: one shared window and windows
// of their own for messages that ask for one. Owned by the main window; the
// windows are children of "owner". User-interface thread only.
class TWarningWindows : public WarningWindowSink {
 public:
  explicit TWarningWindows(QWidget* owner);
  void ShowShared(const QString& text, TDateTime moment, uint32_t flags) override;
  void ShowSeparate(const QString& text, TDateTime moment, uint32_t flags) override;

 private:
  QWidget* m_owner;
  QPointer<TShowErrorForm> m_shared;
};
