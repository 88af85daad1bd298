#include "ui/mainwindow/showerrorform.h"

TShowErrorForm::TShowErrorForm(QWidget* owner) : QDialog(owner) {
  setObjectName(QStringLiteral("ShowErrorForm"));
}

void TShowErrorForm::ShowError(const QString&, TDateTime, uint32_t) {
  show();
}
