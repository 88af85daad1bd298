#include "ui/mainwindow/warningwindows.h"

TWarningWindows::TWarningWindows(QWidget* owner) : m_owner(owner), m_shared(new TShowErrorForm(owner)) {}

void TWarningWindows::ShowShared(const QString& text, TDateTime moment, uint32_t flags) {
  m_shared->ShowError(text, moment, flags);
}

void TWarningWindows::ShowSeparate(const QString& text, TDateTime moment, uint32_t flags) {
  (new TShowErrorForm(m_owner))->ShowError(text, moment, flags);
}
