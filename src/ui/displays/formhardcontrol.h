#pragma once

#include <QDialog>
#include <QString>
#include <array>

#include "console/consolesnapshot.h"

class QLabel;
class QPushButton;
class QRadioButton;
class QTableWidget;
class QTimer;
class TConsoleController;

// The modal service window in which the engineer watches and starts or stops
// the three worker threads and looks at the raw and converted signal values
// and the input modules' last answers. It shows the controller's last
// snapshot and the configuration's signal lists, refreshed by its own 500 ms
// timer, which runs from creation whether or not the window is shown. Its
// only state is the choice between the instant and the averaged block.
//
// A refresh touches only what changed (a label's text, a cell's text, a
// palette on a state change), so that it costs the user-interface thread next
// to nothing while the window is open.
//
// Created once and reused. Owns its children and its timer; "controller" must
// outlive the window. User-interface thread only.
class TFormHardControl : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 627;
  static constexpr int kClientHeight = 501;
  static constexpr int kUpdateIntervalMs = 500;

  explicit TFormHardControl(TConsoleController& controller, QWidget* parent = nullptr);

  // The status refresh, then the grid refresh, from the controller's last
  // snapshot; "TimerUpdate" calls it.
  void TimerUpdateTimer();

  // The name a grid shows for a signal: cut before the first "_" when that
  // "_" is the third character or later ("PLF_1" -> "PLF"), else whole.
  static QString SignalDisplayName(const QString& signalName);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // The controls of one worker thread's group box.
  struct ThreadView {
    WorkerKind Kind = WorkerKind::Read;
    QPushButton* Start = nullptr;
    QPushButton* Stop = nullptr;
    QLabel* State = nullptr;
    QLabel* StartTime = nullptr;
    QLabel* CycleCount = nullptr;
    QLabel* ErrorCount = nullptr;  // none for the station link
    int ShownRunning = -1;         // what the state field shows: -1 nothing yet, 0 / 1
  };

  QWidget* BuildThreadsPage();
  QWidget* BuildHardwarePage();
  // "name" is the middle of the controls' names: "HardRead", "DigOut", "CSB_Link".
  QWidget* BuildThreadBox(WorkerKind kind, const QString& title, const QString& name,
                          const QString& cycleCaption, bool withErrors, QWidget* parent);
  // A grid of "rows" rows with three 90-pixel columns and its header panels,
  // the caption "caption" above them, at "x", "y" of "parent".
  QTableWidget* BuildValueGrid(const QString& name, const QString& caption, int rows, int x, int y,
                               QWidget* parent);

  void ThreadButtonClick(WorkerKind kind, bool start);
  void UpdateStatus(const ConsoleSnapshot& snapshot);
  void UpdateGrids(const ConsoleSnapshot& snapshot);

  TConsoleController& m_controller;
  std::array<ThreadView, kWorkerCount> m_threads;
  QLabel* m_tcpClientCount = nullptr;
  QRadioButton* m_instant = nullptr;
  QRadioButton* m_averaged = nullptr;
  QTableWidget* m_grid7017 = nullptr;
  QTableWidget* m_grid7024 = nullptr;
  QTableWidget* m_gridLastAnswer = nullptr;
  QTimer* m_timerUpdate = nullptr;
};
