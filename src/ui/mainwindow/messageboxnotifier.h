#pragma once

#include "storage/notifier.h"

class QWidget;

// Shows errors of window-less code in a message box with the error icon.
// Install it on the user-interface thread; errors raised on other threads go
// to the event log instead, since windows belong to the user-interface thread.
class MessageBoxNotifier : public Notifier {
 public:
  explicit MessageBoxNotifier(QWidget* parent = nullptr) : m_parent(parent) {}
  void ShowError(const QString& caption, const QString& text) override;

 private:
  QWidget* m_parent;
};
