#pragma once

#include <QDialog>
#include <cstdint>

#include "common/tdatetime.h"

// A stay-on-top warning window that shows one event-log message.
class TShowErrorForm : public QDialog {
  Q_OBJECT

 public:
  explicit TShowErrorForm(QWidget* owner = nullptr);
  void ShowError(const QString& text, TDateTime moment, uint32_t flags);
};
