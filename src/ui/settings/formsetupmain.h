#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "configuration/setting.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTimer;
class TConsoleController;

// The general settings dialog "Общие настройки": the database connection,
// the system switches with the shift start, and the calculation constants,
// one page each with its own apply button. It reads the configuration when
// it is built and writes it back through the controller's core; the shift
// start is process-wide and lives for the run only.
//
// Modal (exec()). Owns its children. "controller" must outlive the dialog.
// User-interface thread only; the connection test runs on the database
// thread and hands its outcome back through a guarded value that a timer of
// this dialog looks at, so an outcome that arrives after the dialog is gone
// lands in memory that is still alive and is dropped.
class TFormSetupMain : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 560;
  static constexpr int kClientHeight = 520;
  // How often a running connection test is looked at.
  static constexpr int kTestCheckIntervalMs = 20;

  explicit TFormSetupMain(TConsoleController& controller, QWidget* parent = nullptr);
  ~TFormSetupMain() override;

  // True from a click on the test button until its outcome was shown.
  bool ConnectionTestRunning() const { return m_testOutcome != nullptr; }

 protected:
  void done(int result) override;

 private:
  struct ConstantRow {
    QString Key;
    Setting<double>* Field;
  };
  // Written once by the database thread, read by the dialog's timer.
  struct TestOutcome {
    std::mutex Mutex;  // guards Connected
    std::optional<bool> Connected;
  };

  QWidget* CreateMySQLPage();
  QWidget* CreateSystemPage();
  QWidget* CreateConstPage();
  void FillControls();

  void ButApplyMySQLPageClick();
  void ButMySQL_TestClick();
  void CheckConnectionTest();
  void EndConnectionTest();
  void ButDecHourClick();
  void ButIncHoutClick();
  void ButDecDayClick();
  void ButIncDayClick();
  void ShowShiftStart();
  void ButApplySystemPageClick();
  void ButApplyConstPageClick();

  TConsoleController& m_controller;

  QLineEdit* m_editHost = nullptr;
  QLineEdit* m_editLogin = nullptr;
  QLineEdit* m_editPassword = nullptr;
  QCheckBox* m_checkSavePassword = nullptr;
  QCheckBox* m_checkLanServer = nullptr;
  QPushButton* m_butTest = nullptr;

  QLabel* m_labelHour = nullptr;
  QLabel* m_labelDays = nullptr;
  QCheckBox* m_checkReplaceShell = nullptr;
  QCheckBox* m_checkShutdownOnExit = nullptr;
  int m_shiftHour = 7;  // shown, taken over on apply
  int m_shiftDays = 0;

  QTableWidget* m_gridConst = nullptr;
  std::vector<ConstantRow> m_constants;  // in grid order
  // What each value cell said when it last matched the stored value: a cell
  // still saying that keeps the stored value as it is, rather than the four
  // decimals it is shown with.
  QStringList m_constantTexts;

  std::shared_ptr<TestOutcome> m_testOutcome;  // set while a test runs
  QTimer* m_timerTest = nullptr;
};
