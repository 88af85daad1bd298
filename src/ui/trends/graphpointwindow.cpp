#include "ui/trends/graphpointwindow.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>

#include "common/formatfloat.h"
#include "ui/elements/outfield.h"
#include "ui/trends/levelgraph.h"

namespace {

constexpr int kFieldWidth = 120;
constexpr int kFieldHeight = 24;

TOutField* MakeField(QWidget* parent, const QString& name) {
  auto* field = new TOutField(parent);
  field->setObjectName(name);
  field->setFixedSize(kFieldWidth, kFieldHeight);
  field->SetBrushColor(clWhite);
  field->SetOutFormat(TGraphPointWindow::ValueFormat());
  return field;
}

}  // namespace

TGraphPointWindow::TGraphPointWindow(QWidget* trendWindow, TLevelGraph* reference,
                                     std::vector<TLevelGraph*> graphs, std::function<QWidget*()> activeView)
    : QDialog(trendWindow,
              Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowCloseButtonHint | Qt::WindowTitleHint),
      m_reference(reference),
      m_graphs(std::move(graphs)),
      m_activeView(std::move(activeView)),
      m_trendWindow(trendWindow) {
  setWindowTitle(u"Текущая точка графика"_qs);
  setModal(false);
  m_grid = new QGridLayout;
  m_grid->setHorizontalSpacing(8);
  m_grid->setVerticalSpacing(4);

  auto* timeCaption = new QLabel(u"Дата, время:"_qs, this);
  timeCaption->setObjectName(QStringLiteral("LabelTime"));
  m_timeField = MakeField(this, QStringLiteral("OutFieldTime"));
  m_timeField->setFixedWidth(kFieldWidth + 30);
  m_grid->addWidget(timeCaption, 0, 0, Qt::AlignRight);
  m_grid->addWidget(m_timeField, 0, 1);
  m_rows = 1;

  m_butGoLeft = new QPushButton(u"<"_qs, this);
  m_butGoLeft->setObjectName(QStringLiteral("ButGoLeft"));
  m_butGoLeft->setToolTip(u"На минуту назад"_qs);
  m_butGoLeft->setAutoDefault(false);
  m_butGoRight = new QPushButton(u">"_qs, this);
  m_butGoRight->setObjectName(QStringLiteral("ButGoRight"));
  m_butGoRight->setToolTip(u"На минуту вперед"_qs);
  m_butGoRight->setAutoDefault(false);
  connect(m_butGoLeft, &QPushButton::clicked, this, [this] { ButGoLeftClick(); });
  connect(m_butGoRight, &QPushButton::clicked, this, [this] { ButGoRightClick(); });

  m_timer1.setInterval(100);
  connect(&m_timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
  m_timer1.start();
}

TOutField* TGraphPointWindow::AddValueRow(const QString& objectName, const QString& caption,
                                          const TLevelGraph& graph, int series) {
  auto* label = new QLabel(caption, this);
  label->setObjectName(u"Label"_qs + objectName);
  TOutField* field = MakeField(this, objectName);
  ElementPen pen = graph.GetGraphPen(series);
  pen.SetWidth(std::max(1, std::min(pen.Width(), 3)));
  field->SetPen(pen);
  field->SetOutValue(-1);
  m_grid->addWidget(label, m_rows, 0, Qt::AlignRight);
  m_grid->addWidget(field, m_rows, 1);
  ++m_rows;
  return field;
}

void TGraphPointWindow::FinishLayout() {
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(m_butGoLeft);
  buttons->addWidget(m_butGoRight);
  auto* outer = new QVBoxLayout(this);
  outer->addLayout(m_grid);
  outer->addLayout(buttons);
  outer->setSizeConstraint(QLayout::SetFixedSize);
  RefreshTime();
}

void TGraphPointWindow::RefreshTime() {
  m_timeField->SetCaption(FormatDateTime(TimeFormat(), m_reference->CursorTime()));
}

void TGraphPointWindow::Timer1Timer() {
  if (!isVisible()) return;
  const QWidget* active = m_activeView ? m_activeView() : nullptr;
  if (active != m_trendWindow) {
    hide();
    return;
  }
  Refresh();
}

void TGraphPointWindow::Step(int direction) {
  const TDateTime t = m_reference->CursorTime() + direction * m_reference->DataStep();
  if (t < m_reference->StartTime() || t > m_reference->StopTime()) return;
  for (TLevelGraph* graph : m_graphs) graph->SetCursorTime(t);
  Refresh();
}
