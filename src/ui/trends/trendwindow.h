#pragma once

#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <vector>

#include "common/tdatetime.h"
#include "process/staterecord.h"
#include "ui/trends/printableview.h"
#include "ui/trends/trendrow.h"

class IniFile;
class TDatabaseThread;
class THistoryReader;
class TLevelGraph;

// What a trend window reads of the console. Every member may be empty
// (nothing connected, no records, no log, the system clock).
struct TrendSource {
  // The history database is open (the snapshot's view of it).
  std::function<bool()> DatabaseConnected;
  // The database thread the queries run on; must outlive the window.
  TDatabaseThread* Database = nullptr;
  // A copy of the in-memory minute records, oldest first.
  std::function<std::vector<MinuteRecord>()> MinuteRecords;
  // A line for the event log.
  std::function<void(const QString&)> AddLogMessage;
  std::function<TDateTime()> Now;
  // The main window's active view; point-value windows hide when it is not
  // their trend window.
  std::function<QWidget*()> ActiveView;
};

// How one trend window differs from the others in when it loads and what it
// says when a load fails.
struct TrendWindowRules {
  int TimerIntervalMs = 30000;
  // The timer tick whose count before the increment forces a full reload.
  int ForcedReloadTick = 3;
  // Reload puts the cursor in the middle of the interval.
  bool CursorToMiddle = true;
  // After a database load a YMax below 5 becomes 5.
  bool MinimumYMax = true;
  // The timer does nothing while the database is not connected, and checks
  // for new minutes in the same tick as a reload.
  bool TimerNeedsDatabase = false;
  // Event-log texts; empty: the failure is not logged.
  QString ReloadError;
  QString CheckError;
  QString TimerError;
};

// The part every trend window shares: the date picker and the shift box of
// the top panel, the hidden default button (Enter reloads), the wait panel,
// the update timer, and the loading scheme.
//
// Loading. Reload clears the graphs for the selected day and shift and fills
// them from the history database, or from the in-memory minute records when
// the database is not connected; CheckForUpdates appends what is newer than
// LastShown, from memory when memory has it. Rows are put into the graphs in
// 10-second steps from the previous fill step up to (not including) the row's
// own time, each step folded into the graphs' one-minute slots; the first row
// of a load and the first row after more than 5 minutes without one are put
// at their own time only, so a gap stays a gap. Queries run on the database
// thread (THistoryReader): the window never waits for the server, the graphs
// grow while rows arrive and are repainted every 60 rows, the wait panel shows
// during a reload, and LoadBusy refuses a second load until the first ended.
// A failed query keeps what the graphs hold and logs the rules' text.
//
// A derived window creates its graphs and lays out its controls; it says
// which graphs it has (TrendGraphs), what a row puts into them (PutRow) and
// which columns its CSV export holds (ExportColumns).
//
// Printing shows the window below its top panel (the child "PanelTop"), with
// the day and the shift of the last reload in the heading; the CSV export
// writes the minute records of that interval (TTrendCsvExport).
// User-interface thread only; the owner (Qt parent) owns the window.
class TTrendWindow : public QWidget, public TPrintableView {
  Q_OBJECT

 public:
  // The fill step and the longest distance between rows that is not a gap.
  static constexpr double kFillStep = 10.0 / 86400.0;
  static constexpr double kGapLimit = 5.0 / 1440.0;
  static constexpr int kRepaintRows = 60;

  TTrendWindow(TrendSource source, TrendWindowRules rules, QWidget* owner = nullptr);
  ~TTrendWindow() override;

  // The shared controls, created here, placed by the derived window.
  QDateEdit& DateTimePicker1() const { return *m_datePicker; }
  QComboBox& ComboBox1() const { return *m_comboBox; }
  QPushButton& ButReload() const { return *m_butReload; }
  QLabel& WaitPanel() const { return *m_waitPanel; }
  QTimer& TimerUpdate() { return m_timerUpdate; }

  // The loading operations (see the class comment).
  void Reload();
  void CheckForUpdates();
  void TimerUpdateTimer();
  void ButReloadClick() { Reload(); }

  int ShiftChoice() const { return m_shiftChoice; }
  TDateTime Day() const { return m_day; }
  TDateTime IntervalStart() const { return m_intervalStart; }
  TDateTime IntervalStop() const { return m_intervalStop; }
  TDateTime LastShown() const { return m_lastShown; }
  int TickCount() const { return m_tickCount; }
  bool NeedReload() const { return m_needReload; }
  void SetNeedReload(bool need) { m_needReload = need; }
  bool LoadBusy() const { return m_loadBusy; }
  bool TimerBusy() const { return m_timerBusy; }

  // The date picker and the shift box back to today and "Обе смены"; today
  // is the day whose shifts hold the present moment (before the first shift
  // of a calendar day starts, the day before).
  void SelectToday();

  const TrendSource& Source() const { return m_source; }
  TDateTime Now() const;

  // The day, the shift and the interval the graphs show: those of the last
  // reload, or of the picker and the shift box before the first one.
  struct Shown {
    TDateTime Day = 0;
    int Shift = 3;
    TDateTime Start = 0;
    TDateTime Stop = 0;
  };
  Shown ShownInterval() const;

  // Printing and export (see the class comment).
  QStringList PrintHeading() const override;
  QWidget* PrintBody() const override { return const_cast<TTrendWindow*>(this); }
  QRect PrintArea() const override;
  QString ExportFileStem() const override;
  void ExportCsv(const QString& path, ExportDone done) override;

  // The limits of a graph in section "section" of an INI file: YMin, YMax,
  // YLabelStep and, with "right", RightYMin, RightYMax, RightScaleStep.
  // Reading keeps what the file lacks or garbles, passes each value through
  // the graph's setter and logs a line for limits it cannot use (YMax not
  // above YMin, a step that is not positive) and then keeps the graph's own;
  // writing returns whether the file was written.
  void LoadGraphLimits(const IniFile& ini, const QString& section, TLevelGraph& graph, bool right);
  static bool SaveGraphLimits(IniFile& ini, const QString& section, const TLevelGraph& graph, bool right);

  // The element styles of every caption and arrow of the window from a style
  // file, as the diagram loads them with element editing off; with element
  // editing on at that moment, a right-button press on a graph opens its
  // scale dialog.
  void ApplyElementStyles(const QString& styleFile, const QString& appDir);

 signals:
  // A load (reload or update) has ended and the graphs were repainted.
  void LoadFinished();

 protected:
  // The window's graphs, in its order; all get the interval and the fill.
  virtual std::vector<TLevelGraph*> TrendGraphs() const = 0;
  // Puts a row's values into the graphs at time "at" (a fill step).
  virtual void PutRow(TDateTime at, const TrendRow& row) = 0;
  // After a load from the database, once the graphs are repainted.
  virtual void AfterDatabaseLoad() {}
  // The columns of the CSV export, in their order after RecMoment.
  virtual std::vector<TrendColumn> ExportColumns() const = 0;
  // The first line of a printed page: the window's title by default.
  virtual QString PrintTitle() const { return windowTitle(); }
  // Between fill batches while rows arrive: the default repaints every graph.
  virtual void RepaintGraphs();
  // Enter or Return anywhere in the window presses ButReload: a default
  // button reacts to Enter only inside a dialog, and this is a view.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  enum class LoadKind { None, Reload, Update };

  template <class Body>
  void Guarded(const QString& text, Body body);
  void ReloadBody();
  void CheckForUpdatesBody();
  void TimerUpdateTimerBody();
  // One fill step sequence for a row; "first" puts it at its own time only.
  void FillRow(const TrendRow& row, bool first);
  void FillFromMemory(const std::vector<MinuteRecord>& records);
  void StartQuery(LoadKind kind, TDateTime from, TDateTime to);
  void RowsArrived(const std::vector<TrendRow>& rows);
  void QueryFinished(bool ok, int rowCount, const QString& error, const QStringList& warnings);
  void EndLoad();
  const QString& LoadErrorText() const;
  void Log(const QString& text) const;
  bool Connected() const;
  std::vector<MinuteRecord> MinuteRecords() const;

  TrendSource m_source;
  TrendWindowRules m_rules;
  QDateEdit* m_datePicker = nullptr;
  QComboBox* m_comboBox = nullptr;
  QPushButton* m_butReload = nullptr;
  QLabel* m_waitPanel = nullptr;
  QTimer m_timerUpdate;
  THistoryReader* m_reader = nullptr;

  int m_shiftChoice = 3;
  TDateTime m_day = 0;
  TDateTime m_intervalStart = 0;
  TDateTime m_intervalStop = 0;
  TDateTime m_lastShown = 0;
  TDateTime m_prev = 0;  // the last fill step of the running load
  int m_rowsFilled = 0;  // rows of the running query so far
  int m_tickCount = 0;
  bool m_needReload = true;
  bool m_timerBusy = false;
  bool m_loadBusy = false;
  LoadKind m_loadKind = LoadKind::None;
};
