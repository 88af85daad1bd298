#include "ui/displays/formhardcontrol.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "common/formatfloat.h"
#include "configuration/config.h"
#include "console/consolecontroller.h"
#include "process/valueblock.h"
#include "ui/elements/elementfont.h"
#include "ui/elements/tcolor.h"

namespace {

constexpr int kButtonBarHeight = 41;
constexpr int kStateWidth = 209;
constexpr int kStateHeight = 33;
constexpr int kLineHeight = 22;
constexpr int kGridRowHeight = 24;
constexpr int kValueColumnWidth = 90;
constexpr int kValueColumnCount = 3;
constexpr int kAnswerGridWidth = 550;
constexpr int kAnswerFirstColumns[] = {90, 170};

const QString kTimeFormat = QStringLiteral("dd.mm.yyyy hh:nn:ss");
const QString kValueFormat = QStringLiteral("### ### ##0.00");

QFont WindowFont() {
  return PixelFont(QStringLiteral("Courier New"), 13, true);
}

// A disabled button keeps the style's grey, so that a Start or Stop that
// does not apply looks it.
void SetTextColour(QWidget* widget, TColor colour) {
  QPalette palette = widget->palette();
  for (const auto group : {QPalette::Active, QPalette::Inactive}) {
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
      palette.setColor(group, role, ColorFromTColor(colour));
    }
  }
  widget->setPalette(palette);
}

// Setting a text that is already shown would still repaint (and for a label
// recompute its size hint); the refresh runs twice a second.
void SetLabelText(QLabel* label, const QString& text) {
  if (label->text() != text) label->setText(text);
}

void SetCellText(QTableWidget* grid, int row, int column, const QString& text) {
  QTableWidgetItem* item = grid->item(row, column);
  if (item != nullptr && item->text() != text) item->setText(text);
}

QString TimeText(TDateTime moment) {
  // Below 1 is no real date: a thread never started, a module never heard.
  return moment >= 1 ? FormatDateTime(kTimeFormat, moment) : QString();
}

QLabel* AddLabel(const QString& text, const QRect& geometry, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(geometry);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  return label;
}

QLabel* AddValue(const QString& name, const QRect& geometry, TColor colour, QWidget* parent) {
  QLabel* label = AddLabel(QString(), geometry, parent);
  label->setObjectName(name);
  SetTextColour(label, colour);
  return label;
}

// The raised grey cells of a string grid: column headers above the value
// grids and the fixed row and column of the answer grid.
void MakeFixedLook(QTableWidgetItem* item, const QPalette& palette) {
  item->setBackground(palette.color(QPalette::Button));
  item->setFlags(Qt::ItemIsEnabled);
}

// A grid that only shows: no header, no selection, no editing, no focus (so
// that Enter reaches the close button), no scroll bars.
QTableWidget* NewGrid(const QString& name, int rows, int columns, QWidget* parent) {
  auto* grid = new QTableWidget(rows, columns, parent);
  grid->setObjectName(name);
  grid->horizontalHeader()->hide();
  grid->verticalHeader()->hide();
  grid->verticalHeader()->setMinimumSectionSize(1);
  grid->horizontalHeader()->setMinimumSectionSize(1);
  grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid->setSelectionMode(QAbstractItemView::NoSelection);
  grid->setFocusPolicy(Qt::NoFocus);
  grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  grid->setWordWrap(false);
  grid->setTextElideMode(Qt::ElideNone);
  for (int row = 0; row < rows; ++row) {
    grid->setRowHeight(row, kGridRowHeight);
    for (int column = 0; column < columns; ++column) {
      auto* item = new QTableWidgetItem;
      item->setFlags(Qt::ItemIsEnabled);
      item->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      grid->setItem(row, column, item);
    }
  }
  return grid;
}

// The frame around the cells, so that the cells themselves get the sizes given.
void SizeGrid(QTableWidget* grid, int x, int y, int cellsWidth) {
  const int frame = grid->frameWidth();
  grid->setGeometry(x, y, cellsWidth + 2 * frame, grid->rowCount() * kGridRowHeight + 2 * frame);
}

}  // namespace

TFormHardControl::TFormHardControl(TConsoleController& controller, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      m_controller(controller) {
  setObjectName(QStringLiteral("FormHardControl"));
  setWindowTitle(u"Контроль аппаратуры"_qs);
  setFixedSize(kClientWidth, kClientHeight);
  setFont(WindowFont());
  SetTextColour(this, clNavy);

  auto* pages = new QTabWidget(this);
  pages->setObjectName(QStringLiteral("PageControl"));
  pages->setGeometry(0, 0, kClientWidth, kClientHeight - kButtonBarHeight);
  pages->addTab(BuildThreadsPage(), u"Контроль потоков"_qs);
  pages->addTab(BuildHardwarePage(), u"Состояние аппаратуры"_qs);

  auto* buttonBar = new QWidget(this);
  buttonBar->setObjectName(QStringLiteral("PanelButtons"));
  buttonBar->setGeometry(0, kClientHeight - kButtonBarHeight, kClientWidth, kButtonBarHeight);
  constexpr int kCloseWidth = 120;
  auto* buttonClose = new QPushButton(u"Закрыть"_qs, buttonBar);
  buttonClose->setObjectName(QStringLiteral("ButClose"));
  buttonClose->setGeometry((kClientWidth - kCloseWidth) / 2, 5, kCloseWidth, 31);
  // The default button takes Enter, the dialog's Esc handling rejects: both close.
  buttonClose->setDefault(true);
  connect(buttonClose, &QPushButton::clicked, this, &QDialog::reject);

  m_timerUpdate = new QTimer(this);
  m_timerUpdate->setObjectName(QStringLiteral("TimerUpdate"));
  m_timerUpdate->setInterval(kUpdateIntervalMs);
  connect(m_timerUpdate, &QTimer::timeout, this, &TFormHardControl::TimerUpdateTimer);
  m_timerUpdate->start();

  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - kClientWidth) / 2, area.y() + (area.height() - kClientHeight) / 2);
  }
  TimerUpdateTimer();
}

QWidget* TFormHardControl::BuildThreadsPage() {
  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("TabSheetThreads"));
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(4);
  layout->addWidget(BuildThreadBox(WorkerKind::Read, u"Чтение АЦП:"_qs, u"HardRead"_qs,
                                   u"Количество циклов чтения:"_qs, true, page));
  layout->addWidget(BuildThreadBox(WorkerKind::Write, u"Запись в ЦАП:"_qs, u"DigOut"_qs,
                                   u"Количество циклов записи:"_qs, true, page));
  layout->addWidget(BuildThreadBox(WorkerKind::Link, u"Связь с главным компьютером:"_qs, u"CSB_Link"_qs,
                                   u"Обслужено запросов:"_qs, false, page));
  return page;
}

QWidget* TFormHardControl::BuildThreadBox(WorkerKind kind, const QString& title, const QString& name,
                                          const QString& cycleCaption, bool withErrors, QWidget* parent) {
  constexpr int kCaptionX = 12;
  constexpr int kCaptionWidth = 250;
  constexpr int kValueX = 270;
  constexpr int kValueWidth = 220;
  constexpr int kButtonWidth = 110;
  constexpr int kButtonGap = 8;
  constexpr int kTopRow = 22;
  constexpr int kFirstLine = 62;

  auto* box = new QGroupBox(title, parent);
  box->setObjectName(u"GroupBox"_qs + name);
  ThreadView& view = m_threads[static_cast<size_t>(kind)];
  view.Kind = kind;

  AddLabel(u"Состояние: "_qs, QRect(kCaptionX, kTopRow, 96, kStateHeight), box);
  view.State = new QLabel(box);
  view.State->setObjectName(u"Panel"_qs + name + u"State"_qs);
  view.State->setGeometry(kCaptionX + 96, kTopRow, kStateWidth, kStateHeight);
  view.State->setAlignment(Qt::AlignCenter);
  view.State->setFont(WindowFont());
  view.State->setAutoFillBackground(true);
  QPalette black = view.State->palette();
  black.setColor(QPalette::Window, Qt::black);
  view.State->setPalette(black);

  // Right edge of the buttons and of the client count, inside the narrowest
  // box the page's layout can give (the window is fixed in size).
  constexpr int kButtonsRight = 590;
  const auto addButton = [&](const QString& text, const QString& suffix, int index, bool start) {
    auto* button = new QPushButton(text, box);
    button->setObjectName(u"But"_qs + name + suffix);
    button->setGeometry(kButtonsRight - (2 - index) * kButtonWidth - (1 - index) * kButtonGap, kTopRow,
                        kButtonWidth, kStateHeight);
    // Enter stays with "Закрыть" after a click on Start or Stop.
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, [this, kind, start] { ThreadButtonClick(kind, start); });
    return button;
  };
  view.Start = addButton(u"Пуск"_qs, u"Start"_qs, 0, true);
  view.Stop = addButton(u"Стоп"_qs, u"Stop"_qs, 1, false);

  const auto lineRect = [](int line, int x, int width) {
    return QRect(x, kFirstLine + line * kLineHeight, width, kLineHeight);
  };
  AddLabel(u"Момент последнего запуска:"_qs, lineRect(0, kCaptionX, kCaptionWidth), box);
  view.StartTime =
      AddValue(u"Label"_qs + name + u"StartTime"_qs, lineRect(0, kValueX, kValueWidth), clNavy, box);
  view.StartTime->setFont(PixelFont(QStringLiteral("Arial"), 15, true));
  AddLabel(cycleCaption, lineRect(1, kCaptionX, kCaptionWidth), box);
  view.CycleCount =
      AddValue(u"Label"_qs + name + u"CycleCount"_qs, lineRect(1, kValueX, kValueWidth), clGreen, box);
  if (withErrors) {
    AddLabel(u"Количество ошибок:"_qs, lineRect(2, kCaptionX, kCaptionWidth), box);
    view.ErrorCount =
        AddValue(u"Label"_qs + name + u"ErrorCount"_qs, lineRect(2, kValueX, kValueWidth), clMaroon, box);
  } else {
    constexpr int kClientCountWidth = 100;
    m_tcpClientCount =
        AddValue(QStringLiteral("LabelTcpClientCount"),
                 lineRect(1, kButtonsRight - kClientCountWidth, kClientCountWidth), clGreen, box);
    m_tcpClientCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  }
  return box;
}

QWidget* TFormHardControl::BuildHardwarePage() {
  constexpr int kLeftX = 12;
  constexpr int kRightX = 330;
  constexpr int kRadioY = 6;
  constexpr int kCaptionY = 34;
  constexpr int kAnswerY = 214;

  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("TabSheetHardware"));

  m_instant = new QRadioButton(u"Мгновенное"_qs, page);
  m_instant->setObjectName(QStringLiteral("RadioButtonInstant"));
  m_instant->setGeometry(kLeftX, kRadioY, 140, kLineHeight);
  m_instant->setChecked(true);
  m_averaged = new QRadioButton(u"Усредненное"_qs, page);
  m_averaged->setObjectName(QStringLiteral("RadioButtonAveraged"));
  m_averaged->setGeometry(kLeftX + 150, kRadioY, 150, kLineHeight);
  // The operator sees the other block at once rather than half a second later.
  connect(m_averaged, &QRadioButton::toggled, this, [this] { UpdateGrids(m_controller.Snapshot()); });

  m_grid7017 = BuildValueGrid(QStringLiteral("StringGridState7017"), u"АЦП:"_qs, kInputSlotsPerModule, kLeftX,
                              kCaptionY, page);
  m_grid7024 = BuildValueGrid(QStringLiteral("StringGridState7024"), u"ЦАП:"_qs, kOutputSlotsPerModule,
                              kRightX, kCaptionY, page);

  m_gridLastAnswer = NewGrid(QStringLiteral("StringGridLastAnswer"), 3, 3, page);
  SizeGrid(m_gridLastAnswer, kLeftX, kAnswerY, kAnswerGridWidth);
  m_gridLastAnswer->setColumnWidth(0, kAnswerFirstColumns[0]);
  m_gridLastAnswer->setColumnWidth(1, kAnswerFirstColumns[1]);
  // The answer takes what the first two leave of the cells' width.
  m_gridLastAnswer->setColumnWidth(2, kAnswerGridWidth - kAnswerFirstColumns[0] - kAnswerFirstColumns[1]);
  const QPalette palette = m_gridLastAnswer->palette();
  const QString fixedTexts[3][3] = {{u"Контроллер"_qs, u"Время опроса"_qs, u"Ответ"_qs},
                                    {u"I-7017 №1"_qs, {}, {}},
                                    {u"I-7017 №2"_qs, {}, {}}};
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 3; ++column) {
      if (row != 0 && column != 0) continue;
      QTableWidgetItem* item = m_gridLastAnswer->item(row, column);
      item->setText(fixedTexts[row][column]);
      MakeFixedLook(item, palette);
    }
  }
  return page;
}

QTableWidget* TFormHardControl::BuildValueGrid(const QString& name, const QString& caption, int rows, int x,
                                               int y, QWidget* parent) {
  AddLabel(caption, QRect(x, y, 200, kLineHeight), parent);
  QTableWidget* grid = NewGrid(name, rows, kValueColumnCount, parent);
  for (int column = 0; column < kValueColumnCount; ++column) grid->setColumnWidth(column, kValueColumnWidth);
  const int headerY = y + kLineHeight + 2;
  SizeGrid(grid, x, headerY + kGridRowHeight, kValueColumnCount * kValueColumnWidth);

  const QString headers[kValueColumnCount] = {u"Сигнал"_qs, u"Секция 1"_qs, u"Секция 2"_qs};
  const int frame = grid->frameWidth();
  for (int column = 0; column < kValueColumnCount; ++column) {
    auto* header = new QLabel(headers[column], parent);
    header->setObjectName(name + u"Header"_qs + QString::number(column));
    header->setGeometry(x + frame + column * kValueColumnWidth, headerY, kValueColumnWidth, kGridRowHeight);
    header->setAlignment(Qt::AlignCenter);
    header->setFrameStyle(QFrame::Panel | QFrame::Raised);
  }
  return grid;
}

QString TFormHardControl::SignalDisplayName(const QString& signalName) {
  const qsizetype underscore = signalName.indexOf(u'_');
  return underscore >= 2 ? signalName.left(underscore) : signalName;
}

void TFormHardControl::ThreadButtonClick(WorkerKind kind, bool start) {
  if (start) {
    m_controller.StartThread(kind);
  } else {
    m_controller.StopThread(kind);
  }
  // The controller has refreshed its snapshot: show the outcome now.
  UpdateStatus(m_controller.Snapshot());
}

void TFormHardControl::TimerUpdateTimer() {
  const ConsoleSnapshot& snapshot = m_controller.Snapshot();
  UpdateStatus(snapshot);
  UpdateGrids(snapshot);
}

void TFormHardControl::UpdateStatus(const ConsoleSnapshot& snapshot) {
  for (ThreadView& view : m_threads) {
    const ThreadSnapshot& thread = snapshot.Thread(view.Kind);
    view.Start->setEnabled(!thread.Running);
    view.Stop->setEnabled(thread.Running);
    if (view.ShownRunning != static_cast<int>(thread.Running)) {
      view.ShownRunning = static_cast<int>(thread.Running);
      view.State->setText(thread.Running ? u"Активен"_qs : u"Остановлен"_qs);
      SetTextColour(view.State, thread.Running ? clLime : clRed);
    }
    SetLabelText(view.StartTime, TimeText(thread.StartTime));
    SetLabelText(view.CycleCount, QString::number(thread.CycleCount));
    if (view.ErrorCount != nullptr) SetLabelText(view.ErrorCount, QString::number(thread.ErrorCount));
  }
  SetLabelText(m_tcpClientCount, QString::number(snapshot.TcpClientCount));
}

void TFormHardControl::UpdateGrids(const ConsoleSnapshot& snapshot) {
  // The whole grid is composed first, so that a cell no signal claims any
  // more (its signal moved to another row in the settings) turns empty
  // instead of keeping what it showed.
  using Texts = std::array<std::array<QString, kValueColumnCount>, kInputSlotsPerModule>;
  // A signal outside its module's rows (a hand-edited file) is not shown,
  // rather than shown in a neighbour's place.
  const auto compose = [](const std::vector<std::unique_ptr<TSignalSet>>& signalList, int (*slotOf)(int, int),
                          const std::array<float, kValueSlotCount>& values) {
    Texts texts;
    for (const auto& signal : signalList) {
      const int row = signal->RecIndex;
      const int module = signal->Module;
      const int slot = slotOf(module, row);
      if (slot < 0) continue;
      texts[static_cast<size_t>(row)][0] = SignalDisplayName(signal->SignalName);
      const double value = values[static_cast<size_t>(slot)];
      texts[static_cast<size_t>(row)][static_cast<size_t>(module + 1)] = FormatFloat(kValueFormat, value);
    }
    return texts;
  };
  const auto show = [](QTableWidget* grid, const Texts& texts) {
    for (int row = 0; row < grid->rowCount(); ++row) {
      for (int column = 0; column < kValueColumnCount; ++column) {
        SetCellText(grid, row, column, texts[static_cast<size_t>(row)][static_cast<size_t>(column)]);
      }
    }
  };
  const TConfig& config = m_controller.Config();
  const auto& inputValues = m_averaged->isChecked() ? snapshot.AveragedValues : snapshot.InstantValues;
  show(m_grid7017, compose(config.InputSignals, InputSlot, inputValues));
  show(m_grid7024, compose(config.OutputSignals, OutputSlot, snapshot.RawValues));
  for (int module = 0; module < kInputModuleCount; ++module) {
    SetCellText(m_gridLastAnswer, module + 1, 1, TimeText(snapshot.AnswerTime[static_cast<size_t>(module)]));
    SetCellText(m_gridLastAnswer, module + 1, 2, snapshot.AnswerText[static_cast<size_t>(module)]);
  }
}

void TFormHardControl::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // What the window shows on opening is as fresh as the controller's snapshot.
  if (!event->spontaneous()) TimerUpdateTimer();
}
