#pragma once

#include <QDialog>

// The modal About window. User-interface thread only.
class TFormAbout : public QDialog {
  Q_OBJECT

 public:
  explicit TFormAbout(QWidget* parent = nullptr);
};
