#pragma once

#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>

#include "common/tdatetime.h"
#include "ui/trends/printableview.h"
#include "ui/trends/summaryreader.h"

class TDatabaseThread;
class TOutField;

// What the summary table reads of the console. Every member may be empty
// (nothing connected, the default weights, no log, the system clock).
struct SummarySource {
  // The history database is open (the snapshot's view of it).
  std::function<bool()> DatabaseConnected;
  // The database thread the queries run on; must outlive the window.
  TDatabaseThread* Database = nullptr;
  // The summation constants as the configuration holds them now.
  std::function<SummaryConstants()> Constants;
  // A line for the event log.
  std::function<void(const QString&)> AddLogMessage;
  std::function<TDateTime()> Now;
};

// The summary table (F8): a chosen day's feed pulp, solids and reagent totals
// of both sections for shift 1, shift 2, the whole day and the month up to
// the end of that day, each a weighted sum of the day's minute rows that the
// database computes.
//
// Layout. A top panel with the title and the date picker DateTimePicker1; the
// table PanelTable (838 x 528, kept centred below the top panel) with a
// header and four blocks L1 (shift 1), L2 (shift 2), L3 (the day), L4 (the
// month to date) of three rows each (section 1, section 2, the total). The 60
// value cells are TOutFields named "OutField" + block + column + row, e.g.
// OutFieldL1VF1, OutFieldL3VRRSSUM, with the columns VF GF VRRS VRRP VRFL and
// the rows 1 2 SUM. A figure too wide for its cell is shown in a smaller font
// until it fits, and as "######" when it cannot. The 26 caption cells are
// TOutFields too:
//   header   CaptionParams ("Параметры:"), CaptionVFTop, CaptionVFUnit,
//            CaptionGFTop, CaptionGFUnit, CaptionVRRSTop, CaptionVRRSUnit,
//            CaptionVRRPTop, CaptionVRRPUnit, CaptionVRFL;
//   blocks   CaptionL1 ... CaptionL4;
//   rows     CaptionL1Row1, CaptionL1Row2, CaptionL1RowSUM ... CaptionL4RowSUM.
//
// Loading. Reload takes the picker's day, works out the four intervals and
// hands them to a TSummaryReader; it returns at once, and each block's cells
// change when its sums arrive. A block whose query fails keeps its figures and
// logs "Ошибка загрузки данных в сводную таблицу." once. The wait panel shows
// and LoadBusy refuses a second reload until the last block is in; then
// LoadFinished. The 27-second timer reloads at its first two ticks and then
// every minute or so while the day shown is not over (TimerUpdateTimer).
//
// User-interface thread only; the owner (Qt parent) owns the window.
class TFormSvodTable : public QWidget, public TPrintableView {
  Q_OBJECT

 public:
  static constexpr int kBlockCount = 4;
  static constexpr int kColumnCount = 5;
  static constexpr int kRowCount = 3;  // section 1, section 2, total
  static constexpr int kTableWidth = 838;
  static constexpr int kTableHeight = 528;
  static constexpr int kTimerIntervalMs = 27000;
  // The figures' font; a figure that does not fit shrinks down to the minimum.
  static constexpr int kFigurePixelSize = 16;
  static constexpr int kMinFigurePixelSize = 7;

  explicit TFormSvodTable(SummarySource source, QWidget* owner = nullptr);
  ~TFormSvodTable() override;

  QDateEdit& DateTimePicker1() const { return *m_datePicker; }
  QPushButton& ButReload() const { return *m_butReload; }
  QLabel& WaitPanel() const { return *m_waitPanel; }
  QWidget& PanelTable() const { return *m_panelTable; }
  QTimer& TimerUpdate() { return m_timerUpdate; }

  void Reload();
  void ButReloadClick() { Reload(); }
  void TimerUpdateTimer();
  // Centres the table in the room below the top panel.
  void FormResize();

  TDateTime Day() const { return m_day; }
  TDateTime IntervalStart() const { return m_intervalStart; }
  TDateTime IntervalStop() const { return m_intervalStop; }
  TDateTime LastReload() const { return m_lastReload; }
  int TickCount() const { return m_tickCount; }
  bool NeedReload() const { return m_needReload; }
  bool TimerBusy() const { return m_timerBusy; }
  bool LoadBusy() const { return m_loadBusy; }

  // block 0 ... 3 = L1 ... L4, column 0 ... 4 = VF ... VRFL, row 0 ... 2 = 1, 2,
  // SUM. Out of range: nullptr, 0, an empty name.
  TOutField* ValueCell(int block, int column, int row) const;
  double Figure(int block, int column, int row) const;
  static QString ValueCellName(int block, int column, int row);
  // The interval of the figures a block shows (kept when its last query
  // failed): the intervals of the day of construction until a reload fills it.
  SummaryInterval BlockInterval(int block) const;

  // TPrintableView: the title with the day, then one line per block with its
  // interval; the table; "svod-yyyy-MM-dd"; the 60 figures as CSV, written
  // before ExportCsv returns.
  QStringList PrintHeading() const override;
  QWidget* PrintBody() const override { return m_panelTable; }
  QString ExportFileStem() const override;
  void ExportCsv(const QString& path, ExportDone done) override;

 signals:
  // A reload has ended: every block's result is in (or the reload failed).
  void LoadFinished();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  // Enter or Return anywhere in the window presses ButReload: a default
  // button reacts to Enter only inside a dialog, and this is a view.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  template <class Body>
  void Guarded(const QString& text, Body body);
  void CreatePanelTop();
  void CreateTable();
  void ReloadBody();
  void TimerUpdateTimerBody();
  void BlockFinished(int index, const SummaryResult& result);
  void ReaderFinished();
  void FillBlock(int block, const SummaryResult& result);
  void ShowFigure(TOutField& cell, double value);
  void EndLoad();
  void Log(const QString& text) const;
  bool Connected() const;
  TDateTime Now() const;
  SummaryConstants Constants() const;

  SummarySource m_source;
  QWidget* m_panelTop = nullptr;
  QDateEdit* m_datePicker = nullptr;
  QPushButton* m_butReload = nullptr;
  QLabel* m_waitPanel = nullptr;
  QWidget* m_panelTable = nullptr;
  QTimer m_timerUpdate;
  TSummaryReader* m_reader = nullptr;
  std::array<std::array<std::array<TOutField*, kRowCount>, kColumnCount>, kBlockCount> m_cells{};

  TDateTime m_day = 0;
  TDateTime m_intervalStart = 0;
  TDateTime m_intervalStop = 0;
  TDateTime m_lastReload = 0;
  int m_tickCount = 0;
  bool m_needReload = true;
  bool m_timerBusy = false;
  bool m_loadBusy = false;

  // The running reload's intervals, and what the cells show.
  std::array<SummaryInterval, kBlockCount> m_loadIntervals{};
  bool m_loadFilledAny = false;
  bool m_loadBadValuesLogged = false;
  std::array<SummaryInterval, kBlockCount> m_shownIntervals{};
  TDateTime m_shownDay = 0;
};
