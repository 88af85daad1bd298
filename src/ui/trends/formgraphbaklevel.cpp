#include "ui/trends/formgraphbaklevel.h"

#include <QDir>
#include <QKeyEvent>
#include <QResizeEvent>
#include <algorithm>

#include "common/formatfloat.h"
#include "common/inifile.h"
#include "ui/elements/arrow.h"
#include "ui/elements/elementfont.h"
#include "ui/elements/label.h"
#include "ui/elements/outfield.h"
#include "ui/trends/formflokgraph.h"
#include "ui/trends/levelgraph.h"

namespace {

constexpr int kPanelTopHeight = 41;
constexpr int kPickerWidth = 110;
constexpr int kComboWidth = 110;
constexpr int kControlHeight = 24;
constexpr TColor kLightGreen = clMoneyGreen;
// Series beyond the legend arrows the window has keep their pens.
constexpr int kMaxLegendSeries = 5;

// The rows of the bottom panel's middle part.
constexpr int kRowTop[] = {4, 27, 50};
constexpr int kRowHeight = 20;
constexpr int kArrowLeft = 6;
constexpr int kArrowWidth = 40;
constexpr int kArrowHeight = 11;
constexpr int kCaptionLeft = 54;
constexpr int kFieldLeft = 250;
constexpr int kFieldWidth = 80;
constexpr int kTimeCaptionLeft = 360;
constexpr int kTimeFieldLeft = 458;
constexpr int kTimeFieldWidth = 166;

const QString kReadoutFormat = u"##0.0 %; ;  "_qs;
const QString kTimeFormat = u"dd.mm.yyyy hh:nn:ss"_qs;

struct Readout {
  const char* Name;
  const char16_t* Caption;
  const char* Arrow;
  TColor ArrowColor;
  TrendColumn Column;
};
constexpr Readout kReadouts[] = {
    {"Level1", u"Уровень в баке секции 1:", "ArrowLegend1", clRed, TrendColumn::URFK1},
    {"Level2", u"Уровень в баке секции 2:", "ArrowLegend2", clBlue, TrendColumn::URFK2},
    {"Level12", u"Уровень в общем баке:", "ArrowLegend3", clGreen, TrendColumn::URFK12_1},
};

TrendWindowRules BakLevelRules() {
  TrendWindowRules rules;
  rules.TimerIntervalMs = 30000;
  rules.ForcedReloadTick = 4;
  rules.CursorToMiddle = true;
  rules.MinimumYMax = true;
  rules.TimerNeedsDatabase = false;
  rules.ReloadError = u"Ошибка в TFormGraphDSUS::Reload()"_qs;
  rules.CheckError = u"Ошибка в TFormGraphDSUS::CheckForUpdates()."_qs;
  rules.TimerError = u"Ошибка в TFormGraphDSUS::TimerUpdateTimer"_qs;
  return rules;
}

TOutField* MakeField(QWidget* parent, const QString& name, const QRect& geometry) {
  auto* field = new TOutField(parent);
  field->setObjectName(name);
  field->setGeometry(geometry);
  field->SetBrushColor(clWhite);
  field->SetFont(ElementFont(u"MS Sans Serif"_qs, 13, clBlack, true));
  return field;
}

}  // namespace

TFormGraphBakLevel::TFormGraphBakLevel(TrendSource source, const QString& appDir, QWidget* owner)
    : TTrendWindow(std::move(source), BakLevelRules(), owner), m_appDir(appDir) {
  setObjectName(QStringLiteral("FormGraphBakLevel"));
  setWindowTitle(u"График уровней в баках суточных запасов реагентов"_qs);
  SetTrendBackground(*this, kLightGreen);
  const QString configDir = m_appDir + u"/config"_qs;
  QDir().mkpath(configDir);
  m_iniPath = configDir + u"/"_qs + objectName() + u".INI"_qs;

  m_panelTop = new QWidget(this);
  m_panelTop->setObjectName(QStringLiteral("PanelTop"));
  SetTrendBackground(*m_panelTop, kLightGreen);
  m_labelTop = MakeTrendCaption(m_panelTop, QStringLiteral("LabelTop"),
                                u"Графики  изменения уровней в баках флотоконцентрата"_qs,
                                PixelFont(u"Times New Roman"_qs, 18, true), clNavy);
  DateTimePicker1().setParent(m_panelTop);
  DateTimePicker1().resize(kPickerWidth, kControlHeight);
  DateTimePicker1().show();
  ComboBox1().setParent(m_panelTop);
  ComboBox1().resize(kComboWidth, kControlHeight);
  ComboBox1().show();

  m_graph = new TLevelGraph(this);
  m_graph->setObjectName(QStringLiteral("LevelGraphBakLevel"));
  ApplyTrendGraphDesign(*m_graph);
  m_graph->SetBackColor(kLightGreen);
  m_graph->SetYMax(101);
  m_graph->SetYLabelStep(10);
  m_graph->SetGraphTop(20);
  m_graph->SetGraphLeft(50);
  m_graph->SetGraphSubWidth(40);
  m_graph->SetGraphSubHeight(95);
  m_graph->SetGraphCount(3);
  m_graph->SetShowRightScale(false);
  for (int i = 0; i < 3; ++i) m_graph->SetGraphPen(i, ElementPen(kReadouts[i].ArrowColor, 2));
  m_graph->SetIniName(m_appDir + u"/GraphColors.INI"_qs);
  connect(m_graph, &TLevelGraph::changed, this, [this] { LevelGraphBakLevelChange(); });
  MakeTrendCaption(m_graph, QStringLiteral("LabelPercent"), u"            %"_qs,
                   PixelFont(u"MS Sans Serif"_qs, 13, true), clBlack)
      ->move(0, 2);
  BuildBottomPanel();

  // The readouts would otherwise keep the previous cursor's values after a
  // reload from memory, which moves the cursor too.
  connect(this, &TTrendWindow::LoadFinished, this, [this] { LevelGraphBakLevelChange(); });

  ApplyElementStyles(m_iniPath, m_appDir);
  SetSeriesPens();

  // A hidden widget gets its resize event only when shown; lay out now.
  resize(812, 516);
  FormResize();
  FormCreate();
}

TFormGraphBakLevel::~TFormGraphBakLevel() {
  FormDestroy();
}

void TFormGraphBakLevel::BuildBottomPanel() {
  m_panelBottom = new QWidget(m_graph);
  m_panelBottom->setObjectName(QStringLiteral("PanelBottom"));
  SetTrendBackground(*m_panelBottom, kLightGreen);
  m_panelBottomLeft = new QWidget(m_panelBottom);
  m_panelBottomLeft->setObjectName(QStringLiteral("PanelBottomLeft"));
  m_panelBottomCenter = new QWidget(m_panelBottom);
  m_panelBottomCenter->setObjectName(QStringLiteral("PanelBottomCenter"));
  m_panelBottomRight = new QWidget(m_panelBottom);
  m_panelBottomRight->setObjectName(QStringLiteral("PanelBottomRight"));

  const QFont captionFont = PixelFont(u"MS Sans Serif"_qs, 14, true);
  const auto rowCaption = [&](const QString& name, const QString& text, int left, int row) {
    TLabel* label = MakeTrendCaption(m_panelBottomCenter, name, text, captionFont, clBlack);
    label->move(left, kRowTop[row] + (kRowHeight - label->height()) / 2);
  };
  for (int i = 0; i < 3; ++i) {
    const Readout& readout = kReadouts[i];
    auto* arrow = new TArrow(m_panelBottomCenter);
    arrow->setObjectName(QString::fromLatin1(readout.Arrow));
    arrow->setGeometry(kArrowLeft, kRowTop[i] + (kRowHeight - kArrowHeight) / 2, kArrowWidth, kArrowHeight);
    arrow->SetColor(readout.ArrowColor);
    rowCaption(u"Label"_qs + QLatin1String(readout.Name), QString::fromUtf16(readout.Caption), kCaptionLeft,
               i);
    m_levelFields[i] = MakeField(m_panelBottomCenter, u"OutField"_qs + QLatin1String(readout.Name),
                                 QRect(kFieldLeft, kRowTop[i], kFieldWidth, kRowHeight));
    m_levelFields[i]->SetOutFormat(kReadoutFormat);
    m_levelFields[i]->SetOutValue(-1);
  }
  rowCaption(QStringLiteral("LabelDateTime"), u"Дата, время:"_qs, kTimeCaptionLeft, 1);
  m_timeField = MakeField(m_panelBottomCenter, QStringLiteral("OutFieldDateTime"),
                          QRect(kTimeFieldLeft, kRowTop[1], kTimeFieldWidth, kRowHeight));
}

// Series 0 starts blue in case no legend arrow is left; after that each
// series follows its legend arrow while there is one.
void TFormGraphBakLevel::SetSeriesPens() {
  m_graph->SetGraphPen(0, ElementPen(clBlue, 2));
  for (int i = 0; i < kMaxLegendSeries; ++i) {
    const auto* arrow = findChild<TArrow*>(u"ArrowLegend"_qs + QString::number(i + 1));
    if (arrow == nullptr) break;
    m_graph->SetGraphPen(i, ElementPen(arrow->Color(), arrow->ArrowWidth()));
  }
}

void TFormGraphBakLevel::FormCreate() {
  const IniFile ini(m_iniPath);
  LoadGraphLimits(ini, m_graph->objectName() + u"Limits"_qs, *m_graph, m_graph->ShowRightScale());
  SetSeriesPens();
  SelectToday();
  SetNeedReload(true);
}

void TFormGraphBakLevel::FormDestroy() {
  IniFile ini(m_iniPath);
  if (!SaveGraphLimits(ini, m_graph->objectName() + u"Limits"_qs, *m_graph, m_graph->ShowRightScale()) &&
      Source().AddLogMessage) {
    Source().AddLogMessage(m_iniPath + u": the graph limits could not be written"_qs);
  }
}

void TFormGraphBakLevel::PutRow(TDateTime at, const TrendRow& row) {
  for (int i = 0; i < 3; ++i) m_graph->AddPoint(i, at, row.Value(kReadouts[i].Column));
}

void TFormGraphBakLevel::LevelGraphBakLevelChange() {
  const TDateTime t = m_graph->CursorTime();
  for (int i = 0; i < 3; ++i) m_levelFields[i]->SetOutValue(m_graph->GetPoint(i, t));
  m_timeField->SetCaption(FormatDateTime(kTimeFormat, t));
}

void TFormGraphBakLevel::PanelBottomResize() {
  const int side = std::max(0, (m_panelBottom->width() - kBottomCenterWidth) / 2);
  const int height = m_panelBottom->height();
  m_panelBottomLeft->setGeometry(0, 0, side, height);
  m_panelBottomCenter->setGeometry(side, 0, kBottomCenterWidth, height);
  m_panelBottomRight->setGeometry(side + kBottomCenterWidth, 0, side, height);
}

void TFormGraphBakLevel::FormResize() {
  m_panelTop->setGeometry(0, 0, width(), kPanelTopHeight);
  const int panelHeight = m_panelTop->height();
  m_labelTop->move(8, (panelHeight - m_labelTop->height()) / 2);
  ComboBox1().move(width() - ComboBox1().width() - 8, (panelHeight - ComboBox1().height()) / 2);
  DateTimePicker1().move(ComboBox1().x() - DateTimePicker1().width() - 4,
                         (panelHeight - DateTimePicker1().height()) / 2);

  m_graph->setGeometry(0, kPanelTopHeight, width(), height() - kPanelTopHeight);
  m_panelBottom->setGeometry(0, m_graph->height() - kBottomPanelHeight, m_graph->width(), kBottomPanelHeight);
  PanelBottomResize();
  WaitPanel().move((width() - WaitPanel().width()) / 2, (height() - WaitPanel().height()) / 2);
}

void TFormGraphBakLevel::resizeEvent(QResizeEvent* event) {
  TTrendWindow::resizeEvent(event);
  FormResize();
}
