#pragma once

#include <QMessageBox>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

#include "common/tdatetime.h"
#include "ui/elements/elementfont.h"
#include "ui/elements/elementpen.h"
#include "ui/elements/tcolor.h"

class QPainter;

// The cursor shapes a graph can be told about; it always draws a vertical line.
enum TTamselCursorType {
  tm_cursor_VLine = 0,
  tm_cursor_BigCross = 1,
  tm_cursor_Cross = 2,
};

// The trend plot: up to 16 series against one time axis (a shift or a day),
// a time grid labelled by clock times, a value grid with a scale on the left
// and optionally a second scale on the right, a vertical cursor moved by the
// mouse and the arrow keys, and text legends along the series.
//
// Values are folded into a fixed store of kSlotCount time slots per series,
// SecondStep seconds each; a slot keeps the smallest and largest value it
// received, and a slot that received none is a gap in the line. Adding a
// point is constant time; a series' store is allocated at its first point.
// Drawing costs one step per slot.
//
// The picture is drawn into a pixmap of the control's size only after
// UpdateChanges (every setter of something drawn calls it) or a resize; other
// repaints copy the pixmap and draw the cursor and the window limits over
// it, so a cursor move redraws nothing. Setters given the value the property
// already has do nothing at all, so windows may push everything on every
// tick.
//
// The visible interval, the cursor and the data are switched together:
//   SetNewIntervalAccepted(false); SetNewStartTime/StopTime/CursorTime(...);
//   SetNewIntervalAccepted(true); ResetData(); CalcRegion(); AddPoint(...)...;
//   UpdateChanges();
// AddPoint only stores into slots below the IntervalPointCount that the last
// CalcRegion computed.
//
// The control is a panel: child widgets (titles, buttons, captions) are drawn
// over the plot. It takes the keyboard focus. Times are TDateTime day counts.
// Pens and fonts are the control's own copies; setters copy. With IniName set
// the 16 series pens are read from that file (section objectName()) when the
// name is set and written back when the control is destroyed. The owner widget
// owns the control (Qt parent). User-interface thread only.
class TLevelGraph : public QWidget {
  Q_OBJECT
  Q_PROPERTY(uint BackColor READ BackColor WRITE SetBackColor)
  Q_PROPERTY(uint GraphBackColor READ GraphBackColor WRITE SetGraphBackColor)
  Q_PROPERTY(int GraphTop READ GraphTop WRITE SetGraphTop)
  Q_PROPERTY(int GraphLeft READ GraphLeft WRITE SetGraphLeft)
  Q_PROPERTY(int GraphSubWidth READ GraphSubWidth WRITE SetGraphSubWidth)
  Q_PROPERTY(int GraphSubHeight READ GraphSubHeight WRITE SetGraphSubHeight)
  Q_PROPERTY(int GraphCount READ GraphCount WRITE SetGraphCount)
  Q_PROPERTY(bool ShowScaleY READ ShowScaleY WRITE SetShowScaleY)
  Q_PROPERTY(bool ShowScaleX READ ShowScaleX WRITE SetShowScaleX)
  Q_PROPERTY(double YMax READ YMax WRITE SetYMax)
  Q_PROPERTY(double YMin READ YMin WRITE SetYMin)
  Q_PROPERTY(QString AddYScaleStr READ AddYScaleStr WRITE SetAddYScaleStr)
  Q_PROPERTY(QString AddXScaleStr READ AddXScaleStr WRITE SetAddXScaleStr)
  Q_PROPERTY(bool ShowCursor READ ShowCursor WRITE SetShowCursor)
  Q_PROPERTY(bool ShowBorder READ ShowBorder WRITE SetShowBorder)
  Q_PROPERTY(bool Transparent READ Transparent WRITE SetTransparent)
  Q_PROPERTY(bool EnablePresentArray READ EnablePresentArray WRITE SetEnablePresentArray)
  Q_PROPERTY(int CurrentGraph READ CurrentGraph WRITE SetCurrentGraph)
  Q_PROPERTY(bool AutoYMax READ AutoYMax WRITE SetAutoYMax)
  Q_PROPERTY(bool AutoYMin READ AutoYMin WRITE SetAutoYMin)
  Q_PROPERTY(double StartTime READ StartTime WRITE SetStartTime)
  Q_PROPERTY(double StopTime READ StopTime WRITE SetStopTime)
  Q_PROPERTY(double CursorTime READ CursorTime WRITE SetCursorTime)
  Q_PROPERTY(int CursorPosition READ CursorPosition WRITE SetCursorPosition)
  Q_PROPERTY(double CursorY READ CursorY WRITE SetCursorY)
  Q_PROPERTY(double DataStep READ DataStep WRITE SetDataStep)
  Q_PROPERTY(int ArraySize READ ArraySize WRITE SetArraySize)
  Q_PROPERTY(QString IniName READ IniName WRITE SetIniName)
  Q_PROPERTY(double YLabelStep READ YLabelStep WRITE SetYLabelStep)
  Q_PROPERTY(bool MinYLabel READ MinYLabel WRITE SetMinYLabel)
  Q_PROPERTY(bool MaxYLabel READ MaxYLabel WRITE SetMaxYLabel)
  Q_PROPERTY(double XLabelStep READ XLabelStep WRITE SetXLabelStep)
  Q_PROPERTY(bool MinXLabel READ MinXLabel WRITE SetMinXLabel)
  Q_PROPERTY(bool MaxXLabel READ MaxXLabel WRITE SetMaxXLabel)
  Q_PROPERTY(bool ShowLabelNet READ ShowLabelNet WRITE SetShowLabelNet)
  Q_PROPERTY(double SecondNetStepX READ SecondNetStepX WRITE SetSecondNetStepX)
  Q_PROPERTY(double SecondNetStepY READ SecondNetStepY WRITE SetSecondNetStepY)
  Q_PROPERTY(bool ShowSecondNet READ ShowSecondNet WRITE SetShowSecondNet)
  Q_PROPERTY(double NewStartTime READ NewStartTime WRITE SetNewStartTime)
  Q_PROPERTY(double NewStopTime READ NewStopTime WRITE SetNewStopTime)
  Q_PROPERTY(double NewCursorTime READ NewCursorTime WRITE SetNewCursorTime)
  Q_PROPERTY(bool NewIntervalAccepted READ NewIntervalAccepted WRITE SetNewIntervalAccepted)
  Q_PROPERTY(double SecondStep READ SecondStep WRITE SetSecondStep)
  Q_PROPERTY(int IntervalSize READ IntervalSize WRITE SetIntervalSize STORED false)
  Q_PROPERTY(int IntervalPointCount READ IntervalPointCount WRITE SetIntervalPointCount STORED false)
  Q_PROPERTY(double DetectedYMin READ DetectedYMin WRITE SetDetectedYMin STORED false)
  Q_PROPERTY(double DetectedYMax READ DetectedYMax WRITE SetDetectedYMax STORED false)
  Q_PROPERTY(QString ScaleXFormat READ ScaleXFormat WRITE SetScaleXFormat)
  Q_PROPERTY(QString ScaleYFormat READ ScaleYFormat WRITE SetScaleYFormat)
  Q_PROPERTY(bool DemoData READ DemoData WRITE SetDemoData)
  Q_PROPERTY(bool MultiScaleMode READ MultiScaleMode WRITE SetMultiScaleMode)
  Q_PROPERTY(bool AutoRecalcScaleK READ AutoRecalcScaleK WRITE SetAutoRecalcScaleK)
  Q_PROPERTY(bool AutoYScale READ AutoYScale WRITE SetAutoYScale)
  Q_PROPERTY(bool AutoYScaleFormat READ AutoYScaleFormat WRITE SetAutoYScaleFormat)
  Q_PROPERTY(bool AutoXScaleFormat READ AutoXScaleFormat WRITE SetAutoXScaleFormat)
  Q_PROPERTY(bool PositiveY READ PositiveY WRITE SetPositiveY)
  Q_PROPERTY(double WinLeftLimit READ WinLeftLimit WRITE SetWinLeftLimit)
  Q_PROPERTY(double WinRightLimit READ WinRightLimit WRITE SetWinRightLimit)
  Q_PROPERTY(bool WinLeftLimitOK READ WinLeftLimitOK WRITE SetWinLeftLimitOK)
  Q_PROPERTY(bool WinRightLimitOK READ WinRightLimitOK WRITE SetWinRightLimitOK)
  Q_PROPERTY(uint AlarmColor READ AlarmColor WRITE SetAlarmColor)
  Q_PROPERTY(int BestNetLineCount READ BestNetLineCount WRITE SetBestNetLineCount)
  Q_PROPERTY(bool ShowRightScale READ ShowRightScale WRITE SetShowRightScale)
  Q_PROPERTY(double RightYMin READ RightYMin WRITE SetRightYMin)
  Q_PROPERTY(double RightYMax READ RightYMax WRITE SetRightYMax)
  Q_PROPERTY(double RightScaleStep READ RightScaleStep WRITE SetRightScaleStep)
  Q_PROPERTY(QStringList LegendStrings READ LegendStrings WRITE SetLegendStrings)
  Q_PROPERTY(bool ShowLegend READ ShowLegend WRITE SetShowLegend)
  Q_PROPERTY(double MinDeltaY READ MinDeltaY WRITE SetMinDeltaY)

 public:
  static constexpr int kSeriesCount = 16;
  static constexpr int kSlotCount = 3000;
  // The smallest value range the YMin / YMax setters leave.
  static constexpr double kMinYRange = 0.001;

  // One time slot of a series. All zero is an empty slot.
  struct Slot {
    double Min = 0;  // the only or the smallest value
    double Max = 0;  // the largest value, valid with HasRange
    bool Present = false;
    bool HasRange = false;  // two different values seen, Max > Min
    bool Alarm = false;     // some value was flagged as an alarm
  };

  // Shows a property message (caption, text, icon). Empty: a modal
  // QMessageBox parented to the control's window.
  using MessageSink =
      std::function<void(QMessageBox::Icon icon, const QString& caption, const QString& text)>;
  // A number in [0, 1) for the demo data.
  using RandomSource = std::function<double()>;

  explicit TLevelGraph(QWidget* owner = nullptr);
  // Writes the series pens to IniName when it is set.
  ~TLevelGraph() override;

  // ---- Published properties (see the class comment for the setter rules).
  const ElementPen& BorderPen() const { return m_borderPen; }
  void SetBorderPen(const ElementPen& pen);
  TColor BackColor() const { return m_backColor; }
  void SetBackColor(TColor color);
  TColor GraphBackColor() const { return m_graphBackColor; }
  void SetGraphBackColor(TColor color);
  int GraphTop() const { return m_graphTop; }
  void SetGraphTop(int pixels);
  int GraphLeft() const { return m_graphLeft; }
  void SetGraphLeft(int pixels);
  int GraphSubWidth() const { return m_graphSubWidth; }
  void SetGraphSubWidth(int pixels);
  int GraphSubHeight() const { return m_graphSubHeight; }
  void SetGraphSubHeight(int pixels);
  // Kept within 0 ... kSeriesCount.
  int GraphCount() const { return m_graphCount; }
  void SetGraphCount(int count);
  bool ShowScaleY() const { return m_showScaleY; }
  void SetShowScaleY(bool show);
  bool ShowScaleX() const { return m_showScaleX; }
  void SetShowScaleX(bool show);
  // The range never gets narrower than kMinYRange: the other limit moves.
  double YMax() const { return m_yMax; }
  void SetYMax(double value);
  double YMin() const { return m_yMin; }
  void SetYMin(double value);
  const QString& AddYScaleStr() const { return m_addYScaleStr; }
  void SetAddYScaleStr(const QString& text) { m_addYScaleStr = text; }
  const QString& AddXScaleStr() const { return m_addXScaleStr; }
  void SetAddXScaleStr(const QString& text) { m_addXScaleStr = text; }
  bool ShowCursor() const { return m_showCursor; }
  void SetShowCursor(bool show);
  bool ShowBorder() const { return m_showBorder; }
  void SetShowBorder(bool show);
  const ElementPen& CursorPen() const { return m_cursorPen; }
  void SetCursorPen(const ElementPen& pen);
  // The parent shows through outside the plot area.
  bool Transparent() const { return m_transparent; }
  void SetTransparent(bool transparent);
  // False draws empty slots as the value 0 instead of leaving gaps.
  bool EnablePresentArray() const { return m_enablePresentArray; }
  void SetEnablePresentArray(bool enable);
  int CurrentGraph() const { return m_currentGraph; }
  void SetCurrentGraph(int series) { m_currentGraph = series; }
  // The pen of CurrentGraph.
  const ElementPen& GraphPen() const { return GetGraphPen(m_currentGraph); }
  void SetGraphPen(const ElementPen& pen) { SetGraphPen(m_currentGraph, pen); }
  // Series pens; an index outside 0 ... 15 means CurrentGraph.
  const ElementPen& GetGraphPen(int series) const;
  void SetGraphPen(int series, const ElementPen& pen);
  bool AutoYMax() const { return m_autoYMax; }
  void SetAutoYMax(bool automatic);
  bool AutoYMin() const { return m_autoYMin; }
  void SetAutoYMin(bool automatic);
  // The plotted interval; the setters only store (CalcRegion applies them).
  TDateTime StartTime() const { return m_startTime; }
  void SetStartTime(TDateTime time);
  TDateTime StopTime() const { return m_stopTime; }
  void SetStopTime(TDateTime time);
  // Repaints; does not emit changed().
  TDateTime CursorTime() const { return m_cursorTime; }
  void SetCursorTime(TDateTime time);
  int CursorPosition() const { return m_cursorPosition; }
  void SetCursorPosition(int position) { m_cursorPosition = position; }
  TTamselCursorType CursorType() const { return m_cursorType; }
  void SetCursorType(TTamselCursorType type) { m_cursorType = type; }
  double CursorY() const { return m_cursorY; }
  void SetCursorY(double value);
  // Slot length as a day fraction; at least 10 ms. Sets SecondStep.
  TDateTime DataStep() const { return m_dataStep; }
  void SetDataStep(TDateTime step);
  // 10 ... 3000, else a message and the value stays. Stored only.
  int ArraySize() const { return m_arraySize; }
  void SetArraySize(int size);
  // Setting a new non-empty name loads the series pens from that file.
  const QString& IniName() const { return m_iniName; }
  void SetIniName(const QString& name);
  double YLabelStep() const { return m_yLabelStep; }
  void SetYLabelStep(double step);
  bool MinYLabel() const { return m_minYLabel; }
  void SetMinYLabel(bool show) { m_minYLabel = show; }
  bool MaxYLabel() const { return m_maxYLabel; }
  void SetMaxYLabel(bool show) { m_maxYLabel = show; }
  TDateTime XLabelStep() const { return m_xLabelStep; }
  void SetXLabelStep(TDateTime step);
  // Write the start / stop time below the axis ends.
  bool MinXLabel() const { return m_minXLabel; }
  void SetMinXLabel(bool show);
  bool MaxXLabel() const { return m_maxXLabel; }
  void SetMaxXLabel(bool show);
  bool ShowLabelNet() const { return m_showLabelNet; }
  void SetShowLabelNet(bool show) { m_showLabelNet = show; }
  const ElementPen& LabelNetPen() const { return m_labelNetPen; }
  void SetLabelNetPen(const ElementPen& pen);
  TDateTime SecondNetStepX() const { return m_secondNetStepX; }
  void SetSecondNetStepX(TDateTime step);
  double SecondNetStepY() const { return m_secondNetStepY; }
  void SetSecondNetStepY(double step);
  const ElementPen& SecondNetPen() const { return m_secondNetPen; }
  void SetSecondNetPen(const ElementPen& pen) { m_secondNetPen = pen; }
  bool ShowSecondNet() const { return m_showSecondNet; }
  void SetShowSecondNet(bool show) { m_showSecondNet = show; }
  // The next interval and cursor. NewStopTime and NewCursorTime clear
  // NewIntervalAccepted; setting it true copies all three at once.
  TDateTime NewStartTime() const { return m_newStartTime; }
  void SetNewStartTime(TDateTime time);
  TDateTime NewStopTime() const { return m_newStopTime; }
  void SetNewStopTime(TDateTime time);
  TDateTime NewCursorTime() const { return m_newCursorTime; }
  void SetNewCursorTime(TDateTime time);
  bool NewIntervalAccepted() const { return m_newIntervalAccepted; }
  void SetNewIntervalAccepted(bool accepted);
  const ElementFont& XScaleFont() const { return m_xScaleFont; }
  void SetXScaleFont(const ElementFont& font);
  const ElementFont& YScaleFont() const { return m_yScaleFont; }
  void SetYScaleFont(const ElementFont& font);
  // Slot length in seconds; below 0.01 stores 1. Sets DataStep.
  double SecondStep() const { return m_secondStep; }
  void SetSecondStep(double seconds);
  // Read-only, computed by CalcRegion; the setters only say so.
  int IntervalSize() const { return m_intervalSize; }
  void SetIntervalSize(int);
  int IntervalPointCount() const { return m_intervalPointCount; }
  void SetIntervalPointCount(int);
  double DetectedYMin() const { return 0; }
  void SetDetectedYMin(double);
  double DetectedYMax() const { return 0; }
  void SetDetectedYMax(double);
  const QString& ScaleXFormat() const { return m_scaleXFormat; }
  void SetScaleXFormat(const QString& format);
  const QString& ScaleYFormat() const { return m_scaleYFormat; }
  void SetScaleYFormat(const QString& format);
  // True fills the drawn series with a random walk, false clears all data.
  bool DemoData() const { return m_demoData; }
  void SetDemoData(bool demo);
  bool MultiScaleMode() const { return m_multiScaleMode; }
  void SetMultiScaleMode(bool multi);
  bool AutoRecalcScaleK() const { return m_autoRecalcScaleK; }
  void SetAutoRecalcScaleK(bool recalc) { m_autoRecalcScaleK = recalc; }
  bool AutoYScale() const { return m_autoYScale; }
  void SetAutoYScale(bool automatic);
  bool AutoYScaleFormat() const { return m_autoYScaleFormat; }
  void SetAutoYScaleFormat(bool automatic);
  bool AutoXScaleFormat() const { return m_autoXScaleFormat; }
  void SetAutoXScaleFormat(bool automatic) { m_autoXScaleFormat = automatic; }
  bool PositiveY() const { return m_positiveY; }
  void SetPositiveY(bool positive);
  TDateTime WinLeftLimit() const { return m_winLeftLimit; }
  void SetWinLeftLimit(TDateTime time);
  TDateTime WinRightLimit() const { return m_winRightLimit; }
  void SetWinRightLimit(TDateTime time);
  bool WinLeftLimitOK() const { return m_winLeftLimitOK; }
  void SetWinLeftLimitOK(bool show);
  bool WinRightLimitOK() const { return m_winRightLimitOK; }
  void SetWinRightLimitOK(bool show);
  const ElementPen& WinLimitsPen() const { return m_winLimitsPen; }
  void SetWinLimitsPen(const ElementPen& pen);
  TColor AlarmColor() const { return m_alarmColor; }
  void SetAlarmColor(TColor color);
  int BestNetLineCount() const { return m_bestNetLineCount; }
  void SetBestNetLineCount(int count);
  bool ShowRightScale() const { return m_showRightScale; }
  void SetShowRightScale(bool show);
  // The right scale writes RightYMin at the first value-grid line above YMin
  // and adds RightScaleStep per line; series for it are stored converted to
  // the left scale by the caller.
  double RightYMin() const { return m_rightYMin; }
  void SetRightYMin(double value);
  double RightYMax() const { return m_rightYMax; }
  void SetRightYMax(double value);
  double RightScaleStep() const { return m_rightScaleStep; }
  void SetRightScaleStep(double step);
  const ElementFont& LegendFont() const { return m_legendFont; }
  void SetLegendFont(const ElementFont& font);
  // Line i is the legend of series i.
  const QStringList& LegendStrings() const { return m_legendStrings; }
  void SetLegendStrings(const QStringList& lines);
  bool ShowLegend() const { return m_showLegend; }
  void SetShowLegend(bool show);
  double MinDeltaY() const { return m_minDeltaY; }
  void SetMinDeltaY(double range);

  // ---- Data. Series outside 0 ... 15 are ignored (GetPoint: -1).
  void AddPoint(int series, TDateTime time, double value, bool alarm = false);
  // The slot's Min, or -1 for an empty slot.
  double GetPoint(int series, TDateTime time) const;
  void DelPoint(int series, TDateTime time);
  void ResetGraph(int series);
  void ResetData();
  // The slot itself (slot 0 ... kSlotCount - 1), for readers that need the range.
  const Slot& SlotAt(int series, int slot) const;

  // Marks the picture changed and asks for a repaint.
  void UpdateChanges();

  // ---- Geometry, valid after CalcRegion. The plot area is the control minus
  // the four margins; PlotRight and PlotBottom are its last pixels.
  bool CalcRegion();
  int PlotLeft() const { return m_plotLeft; }
  int PlotTop() const { return m_plotTop; }
  int PlotRight() const { return m_plotRight; }
  int PlotBottom() const { return m_plotBottom; }
  double PlotWidth() const { return m_plotWidth; }
  double PlotHeight() const { return m_plotHeight; }
  double YRange() const { return m_yRange; }
  double PixelsPerSlot() const { return m_pixelsPerSlot; }
  double PixelsPerUnit() const { return m_pixelsPerUnit; }
  TDateTime XNetStart() const { return m_xNetStart; }

  // Slot position of a time, 0 ... kSlotCount (after StopTime: kSlotCount,
  // before StartTime: 0); a slot is its whole part.
  double TimeToIndex(TDateTime time) const;
  double IndexToScreenX(double index) const;
  double TimeToScreenX(TDateTime time) const;
  double YToScreen(double value) const;
  double ScreenToIX(double x) const;
  TDateTime ScreenToTime(double x) const;
  // Value distance from the plot's bottom edge (YMin not added).
  double ScreenToY(double y) const;
  // The first line of a grid of "step" after "value".
  static double CalcStartNetPoint(double value, double step);

  // ---- Automatic limits; the drawing pass calls CheckAutoLimits itself.
  void CheckAutoLimits();
  void CheckDeltaY();

  // Emits changed(this).
  void Change();

  // ---- The 16 series pens in IniName: keys "pw"i and "pc"i of section
  // objectName(). Loading keeps what the file does not hold sanely; saving
  // returns whether the file was written.
  void LoadFromIni();
  bool SaveToIni() const;

  // True while the picture waits to be redrawn.
  bool NeedRepaint() const { return m_needRepaint; }
  // How many times the picture was redrawn (not merely copied) so far.
  int RedrawCount() const { return m_redrawCount; }

  void SetMessageSink(MessageSink sink) { m_messageSink = std::move(sink); }
  void SetRandomSource(RandomSource source) { m_randomSource = std::move(source); }

 signals:
  // The operator moved the cursor (mouse or arrow key).
  void changed(TLevelGraph* sender);
  // A press made while the right button is down; while something is connected
  // here such presses leave the cursor alone.
  void rightMouseDown(TLevelGraph* sender, Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x,
                      int y);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

  // The drawing steps of one pass, on the picture's painter.
  void PaintBackGround(QPainter& painter, bool noBackground);
  void PaintXScale(QPainter& painter, int rightLimit);
  void PaintYScale(QPainter& painter);
  void PaintGraphs(QPainter& painter);
  void PaintMultiGraph(QPainter& painter);
  void PaintCursor(QPainter& painter);

 private:
  using Series = std::array<Slot, kSlotCount>;
  // Slot "slot" (0 ... kSlotCount - 1) of a valid series; an empty one when
  // the series has no store yet.
  const Slot& StoredSlot(int series, int slot) const;

  // The slot of "time", or -1 outside the store.
  int SlotOfTime(TDateTime time) const;
  // Slots the drawing and the limits look at: IntervalPointCount, at most
  // the store's capacity.
  int UsedSlotCount() const;
  int SeriesOrCurrent(int series) const;
  void RedrawPicture();
  // One whole picture but the cursor on "painter"; false when the control
  // has no room for a plot.
  bool DrawPicture(QPainter& painter);
  void FillDemoData();
  void ShowMessage(QMessageBox::Icon icon, const QString& caption, const QString& text);
  void DrawText(QPainter& painter, const ElementFont& font, int left, int top, const QString& text) const;

  ElementPen m_borderPen;
  TColor m_backColor = clSilver;
  TColor m_graphBackColor = clWhite;
  int m_graphTop = 10;
  int m_graphLeft = 30;
  int m_graphSubWidth = 30;
  int m_graphSubHeight = 15;
  int m_graphCount = 1;
  bool m_showScaleY = true;
  bool m_showScaleX = true;
  double m_yMax = 0;
  double m_yMin = 0;
  QString m_addYScaleStr;
  QString m_addXScaleStr;
  bool m_showCursor = false;
  bool m_showBorder = false;
  ElementPen m_cursorPen;
  bool m_transparent = false;
  bool m_enablePresentArray = true;
  int m_currentGraph = 0;
  std::array<ElementPen, kSeriesCount> m_graphPens;
  bool m_autoYMax = false;
  bool m_autoYMin = false;
  TDateTime m_startTime = 0;
  TDateTime m_stopTime = 0;
  TDateTime m_cursorTime = 0;
  int m_cursorPosition = 0;
  TTamselCursorType m_cursorType = tm_cursor_VLine;
  double m_cursorY = 0;
  TDateTime m_dataStep = 1.0 / 1440;
  int m_arraySize = 1000;
  QString m_iniName;
  double m_yLabelStep = 0;
  bool m_minYLabel = false;
  bool m_maxYLabel = false;
  TDateTime m_xLabelStep = 0;
  bool m_minXLabel = false;
  bool m_maxXLabel = false;
  bool m_showLabelNet = false;
  ElementPen m_labelNetPen;
  TDateTime m_secondNetStepX = 0;
  double m_secondNetStepY = 0;
  ElementPen m_secondNetPen;
  bool m_showSecondNet = false;
  TDateTime m_newStartTime = 0;
  TDateTime m_newStopTime = 0;
  TDateTime m_newCursorTime = 0;
  bool m_newIntervalAccepted = false;
  ElementFont m_xScaleFont;
  ElementFont m_yScaleFont;
  double m_secondStep = 60;
  QString m_scaleXFormat = QStringLiteral("hh:mm");
  QString m_scaleYFormat = QStringLiteral("###%");
  bool m_demoData = false;
  bool m_multiScaleMode = false;
  bool m_autoRecalcScaleK = false;
  bool m_autoYScale = false;
  bool m_autoYScaleFormat = true;
  bool m_autoXScaleFormat = true;
  bool m_positiveY = false;
  TDateTime m_winLeftLimit = 0;
  TDateTime m_winRightLimit = 0;
  bool m_winLeftLimitOK = false;
  bool m_winRightLimitOK = false;
  ElementPen m_winLimitsPen;
  TColor m_alarmColor = clRed;
  int m_bestNetLineCount = 4;
  bool m_showRightScale = false;
  double m_rightYMin = 0;
  double m_rightYMax = 0;
  double m_rightScaleStep = 0;
  ElementFont m_legendFont;
  QStringList m_legendStrings;
  bool m_showLegend = false;
  double m_minDeltaY = 0;

  // Geometry of the last CalcRegion.
  int m_plotLeft = 0;
  int m_plotTop = 0;
  int m_plotRight = 0;
  int m_plotBottom = 0;
  double m_plotWidth = 0;
  double m_plotHeight = 0;
  double m_yRange = 0;
  int m_intervalSize = 0;
  int m_intervalPointCount = 0;
  double m_pixelsPerSlot = 0;
  double m_pixelsPerUnit = 0;
  TDateTime m_xNetStart = 0;

  // Per-series bounds of the alternative painting; nothing sets them.
  std::array<double, kSeriesCount> m_multiLower{};
  std::array<double, kSeriesCount> m_multiUpper{};

  // 16 x 3000 slots, about 1.1 MB, allocated once with the control.
  // A series' slots are allocated when it first receives a point: most
  // graphs draw one or two of their sixteen.
  std::array<std::unique_ptr<Series>, kSeriesCount> m_series;
  bool m_pictureDrawn = false;  // the last redraw had a region to draw in

  QPixmap m_bitmap;
  bool m_needRepaint = true;
  int m_redrawCount = 0;
  MessageSink m_messageSink;
  RandomSource m_randomSource;
};
