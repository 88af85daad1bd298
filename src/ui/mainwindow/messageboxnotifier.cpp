#include "ui/mainwindow/messageboxnotifier.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

void MessageBoxNotifier::ShowError(const QString& caption, const QString& text) {
  if (QThread::currentThread() != qApp->thread()) {
    EventLogNotifier().ShowError(caption, text);
    return;
  }
  QMessageBox::critical(m_parent, caption, text);
}
