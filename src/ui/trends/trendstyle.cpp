#include "ui/trends/trendstyle.h"

#include <QFont>
#include <QLabel>
#include <QPalette>
#include <QWidget>

#include "ui/elements/elementfont.h"
#include "ui/elements/elementpen.h"
#include "ui/elements/label.h"
#include "ui/trends/levelgraph.h"

void SetTrendBackground(QWidget& widget, TColor color) {
  QPalette palette = widget.palette();
  palette.setColor(QPalette::Window, ColorFromTColor(color));
  widget.setPalette(palette);
  widget.setAutoFillBackground(true);
}

void SetTrendTextColor(QWidget& widget, TColor color) {
  QPalette palette = widget.palette();
  palette.setColor(QPalette::WindowText, ColorFromTColor(color));
  widget.setPalette(palette);
}

TColor TrendTextColor(const QWidget& widget) {
  return TColorFromColor(widget.palette().color(QPalette::WindowText));
}

TLabel* MakeTrendCaption(QWidget* parent, const QString& name, const QString& text, const QFont& font,
                         TColor color) {
  auto* label = new TLabel(text, parent);
  label->setObjectName(name);
  label->setFont(font);
  SetTrendTextColor(*label, color);
  label->adjustSize();
  return label;
}

void ApplyTrendGraphDesign(TLevelGraph& graph) {
  graph.SetYMin(0);
  graph.SetShowScaleY(true);
  graph.SetShowScaleX(true);
  graph.SetShowCursor(true);
  graph.SetShowBorder(true);
  graph.SetBorderPen(ElementPen(clBlack, 2));
  graph.SetEnablePresentArray(true);
  graph.SetSecondStep(60);
  graph.SetDataStep(1.0 / 1440);
  graph.SetArraySize(3000);
  graph.SetXLabelStep(2.0 / 24);
  graph.SetMinXLabel(true);
  graph.SetMaxXLabel(true);
  graph.SetLabelNetPen(ElementPen(clGray, 1, TPenStyle::psDot));
  graph.SetScaleXFormat(u"hh:mm"_qs);
  graph.SetScaleYFormat(u"###0"_qs);
  graph.SetBestNetLineCount(4);
  graph.SetGraphBackColor(clWhite);
  graph.SetXScaleFont(ElementFont(u"Times New Roman"_qs, 16, clNavy, true));
  graph.SetYScaleFont(ElementFont(u"Arial"_qs, 13, clBlack, true));
  graph.SetAutoYMin(false);
  graph.SetAutoYMax(false);
  graph.SetAutoYScale(false);
}

QLabel* MakeWaitPanel(QWidget* owner) {
  auto* panel = new QLabel(u"Дождитесь загрузки данных"_qs, owner);
  panel->setObjectName(QStringLiteral("WaitPanel"));
  panel->setAlignment(Qt::AlignCenter);
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  panel->setLineWidth(2);
  panel->setAutoFillBackground(true);
  QFont font = panel->font();
  font.setPixelSize(16);
  font.setBold(true);
  panel->setFont(font);
  panel->resize(320, 60);
  panel->setCursor(Qt::BusyCursor);
  panel->hide();
  return panel;
}
