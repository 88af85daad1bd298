#pragma once

#include <QDialog>
#include <array>

class QCheckBox;
class QLineEdit;
class TConsoleController;

// The small modeless window that switches module emulation on and off at run
// time and sets the answer text each emulated input module gives. Each show
// loads what is in force; "Применить" puts the window's choice into force
// (the answers and flags reach the configuration, saved with it at exit);
// "Закрыть" and Esc only hide it. Stays on top of the other windows.
//
// Created once and reused. Owns its children; "controller" must outlive the
// window. User-interface thread only.
class TFormEmul : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 380;
  static constexpr int kClientHeight = 200;

  explicit TFormEmul(TConsoleController& controller, QWidget* parent = nullptr);

  void ButApplyClick();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormShow();

  TConsoleController& m_controller;
  QCheckBox* m_emulFlag = nullptr;
  std::array<QLineEdit*, 2> m_answers{};  // modules 1 and 2
};
