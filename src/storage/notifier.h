#pragma once

#include <QString>

// How code without a window tells the operator about an error that the
// windowed console shows in a message box (for example a refused moving
// average size). The windowed console installs a message-box notifier on its
// user-interface thread; by default the message goes to the event log.
class Notifier {
 public:
  virtual ~Notifier() = default;
  virtual void ShowError(const QString& caption, const QString& text) = 0;
};

// The notifier that writes "caption: text" to the event log.
Notifier& EventLogNotifier();

// Installs a notifier (nullptr restores the event-log one). The notifier must
// outlive its installation. Install before any worker thread starts.
void SetNotifier(Notifier* notifier);
Notifier& CurrentNotifier();
