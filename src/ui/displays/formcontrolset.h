#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <functional>

#include "console/consolesnapshot.h"
#include "process/valueblock.h"

class QCheckBox;
class QLineEdit;
class QTimer;

// The modal setpoint window: the control mode of each reagent group and the
// twelve reagent setpoints of both sections. Load() fills it from a copy of
// the averaged value block (the working block); the check boxes and edits
// change only that copy, and after an OK close the caller takes Modes() and
// Setpoints() from it. The window checks that the numbers read and nothing
// more: the dosing limits act later. On OK it posts the operator's changes as
// one line through "addLogRec", so that the central station learns of them.
//
// Created once and reused; each Load() starts afresh. Owns its children and
// its timer. "addLogRec" must stay callable for the window's lifetime.
// User-interface thread only.
class TFormControlSet : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 571;
  static constexpr int kClientHeight = 538;
  static constexpr int kUpdateIntervalMs = 250;
  static constexpr int kEditCount = 12;

  explicit TFormControlSet(std::function<void(const QString&)> addLogRec, QWidget* parent = nullptr);

  // Takes a copy of the live averaged block and shows its modes and setpoints.
  void Load(const std::array<float, kValueSlotCount>& averagedValues);

  // The working block's eight mode flags, in ModeFlag order.
  ModeFlags Modes() const;
  // Its twelve setpoints, in SetpointIndex order.
  SetpointValues Setpoints() const;

  // The OK button's work before the dialog closes: the numbers into the
  // working block, the change line to the log records.
  void ButSetClick();
  // Enables the edits that the chosen modes use; "TimerUpdate" calls it.
  void TimerUpdateTimer();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  // A reagent group: the flotation reagents or the flocculant of a section.
  struct ModeGroup {
    ModeFlag Automatic = F1AR;
    ModeFlag Manual = F1RR;
    QCheckBox* BoxAutomatic = nullptr;
    QCheckBox* BoxManual = nullptr;
    QCheckBox* BoxOff = nullptr;
    bool Changed = false;  // a box of the group changed since Load()
  };
  // Flotation 1, flotation 2, flocculation 1, flocculation 2.
  static constexpr int kGroupCount = 4;

  QWidget* BuildPage(int section);
  QWidget* BuildPanel(ReagentGroup group, int section, QWidget* parent);
  // The caption "Режим управления:" and the group's three boxes at row "y".
  void AddModeRow(int groupIndex, int y, QWidget* parent);
  // A caption, the edit and its unit at row "y"; "edit" indexes the edits
  // in reading order.
  void AddEditRow(const QString& caption, int edit, const QString& unit, int y, QWidget* parent);

  // The handlers of the three kinds of box. They run whenever a box's checked
  // state changes, from a click or from code alike: Load() relies on it.
  void CheckBoxAutomaticClick(int groupIndex);
  void CheckBoxManualClick(int groupIndex);
  void CheckBoxOffClick(int groupIndex);

  // The group's boxes from the working flags, each flag read after the
  // handlers that setting the previous box ran.
  void LoadGroup(int groupIndex);
  void LoadEdit(int edit);
  // The change list; "stored" says which edits' numbers reached the block.
  QString ChangeList(const std::array<bool, kEditCount>& stored) const;

  std::function<void(const QString&)> m_addLogRec;
  std::array<float, kValueSlotCount> m_workingBlock{};
  std::array<ModeGroup, kGroupCount> m_groups;
  std::array<QLineEdit*, kEditCount> m_edits{};  // in reading order
  QTimer* m_timerUpdate = nullptr;
};

// The slot of the averaged value block that carries a setpoint (the limited
// value the last cycle worked with).
int SetpointSlot(SetpointIndex index);
