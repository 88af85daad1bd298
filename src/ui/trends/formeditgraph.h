#pragma once

#include <QDialog>
#include <QString>
#include <functional>

class QCheckBox;
class QLineEdit;

// The modal dialog "Параметры шкалы графика" of a trend graph: the main scale
// (minimum, maximum, step, each either automatic or typed) and the scale on
// the right (shown or not, its minimum and step). It only shows; reading the
// graph and writing it back is EditGraphScale's job.
//
// Every edit is visible when the dialog is created. Each check box hides or
// shows its edits whenever its state changes (setChecked included), so a box
// set to the state it already has leaves its edits as they are.
//
// The owner (Qt parent) owns the dialog. User-interface thread only.
class TFormEditGraph : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 288;
  static constexpr int kClientHeight = 280;

  explicit TFormEditGraph(QWidget* owner = nullptr);

  QCheckBox& CheckBoxAutoYMin() const { return *m_checkBoxAutoYMin; }
  QCheckBox& CheckBoxAutoYMax() const { return *m_checkBoxAutoYMax; }
  QCheckBox& CheckBoxAutoYScale() const { return *m_checkBoxAutoYScale; }
  QCheckBox& CheckBoxShowRightScale() const { return *m_checkBoxShowRightScale; }
  QLineEdit& EditYMin() const { return *m_editYMin; }
  QLineEdit& EditYMax() const { return *m_editYMax; }
  QLineEdit& EditYLabelStep() const { return *m_editYLabelStep; }
  QLineEdit& EditRightYMin() const { return *m_editRightYMin; }
  QLineEdit& EditRightScaleStep() const { return *m_editRightScaleStep; }

  // The check box handlers: an automatic value needs no edit; the right
  // scale's edits go with the right scale.
  void CheckBoxAutoYMinClick();
  void CheckBoxAutoYMaxClick();
  void CheckBoxAutoYScaleClick();
  void CheckBoxShowRightScaleClick();

 private:
  QCheckBox* m_checkBoxAutoYMin = nullptr;
  QCheckBox* m_checkBoxAutoYMax = nullptr;
  QCheckBox* m_checkBoxAutoYScale = nullptr;
  QCheckBox* m_checkBoxShowRightScale = nullptr;
  QLineEdit* m_editYMin = nullptr;
  QLineEdit* m_editYMax = nullptr;
  QLineEdit* m_editYLabelStep = nullptr;
  QLineEdit* m_editRightYMin = nullptr;
  QLineEdit* m_editRightScaleStep = nullptr;
};

// Tells the operator about an error: the parent window, the caption, the text.
using ScaleErrorSink = std::function<void(QWidget* parent, const QString& caption, const QString& text)>;

// Lets the operator set the scales of "graph" in a fresh TFormEditGraph owned
// by "owner" (the graph's window when null), shown modally and destroyed
// before returning. Anything but a TLevelGraph is left alone (false).
//
// On "Установить" the numbers (the system locale's decimal separator) go to
// YMin, YMax, YLabelStep, RightYMin, RightScaleStep in that order, then the
// four flags AutoYMin, AutoYMax, AutoYScale, ShowRightScale. A text that is
// not a number stops the writing there: the values before it keep their new
// state, "showError" (empty: QMessageBox::critical) says "Правильно вводите
// числа.", and the result is false. True only when everything was written;
// "Отменить", or the graph or the owner going away meanwhile, writes nothing.
//
// User-interface thread only.
bool EditGraphScale(QWidget* graph, QWidget* owner, const ScaleErrorSink& showError = {});
