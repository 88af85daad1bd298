#include "ui/mainwindow/formmain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QHBoxLayout>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollArea>
#include <QToolBar>

#include "common/formatfloat.h"
#include "storage/eventlog.h"
#include "ui/displays/formabout.h"
#include "ui/displays/formcontrolset.h"
#include "ui/displays/formemul.h"
#include "ui/displays/formhardcontrol.h"
#include "ui/displays/formmainmenu.h"
#include "ui/editors/elementeditors.h"
#include "ui/editors/formcolorconfig.h"
#include "ui/elements/elementfont.h"
#include "ui/elements/shape.h"
#include "ui/elements/tcolor.h"
#include "ui/mainwindow/toolbaricons.h"
#include "ui/mainwindow/warningwindows.h"
#include "ui/mnemo/formmnemo.h"
#include "ui/settings/formsetuphard.h"
#include "ui/settings/formsetupmain.h"
#include "ui/trends/formflokgraph.h"
#include "ui/trends/formflotgraph.h"
#include "ui/trends/formgraphbaklevel.h"
#include "ui/trends/formsvodtable.h"
#include "ui/trends/formwebprint.h"
#include "ui/trends/trendwindow.h"

namespace {

constexpr int kTimerUpdateStateMs = 1000;
constexpr QSize kToolButtonSize(71, 40);
constexpr QSize kToolImageSize(64, 32);
constexpr int kStateShapeSide = 15;
constexpr int kConnectButtonSide = 40;

struct ActionSpec {
  const char* Name;
  const char16_t* Caption;
  const char16_t* Category;  // empty: none
  QKeyCombination Shortcut;  // QKeyCombination() for none
  QKeyCombination SecondShortcut;
  const char16_t* Hint;
  // The window this action opens is part of the console yet; the others
  // stand disabled in menu and tool bar until theirs is.
  bool Built;
};

constexpr QKeyCombination kNone{};

// clang-format off
const ActionSpec kActionSpecs[] = {
  {"ActionMainMenu", u"Главное меню", u"Главное", Qt::Key_F1, kNone,
   u"Главное меню: перечень окон пульта", true},
  {"ActionExit", u"Вы&xод", u"Главное", kNone, kNone,
   u"Завершить работу с программой", true},
  {"ActionMnemo", u"Мнемосхема  обогащения  флотацией", u"Мнемосхемы", Qt::Key_F2, kNone,
   u"Мнемосхема обогащения флотацией с текущими значениями", true},
  {"ActionGraphFlot1", u"Графики параметров флотации секции 1", u"", Qt::Key_F3, kNone,
   u"Графики параметров флотации секции 1", true},
  {"ActionGraphFlot2", u"Графики параметров флотации секции 2", u"", Qt::Key_F4, kNone,
   u"Графики параметров флотации секции 2", true},
  {"ActionGraphFlok", u"Графики параметров процесса флокуляции флотоконцентрата", u"", Qt::Key_F5, kNone,
   u"Графики параметров процесса флокуляции флотоконцентрата", true},
  {"ActionGraphLevel", u"Графики  изменения уровней в баках флотоконцентрата", u"", Qt::Key_F6, kNone,
   u"Графики изменения уровней в баках флотоконцентрата", true},
  {"ActionControlForm", u"Задания режимов управления и расхода реагентов", u"", Qt::Key_F7, Qt::Key_F12,
   u"Задания режимов управления и расхода реагентов", true},
  {"ActionSvodTable", u"Сводная таблица показателей работы", u"", Qt::Key_F8, kNone,
   u"Сводная таблица показателей работы по сменам, за сутки и за месяц", true},
  {"ActionPrint", u"Печать и сохранение…", u"Главное", Qt::CTRL | Qt::Key_P, kNone,
   u"Печать, PDF и CSV сводной таблицы или графиков, открытых в окне", true},
  {"ActionSetupMain", u"Общие", u"Настройки", kNone, kNone,
   u"Общие настройки: сервер базы данных, смены, константы", true},
  {"ActionSetupHardConnect", u"Подключение аппаратуры", u"Настройки", kNone, kNone,
   u"Порты, модули, сигналы и градуировки", true},
  {"ActionSetupColors", u"Оформление", u"Настройки", kNone, kNone,
   u"Цвета и шрифты мнемосхемы", true},
  {"ActionTimeSet", u"Установка даты и времени", u"Настройки", kNone, kNone,
   u"Установить системные дату и время", true},
  {"ActionHardControl", u"Контроль аппаратуры", u"Сервис", kNone, kNone,
   u"Состояние потоков, модулей и связи", true},
  {"ActionEmulControl", u"Эмулятор", u"Сервис", kNone, kNone,
   u"Эмуляция модулей ввода", true},
  {"ActionTryToConnect", u"Подключиться к серверу", u"Сервис", kNone, kNone,
   u"Установить подключение к серверу", true},
  {"ActionAbout", u"О программе", u"Справка", Qt::ALT | Qt::Key_F1, kNone,
   u"Сведения о программе", true},
};

// The tool bar, left to right; nullptr is a separator.
const char* const kToolBarLayout[] = {
  "ActionMainMenu", nullptr, "ActionMnemo", nullptr, "ActionGraphFlot1", "ActionGraphFlot2", "ActionGraphFlok",
  "ActionGraphLevel", nullptr, "ActionSvodTable", "ActionPrint", nullptr, "ActionControlForm", nullptr, "ActionAbout", nullptr,
};
// clang-format on

QString Name(const char* name) {
  return QString::fromLatin1(name);
}

}  // namespace

TFormMain::TFormMain(TConsoleController& controller, MainWindowPlatform platform, QWidget* parent)
    : QMainWindow(parent), m_controller(controller), m_platform(std::move(platform)) {
  setObjectName(QStringLiteral("FormMain"));
  setWindowTitle(u"Orvet-Dravo-ФМ"_qs);
  m_mdiArea = new QMdiArea(this);
  m_mdiArea->setObjectName(QStringLiteral("MdiArea"));
  setCentralWidget(m_mdiArea);

  CreateActions();
  CreateMenu();
  CreateToolBar();
  CreateViews();

  m_warningWindows = std::make_unique<TWarningWindows>(this);
  m_controller.SetWarningSink(m_warningWindows.get());

  connect(&m_controller, &TConsoleController::Ticked, this, &TFormMain::TimerGetLogTimer);
  connect(&m_controller, &TConsoleController::Changed, this, &TFormMain::UpdateActionStates);
  connect(&m_controller, &TConsoleController::StartingUp, this, &TFormMain::FormStartUp);
  connect(&m_controller, &TConsoleController::DatabaseAttemptFinished, this,
          &TFormMain::DatabaseAttemptFinished);

  m_timerUpdateState.setObjectName(QStringLiteral("TimerUpdateState"));
  m_timerUpdateState.setParent(this);
  m_timerUpdateState.setInterval(kTimerUpdateStateMs);
  connect(&m_timerUpdateState, &QTimer::timeout, this, &TFormMain::TimerUpdateStateTimer);
  m_timerUpdateState.start();

  UpdateActionStates(m_controller.Snapshot());
}

TFormMain::~TFormMain() {
  m_controller.SetWarningSink(nullptr);
  // The views go while the window's members they read through their
  // sources still exist; a view never shown has no sub-window yet, so
  // nothing else owns it.
  for (auto& [view, sub] : m_subWindows) {
    if (sub == nullptr) {
      delete view;
    } else {
      delete sub;
    }
  }
  m_subWindows.clear();
}

QAction* TFormMain::Action(const QString& name) const {
  const auto found = m_actions.find(name);
  return found == m_actions.end() ? nullptr : found->second;
}

void TFormMain::CreateActions() {
  for (const ActionSpec& spec : kActionSpecs) {
    auto* action = new QAction(QString::fromUtf16(spec.Caption), this);
    action->setObjectName(Name(spec.Name));
    action->setProperty("Category", QString::fromUtf16(spec.Category));
    QList<QKeySequence> shortcuts;
    if (spec.Shortcut != kNone) shortcuts << QKeySequence(spec.Shortcut);
    if (spec.SecondShortcut != kNone) shortcuts << QKeySequence(spec.SecondShortcut);
    action->setShortcuts(shortcuts);
    action->setToolTip(QString::fromUtf16(spec.Hint));
    action->setStatusTip(QString::fromUtf16(spec.Hint));
    action->setIcon(ActionIcon(Name(spec.Name)));
    action->setEnabled(spec.Built);
    action->setProperty("Built", spec.Built);
    m_actions[action->objectName()] = action;
  }
  connect(Action(u"ActionMainMenu"_qs), &QAction::triggered, this, [this] { ShowView(m_formMainMenu); });
  connect(Action(u"ActionMnemo"_qs), &QAction::triggered, this, [this] { ShowView(m_mnemoView); });
  connect(Action(u"ActionGraphFlot1"_qs), &QAction::triggered, this, [this] { ShowFlotGraph(0); });
  connect(Action(u"ActionGraphFlot2"_qs), &QAction::triggered, this, [this] { ShowFlotGraph(1); });
  connect(Action(u"ActionGraphFlok"_qs), &QAction::triggered, this,
          [this] { ShowTrendView(m_formFlokGraph); });
  connect(Action(u"ActionGraphLevel"_qs), &QAction::triggered, this,
          [this] { ShowTrendView(m_formGraphBakLevel); });
  connect(Action(u"ActionSvodTable"_qs), &QAction::triggered, this, &TFormMain::ShowSvodTable);
  connect(Action(u"ActionPrint"_qs), &QAction::triggered, this, &TFormMain::ActionPrintExecute);
  connect(Action(u"ActionSetupColors"_qs), &QAction::triggered, this, &TFormMain::ActionSetupColorsExecute);
  connect(Action(u"ActionExit"_qs), &QAction::triggered, this, &TFormMain::ActionExitExecute);
  connect(Action(u"ActionTimeSet"_qs), &QAction::triggered, this, &TFormMain::ActionTimeSetExecute);
  connect(Action(u"ActionTryToConnect"_qs), &QAction::triggered, this, &TFormMain::ActionTryToConnectExecute);
  connect(Action(u"ActionAbout"_qs), &QAction::triggered, this, &TFormMain::ActionAboutExecute);
  connect(Action(u"ActionControlForm"_qs), &QAction::triggered, this, &TFormMain::ActionControlFormExecute);
  connect(Action(u"ActionSetupMain"_qs), &QAction::triggered, this, [this] { m_formSetupMain->exec(); });
  connect(Action(u"ActionSetupHardConnect"_qs), &QAction::triggered, this,
          [this] { m_formSetupHard->exec(); });
  connect(Action(u"ActionHardControl"_qs), &QAction::triggered, this, [this] { m_formHardControl->exec(); });
  connect(Action(u"ActionEmulControl"_qs), &QAction::triggered, this, &TFormMain::ActionEmulControlExecute);
}

void TFormMain::CreateMenu() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu1"));
  auto add = [this](QMenu* menu, std::initializer_list<const char*> names) {
    for (const char* name : names) {
      if (name == nullptr)
        menu->addSeparator();
      else
        menu->addAction(Action(Name(name)));
    }
  };
  add(bar->addMenu(u"Главное"_qs), {"ActionMainMenu", nullptr, "ActionPrint", nullptr, "ActionExit"});
  add(bar->addMenu(u"Мнемосхемы"_qs), {"ActionMnemo"});
  add(bar->addMenu(u"Графики"_qs),
      {"ActionGraphFlot1", "ActionGraphFlot2", nullptr, "ActionGraphFlok", "ActionGraphLevel"});
  add(bar->addMenu(u"Таблицы"_qs), {"ActionSvodTable"});
  add(bar->addMenu(u"Задания"_qs), {"ActionControlForm"});
  QMenu* service = bar->addMenu(u"Сервис"_qs);
  add(service->addMenu(u"Настройки"_qs),
      {"ActionSetupMain", "ActionSetupHardConnect", "ActionSetupColors", "ActionTimeSet"});
  add(service, {"ActionHardControl", "ActionEmulControl", nullptr, "ActionTryToConnect"});
  add(bar->addMenu(u"Справка"_qs), {"ActionAbout"});
}

void TFormMain::CreateToolBar() {
  QToolBar* toolBar = addToolBar(QStringLiteral("ToolBar1"));
  toolBar->setObjectName(QStringLiteral("ToolBar1"));
  toolBar->setMovable(false);
  toolBar->setFloatable(false);
  toolBar->setIconSize(kToolImageSize);
  toolBar->setContextMenuPolicy(Qt::PreventContextMenu);
  for (const char* name : kToolBarLayout) {
    if (name == nullptr) {
      toolBar->addSeparator();
      continue;
    }
    QAction* action = Action(Name(name));
    toolBar->addAction(action);
    if (QWidget* button = toolBar->widgetForAction(action)) button->setFixedSize(kToolButtonSize);
  }

  // The status area fills the rest of the tool bar: connect button, state
  // indicator and clock at its right end.
  m_panelInfo = new QWidget(toolBar);
  m_panelInfo->setObjectName(QStringLiteral("PanelInfo"));
  m_panelInfo->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  auto* layout = new QHBoxLayout(m_panelInfo);
  layout->setContentsMargins(0, 0, 10, 0);
  layout->setSpacing(10);
  layout->addStretch(1);

  m_speedButtonTryConnect = new QToolButton(m_panelInfo);
  m_speedButtonTryConnect->setObjectName(QStringLiteral("SpeedButtonTryConnect"));
  m_speedButtonTryConnect->setFixedSize(kConnectButtonSide, kConnectButtonSide);
  m_speedButtonTryConnect->setIconSize(QSize(32, 32));
  m_speedButtonTryConnect->setAutoRaise(true);
  m_speedButtonTryConnect->setIcon(ConnectIcon());
  m_speedButtonTryConnect->setToolTip(u"Установить подключение к серверу"_qs);
  connect(m_speedButtonTryConnect, &QToolButton::clicked, Action(u"ActionTryToConnect"_qs),
          &QAction::trigger);
  layout->addWidget(m_speedButtonTryConnect);

  m_shapeLinkPuf = new TShape(m_panelInfo);
  m_shapeLinkPuf->setObjectName(QStringLiteral("ShapeLinkPuf"));
  m_shapeLinkPuf->setFixedSize(kStateShapeSide, kStateShapeSide);
  m_shapeLinkPuf->setToolTip(u"Индикатор связи с ПУФ"_qs);
  layout->addWidget(m_shapeLinkPuf);

  m_labelClock = new QLabel(m_panelInfo);
  m_labelClock->setObjectName(QStringLiteral("LabelClock"));
  m_labelClock->setAlignment(Qt::AlignCenter);
  const QFont clockFont = PixelFont(QStringLiteral("Arial"), 24, true);
  m_labelClock->setFont(clockFont);
  // Lime digits on black; a style sheet, since the tool bar's style paints
  // over a palette's background.
  m_labelClock->setStyleSheet(QStringLiteral("QLabel { background-color: #000000; color: #00FF00; }"));
  m_labelClock->setFixedSize(QFontMetrics(clockFont).horizontalAdvance(QStringLiteral("00:00:00")) + 16,
                             kConnectButtonSide);
  layout->addWidget(m_labelClock);
  toolBar->addWidget(m_panelInfo);
}

void TFormMain::CreateViews() {
  // The editors first, for the diagram routes clicks to them; they are
  // children of the window and hidden until a click in edit mode.
  m_elementEditors = std::make_unique<TElementEditors>(this);
  MnemoSource source;
  source.Snapshot = [this]() -> const ConsoleSnapshot& { return m_controller.Snapshot(); };
  source.Config = [this]() -> const TConfig& { return m_controller.Config(); };
  source.AddLogRec = [this](const QString& text) { m_controller.AddLogRec(text); };
  m_formMnemo = new TFormMnemo(std::move(source), m_controller.AppDir(), m_elementEditors.get());
  // The diagram keeps its pixel geometry: centred on black when the area is
  // larger, scrolled when it is smaller.
  m_mnemoView = new QScrollArea;
  m_mnemoView->setObjectName(QStringLiteral("ScrollBoxMnemo"));
  m_mnemoView->setWindowTitle(m_formMnemo->windowTitle());
  m_mnemoView->setFrameShape(QFrame::NoFrame);
  m_mnemoView->setAlignment(Qt::AlignCenter);
  m_mnemoView->setWidgetResizable(false);
  // By palette: a style sheet here would take the captions' colours too.
  QPalette black = m_mnemoView->palette();
  black.setColor(QPalette::Window, Qt::black);
  m_mnemoView->setPalette(black);
  m_mnemoView->viewport()->setPalette(black);
  m_mnemoView->viewport()->setAutoFillBackground(true);
  m_mnemoView->setWidget(m_formMnemo);
  m_subWindows[m_mnemoView] = nullptr;

  MainMenuActions actions;
  actions.Mnemo = Action(u"ActionMnemo"_qs);
  actions.GraphFlot1 = Action(u"ActionGraphFlot1"_qs);
  actions.GraphFlot2 = Action(u"ActionGraphFlot2"_qs);
  actions.GraphFlok = Action(u"ActionGraphFlok"_qs);
  actions.GraphLevel = Action(u"ActionGraphLevel"_qs);
  actions.ControlForm = Action(u"ActionControlForm"_qs);
  actions.SvodTable = Action(u"ActionSvodTable"_qs);
  m_formMainMenu = new TFormMainMenu(actions, [this] { return !m_controller.Config().Disabled; });
  m_subWindows[m_formMainMenu] = nullptr;  // added to the area when first shown

  // In the console's order of creation; each stays hidden until its action.
  m_formHardControl = new TFormHardControl(m_controller, this);
  m_formEmul = new TFormEmul(m_controller, this);
  m_formSetupMain = new TFormSetupMain(m_controller, this);
  m_formSetupHard = new TFormSetupHard(m_controller, this);
  m_formControlSet = new TFormControlSet([this](const QString& text) { m_controller.AddLogRec(text); }, this);
  m_formFlokGraph = new TFormFlokGraph(MakeTrendSource(), m_controller.AppDir());
  m_subWindows[m_formFlokGraph] = nullptr;
  m_formGraphBakLevel = new TFormGraphBakLevel(MakeTrendSource(), m_controller.AppDir());
  m_subWindows[m_formGraphBakLevel] = nullptr;
  m_formSvodTable = new TFormSvodTable(MakeSummarySource());
  m_subWindows[m_formSvodTable] = nullptr;
  m_formWebPrint = new TFormWebPrint([this]() -> QWidget* { return m_activeView; }, this);
  ColorConfigHooks hooks;
  hooks.ApplyEditMode = [this] { m_formMnemo->ApplyEditMode(); };
  hooks.ColorsApplied = [this] { m_formMnemo->UpdateSectionStates(true); };
  m_formColorConfig = new TFormColorConfig(
      m_controller.Core().Config(), [this] { return m_controller.SaveConfig(); }, std::move(hooks), this);
}

TrendSource TFormMain::MakeTrendSource() {
  TrendSource source;
  source.DatabaseConnected = [this] { return m_controller.Snapshot().DatabaseConnected; };
  source.Database = &m_controller.Core().Database();
  source.MinuteRecords = [this] { return m_controller.Core().State().MinuteRecords.Snapshot(); };
  source.AddLogMessage = [](const QString& text) { AddLogMessage(text); };
  source.Now = [this] { return m_controller.Now(); };
  source.ActiveView = [this]() -> QWidget* { return m_activeView; };
  return source;
}

SummarySource TFormMain::MakeSummarySource() {
  SummarySource source;
  source.DatabaseConnected = [this] { return m_controller.Snapshot().DatabaseConnected; };
  source.Database = &m_controller.Core().Database();
  source.Constants = [this] {
    SummaryConstants constants{};
    const auto& configured = m_controller.Config().SummationConstants;
    for (int quantity = 0; quantity < kSummationConstantCount; ++quantity) {
      for (int section = 0; section < 2; ++section)
        constants[quantity][section] = configured[quantity][section].Get();
    }
    return constants;
  };
  source.AddLogMessage = [](const QString& text) { AddLogMessage(text); };
  source.Now = [this] { return m_controller.Now(); };
  return source;
}

void TFormMain::ShowSvodTable() {
  ShowView(m_formSvodTable);
  // As with the trend windows: shown before its first tick, the table fills
  // now instead of standing empty for up to 27 s.
  if (m_formSvodTable->TickCount() == 0 && !m_formSvodTable->LoadBusy()) m_formSvodTable->Reload();
}

void TFormMain::ActionPrintExecute() {
  m_formWebPrint->ActiveViewChanged();
  m_formWebPrint->show();
  m_formWebPrint->raise();
  m_formWebPrint->activateWindow();
}

TFormFlotGraph* TFormMain::FlotGraph(int section) {
  TFormFlotGraph*& window = m_formFlotGraph[section == 1 ? 1 : 0];
  if (window == nullptr) {
    window = new TFormFlotGraph(section == 1 ? 1 : 0, MakeTrendSource(), m_controller.AppDir());
    m_subWindows[window] = nullptr;
  }
  return window;
}

void TFormMain::ShowFlotGraph(int section) {
  TFormFlotGraph* window = FlotGraph(section);
  ShowTrendView(window);
  window->ShowAllGraphs();
}

void TFormMain::ShowTrendView(TTrendWindow* window) {
  ShowView(window);
  // A window shown before its first update tick loads now rather than
  // leaving the operator half a minute of empty graphs.
  if (window->TickCount() == 0 && window->NeedReload()) window->Reload();
}

QWidget* TFormMain::MnemoView() const {
  return m_mnemoView;
}

void TFormMain::ShowView(QWidget* view) {
  if (view == nullptr) return;
  QDir().mkpath(QDir(m_controller.AppDir()).filePath(QStringLiteral("config")));
  m_activeView = view;
  QMdiSubWindow*& sub = m_subWindows[view];
  if (sub == nullptr) {
    // A view has no title bar and no buttons: it is closed by showing another.
    sub = m_mdiArea->addSubWindow(view, Qt::SubWindow | Qt::FramelessWindowHint);
    sub->setObjectName(view->objectName() + QStringLiteral("Window"));
  }
  sub->showMaximized();
  m_mdiArea->setActiveSubWindow(sub);
  sub->raise();
  // The views behind are hidden, not merely covered: they keep their
  // state and timers, but their pictures are dropped until shown again.
  for (const auto& [other, otherSub] : m_subWindows) {
    if (otherSub != nullptr && otherSub != sub) otherSub->hide();
  }
  Action(u"ActionPrint"_qs)->setEnabled(dynamic_cast<TPrintableView*>(view) != nullptr);
  if (m_formWebPrint != nullptr) m_formWebPrint->ActiveViewChanged();
}

void TFormMain::TimerGetLogTimer(const ConsoleSnapshot& snapshot) {
  m_labelClock->setText(FormatDateTime(QStringLiteral("hh:nn:ss"), snapshot.Now));
  UpdateActionStates(snapshot);
}

void TFormMain::UpdateActionStates(const ConsoleSnapshot& snapshot) {
  const bool offerConnect = !snapshot.DatabaseConnected && !snapshot.DatabaseDisabled;
  QAction* tryToConnect = Action(u"ActionTryToConnect"_qs);
  tryToConnect->setVisible(offerConnect);
  tryToConnect->setEnabled(!snapshot.DatabaseConnecting);
  m_speedButtonTryConnect->setVisible(offerConnect);
  m_speedButtonTryConnect->setEnabled(!snapshot.DatabaseConnecting);

  QAction* svodTable = Action(u"ActionSvodTable"_qs);
  svodTable->setVisible(!snapshot.DatabaseDisabled);
  svodTable->setEnabled(!snapshot.DatabaseDisabled && svodTable->property("Built").toBool());
  if (snapshot.DatabaseDisabled != m_lastDisabled) {
    m_lastDisabled = snapshot.DatabaseDisabled;
    m_formMainMenu->PanelCenterResize();
  }
}

void TFormMain::TimerUpdateStateTimer() {
  try {
    const int age = m_controller.CheckStateAge();
    const TColor color = age <= TConsoleController::kStateYellowSec  ? clGreen
                         : age <= TConsoleController::kStateFreshSec ? clYellow
                                                                     : clRed;
    m_shapeLinkPuf->SetBrushColor(color);
  } catch (...) {
    QApplication::beep();
  }
}

void TFormMain::FormStartUp() {
  // Both sections coloured as they stand, without log records.
  m_formMnemo->UpdateSectionStates(true);
  FlotGraph(0);
  FlotGraph(1);
  ShowView(m_formMainMenu);
  // The main menu is painted before the workers start.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TFormMain::ActionExitExecute() {
  if (QMessageBox::question(this, ExitCaption(), ExitQuestion(), QMessageBox::Yes | QMessageBox::No) ==
      QMessageBox::Yes) {
    close();
  }
}

void TFormMain::ActionTimeSetExecute() {
  const QStringList line =
      TimeSetCommandLine(m_controller.Config().TimeSetCommand, m_platform.FindExecutable);
  const QString caption = u"Установка даты и времени"_qs;
  if (line.isEmpty()) {
    QMessageBox::information(this, caption,
                             u"Программа установки даты и времени не найдена. Укажите её в ключе "
                             u"TimeSetCommand раздела [System] файла настроек."_qs);
    return;
  }
  if (!m_platform.StartDetached(line.first(), line.mid(1))) {
    QMessageBox::critical(this, caption, u"Не удалось запустить "_qs + line.join(u' ') + u'.');
  }
}

void TFormMain::ActionTryToConnectExecute() {
  if (m_controller.ConnectDatabase()) m_operatorConnect = true;
  UpdateActionStates(m_controller.Snapshot());
}

void TFormMain::DatabaseAttemptFinished(bool connected) {
  UpdateActionStates(m_controller.Snapshot());
  if (!m_operatorConnect) return;
  m_operatorConnect = false;
  const QString caption = u"Подключение к серверу"_qs;
  if (connected)
    QMessageBox::information(this, caption, ConnectedText());
  else
    QMessageBox::critical(this, caption, NotConnectedText());
}

void TFormMain::ActionAboutExecute() {
  TFormAbout about(this);
  about.exec();
}

void TFormMain::ActionControlFormExecute() {
  const ConsoleSnapshot& snapshot = m_controller.Refresh();
  std::array<float, kValueSlotCount> block = snapshot.AveragedValues;
  if (snapshot.StateMoment == 0) {
    // No cycle has run yet, so the block's setpoint slots are still empty;
    // shown as they are, an OK would set every setpoint to 0.
    for (int i = 0; i < kSetpointCount; ++i) {
      block[SetpointSlot(static_cast<SetpointIndex>(i))] = snapshot.Setpoints[i];
    }
  }
  m_formControlSet->Load(block);
  if (m_formControlSet->exec() == QDialog::Accepted) {
    m_controller.ApplyControlSet(m_formControlSet->Modes(), m_formControlSet->Setpoints());
  }
}

void TFormMain::ActionEmulControlExecute() {
  m_formEmul->show();
  m_formEmul->raise();
  m_formEmul->activateWindow();
}

void TFormMain::ActionSetupColorsExecute() {
  m_formColorConfig->exec();
}

void TFormMain::closeEvent(QCloseEvent* event) {
  FormDestroy();
  QMainWindow::closeEvent(event);
}

void TFormMain::FormDestroy() {
  if (m_destroyed) return;
  m_destroyed = true;
  m_timerUpdateState.stop();
  m_controller.SetWarningSink(nullptr);
  m_saved = m_controller.Close();
  if (!m_controller.Config().ShutdownOnExit) return;
  QString error;
  if (!m_platform.ShutdownComputer(error)) QMessageBox::information(nullptr, windowTitle(), error);
}
