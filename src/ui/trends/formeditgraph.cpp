#include "ui/trends/formeditgraph.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <array>
#include <optional>

#include "common/floattext.h"
#include "configuration/signaledit.h"
#include "station/commandset.h"
#include "ui/elements/elementfont.h"
#include "ui/elements/tcolor.h"
#include "ui/trends/levelgraph.h"

namespace {

constexpr int kMargin = 8;
constexpr int kGroupWidth = TFormEditGraph::kClientWidth - 2 * kMargin;
constexpr int kGroupHeight = 110;
constexpr int kMainGroupTop = 6;
constexpr int kRightGroupTop = kMainGroupTop + kGroupHeight + 6;
// Rows inside a group box, below its title.
constexpr int kFirstRowTop = 24;
constexpr int kRowPitch = 28;
constexpr int kRowHeight = 24;
constexpr int kLabelLeft = 8;
constexpr int kLabelWidth = 88;
constexpr int kCheckBoxLeft = kLabelLeft + kLabelWidth + 2;
constexpr int kCheckBoxWidth = 84;
constexpr int kEditLeft = kCheckBoxLeft + kCheckBoxWidth + 4;
constexpr int kEditWidth = kGroupWidth - kEditLeft - 8;
constexpr int kButtonWidth = 120;
constexpr int kButtonHeight = 28;
constexpr int kButtonGap = 16;

const QString kErrorCaption = u"Ошибка"_qs;
const QString kBadNumberText = u"Правильно вводите числа."_qs;

void SetTextColour(QWidget& widget, TColor colour) {
  QPalette palette = widget.palette();
  for (const auto group : {QPalette::Active, QPalette::Inactive}) {
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
      palette.setColor(group, role, ColorFromTColor(colour));
    }
  }
  widget.setPalette(palette);
}

QGroupBox* AddGroup(QWidget* parent, const QString& name, const QString& title, int top) {
  auto* group = new QGroupBox(title, parent);
  group->setObjectName(name);
  group->setGeometry(kMargin, top, kGroupWidth, kGroupHeight);
  return group;
}

int RowTop(int row) {
  return kFirstRowTop + row * kRowPitch;
}

void AddRowLabel(QGroupBox* group, const QString& name, const QString& text, int row) {
  auto* label = new QLabel(text, group);
  label->setObjectName(name);
  label->setGeometry(kLabelLeft, RowTop(row), kLabelWidth, kRowHeight);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

QCheckBox* AddCheckBox(QGroupBox* group, const QString& name, const QString& text, int row, int left,
                       int width) {
  auto* box = new QCheckBox(text, group);
  box->setObjectName(name);
  box->setGeometry(left, RowTop(row), width, kRowHeight);
  return box;
}

QLineEdit* AddEdit(QGroupBox* group, const QString& name, int row) {
  auto* edit = new QLineEdit(group);
  edit->setObjectName(name);
  edit->setGeometry(kEditLeft, RowTop(row), kEditWidth, kRowHeight);
  return edit;
}

void ShowCriticalBox(QWidget* parent, const QString& caption, const QString& text) {
  QMessageBox::critical(parent, caption, text);
}

}  // namespace

TFormEditGraph::TFormEditGraph(QWidget* owner) : QDialog(owner) {
  setObjectName(u"FormEditGraph"_qs);
  setWindowTitle(u"Параметры шкалы графика"_qs);
  setFixedSize(kClientWidth, kClientHeight);
  setFont(PixelFont(u"Courier New"_qs, 13, true));
  SetTextColour(*this, clNavy);

  QGroupBox* main = AddGroup(this, u"GroupBoxMainScale"_qs, u"Основная шкала:"_qs, kMainGroupTop);
  AddRowLabel(main, u"LabelYMin"_qs, u"Минимум:"_qs, 0);
  AddRowLabel(main, u"LabelYMax"_qs, u"Максимум:"_qs, 1);
  AddRowLabel(main, u"LabelYLabelStep"_qs, u"Шаг шкалы:"_qs, 2);
  m_checkBoxAutoYMin =
      AddCheckBox(main, u"CheckBoxAutoYMin"_qs, u"Автомат"_qs, 0, kCheckBoxLeft, kCheckBoxWidth);
  m_checkBoxAutoYMax =
      AddCheckBox(main, u"CheckBoxAutoYMax"_qs, u"Автомат"_qs, 1, kCheckBoxLeft, kCheckBoxWidth);
  m_checkBoxAutoYScale =
      AddCheckBox(main, u"CheckBoxAutoYScale"_qs, u"Автомат"_qs, 2, kCheckBoxLeft, kCheckBoxWidth);
  m_editYMin = AddEdit(main, u"EditYMin"_qs, 0);
  m_editYMax = AddEdit(main, u"EditYMax"_qs, 1);
  m_editYLabelStep = AddEdit(main, u"EditYLabelStep"_qs, 2);

  QGroupBox* right = AddGroup(this, u"GroupBoxRightScale"_qs, u"Шкала справа:"_qs, kRightGroupTop);
  m_checkBoxShowRightScale = AddCheckBox(right, u"CheckBoxShowRightScale"_qs, u"Отображать шкалу справа"_qs,
                                         0, kLabelLeft, kGroupWidth - 2 * kLabelLeft);
  AddRowLabel(right, u"LabelRightYMin"_qs, u"Минимум:"_qs, 1);
  AddRowLabel(right, u"LabelRightScaleStep"_qs, u"Шаг шкалы:"_qs, 2);
  m_editRightYMin = AddEdit(right, u"EditRightYMin"_qs, 1);
  m_editRightScaleStep = AddEdit(right, u"EditRightScaleStep"_qs, 2);

  // toggled, not clicked: setting a box from the graph must run its handler
  // too, but only when the state really changes.
  connect(m_checkBoxAutoYMin, &QCheckBox::toggled, this, &TFormEditGraph::CheckBoxAutoYMinClick);
  connect(m_checkBoxAutoYMax, &QCheckBox::toggled, this, &TFormEditGraph::CheckBoxAutoYMaxClick);
  connect(m_checkBoxAutoYScale, &QCheckBox::toggled, this, &TFormEditGraph::CheckBoxAutoYScaleClick);
  connect(m_checkBoxShowRightScale, &QCheckBox::toggled, this, &TFormEditGraph::CheckBoxShowRightScaleClick);

  const int buttonTop = kClientHeight - kMargin - kButtonHeight;
  const int buttonsLeft = (kClientWidth - 2 * kButtonWidth - kButtonGap) / 2;
  auto* buttonOk = new QPushButton(u"Установить"_qs, this);
  buttonOk->setObjectName(u"ButtonOK"_qs);
  buttonOk->setGeometry(buttonsLeft, buttonTop, kButtonWidth, kButtonHeight);
  buttonOk->setDefault(true);
  connect(buttonOk, &QPushButton::clicked, this, &QDialog::accept);
  auto* buttonCancel = new QPushButton(u"Отменить"_qs, this);
  buttonCancel->setObjectName(u"ButtonCancel"_qs);
  buttonCancel->setGeometry(buttonsLeft + kButtonWidth + kButtonGap, buttonTop, kButtonWidth, kButtonHeight);
  buttonCancel->setAutoDefault(false);
  connect(buttonCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TFormEditGraph::CheckBoxAutoYMinClick() {
  m_editYMin->setVisible(!m_checkBoxAutoYMin->isChecked());
}

void TFormEditGraph::CheckBoxAutoYMaxClick() {
  m_editYMax->setVisible(!m_checkBoxAutoYMax->isChecked());
}

void TFormEditGraph::CheckBoxAutoYScaleClick() {
  m_editYLabelStep->setVisible(!m_checkBoxAutoYScale->isChecked());
}

void TFormEditGraph::CheckBoxShowRightScaleClick() {
  const bool show = m_checkBoxShowRightScale->isChecked();
  m_editRightYMin->setVisible(show);
  m_editRightScaleStep->setVisible(show);
}

bool EditGraphScale(QWidget* graph, QWidget* owner, const ScaleErrorSink& showError) {
  QPointer<TLevelGraph> target = qobject_cast<TLevelGraph*>(graph);
  if (target == nullptr) return false;
  QPointer<QWidget> parent = owner != nullptr ? owner : target->window();

  // The owner may be destroyed while the dialog runs, taking the dialog with
  // it; the guarded pointer keeps us from deleting it twice.
  QPointer<TFormEditGraph> form = new TFormEditGraph(parent);
  const auto destroyForm = qScopeGuard([&form] { delete form.data(); });

  form->CheckBoxAutoYMin().setChecked(target->AutoYMin());
  form->CheckBoxAutoYMax().setChecked(target->AutoYMax());
  form->CheckBoxAutoYScale().setChecked(target->AutoYScale());
  form->CheckBoxShowRightScale().setChecked(target->ShowRightScale());

  struct NumberField {
    QLineEdit& Edit;
    double (TLevelGraph::*Get)() const;
    void (TLevelGraph::*Set)(double);
  };
  const std::array<NumberField, 5> fields = {{
      {form->EditYMin(), &TLevelGraph::YMin, &TLevelGraph::SetYMin},
      {form->EditYMax(), &TLevelGraph::YMax, &TLevelGraph::SetYMax},
      {form->EditYLabelStep(), &TLevelGraph::YLabelStep, &TLevelGraph::SetYLabelStep},
      {form->EditRightYMin(), &TLevelGraph::RightYMin, &TLevelGraph::SetRightYMin},
      {form->EditRightScaleStep(), &TLevelGraph::RightScaleStep, &TLevelGraph::SetRightScaleStep},
  }};
  const QChar separator = SystemDecimalSeparator();
  for (const NumberField& field : fields)
    field.Edit.setText(FloatToStrGeneral((target.data()->*field.Get)(), separator));

  const int answer = form->exec();
  if (form == nullptr || target == nullptr || answer != QDialog::Accepted) return false;

  for (const NumberField& field : fields) {
    const std::optional<double> value = ParseOperatorDecimal(field.Edit.text(), separator);
    if (!value) {
      (showError ? showError : ScaleErrorSink(ShowCriticalBox))(parent, kErrorCaption, kBadNumberText);
      return false;
    }
    (target.data()->*field.Set)(*value);
  }
  target->SetAutoYMin(form->CheckBoxAutoYMin().isChecked());
  target->SetAutoYMax(form->CheckBoxAutoYMax().isChecked());
  target->SetAutoYScale(form->CheckBoxAutoYScale().isChecked());
  target->SetShowRightScale(form->CheckBoxShowRightScale().isChecked());
  return true;
}
