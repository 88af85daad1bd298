#include "ui/trends/levelgraph.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLocale>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>
#include <QRandomGenerator>
#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

#include "common/formatfloat.h"
#include "common/inifile.h"
#include "ui/elements/orvetutil.h"

namespace {

constexpr double kSecondsPerDay = 86400;
constexpr double kMinXLabelStep = 0.1 / kSecondsPerDay;  // 100 ms
constexpr double kMinDataStep = 0.01 / kSecondsPerDay;   // 10 ms
// A grid finer than this is a setting error, not a picture; drawing it would
// only stall the user-interface thread.
constexpr double kMaxGridLines = 2000;

// Labels show numbers the way the operator's system writes them.
const TFormatSettings& LabelFormatSettings() {
  static const TFormatSettings settings = [] {
    TFormatSettings result = DefaultFormatSettings();
    const QString point = QLocale::system().decimalPoint();
    if (!point.isEmpty()) result.DecimalSeparator = point.front();
    return result;
  }();
  return settings;
}

template <class T>
bool Assign(T& member, const T& value) {
  if (member == value) return false;
  member = value;
  return true;
}

// Numbers that are no numbers would only poison the geometry; they are refused.
bool AssignNumber(double& member, double value) {
  if (!std::isfinite(value) || member == value) return false;
  member = value;
  return true;
}

// Within lo ... hi, lo winning when the range is empty (a control smaller than
// its margins); NaN gives lo.
double Limit(double value, double lo, double hi) {
  return std::max(lo, std::min(value, hi));
}

// Toward zero, as screen coordinates are taken; out-of-range values saturate.
int Truncate(double value) {
  if (!std::isfinite(value)) return 0;
  return static_cast<int>(Limit(std::trunc(value), INT_MIN, INT_MAX));
}

// Day counts carry float noise of a few microseconds: a time exactly on a
// minute boundary must not fall into the minute before, so differences are
// taken to the millisecond, the resolution the console's times have.
double SecondsBetween(TDateTime from, TDateTime to) {
  return std::round((to - from) * kSecondsPerDay * 1000.0) / 1000.0;
}

void Beep() {
  QApplication::beep();
}

double TranslateVal(double value, double lower, double upper, double yMin, double yMax) {
  if (lower == upper || value <= lower) return yMin;
  if (value >= upper) return yMax;
  return yMin + (value - lower) * (yMax - yMin) / (upper - lower);
}

}  // namespace

TLevelGraph::TLevelGraph(QWidget* owner) : QWidget(owner) {
  // The picture covers every pixel; there is nothing to erase first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  setFocusPolicy(Qt::StrongFocus);
  const ElementFont panelFont(u"MS Sans Serif"_qs, 11);
  m_xScaleFont = panelFont;
  m_yScaleFont = panelFont;
  m_legendFont = panelFont;
}

TLevelGraph::~TLevelGraph() {
  if (!m_iniName.isEmpty()) SaveToIni();
}

// ---- Setters

void TLevelGraph::SetBorderPen(const ElementPen& pen) {
  if (Assign(m_borderPen, pen)) UpdateChanges();
}
void TLevelGraph::SetBackColor(TColor color) {
  if (Assign(m_backColor, color)) UpdateChanges();
}
void TLevelGraph::SetGraphBackColor(TColor color) {
  if (Assign(m_graphBackColor, color)) UpdateChanges();
}
void TLevelGraph::SetGraphTop(int pixels) {
  if (Assign(m_graphTop, pixels)) UpdateChanges();
}
void TLevelGraph::SetGraphLeft(int pixels) {
  if (Assign(m_graphLeft, pixels)) UpdateChanges();
}
void TLevelGraph::SetGraphSubWidth(int pixels) {
  if (Assign(m_graphSubWidth, pixels)) UpdateChanges();
}
void TLevelGraph::SetGraphSubHeight(int pixels) {
  if (Assign(m_graphSubHeight, pixels)) UpdateChanges();
}
void TLevelGraph::SetGraphCount(int count) {
  if (Assign(m_graphCount, std::clamp(count, 0, kSeriesCount))) UpdateChanges();
}
void TLevelGraph::SetShowScaleY(bool show) {
  if (Assign(m_showScaleY, show)) UpdateChanges();
}
void TLevelGraph::SetShowScaleX(bool show) {
  if (Assign(m_showScaleX, show)) UpdateChanges();
}

void TLevelGraph::SetYMax(double value) {
  if (!AssignNumber(m_yMax, value)) return;
  if (m_yMax < m_yMin + kMinYRange) m_yMin = m_yMax - kMinYRange;
  UpdateChanges();
}

void TLevelGraph::SetYMin(double value) {
  if (!AssignNumber(m_yMin, value)) return;
  if (m_yMin > m_yMax - kMinYRange) m_yMax = m_yMin + kMinYRange;
  UpdateChanges();
}

void TLevelGraph::SetShowCursor(bool show) {
  if (Assign(m_showCursor, show)) update();
}
void TLevelGraph::SetShowBorder(bool show) {
  if (Assign(m_showBorder, show)) UpdateChanges();
}
void TLevelGraph::SetCursorPen(const ElementPen& pen) {
  if (Assign(m_cursorPen, pen)) update();
}

void TLevelGraph::SetTransparent(bool transparent) {
  if (!Assign(m_transparent, transparent)) return;
  // Transparent, the parent must paint what the picture leaves open.
  setAttribute(Qt::WA_OpaquePaintEvent, !transparent);
  setAttribute(Qt::WA_NoSystemBackground, !transparent);
  UpdateChanges();
}

void TLevelGraph::SetEnablePresentArray(bool enable) {
  if (Assign(m_enablePresentArray, enable)) UpdateChanges();
}

int TLevelGraph::SeriesOrCurrent(int series) const {
  if (series >= 0 && series < kSeriesCount) return series;
  return m_currentGraph >= 0 && m_currentGraph < kSeriesCount ? m_currentGraph : 0;
}

const ElementPen& TLevelGraph::GetGraphPen(int series) const {
  return m_graphPens[SeriesOrCurrent(series)];
}

void TLevelGraph::SetGraphPen(int series, const ElementPen& pen) {
  if (Assign(m_graphPens[SeriesOrCurrent(series)], pen)) UpdateChanges();
}

void TLevelGraph::SetAutoYMax(bool automatic) {
  if (Assign(m_autoYMax, automatic)) UpdateChanges();
}
void TLevelGraph::SetAutoYMin(bool automatic) {
  if (Assign(m_autoYMin, automatic)) UpdateChanges();
}
void TLevelGraph::SetStartTime(TDateTime time) {
  AssignNumber(m_startTime, time);
}
void TLevelGraph::SetStopTime(TDateTime time) {
  AssignNumber(m_stopTime, time);
}
void TLevelGraph::SetCursorTime(TDateTime time) {
  if (AssignNumber(m_cursorTime, time)) update();
}
void TLevelGraph::SetCursorY(double value) {
  AssignNumber(m_cursorY, value);
}

void TLevelGraph::SetDataStep(TDateTime step) {
  if (!std::isfinite(step) || step < kMinDataStep || step == m_dataStep) return;
  m_dataStep = step;
  double seconds = step * kSecondsPerDay;
  if (seconds > 1) seconds = std::trunc(seconds + 0.5);
  m_secondStep = seconds;
  UpdateChanges();
}

void TLevelGraph::SetSecondStep(double seconds) {
  if (!std::isfinite(seconds) || seconds == m_secondStep) return;
  m_secondStep = seconds < 0.01 ? 1 : seconds;
  m_dataStep = seconds / kSecondsPerDay;
  UpdateChanges();
}

void TLevelGraph::SetArraySize(int size) {
  if (size < 10 || size > kSlotCount) {
    ShowMessage(QMessageBox::Critical, u"Ошибка"_qs, u"Допускаются целые числа в диапазоне от 10 до 3000"_qs);
    return;
  }
  m_arraySize = size;
}

void TLevelGraph::SetIniName(const QString& name) {
  if (!Assign(m_iniName, name)) return;
  if (!m_iniName.isEmpty()) LoadFromIni();
}

void TLevelGraph::SetYLabelStep(double step) {
  if (AssignNumber(m_yLabelStep, step)) UpdateChanges();
}
void TLevelGraph::SetXLabelStep(TDateTime step) {
  if (AssignNumber(m_xLabelStep, step)) UpdateChanges();
}
void TLevelGraph::SetMinXLabel(bool show) {
  if (Assign(m_minXLabel, show)) UpdateChanges();
}
void TLevelGraph::SetMaxXLabel(bool show) {
  if (Assign(m_maxXLabel, show)) UpdateChanges();
}
void TLevelGraph::SetLabelNetPen(const ElementPen& pen) {
  if (Assign(m_labelNetPen, pen)) UpdateChanges();
}
void TLevelGraph::SetSecondNetStepX(TDateTime step) {
  AssignNumber(m_secondNetStepX, step);
}
void TLevelGraph::SetSecondNetStepY(double step) {
  AssignNumber(m_secondNetStepY, step);
}

void TLevelGraph::SetNewStartTime(TDateTime time) {
  AssignNumber(m_newStartTime, time);
}

void TLevelGraph::SetNewStopTime(TDateTime time) {
  if (AssignNumber(m_newStopTime, time)) m_newIntervalAccepted = false;
}

void TLevelGraph::SetNewCursorTime(TDateTime time) {
  if (AssignNumber(m_newCursorTime, time)) m_newIntervalAccepted = false;
}

void TLevelGraph::SetNewIntervalAccepted(bool accepted) {
  if (!Assign(m_newIntervalAccepted, accepted) || !accepted) return;
  m_cursorTime = m_newCursorTime;
  m_startTime = m_newStartTime;
  m_stopTime = m_newStopTime;
  UpdateChanges();
}

void TLevelGraph::SetXScaleFont(const ElementFont& font) {
  if (Assign(m_xScaleFont, font)) UpdateChanges();
}
void TLevelGraph::SetYScaleFont(const ElementFont& font) {
  if (Assign(m_yScaleFont, font)) UpdateChanges();
}

void TLevelGraph::SetIntervalSize(int) {
  ShowMessage(QMessageBox::Warning, u"Справка"_qs, u"Это поле только для чтения 1."_qs);
}
void TLevelGraph::SetIntervalPointCount(int) {
  ShowMessage(QMessageBox::Warning, u"Справка"_qs, u"Это поле только для чтения 2."_qs);
}
void TLevelGraph::SetDetectedYMin(double) {
  ShowMessage(QMessageBox::Warning, u"Справка"_qs, u"Это поле только для чтения 3."_qs);
}
void TLevelGraph::SetDetectedYMax(double) {
  ShowMessage(QMessageBox::Warning, u"Справка"_qs, u"Это поле только для чтения 4."_qs);
}

void TLevelGraph::SetScaleXFormat(const QString& format) {
  if (Assign(m_scaleXFormat, format)) UpdateChanges();
}
void TLevelGraph::SetScaleYFormat(const QString& format) {
  if (Assign(m_scaleYFormat, format)) UpdateChanges();
}

void TLevelGraph::SetDemoData(bool demo) {
  if (!Assign(m_demoData, demo)) return;
  if (demo) {
    FillDemoData();
  } else {
    ResetData();
  }
  UpdateChanges();
}

void TLevelGraph::SetMultiScaleMode(bool multi) {
  if (Assign(m_multiScaleMode, multi)) UpdateChanges();
}
void TLevelGraph::SetAutoYScale(bool automatic) {
  if (Assign(m_autoYScale, automatic)) UpdateChanges();
}
void TLevelGraph::SetAutoYScaleFormat(bool automatic) {
  if (Assign(m_autoYScaleFormat, automatic)) UpdateChanges();
}
void TLevelGraph::SetPositiveY(bool positive) {
  if (Assign(m_positiveY, positive)) UpdateChanges();
}
void TLevelGraph::SetWinLeftLimit(TDateTime time) {
  if (AssignNumber(m_winLeftLimit, time)) update();
}
void TLevelGraph::SetWinRightLimit(TDateTime time) {
  if (AssignNumber(m_winRightLimit, time)) update();
}
void TLevelGraph::SetWinLeftLimitOK(bool show) {
  if (Assign(m_winLeftLimitOK, show)) update();
}
void TLevelGraph::SetWinRightLimitOK(bool show) {
  if (Assign(m_winRightLimitOK, show)) update();
}
void TLevelGraph::SetWinLimitsPen(const ElementPen& pen) {
  if (Assign(m_winLimitsPen, pen)) update();
}
void TLevelGraph::SetAlarmColor(TColor color) {
  if (Assign(m_alarmColor, color)) UpdateChanges();
}
void TLevelGraph::SetBestNetLineCount(int count) {
  if (Assign(m_bestNetLineCount, count)) UpdateChanges();
}
void TLevelGraph::SetShowRightScale(bool show) {
  if (Assign(m_showRightScale, show)) UpdateChanges();
}
void TLevelGraph::SetRightYMin(double value) {
  if (AssignNumber(m_rightYMin, value)) UpdateChanges();
}
void TLevelGraph::SetRightYMax(double value) {
  if (AssignNumber(m_rightYMax, value)) UpdateChanges();
}
void TLevelGraph::SetRightScaleStep(double step) {
  if (AssignNumber(m_rightScaleStep, step)) UpdateChanges();
}
void TLevelGraph::SetLegendFont(const ElementFont& font) {
  if (Assign(m_legendFont, font)) UpdateChanges();
}
void TLevelGraph::SetLegendStrings(const QStringList& lines) {
  if (Assign(m_legendStrings, lines)) UpdateChanges();
}
void TLevelGraph::SetShowLegend(bool show) {
  if (Assign(m_showLegend, show)) UpdateChanges();
}
void TLevelGraph::SetMinDeltaY(double range) {
  if (AssignNumber(m_minDeltaY, range)) UpdateChanges();
}

void TLevelGraph::ShowMessage(QMessageBox::Icon icon, const QString& caption, const QString& text) {
  if (m_messageSink) {
    m_messageSink(icon, caption, text);
    return;
  }
  QMessageBox box(icon, caption, text, QMessageBox::Ok, window());
  box.exec();
}

// ---- Data

int TLevelGraph::SlotOfTime(TDateTime time) const {
  const int slot = Truncate(TimeToIndex(time));
  return slot >= 0 && slot < kSlotCount ? slot : -1;
}

int TLevelGraph::UsedSlotCount() const {
  return std::clamp(m_intervalPointCount, 0, kSlotCount);
}

void TLevelGraph::AddPoint(int series, TDateTime time, double value, bool alarm) {
  if (series < 0 || series >= kSeriesCount || !std::isfinite(value)) return;
  const int slotIndex = SlotOfTime(time);
  if (slotIndex < 0 || slotIndex >= m_intervalPointCount) return;
  std::unique_ptr<Series>& store = m_series[series];
  if (!store) store = std::make_unique<Series>();
  Slot& slot = (*store)[slotIndex];
  slot.Alarm = slot.Alarm || alarm;
  if (!slot.Present) {
    slot.Present = true;
    slot.Min = value;
    return;
  }
  if (slot.HasRange) {
    if (value < slot.Min) slot.Min = value;
    if (value > slot.Max) slot.Max = value;
    return;
  }
  if (value < slot.Min) {
    slot.Max = slot.Min;
    slot.Min = value;
    slot.HasRange = true;
  } else if (value > slot.Min) {
    slot.Max = value;
    slot.HasRange = true;
  }
}

double TLevelGraph::GetPoint(int series, TDateTime time) const {
  if (series < 0 || series >= kSeriesCount) return -1;
  const int slotIndex = SlotOfTime(time);
  if (slotIndex < 0) return -1;
  const Slot& slot = StoredSlot(series, slotIndex);
  return slot.Present ? slot.Min : -1;
}

void TLevelGraph::DelPoint(int series, TDateTime time) {
  if (series < 0 || series >= kSeriesCount) return;
  const int slotIndex = SlotOfTime(time);
  if (slotIndex >= 0 && m_series[series]) (*m_series[series])[slotIndex] = Slot{};
}

void TLevelGraph::ResetGraph(int series) {
  if (series < 0 || series >= kSeriesCount) return;
  if (m_series[series]) m_series[series]->fill(Slot{});
}

void TLevelGraph::ResetData() {
  for (int series = 0; series < kSeriesCount; ++series) ResetGraph(series);
}

const TLevelGraph::Slot& TLevelGraph::SlotAt(int series, int slot) const {
  static const Slot kEmpty;
  if (series < 0 || series >= kSeriesCount || slot < 0 || slot >= kSlotCount) return kEmpty;
  return StoredSlot(series, slot);
}

const TLevelGraph::Slot& TLevelGraph::StoredSlot(int series, int slot) const {
  static const Slot kEmpty;
  const std::unique_ptr<Series>& store = m_series[series];
  return store ? (*store)[slot] : kEmpty;
}

void TLevelGraph::UpdateChanges() {
  m_needRepaint = true;
  update();
}

void TLevelGraph::FillDemoData() {
  CalcRegion();
  const int slotCount = UsedSlotCount();
  if (slotCount < 10) return;
  const double range = m_yMax - m_yMin;
  const auto random = [this] {
    return m_randomSource ? m_randomSource() : QRandomGenerator::global()->generateDouble();
  };
  for (int series = 0; series < m_graphCount; ++series) {
    double value = m_yMin + range * (0.4 + 0.2 * random());
    double direction = 1;
    for (int slot = 0; slot < slotCount; ++slot) {
      value += direction * range * 0.05 * random();
      if (value >= m_yMax) {
        value = m_yMax;
        direction = -1;
      } else if (value <= m_yMin) {
        value = m_yMin;
        direction = 1;
      }
      AddPoint(series, m_startTime + slot * m_secondStep / kSecondsPerDay, value);
    }
  }
}

// ---- Geometry

bool TLevelGraph::CalcRegion() {
  m_plotLeft = m_graphLeft;
  m_plotTop = m_graphTop;
  m_plotRight = width() - m_graphSubWidth;
  m_plotBottom = height() - m_graphSubHeight;
  m_plotWidth = double(m_plotRight) - m_plotLeft + 1;
  m_plotHeight = double(m_plotBottom) - m_plotTop + 1;
  m_yRange = m_yMax - m_yMin;
  const double seconds = SecondsBetween(m_startTime, m_stopTime);
  m_intervalSize = seconds > 0 ? Truncate(seconds) : 0;
  m_intervalPointCount = m_intervalSize > 0 && m_secondStep > 0 ? Truncate(m_intervalSize / m_secondStep) : 0;
  m_pixelsPerSlot = m_intervalPointCount >= 1 ? m_plotWidth / m_intervalPointCount : 0;
  m_pixelsPerUnit = m_yRange > 0 ? m_plotHeight / m_yRange : 0;
  if (!std::isfinite(m_pixelsPerSlot) || !std::isfinite(m_pixelsPerUnit)) {
    m_pixelsPerSlot = 0;
    m_pixelsPerUnit = 0;
    Beep();
    return false;
  }
  if (m_intervalPointCount == 0 || !(m_yLabelStep > 1e-100) || !(m_xLabelStep > kMinXLabelStep)) return false;
  m_xNetStart = CalcStartNetPoint(m_startTime, m_xLabelStep);
  return true;
}

double TLevelGraph::TimeToIndex(TDateTime time) const {
  if (time > m_stopTime) return kSlotCount;
  if (time < m_startTime) return 0;
  const double seconds = SecondsBetween(m_startTime, time);
  const double index = m_secondStep > 0 ? seconds / m_secondStep : seconds;
  if (!std::isfinite(index)) {
    Beep();
    return 0;
  }
  return Limit(index, 0, kSlotCount);
}

double TLevelGraph::IndexToScreenX(double index) const {
  return Limit(m_plotLeft + m_pixelsPerSlot * index, m_plotLeft, m_plotRight);
}

double TLevelGraph::TimeToScreenX(TDateTime time) const {
  return IndexToScreenX(TimeToIndex(time));
}

double TLevelGraph::YToScreen(double value) const {
  return Limit(m_plotBottom - (value - m_yMin) * m_pixelsPerUnit, m_plotTop, m_plotBottom);
}

double TLevelGraph::ScreenToIX(double x) const {
  return m_pixelsPerSlot > 0 ? (x - m_plotLeft) / m_pixelsPerSlot : 0;
}

TDateTime TLevelGraph::ScreenToTime(double x) const {
  const TDateTime time = m_startTime + m_secondStep * ScreenToIX(x) / kSecondsPerDay;
  if (!std::isfinite(time)) {
    Beep();
    return NowDateTime();
  }
  return time;
}

double TLevelGraph::ScreenToY(double y) const {
  return m_pixelsPerUnit > 0 ? (m_plotBottom - y) / m_pixelsPerUnit : 0;
}

double TLevelGraph::CalcStartNetPoint(double value, double step) {
  if (!(step > 0) || value == 0) return 0;
  // A start exactly half a step past a grid line must round the same way
  // every time, not by the float noise of the day count: the quotient is
  // taken to a millionth first. nearbyint rounds halves to even.
  const double steps = std::nearbyint(std::round(value / step * 1e6) / 1e6);
  const double result = value > 0 ? step * (steps + 1) : step * steps;
  return std::isfinite(result) ? result : 0;
}

// ---- Automatic limits

void TLevelGraph::CheckDeltaY() {
  if (m_minDeltaY > 0 && m_yMax - m_yMin < m_minDeltaY) {
    const double middle = (m_yMin + m_yMax) / 2;
    m_yMin = middle - m_minDeltaY / 2;
    m_yMax = middle + m_minDeltaY / 2;
  }
}

void TLevelGraph::CheckAutoLimits() {
  double lo = 0;
  double hi = 0;
  bool seen = false;
  const auto take = [&](double value) {
    if (!seen) {
      lo = hi = value;
      seen = true;
    } else {
      lo = std::min(lo, value);
      hi = std::max(hi, value);
    }
  };
  // The data only matter to a limit that follows them.
  const int slotCount = m_autoYMin || m_autoYMax ? UsedSlotCount() : 0;
  for (int series = 0; series < m_graphCount && slotCount > 0; ++series) {
    for (int index = 0; index < slotCount; ++index) {
      const Slot& slot = StoredSlot(series, index);
      if (m_enablePresentArray && !slot.Present) continue;
      take(slot.Min);
      if (slot.HasRange) take(slot.Max);
    }
  }

  if (m_autoYMin) m_yMin = lo;
  if (m_autoYMax) m_yMax = hi;
  CheckDeltaY();

  double range = m_yMax - m_yMin;
  if (range < kMinYRange) {
    if (m_yMax == 0) {
      m_yMax = m_yMin + 1;
      hi = m_yMax;
      range = 1;
    } else {
      const double margin = 0.15 * std::abs(m_yMax);
      if (m_autoYMin) m_yMin -= margin;
      if (m_autoYMax) m_yMax += margin;
      range = m_yMax - m_yMin;
    }
  }
  lo -= 0.15 * range;
  hi += 0.15 * range;
  if (m_positiveY && lo < 0) lo = 0;
  if (m_autoYMin) m_yMin = lo;
  if (m_autoYMax) m_yMax = hi;
  CheckDeltaY();

  if (!m_autoYScale) return;
  range = m_yMax - m_yMin;
  if (range < kMinYRange) range = 0.01;
  const int decade = Truncate(std::log10(range));
  const int lines = m_bestNetLineCount > 2 ? m_bestNetLineCount : 5;
  const double ideal = range / lines;
  const double unit = 0.5 * std::pow(10.0, decade - 1);
  const double steps = std::trunc(ideal / unit);
  if (steps != 0 || !(unit > 0)) {
    m_yLabelStep = steps * unit;
  } else {
    m_yLabelStep = unit;
    if (range / unit < 3) {
      const double widen = (1.1 - ideal / unit) * unit;
      if (m_autoYMin && m_autoYMax) {
        m_yMin -= widen / 2;
        m_yMax += widen / 2;
        if (m_positiveY && m_yMin < 0) {
          m_yMax -= m_yMin;
          m_yMin = 0;
        }
      } else if (m_autoYMax) {
        m_yMax += widen;
      } else if (m_autoYMin) {
        m_yMin -= widen;
      }
    }
  }
  CheckDeltaY();

  range = m_yMax - m_yMin;
  if (range / m_yLabelStep < 1) {
    if (m_autoYMin && m_autoYMax) {
      m_yMin -= m_yLabelStep;
      m_yMax += m_yLabelStep;
    } else if (m_autoYMax) {
      m_yMax += m_yLabelStep;
    } else if (m_autoYMin) {
      m_yMin -= m_yLabelStep;
    }
  }
  if (m_autoYScaleFormat) {
    m_scaleYFormat = u"###0"_qs;
    if (range < 10.1) m_scaleYFormat = u"#0.0"_qs;
    if (range < 2.1) m_scaleYFormat = u"#0.00"_qs;
    if (range < 0.5) m_scaleYFormat = u"#0.000"_qs;
  }
}

// ---- Painting

void TLevelGraph::paintEvent(QPaintEvent*) {
  {
    QPainter page(this);
    if (PaintsToPage(page)) {
      // A printed graph is drawn afresh as lines and text; the screen's
      // picture stays as it is.
      if (DrawPicture(page)) PaintCursor(page);
      return;
    }
  }
  if (m_bitmap.size() != size()) {
    m_bitmap = QPixmap(size());
    if (m_bitmap.isNull()) return;
    // Until a picture can be drawn the control shows its plain background.
    if (m_transparent) {
      m_bitmap.fill(Qt::transparent);
    } else {
      m_bitmap.fill(ColorFromTColor(m_backColor));
    }
    m_needRepaint = true;
  }
  if (m_bitmap.isNull()) return;
  if (m_needRepaint) {
    RedrawPicture();
    m_needRepaint = false;
  }
  QPainter painter(this);
  painter.drawPixmap(0, 0, m_bitmap);
  // The cursor and the window limits go over the copy, so that moving the
  // cursor costs a copy and a line, not a new picture.
  if (m_pictureDrawn) PaintCursor(painter);
}

void TLevelGraph::hideEvent(QHideEvent* event) {
  // A hidden graph keeps its data, not its picture: the next showing draws
  // it again (a few milliseconds), and the views not in front hold no
  // pixmaps.
  m_bitmap = QPixmap();
  m_pictureDrawn = false;
  m_needRepaint = true;
  QWidget::hideEvent(event);
}

void TLevelGraph::RedrawPicture() {
  m_pictureDrawn = false;
  if (!CalcRegion()) return;
  if (m_transparent) m_bitmap.fill(Qt::transparent);
  QPainter painter(&m_bitmap);
  if (!DrawPicture(painter)) return;
  m_pictureDrawn = true;
  ++m_redrawCount;
}

bool TLevelGraph::DrawPicture(QPainter& painter) {
  if (!CalcRegion()) return false;
  painter.setRenderHint(QPainter::Antialiasing, false);
  PaintBackGround(painter, false);
  const double yMin = m_yMin;
  const double yMax = m_yMax;
  CheckAutoLimits();
  // New limits are drawn at once: the scale and the lines of this picture
  // must agree with the limits the properties now report.
  if ((yMin != m_yMin || yMax != m_yMax) && !CalcRegion()) return false;
  PaintXScale(painter, -1);
  PaintYScale(painter);
  if (m_multiScaleMode) {
    PaintMultiGraph(painter);
  } else {
    PaintGraphs(painter);
  }
  return true;
}

void TLevelGraph::DrawText(QPainter& painter, const ElementFont& font, int left, int top,
                           const QString& text) const {
  const QFont qfont = font.ToQFont();
  painter.setFont(qfont);
  painter.setPen(ColorFromTColor(font.Color()));
  painter.drawText(left, top + QFontMetrics(qfont).ascent(), text);
}

void TLevelGraph::PaintBackGround(QPainter& painter, bool noBackground) {
  if (!m_transparent && !noBackground) painter.fillRect(rect(), ColorFromTColor(m_backColor));
  const QRect plot(QPoint(m_plotLeft, m_plotTop), QPoint(m_plotRight, m_plotBottom));
  if (m_showBorder) {
    DrawRectangle(painter, plot, m_borderPen, ElementBrush{m_graphBackColor});
  } else {
    painter.fillRect(plot, ColorFromTColor(m_graphBackColor));
  }
}

void TLevelGraph::PaintXScale(QPainter& painter, int rightLimit) {
  if (!(m_pixelsPerSlot > 0) || !(m_xLabelStep > 0)) return;
  if ((m_stopTime - m_xNetStart) / m_xLabelStep > kMaxGridLines) return;
  const QFontMetrics scaleMetrics(m_xScaleFont.ToQFont());
  const QFontMetrics legendMetrics(m_legendFont.ToQFont());
  // The end labels take the font last used by the grid loop.
  const ElementFont* endFont = &m_xScaleFont;
  const int textTop = m_plotBottom + 2;
  const int legendCount = std::min<qsizetype>(m_graphCount, m_legendStrings.size());

  for (TDateTime t = m_xNetStart; t < m_stopTime; t += m_xLabelStep) {
    endFont = &m_xScaleFont;
    const int x = Truncate(TimeToScreenX(t));
    painter.setPen(m_labelNetPen.ToQPen());
    painter.drawLine(x, m_plotTop, x, m_plotBottom);
    if (!m_showScaleX) continue;

    const QString text = FormatDateTime(m_scaleXFormat, t, LabelFormatSettings());
    const int w = scaleMetrics.horizontalAdvance(text);
    int left = x - w / 2;
    if (left < 0) left = 2;
    if (left + w > m_plotRight) left = m_plotRight - w - 2;
    DrawText(painter, m_xScaleFont, left, textTop, text);

    if (!m_showLegend) continue;
    for (int series = 0; series < legendCount; ++series) {
      const QString& legend = m_legendStrings[series];
      const int slot = SlotOfTime(t);
      if (legend.isEmpty() || slot < 0 || !StoredSlot(series, slot).Present) continue;
      const int y = Truncate(YToScreen(GetPoint(series, t)));
      if (y <= m_plotTop || y >= m_plotBottom) continue;
      const int top = y - m_legendFont.Size() - 4;
      if (top <= m_plotTop || top >= m_plotBottom) continue;
      DrawText(painter, m_legendFont, x - legendMetrics.horizontalAdvance(legend) - 4, top, legend);
      endFont = &m_legendFont;
    }
  }

  const QFontMetrics endMetrics(endFont->ToQFont());
  if (m_minXLabel && m_showScaleX) {
    const int x0 = Truncate(TimeToScreenX(m_xNetStart)) - 2;
    const QString text = FormatDateTime(m_scaleXFormat, m_startTime, LabelFormatSettings());
    const int w = endMetrics.horizontalAdvance(text);
    int left = m_plotLeft - w / 2;
    if (x0 - w / 2 - 10 < left + w) left = x0 - w / 2 - w - 10;
    if (left < 0) left = 2;
    DrawText(painter, *endFont, left, textTop, text);
  }
  if (m_maxXLabel && m_showScaleX) {
    const QString text = FormatDateTime(m_scaleXFormat, m_stopTime, LabelFormatSettings());
    const int w = endMetrics.horizontalAdvance(text);
    int left = m_plotRight - w / 8;
    const int limit = rightLimit >= 1 ? rightLimit : m_bitmap.width();
    if (left + w > limit) left = limit - w - 2;
    DrawText(painter, *endFont, left, textTop, text);
  }
}

void TLevelGraph::PaintYScale(QPainter& painter) {
  if (!(m_pixelsPerUnit > 0) || !(m_yLabelStep > 0)) return;
  if ((m_yMax - m_yMin) / m_yLabelStep > kMaxGridLines) return;
  const QFontMetrics metrics(m_yScaleFont.ToQFont());
  const int halfHeight = metrics.height() / 2;
  const double step = m_yLabelStep;
  // The lowest grid multiple above YMin; a line on YMin itself would only
  // cover the plot's edge.
  double value = step * std::nearbyint(((m_yMin + m_yMax) / 2) / step);
  while (value - step > m_yMin) value -= step;
  double right = m_rightYMin;
  for (; value < m_yMax; value += step, right += m_rightScaleStep) {
    const int y = Truncate(YToScreen(value));
    painter.setPen(m_labelNetPen.ToQPen());
    painter.drawLine(m_plotLeft, y - 1, m_plotRight, y - 1);
    if (m_showScaleY) {
      const QString text = FormatFloat(m_scaleYFormat, value, LabelFormatSettings());
      DrawText(painter, m_yScaleFont, m_plotLeft - metrics.horizontalAdvance(text) - 4, y - halfHeight, text);
    }
    if (m_showRightScale) {
      const QString text = FormatFloat(m_scaleYFormat, right, LabelFormatSettings());
      DrawText(painter, m_yScaleFont, m_plotRight + 4, y - halfHeight, text);
    }
  }
}

void TLevelGraph::PaintGraphs(QPainter& painter) {
  const int slotCount = UsedSlotCount();
  // The lines of a series go to the painter in batches, and a run of
  // vertical segments on one pixel column (a day has about three slots per
  // column) as one segment: the segments of a connected path on one column
  // cover one interval, so the picture is the same, drawn with a fraction of
  // the painter's calls.
  std::vector<QLine> lines;
  lines.reserve(1024);
  // Screen columns of the slots, the same for every series.
  std::vector<int> columns(static_cast<size_t>(std::max(slotCount, 0)));
  for (int index = 0; index < slotCount; ++index) columns[index] = Truncate(IndexToScreenX(index));
  // YToScreen with the limits in registers; the result is clamped to the
  // plot, so the conversion to int is always defined.
  const double plotTop = m_plotTop;
  const double plotBottom = m_plotBottom;
  const double yMin = m_yMin;
  const double pixelsPerUnit = m_pixelsPerUnit;
  const auto screenY = [&](double value) {
    return static_cast<int>(
        std::trunc(Limit(plotBottom - (value - yMin) * pixelsPerUnit, plotTop, plotBottom)));
  };
  for (int series = 0; series < m_graphCount; ++series) {
    if (!m_series[series] && m_enablePresentArray) continue;  // no point at all
    const QPen seriesPen = m_graphPens[series].ToQPen();
    QPen alarmPen = seriesPen;
    alarmPen.setColor(ColorFromTColor(m_alarmColor));
    painter.setPen(seriesPen);
    bool alarmSelected = false;
    bool started = false;
    int previousX = 0;
    int previousY = 0;
    bool column = false;
    int columnX = 0;
    int columnLo = 0;
    int columnHi = 0;
    const auto flushColumn = [&] {
      if (column) lines.emplace_back(columnX, columnLo, columnX, columnHi);
      column = false;
    };
    const auto flush = [&] {
      flushColumn();
      if (!lines.empty()) painter.drawLines(lines.data(), static_cast<int>(lines.size()));
      lines.clear();
    };
    const auto segment = [&](int x0, int y0, int x1, int y1) {
      if (x0 != x1) {
        flushColumn();
        lines.emplace_back(x0, y0, x1, y1);
      } else if (column && columnX == x0) {
        columnLo = std::min({columnLo, y0, y1});
        columnHi = std::max({columnHi, y0, y1});
      } else {
        flushColumn();
        column = true;
        columnX = x0;
        columnLo = std::min(y0, y1);
        columnHi = std::max(y0, y1);
      }
    };
    for (int index = 0; index < slotCount; ++index) {
      const Slot& slot = StoredSlot(series, index);
      if (m_enablePresentArray && !slot.Present) {
        started = false;
        flushColumn();  // a gap is never bridged
        continue;
      }
      const int y0 = screenY(slot.Min);
      const int x = columns[index];
      const int y1 = slot.HasRange ? screenY(slot.Max) : y0;
      if (!started) {
        previousX = x;
        previousY = y1;
        started = true;
        continue;
      }
      if (slot.Alarm != alarmSelected) {
        flush();
        alarmSelected = slot.Alarm;
        painter.setPen(alarmSelected ? alarmPen : seriesPen);
      }
      // Enter the slot's min-max bar at the end nearer to where the line
      // comes from and leave it from the far end.
      if (!slot.HasRange) {
        segment(previousX, previousY, x, y0);
        previousY = y0;
      } else if (std::abs(previousY - y0) < std::abs(previousY - y1)) {
        segment(previousX, previousY, x, y0);
        segment(x, y0, x, y1);
        previousY = y1;
      } else {
        segment(previousX, previousY, x, y1);
        segment(x, y1, x, y0);
        previousY = y0;
      }
      previousX = x;
    }
    flush();
  }
}

void TLevelGraph::PaintMultiGraph(QPainter& painter) {
  const int slotCount = UsedSlotCount();
  for (int series = 0; series < m_graphCount; ++series) {
    const QPen seriesPen = m_graphPens[series].ToQPen();
    QPen alarmPen = seriesPen;
    alarmPen.setColor(ColorFromTColor(m_alarmColor));
    bool started = false;
    QPoint previous;
    for (int index = 0; index < slotCount; ++index) {
      const Slot& slot = StoredSlot(series, index);
      if (m_enablePresentArray && !slot.Present) {
        started = false;
        continue;
      }
      const double value = TranslateVal(slot.Min, m_multiLower[series], m_multiUpper[series], m_yMin, m_yMax);
      const QPoint point(Truncate(IndexToScreenX(index)), Truncate(YToScreen(value)));
      if (started) {
        painter.setPen(slot.Alarm ? alarmPen : seriesPen);
        painter.drawLine(previous, point);
      }
      previous = point;
      started = true;
    }
  }
}

void TLevelGraph::PaintCursor(QPainter& painter) {
  const auto line = [&](TDateTime time, const ElementPen& pen) {
    const int x = Truncate(TimeToScreenX(time));
    painter.setPen(pen.ToQPen());
    painter.drawLine(x, m_plotTop, x, m_plotBottom);
  };
  if (m_showCursor) line(m_cursorTime, m_cursorPen);
  if (m_winLeftLimitOK) line(m_winLeftLimit, m_winLimitsPen);
  if (m_winRightLimitOK) line(m_winRightLimit, m_winLimitsPen);
}

// ---- Input

void TLevelGraph::Change() {
  emit changed(this);
}

void TLevelGraph::mousePressEvent(QMouseEvent* event) {
  const int x = Truncate(event->position().x());
  const int y = Truncate(event->position().y());
  if ((event->buttons() & Qt::RightButton) &&
      isSignalConnected(QMetaMethod::fromSignal(&TLevelGraph::rightMouseDown))) {
    emit rightMouseDown(this, event->button(), event->modifiers(), x, y);
    return;
  }
  // The geometry of the interval as it is now, also when it changed since the
  // last picture.
  CalcRegion();
  SetCursorTime(ScreenToTime(x));
  setFocus(Qt::MouseFocusReason);
  Change();
}

void TLevelGraph::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Left:
      if (m_cursorTime > m_startTime) {
        SetCursorTime(m_cursorTime - m_dataStep);
        setFocus(Qt::OtherFocusReason);
        Change();
      }
      event->accept();
      return;
    case Qt::Key_Right:
      if (m_cursorTime < m_stopTime) {
        SetCursorTime(m_cursorTime + m_dataStep);
        setFocus(Qt::OtherFocusReason);
        Change();
      }
      event->accept();
      return;
    default:
      QWidget::keyPressEvent(event);
  }
}

// ---- Pens in the INI file

void TLevelGraph::LoadFromIni() {
  if (m_iniName.isEmpty()) return;
  const IniFile ini(IniPathOfConfigName(m_iniName));
  const QString section = objectName();
  for (int series = 0; series < kSeriesCount; ++series) {
    ElementPen pen = m_graphPens[series];
    pen.SetWidth(ReadWidthFromIni(ini, section, u"pw"_qs + QString::number(series), pen.Width()));
    pen.SetColor(ReadColorFromIni(ini, section, u"pc"_qs + QString::number(series), pen.Color()));
    SetGraphPen(series, pen);
  }
}

bool TLevelGraph::SaveToIni() const {
  if (m_iniName.isEmpty()) return false;
  IniFile ini(IniPathOfConfigName(m_iniName));
  const QString section = objectName();
  IniUpdate update(ini);
  for (int series = 0; series < kSeriesCount; ++series) {
    const ElementPen& pen = m_graphPens[series];
    ini.WriteInteger(section, u"pw"_qs + QString::number(series), pen.Width());
    WriteColorToIni(ini, section, u"pc"_qs + QString::number(series), pen.Color());
  }
  return update.Commit();
}
