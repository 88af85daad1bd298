#pragma once

#include <QDialog>
#include <QString>

#include "configuration/signaledit.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTableWidget;
class TConsoleController;

// The modal hardware settings dialog ("Подключение аппаратуры"): the serial
// ports, the input and the output signals with their calibration tables. Each
// page's "Применить" hands the texts of its controls to the apply steps of
// signaledit.h, which store into the configuration at once; the dialog shows
// the message they name and has the controller write the configuration file
// where they ask for it. "Продолжить" and "Отеменить" only close it.
//
// Shown with exec(); each showing fills the pages afresh from the
// configuration. Owns its children. The controller must outlive the dialog.
// User-interface thread only.
class TFormSetupHard : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 560;
  static constexpr int kClientHeight = 430;

  explicit TFormSetupHard(TConsoleController& controller, QWidget* parent = nullptr);

  // Component names and captions of a signal page (defined with the pages).
  struct SignalPageNames;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // The controls of the input or the output page; the output page has no averaging.
  struct SignalPage {
    bool Input = true;
    QWidget* Sheet = nullptr;
    QRadioButton* Section1 = nullptr;
    QRadioButton* Section2 = nullptr;
    QLineEdit* DeviceNumber = nullptr;
    QComboBox* SignalName = nullptr;
    QComboBox* Chanel = nullptr;
    QComboBox* AverageSize = nullptr;
    QTableWidget* Grid = nullptr;
    QPushButton* Apply = nullptr;
  };
  QWidget* BuildLinkPage();
  QWidget* BuildSignalPage(SignalPage& page, const SignalPageNames& names);

  void FillLinkPage();
  // The section's module address and signals, then the first signal.
  void FillSignalPage(SignalPage& page);
  // Channel, averaging and table of the chosen signal.
  void FillSignal(SignalPage& page);

  void ButApplyLinkClick();
  void AddRecordClick(SignalPage& page);
  void DelRecordClick(SignalPage& page);
  void SaveCalibrClick(SignalPage& page);

  int Section(const SignalPage& page) const;
  // The message box of an apply that stopped, then the file where asked for.
  void Finish(const HardApplyResult& result);
  void ShowError(const QString& title, const QString& text);

  TConsoleController& m_controller;
  QTabWidget* m_pages = nullptr;
  QComboBox* m_portCsb = nullptr;
  QComboBox* m_speedCsb = nullptr;
  QComboBox* m_portWrite = nullptr;
  QComboBox* m_speedWrite = nullptr;
  QComboBox* m_portRead = nullptr;
  QComboBox* m_speedRead = nullptr;
  SignalPage m_adc;
  SignalPage m_dac;
};
