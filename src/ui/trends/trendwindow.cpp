#include "ui/trends/trendwindow.h"

#include <QCalendarWidget>
#include <QDate>
#include <QKeyEvent>
#include <algorithm>
#include <cmath>

#include "common/inifile.h"
#include "storage/databasethread.h"
#include "ui/common/elementeditmode.h"
#include "ui/common/shift.h"
#include "ui/editors/labelfont.h"
#include "ui/elements/arrow.h"
#include "ui/elements/label.h"
#include "ui/trends/formeditgraph.h"
#include "ui/trends/historyreader.h"
#include "ui/trends/levelgraph.h"
#include "ui/trends/trendcsvexport.h"
#include "ui/trends/trendstyle.h"

namespace {

constexpr double kOneMinute = 1.0 / 1440.0;
constexpr double kOneHour = 1.0 / 24.0;

bool IsClass(const QObject& object, const char* name) {
  return qstrcmp(object.metaObject()->className(), name) == 0;
}

}  // namespace

TTrendWindow::TTrendWindow(TrendSource source, TrendWindowRules rules, QWidget* owner)
    : QWidget(owner), m_source(std::move(source)), m_rules(std::move(rules)) {
  m_datePicker = new QDateEdit(this);
  m_datePicker->setObjectName(QStringLiteral("DateTimePicker1"));
  m_datePicker->setCalendarPopup(true);
  m_datePicker->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));

  m_comboBox = new QComboBox(this);
  m_comboBox->setObjectName(QStringLiteral("ComboBox1"));
  m_comboBox->addItems({u"Смена №1"_qs, u"Смена №2"_qs, u"Обе смены"_qs});

  // Enter anywhere in the window reloads: the default button sits outside
  // the visible area.
  m_butReload = new QPushButton(u"Обновить"_qs, this);
  m_butReload->setObjectName(QStringLiteral("ButReload"));
  m_butReload->setDefault(true);
  m_butReload->setAutoDefault(true);
  m_butReload->setGeometry(-200, -200, 75, 25);
  connect(m_butReload, &QPushButton::clicked, this, [this] { ButReloadClick(); });

  m_waitPanel = MakeWaitPanel(this);

  m_reader = new THistoryReader(m_source.Database, this);
  connect(m_reader, &THistoryReader::RowsArrived, this, [this](const std::vector<TrendRow>& rows) {
    Guarded(LoadErrorText(), [&] { RowsArrived(rows); });
  });
  connect(m_reader, &THistoryReader::Finished, this,
          [this](bool ok, int rowCount, const QString& error, const QStringList& warnings) {
            Guarded(LoadErrorText(), [&] { QueryFinished(ok, rowCount, error, warnings); });
          });

  m_timerUpdate.setInterval(m_rules.TimerIntervalMs);
  connect(&m_timerUpdate, &QTimer::timeout, this, [this] { TimerUpdateTimer(); });
  SelectToday();
  m_timerUpdate.start();
}

TTrendWindow::~TTrendWindow() = default;

TTrendWindow::Shown TTrendWindow::ShownInterval() const {
  Shown shown;
  if (m_intervalStop > 0) {
    shown = {m_day, m_shiftChoice, m_intervalStart, m_intervalStop};
    return shown;
  }
  shown.Day = DateTimeFromQDateTime(m_datePicker->date().startOfDay());
  shown.Shift = std::clamp(m_comboBox->currentIndex() + 1, 1, 3);
  ShiftRange(shown.Day, shown.Shift, shown.Start, shown.Stop);
  return shown;
}

QStringList TTrendWindow::PrintHeading() const {
  const Shown shown = ShownInterval();
  const QString pattern = QStringLiteral("dd.MM.yyyy hh:mm:ss");
  return {PrintTitle(), u"За "_qs + QDateTimeFromDateTime(shown.Day).toString(QStringLiteral("dd.MM.yyyy")) +
                            u", "_qs + m_comboBox->itemText(shown.Shift - 1).toLower() + u": "_qs +
                            QDateTimeFromDateTime(shown.Start).toString(pattern) + u" – "_qs +
                            QDateTimeFromDateTime(shown.Stop).toString(pattern)};
}

QRect TTrendWindow::PrintArea() const {
  const QWidget* top = findChild<QWidget*>(QStringLiteral("PanelTop"), Qt::FindDirectChildrenOnly);
  if (top == nullptr || top->isHidden()) return rect();
  return QRect(0, top->geometry().bottom() + 1, width(), height() - top->geometry().bottom() - 1);
}

QString TTrendWindow::ExportFileStem() const {
  const Shown shown = ShownInterval();
  static const char* const kShiftNames[] = {"smena1", "smena2", "sutki"};
  return objectName() + u"-"_qs + QDateTimeFromDateTime(shown.Day).toString(QStringLiteral("yyyy-MM-dd")) +
         u"-"_qs + QLatin1String(kShiftNames[shown.Shift - 1]);
}

void TTrendWindow::ExportCsv(const QString& path, ExportDone done) {
  const Shown shown = ShownInterval();
  TTrendCsvExport::Start(m_source, shown.Start, shown.Stop, ExportColumns(), path, std::move(done), this);
}

TDateTime TTrendWindow::Now() const {
  return m_source.Now ? m_source.Now() : NowDateTime();
}

void TTrendWindow::SelectToday() {
  m_datePicker->setDate(QDateTimeFromDateTime(ProductionDay(Now())).date());
  m_comboBox->setCurrentIndex(2);
}

std::vector<MinuteRecord> TTrendWindow::MinuteRecords() const {
  return m_source.MinuteRecords ? m_source.MinuteRecords() : std::vector<MinuteRecord>{};
}

bool TTrendWindow::Connected() const {
  return m_source.DatabaseConnected && m_source.DatabaseConnected() && m_source.Database != nullptr;
}

void TTrendWindow::Log(const QString& text) const {
  if (!text.isEmpty() && m_source.AddLogMessage) m_source.AddLogMessage(text);
}

const QString& TTrendWindow::LoadErrorText() const {
  return m_loadKind == LoadKind::Update ? m_rules.CheckError : m_rules.ReloadError;
}

void TTrendWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    m_butReload->click();
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TTrendWindow::RepaintGraphs() {
  for (TLevelGraph* graph : TrendGraphs()) graph->UpdateChanges();
}

// Whatever escapes a load (an allocation failure) is logged with the
// window's text and leaves the window usable: the busy flags are cleared
// and the graphs keep what they held.
template <class Body>
void TTrendWindow::Guarded(const QString& text, Body body) {
  try {
    body();
  } catch (...) {
    Log(text);
    m_loadKind = LoadKind::None;
    m_waitPanel->hide();
    m_loadBusy = false;
    m_timerBusy = false;
  }
}

void TTrendWindow::Reload() {
  Guarded(m_rules.ReloadError, [this] { ReloadBody(); });
}

void TTrendWindow::CheckForUpdates() {
  Guarded(m_rules.CheckError, [this] { CheckForUpdatesBody(); });
}

void TTrendWindow::TimerUpdateTimer() {
  Guarded(m_rules.TimerError, [this] { TimerUpdateTimerBody(); });
}

void TTrendWindow::ReloadBody() {
  m_needReload = false;
  m_shiftChoice = m_comboBox->currentIndex() + 1;
  if (m_shiftChoice < 1 || m_shiftChoice > 3) {
    m_comboBox->setCurrentIndex(2);
    ReloadBody();
    return;
  }
  if (m_loadBusy) return;
  m_loadBusy = true;

  const QDate date = m_datePicker->date();
  m_day = EncodeDateTime(date.year(), date.month(), date.day());
  ShiftRange(m_day, m_shiftChoice, m_intervalStart, m_intervalStop);
  for (TLevelGraph* graph : TrendGraphs()) {
    graph->SetXLabelStep(m_shiftChoice == 3 ? 2 * kOneHour : kOneHour);
    graph->SetNewIntervalAccepted(false);
    graph->SetNewStartTime(m_intervalStart);
    graph->SetNewStopTime(m_intervalStop);
    graph->SetNewCursorTime(m_rules.CursorToMiddle ? (m_intervalStart + m_intervalStop) / 2
                                                   : graph->CursorTime());
    graph->SetNewIntervalAccepted(true);
    graph->ResetData();
    graph->CalcRegion();
  }
  m_lastShown = m_intervalStart - kOneMinute;
  m_waitPanel->move((width() - m_waitPanel->width()) / 2, (height() - m_waitPanel->height()) / 2);
  m_waitPanel->raise();
  m_waitPanel->show();

  if (!Connected()) {
    FillFromMemory(MinuteRecords());
    m_waitPanel->hide();
    EndLoad();
    return;
  }
  StartQuery(LoadKind::Reload, m_intervalStart, m_intervalStop);
}

void TTrendWindow::CheckForUpdatesBody() {
  if (m_loadBusy) return;
  m_loadBusy = true;
  // One copy of the records serves the check and the fill.
  const std::vector<MinuteRecord> records = MinuteRecords();
  if (!records.empty() && records.back().RecMoment >= m_lastShown) {
    FillFromMemory(records);
    m_waitPanel->hide();
    EndLoad();
    return;
  }
  if (!Connected()) {
    m_waitPanel->hide();
    EndLoad();
    return;
  }
  StartQuery(LoadKind::Update, m_lastShown, m_intervalStop);
}

void TTrendWindow::TimerUpdateTimerBody() {
  if (m_timerBusy) return;
  if (m_rules.TimerNeedsDatabase && !Connected()) return;
  m_timerBusy = true;
  const int before = m_tickCount++;
  if (before == m_rules.ForcedReloadTick) m_needReload = true;
  bool check = true;
  if (m_needReload) {
    ReloadBody();
    check = m_rules.TimerNeedsDatabase;
  }
  const TDateTime now = Now();
  if (check && now > m_intervalStart && now < m_intervalStop && now - m_lastShown > kOneMinute) {
    CheckForUpdatesBody();
  }
  m_timerBusy = false;
}

void TTrendWindow::FillRow(const TrendRow& row, bool first) {
  const TDateTime t = row.Moment;
  // Judged to the millisecond: a row exactly 5 minutes after the last step
  // is no gap, whatever the day counts' last bits say.
  const bool gap = (t - m_prev) * 86400000.0 > kGapLimit * 86400000.0 + 0.5;
  const TDateTime from = first || gap ? t : m_prev;
  // Steps are counted, not summed, and "before t" is judged to the
  // millisecond: summed day counts drift, and a step a microsecond short of
  // t would put the row into its own minute's slot.
  TDateTime s = from;
  for (int step = 1;; ++step) {
    m_lastShown = s;
    PutRow(s, row);
    m_prev = s;
    s = from + step * kFillStep;
    if ((t - s) * 86400000.0 < 0.5) break;
  }
}

void TTrendWindow::FillFromMemory(const std::vector<MinuteRecord>& records) {
  m_prev = m_lastShown;
  const TDateTime after = m_lastShown;
  for (const MinuteRecord& record : records) {
    if (record.RecMoment <= after) continue;
    FillRow(TrendRowOfRecord(record), false);
  }
  RepaintGraphs();
}

void TTrendWindow::StartQuery(LoadKind kind, TDateTime from, TDateTime to) {
  m_loadKind = kind;
  m_rowsFilled = 0;
  m_prev = m_lastShown;
  if (!m_reader->Start(from, to)) {
    // Cannot happen while LoadBusy guards the reader; end the load cleanly.
    m_loadKind = LoadKind::None;
    m_waitPanel->hide();
    EndLoad();
  }
}

void TTrendWindow::RowsArrived(const std::vector<TrendRow>& rows) {
  if (m_loadKind == LoadKind::None) return;
  for (const TrendRow& row : rows) {
    FillRow(row, m_rowsFilled == 0);
    ++m_rowsFilled;
    if (m_rowsFilled % kRepaintRows == 0) RepaintGraphs();
  }
}

void TTrendWindow::QueryFinished(bool ok, int rowCount, const QString& error, const QStringList& warnings) {
  const LoadKind kind = m_loadKind;
  m_loadKind = LoadKind::None;
  m_waitPanel->hide();
  for (const QString& warning : warnings) Log(objectName() + u": "_qs + warning);
  if (!ok) {
    // A window whose failures are not logged stays silent on the reason too.
    const QString& text = kind == LoadKind::Reload ? m_rules.ReloadError : m_rules.CheckError;
    Log(text);
    if (!text.isEmpty() && !error.isEmpty()) Log(objectName() + u": "_qs + error);
    RepaintGraphs();
    EndLoad();
    return;
  }
  RepaintGraphs();
  if (rowCount > 0) {
    if (m_rules.MinimumYMax) {
      for (TLevelGraph* graph : TrendGraphs()) {
        if (graph->YMax() < 5) graph->SetYMax(5);
      }
    }
    AfterDatabaseLoad();
  }
  EndLoad();
}

void TTrendWindow::EndLoad() {
  m_loadBusy = false;
  emit LoadFinished();
}

void TTrendWindow::LoadGraphLimits(const IniFile& ini, const QString& section, TLevelGraph& graph,
                                   bool right) {
  const QString where = ini.FileName() + u" ["_qs + section + u"]"_qs;
  // A key that is there but is no number is said, then treated as absent.
  auto read = [&](const char* key, double current, bool& given) {
    given = false;
    const QString name = QString::fromLatin1(key);
    if (!ini.ValueExists(section, name)) return current;
    const QString text = ini.ReadString(section, name, QString());
    const std::optional<double> value = ParseIniFloat(text.trimmed());
    if (!value) {
      Log(QStringLiteral("%1: %2=%3 is not a number; the graph keeps %4")
              .arg(where, name, text)
              .arg(current));
      return current;
    }
    given = true;
    return *value;
  };
  bool givenMin = false;
  bool givenMax = false;
  bool givenStep = false;
  const double yMin = read("YMin", graph.YMin(), givenMin);
  const double yMax = read("YMax", graph.YMax(), givenMax);
  const double yStep = read("YLabelStep", graph.YLabelStep(), givenStep);
  if (!givenMin && !givenMax) {
    // nothing to set
  } else if (yMax > yMin) {
    // Setting YMax first could meet the old YMin from the wrong side.
    if (yMin >= graph.YMax()) {
      graph.SetYMax(yMax);
      graph.SetYMin(yMin);
    } else {
      graph.SetYMin(yMin);
      graph.SetYMax(yMax);
    }
  } else {
    Log(QStringLiteral("%1: YMax %2 is not above YMin %3; the graph keeps %4 ... %5")
            .arg(where)
            .arg(yMax)
            .arg(yMin)
            .arg(graph.YMin())
            .arg(graph.YMax()));
  }
  if (!givenStep) {
    // nothing to set
  } else if (yStep > 0) {
    graph.SetYLabelStep(yStep);
  } else {
    Log(QStringLiteral("%1: YLabelStep %2 is not positive; the graph keeps %3")
            .arg(where)
            .arg(yStep)
            .arg(graph.YLabelStep()));
  }
  if (!right) return;
  bool givenRightMin = false;
  bool givenRightMax = false;
  bool givenRightStep = false;
  const double rightMin = read("RightYMin", graph.RightYMin(), givenRightMin);
  const double rightMax = read("RightYMax", graph.RightYMax(), givenRightMax);
  const double rightStep = read("RightScaleStep", graph.RightScaleStep(), givenRightStep);
  if (!givenRightMin && !givenRightMax && !givenRightStep) {
    // nothing to set
  } else if (rightStep > 0 && rightMax > rightMin - rightStep) {
    graph.SetRightYMin(rightMin);
    graph.SetRightYMax(rightMax);
    graph.SetRightScaleStep(rightStep);
  } else {
    Log(QStringLiteral(
            "%1: the right scale %2 ... %3 step %4 cannot be drawn; the graph keeps %5 ... %6 step %7")
            .arg(where)
            .arg(rightMin)
            .arg(rightMax)
            .arg(rightStep)
            .arg(graph.RightYMin())
            .arg(graph.RightYMax())
            .arg(graph.RightScaleStep()));
  }
}

bool TTrendWindow::SaveGraphLimits(IniFile& ini, const QString& section, const TLevelGraph& graph,
                                   bool right) {
  ini.BeginUpdate();
  ini.WriteFloat(section, QStringLiteral("YMin"), graph.YMin());
  ini.WriteFloat(section, QStringLiteral("YMax"), graph.YMax());
  ini.WriteFloat(section, QStringLiteral("YLabelStep"), graph.YLabelStep());
  if (right) {
    ini.WriteFloat(section, QStringLiteral("RightYMin"), graph.RightYMin());
    ini.WriteFloat(section, QStringLiteral("RightYMax"), graph.RightYMax());
    ini.WriteFloat(section, QStringLiteral("RightScaleStep"), graph.RightScaleStep());
  }
  return ini.EndUpdate();
}

void TTrendWindow::ApplyElementStyles(const QString& styleFile, const QString& appDir) {
  const bool editing = ElementEditMode();
  for (QWidget* element : findChildren<QWidget*>()) {
    if (IsClass(*element, "TArrow")) {
      auto& arrow = static_cast<TArrow&>(*element);
      arrow.SetConfigName(styleFile);
      arrow.LoadConfig();
    } else if (IsClass(*element, "TLabel")) {
      LoadLabelFont(static_cast<TLabel&>(*element), appDir);
    } else if (editing && IsClass(*element, "TLevelGraph")) {
      auto* graph = static_cast<TLevelGraph*>(element);
      connect(graph, &TLevelGraph::rightMouseDown, this,
              [this](TLevelGraph* sender, Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
                EditGraphScale(sender, this);
              });
    }
  }
}
