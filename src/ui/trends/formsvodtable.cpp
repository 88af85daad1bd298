#include "ui/trends/formsvodtable.h"

#include <QDate>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLocale>
#include <QPainter>
#include <QResizeEvent>
#include <QSaveFile>
#include <algorithm>

#include "common/formatfloat.h"
#include "ui/common/shift.h"
#include "ui/elements/elementfont.h"
#include "ui/elements/elementpen.h"
#include "ui/elements/label.h"
#include "ui/elements/outfield.h"
#include "ui/trends/trendstyle.h"

namespace {

constexpr int kPanelTopHeight = 41;
constexpr int kRowHeight = 35;
constexpr int kBlockHeight = 3 * kRowHeight;
constexpr int kBlockNameWidth = 95;
constexpr int kRowNameWidth = 91;
constexpr int kValueWidth = 130;
constexpr int kFirstValueLeft = 1 + kBlockNameWidth + kRowNameWidth;
// Room kept free on either side of a cell's text.
constexpr int kTextMargin = 3;

const QString kFigureFormat = u"# ### ##0.0 ;-# ### ##0.0 ;  ;"_qs;
const QString kNoRoomText = u"######"_qs;

const char* const kBlockKeys[TFormSvodTable::kBlockCount] = {"L1", "L2", "L3", "L4"};
const char* const kColumnKeys[TFormSvodTable::kColumnCount] = {"VF", "GF", "VRRS", "VRRP", "VRFL"};
const char* const kRowKeys[TFormSvodTable::kRowCount] = {"1", "2", "SUM"};

const char16_t* const kBlockNames[TFormSvodTable::kBlockCount] = {u"Смена 1", u"Смена 2", u"За сутки",
                                                                  u"С начала месяца"};
const char16_t* const kRowNames[TFormSvodTable::kRowCount] = {u"Секция 1", u"Секция 2", u"Всего"};

// The export's names of the columns and their units.
const char16_t* const kColumnNames[TFormSvodTable::kColumnCount] = {
    u"Переработано исходной пульпы", u"Переработано исходной пульпы", u"Расход реагентов: собиратель",
    u"Расход реагентов: пенообразователь", u"Расход флокулянта"};
const char16_t* const kColumnUnits[TFormSvodTable::kColumnCount] = {u"м3", u"т", u"л", u"л", u"л"};

const QString kReloadError = u"Ошибка в TFormSvodTable::Reload()"_qs;
const QString kTimerError = u"Ошибка в TFormSvodTable::TimerUpdateTimer"_qs;
const QString kLoadError = u"Ошибка загрузки данных в сводную таблицу."_qs;
const QString kBadValuesText = u"Сводная таблица: нечисловые суммы показаны как 0."_qs;

// A table cell: a value field that draws its caption right-aligned on one
// line (figures) or centred and word-wrapped (captions), on the screen and on
// a page alike. It keeps TOutField's class name, so the window's code and the
// editors treat it as the value field it is.
class TableCell : public TOutField {
 public:
  TableCell(QWidget* owner, bool figure)
      : TOutField(owner),
        m_flags(figure ? Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine
                       : Qt::AlignCenter | Qt::TextWordWrap) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    if (width() <= 0 || height() <= 0) return;
    QPainter painter(this);
    DrawRectangle(painter, rect(), Pen(), Brush());
    if (Caption().isEmpty()) return;
    painter.setFont(Font().ToQFont(HandWriting()));
    painter.setPen(ColorFromTColor(Font().Color()));
    painter.drawText(rect().adjusted(kTextMargin, 0, -kTextMargin, 0), m_flags, Caption());
  }

 private:
  int m_flags;
};

// A figure as its cell writes it: the operator's decimal separator, as every
// value field shows numbers.
QString FigureText(double value) {
  static const TFormatSettings settings = [] {
    TFormatSettings result = DefaultFormatSettings();
    const QString point = QLocale::system().decimalPoint();
    if (!point.isEmpty()) result.DecimalSeparator = point.front();
    return result;
  }();
  return FormatFloat(kFigureFormat, value, settings);
}

std::array<SummaryInterval, TFormSvodTable::kBlockCount> BlockIntervalsOf(TDateTime day) {
  std::array<SummaryInterval, TFormSvodTable::kBlockCount> intervals{};
  for (int shift = 1; shift <= 3; ++shift)
    ShiftRange(day, shift, intervals[shift - 1].Start, intervals[shift - 1].Stop);
  const DateTimeFields fields = DecodeDateTime(day);
  TDateTime monthStop = 0;
  ShiftRange(EncodeDateTime(fields.Year, fields.Month, 1), 3, intervals[3].Start, monthStop);
  intervals[3].Stop = intervals[2].Stop;
  return intervals;
}

QString DisplayMoment(TDateTime moment) {
  return QDateTimeFromDateTime(moment).toString(u"dd.MM.yyyy HH:mm:ss"_qs);
}

QString IsoMoment(TDateTime moment) {
  return QDateTimeFromDateTime(moment).toString(u"yyyy-MM-ddTHH:mm:ss"_qs);
}

QString CsvField(const QString& text) {
  if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') && !text.contains(u'\r'))
    return text;
  QString quoted = text;
  quoted.replace(u"\""_qs, u"\"\""_qs);
  return u'"' + quoted + u'"';
}

}  // namespace

TFormSvodTable::TFormSvodTable(SummarySource source, QWidget* owner)
    : QWidget(owner), m_source(std::move(source)) {
  setObjectName(u"FormSvodTable"_qs);
  setWindowTitle(u"Таблица сводных параметров процесса флотации"_qs);
  resize(900, 640);

  CreatePanelTop();
  CreateTable();

  // Enter anywhere in the window reloads: the default button sits outside
  // the visible area.
  m_butReload = new QPushButton(u"Обновить"_qs, this);
  m_butReload->setObjectName(u"ButReload"_qs);
  m_butReload->setDefault(true);
  m_butReload->setAutoDefault(true);
  m_butReload->setGeometry(-200, -200, 75, 25);
  connect(m_butReload, &QPushButton::clicked, this, [this] { ButReloadClick(); });

  m_waitPanel = MakeWaitPanel(this);

  m_reader = new TSummaryReader(m_source.Database, this);
  connect(m_reader, &TSummaryReader::BlockFinished, this, [this](int index, const SummaryResult& result) {
    Guarded(kReloadError, [&] { BlockFinished(index, result); });
  });
  connect(m_reader, &TSummaryReader::Finished, this,
          [this] { Guarded(kReloadError, [&] { ReaderFinished(); }); });

  const TDateTime now = Now();
  m_day = ProductionDay(now);
  ShiftRange(m_day, 3, m_intervalStart, m_intervalStop);
  m_lastReload = now;
  m_shownDay = m_day;
  m_shownIntervals = BlockIntervalsOf(m_day);
  m_datePicker->setDate(QDateTimeFromDateTime(m_day).date());

  m_timerUpdate.setObjectName(u"TimerUpdate"_qs);
  m_timerUpdate.setInterval(kTimerIntervalMs);
  connect(&m_timerUpdate, &QTimer::timeout, this, [this] { TimerUpdateTimer(); });
  m_timerUpdate.start();
  FormResize();
}

TFormSvodTable::~TFormSvodTable() = default;

void TFormSvodTable::CreatePanelTop() {
  m_panelTop = new QWidget(this);
  m_panelTop->setObjectName(u"PanelTop"_qs);
  m_panelTop->setAutoFillBackground(true);
  TLabel* title =
      MakeTrendCaption(m_panelTop, u"LabelTop"_qs, u"Таблица сводных параметров процесса флотации за"_qs,
                       PixelFont(u"Times New Roman"_qs, 19, true), clNavy);
  title->move(10, (kPanelTopHeight - title->height()) / 2);

  m_datePicker = new QDateEdit(m_panelTop);
  m_datePicker->setObjectName(u"DateTimePicker1"_qs);
  m_datePicker->setCalendarPopup(true);
  m_datePicker->setDisplayFormat(u"dd.MM.yyyy"_qs);
  m_datePicker->setFont(PixelFont(u"Times New Roman"_qs, 16, true));
  m_datePicker->resize(130, 27);
  m_datePicker->move(title->x() + title->width() + 10, (kPanelTopHeight - m_datePicker->height()) / 2);
}

void TFormSvodTable::CreateTable() {
  m_panelTable = new QWidget(this);
  m_panelTable->setObjectName(u"PanelTable"_qs);
  m_panelTable->resize(kTableWidth, kTableHeight);
  SetTrendBackground(*m_panelTable, clGray);

  auto caption = [this](const QString& name, const QString& text, const QRect& area, int pixels) {
    auto* cell = new TableCell(m_panelTable, false);
    cell->setObjectName(name);
    cell->SetBrushColor(clSilver);
    cell->SetFont(ElementFont(u"Times New Roman"_qs, pixels, clBlack, true));
    cell->SetOutFormat(text);
    cell->SetCaption(text);
    cell->setGeometry(area);
  };

  caption(u"CaptionParams"_qs, u"Параметры:"_qs, QRect(1, 1, kBlockNameWidth + kRowNameWidth, kBlockHeight),
          16);
  struct HeaderDesign {
    const char16_t* Top;
    const char16_t* Unit;
  };
  const HeaderDesign headers[kColumnCount] = {
      {u"Переработано исходной пульпы", u"м3"},
      {u"Переработано исходной пульпы", u"Т"},
      // The first letter of the collector's caption is a Latin C, as the
      // plant's printed forms have it.
      {u"Расход реагентов, л", u"Cобиратель"},
      {u"Расход реагентов, л", u"Пенообра- зователь"},
      {u"Расход флокулянта, л", nullptr},
  };
  for (int c = 0; c < kColumnCount; ++c) {
    const QString key = QString::fromLatin1(kColumnKeys[c]);
    const int left = kFirstValueLeft + c * kValueWidth;
    if (headers[c].Unit == nullptr) {
      caption(u"Caption"_qs + key, QString::fromUtf16(headers[c].Top),
              QRect(left, 1, kValueWidth, kBlockHeight), 14);
      continue;
    }
    caption(u"Caption"_qs + key + u"Top"_qs, QString::fromUtf16(headers[c].Top),
            QRect(left, 1, kValueWidth, 2 * kRowHeight), 14);
    caption(u"Caption"_qs + key + u"Unit"_qs, QString::fromUtf16(headers[c].Unit),
            QRect(left, 1 + 2 * kRowHeight, kValueWidth, kRowHeight), 14);
  }

  for (int b = 0; b < kBlockCount; ++b) {
    const QString block = QString::fromLatin1(kBlockKeys[b]);
    const int top = 1 + (b + 1) * kBlockHeight;
    caption(u"Caption"_qs + block, QString::fromUtf16(kBlockNames[b]),
            QRect(1, top, kBlockNameWidth, kBlockHeight), 16);
    for (int r = 0; r < kRowCount; ++r) {
      const int rowTop = top + r * kRowHeight;
      caption(u"Caption"_qs + block + u"Row"_qs + QString::fromLatin1(kRowKeys[r]),
              QString::fromUtf16(kRowNames[r]), QRect(1 + kBlockNameWidth, rowTop, kRowNameWidth, kRowHeight),
              14);
      for (int c = 0; c < kColumnCount; ++c) {
        auto* cell = new TableCell(m_panelTable, true);
        cell->setObjectName(ValueCellName(b, c, r));
        cell->SetBrushColor(r == 2 ? clYellow : clCream);
        cell->SetFont(ElementFont(u"Times New Roman"_qs, kFigurePixelSize, clNavy, true));
        cell->SetOutFormat(kFigureFormat);
        cell->SetCaption(FigureText(0));
        cell->setGeometry(kFirstValueLeft + c * kValueWidth, rowTop, kValueWidth, kRowHeight);
        m_cells[b][c][r] = cell;
      }
    }
  }
}

QString TFormSvodTable::ValueCellName(int block, int column, int row) {
  if (block < 0 || block >= kBlockCount || column < 0 || column >= kColumnCount || row < 0 ||
      row >= kRowCount)
    return {};
  return u"OutField"_qs + QString::fromLatin1(kBlockKeys[block]) + QString::fromLatin1(kColumnKeys[column]) +
         QString::fromLatin1(kRowKeys[row]);
}

TOutField* TFormSvodTable::ValueCell(int block, int column, int row) const {
  if (block < 0 || block >= kBlockCount || column < 0 || column >= kColumnCount || row < 0 ||
      row >= kRowCount)
    return nullptr;
  return m_cells[block][column][row];
}

double TFormSvodTable::Figure(int block, int column, int row) const {
  const TOutField* cell = ValueCell(block, column, row);
  return cell != nullptr ? cell->OutValue() : 0;
}

SummaryInterval TFormSvodTable::BlockInterval(int block) const {
  if (block < 0 || block >= kBlockCount) return {};
  return m_shownIntervals[block];
}

TDateTime TFormSvodTable::Now() const {
  return m_source.Now ? m_source.Now() : NowDateTime();
}

bool TFormSvodTable::Connected() const {
  return m_source.DatabaseConnected && m_source.DatabaseConnected() && m_source.Database != nullptr;
}

SummaryConstants TFormSvodTable::Constants() const {
  return m_source.Constants ? m_source.Constants() : DefaultSummaryConstants();
}

void TFormSvodTable::Log(const QString& text) const {
  if (!text.isEmpty() && m_source.AddLogMessage) m_source.AddLogMessage(text);
}

void TFormSvodTable::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  FormResize();
}

void TFormSvodTable::FormResize() {
  m_panelTop->setGeometry(0, 0, width(), kPanelTopHeight);
  // A window smaller than the table shows its top left corner rather than
  // pushing the block names out of sight.
  const int roomHeight = height() - kPanelTopHeight;
  const int left = std::max(0, (width() - kTableWidth) / 2);
  const int top = kPanelTopHeight + std::max(0, (roomHeight - kTableHeight) / 2);
  m_panelTable->move(left, top);
  if (m_waitPanel != nullptr)
    m_waitPanel->move((width() - m_waitPanel->width()) / 2, (height() - m_waitPanel->height()) / 2);
}

void TFormSvodTable::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    m_butReload->click();
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

// Whatever escapes a reload or a tick (an allocation failure) is logged with
// the window's text and leaves the window usable: the busy flags are cleared,
// a running read is dropped and the cells keep what they show.
template <class Body>
void TFormSvodTable::Guarded(const QString& text, Body body) {
  try {
    body();
  } catch (...) {
    Log(text);
    m_timerBusy = false;
    if (text == kReloadError && m_loadBusy) {
      m_reader->Abandon();
      EndLoad();
    }
  }
}

void TFormSvodTable::Reload() {
  Guarded(kReloadError, [this] { ReloadBody(); });
}

void TFormSvodTable::TimerUpdateTimer() {
  Guarded(kTimerError, [this] { TimerUpdateTimerBody(); });
}

void TFormSvodTable::ReloadBody() {
  if (m_loadBusy) return;
  m_loadBusy = true;
  m_waitPanel->move((width() - m_waitPanel->width()) / 2, (height() - m_waitPanel->height()) / 2);
  m_waitPanel->raise();
  m_waitPanel->show();

  const QDate date = m_datePicker->date();
  m_day = EncodeDateTime(date.year(), date.month(), date.day());
  m_loadIntervals = BlockIntervalsOf(m_day);
  // What the timer's refresh rule looks at: from the month's start to the
  // day's end.
  m_intervalStart = m_loadIntervals[3].Start;
  m_intervalStop = m_loadIntervals[3].Stop;
  m_loadFilledAny = false;
  m_loadBadValuesLogged = false;
  const std::vector<SummaryInterval> intervals(m_loadIntervals.begin(), m_loadIntervals.end());
  if (!m_reader->Start(intervals, Constants())) {
    // Cannot happen while LoadBusy guards the reader; end the load cleanly.
    EndLoad();
  }
}

void TFormSvodTable::TimerUpdateTimerBody() {
  if (!Connected() || m_timerBusy) return;
  m_timerBusy = true;
  if (++m_tickCount == 2) m_needReload = true;
  const TDateTime now = Now();
  // Compared in milliseconds: day counts do not hold a minute exactly.
  if (now > m_intervalStart && now < m_intervalStop && (now - m_lastReload) * kMsPerDay > 60000.5)
    m_needReload = true;
  if (m_needReload) {
    m_lastReload = now;
    m_needReload = false;
    Reload();
  }
  m_timerBusy = false;
}

void TFormSvodTable::BlockFinished(int index, const SummaryResult& result) {
  if (!m_loadBusy || index < 0 || index >= kBlockCount) return;
  if (!result.Ok) {
    Log(kLoadError);
    if (!result.Error.isEmpty()) Log(objectName() + u": "_qs + result.Error);
    return;
  }
  if (result.BadValues && !m_loadBadValuesLogged) {
    m_loadBadValuesLogged = true;
    Log(kBadValuesText);
  }
  FillBlock(index, result);
  m_shownIntervals[index] = m_loadIntervals[index];
  m_loadFilledAny = true;
}

void TFormSvodTable::ReaderFinished() {
  if (!m_loadBusy) return;
  if (m_loadFilledAny) m_shownDay = m_day;
  EndLoad();
}

void TFormSvodTable::EndLoad() {
  m_waitPanel->hide();
  m_loadBusy = false;
  emit LoadFinished();
}

void TFormSvodTable::FillBlock(int block, const SummaryResult& result) {
  for (int c = 0; c < kColumnCount; ++c) {
    const double section1 = result.Values[c];
    const double section2 = result.Values[kColumnCount + c];
    ShowFigure(*m_cells[block][c][0], section1);
    ShowFigure(*m_cells[block][c][1], section2);
    ShowFigure(*m_cells[block][c][2], section1 + section2);
  }
}

// A month's flow of a big plant, or a broken collector's rows, can make a
// figure wider than its cell: it is drawn smaller until every digit shows,
// and as "######" when even the smallest font cannot hold it, never cut.
void TFormSvodTable::ShowFigure(TOutField& cell, double value) {
  QString text = FigureText(value);
  ElementFont font(u"Times New Roman"_qs, kFigurePixelSize, clNavy, true);
  const int room = cell.width() - 2 * kTextMargin;
  auto fits = [&] { return QFontMetrics(font.ToQFont()).horizontalAdvance(text) <= room; };
  while (!fits() && font.PixelSize() > kMinFigurePixelSize) font.SetPixelSize(font.PixelSize() - 1);
  if (!fits()) {
    text = kNoRoomText;
    font.SetPixelSize(kFigurePixelSize);
  }
  cell.SetFont(font);
  cell.SetOutValue(value);
  cell.SetCaption(text);
}

QStringList TFormSvodTable::PrintHeading() const {
  QStringList lines{u"Таблица сводных параметров процесса флотации за "_qs +
                    QDateTimeFromDateTime(m_shownDay).toString(u"dd.MM.yyyy"_qs)};
  for (int b = 0; b < kBlockCount; ++b) {
    lines << QString::fromUtf16(kBlockNames[b]) + u": "_qs + DisplayMoment(m_shownIntervals[b].Start) +
                 u" – "_qs + DisplayMoment(m_shownIntervals[b].Stop);
  }
  return lines;
}

QString TFormSvodTable::ExportFileStem() const {
  return u"svod-"_qs + QDateTimeFromDateTime(m_shownDay).toString(u"yyyy-MM-dd"_qs);
}

void TFormSvodTable::ExportCsv(const QString& path, ExportDone done) {
  auto report = [&](bool ok, const QString& error) {
    if (done) done(ok, error);
  };
  const QString day = QDateTimeFromDateTime(m_shownDay).toString(u"yyyy-MM-dd"_qs);
  const TFormatSettings& point = DefaultFormatSettings();
  QString text = u"day,block,block_name,row,row_name,column,column_name,unit,from,to,value\n"_qs;
  for (int b = 0; b < kBlockCount; ++b) {
    for (int r = 0; r < kRowCount; ++r) {
      for (int c = 0; c < kColumnCount; ++c) {
        const QStringList fields{day,
                                 QString::fromLatin1(kBlockKeys[b]),
                                 QString::fromUtf16(kBlockNames[b]),
                                 QString::fromLatin1(kRowKeys[r]),
                                 QString::fromUtf16(kRowNames[r]),
                                 QString::fromLatin1(kColumnKeys[c]),
                                 QString::fromUtf16(kColumnNames[c]),
                                 QString::fromUtf16(kColumnUnits[c]),
                                 IsoMoment(m_shownIntervals[b].Start),
                                 IsoMoment(m_shownIntervals[b].Stop),
                                 FormatFloat(u"0.0"_qs, Figure(b, c, r), point)};
        QStringList quoted;
        for (const QString& field : fields) quoted << CsvField(field);
        text += quoted.join(u',') + u'\n';
      }
    }
  }
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    report(false, u"Не удалось сохранить файл "_qs + path + u": "_qs + file.errorString());
    return;
  }
  const QByteArray bytes = text.toUtf8();
  // flush first: a write the disk refuses while the buffer is emptied leaves
  // no error that commit would see.
  if (file.write(bytes) != bytes.size() || !file.flush() || !file.commit()) {
    const QString reason = file.errorString();
    file.cancelWriting();
    report(false, u"Не удалось сохранить файл "_qs + path + u": "_qs + reason);
    return;
  }
  report(true, {});
}
