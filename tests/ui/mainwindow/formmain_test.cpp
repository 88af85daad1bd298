#include "ui/mainwindow/formmain.h"
#include "ui/trends/formflokgraph.h"
#include "ui/trends/formflotgraph.h"
#include "ui/trends/formgraphbaklevel.h"
#include "ui/trends/formgraphflpoint.h"
#include "ui/trends/formsvodtable.h"
#include "ui/trends/formwebprint.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "common/inifile.h"
#include "support/eventlogcapture.h"
#include "support/modaldialogs.h"
#include "ui/common/elementeditmode.h"
#include "ui/displays/formabout.h"
#include "ui/displays/formcontrolset.h"
#include "ui/displays/formemul.h"
#include "ui/displays/formhardcontrol.h"
#include "ui/displays/formmainmenu.h"
#include "ui/elements/arrow.h"
#include "ui/elements/shape.h"
#include "ui/mainwindow/singleinstance.h"
#include "ui/mainwindow/warningwindows.h"
#include "ui/mnemo/formmnemo.h"
#include "ui/settings/formsetuphard.h"
#include "ui/settings/formsetupmain.h"

namespace {

constexpr TColor kClSilver = clSilver;
constexpr TColor kClGreen = clGreen;
constexpr TColor kClYellow = clYellow;
constexpr TColor kClRed = clRed;

// What the window asked of the system.
struct FakePlatform {
  int shutdowns = 0;
  bool shutdownWorks = true;
  QStringList started;    // program and arguments, joined by blanks
  QStringList installed;  // programs FindExecutable finds

  MainWindowPlatform Platform() {
    MainWindowPlatform platform;
    platform.ShutdownComputer = [this](QString& error) {
      ++shutdowns;
      if (!shutdownWorks) error = u"Операция не разрешена"_qs;
      return shutdownWorks;
    };
    platform.StartDetached = [this](const QString& program, const QStringList& arguments) {
      started << (QStringList{program} + arguments).join(u' ');
      return true;
    };
    platform.FindExecutable = [this](const QString& name) {
      return installed.contains(name) ? u"/usr/bin/"_qs + name : QString();
    };
    return platform;
  }
};

class FormMainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DrainEventLog();
    IniFile ini(m_home.filePath(u"flotation-console.INI"_qs));
    IniUpdate update(ini);
    ini.WriteInteger(u"System"_qs, u"AutoStartControl"_qs, 0);
    ini.WriteString(u"MySQL"_qs, u"Host"_qs, u"127.0.0.1:1"_qs);
    update.Commit();
  }
  void TearDown() override {
    m_form.reset();
    m_controller.reset();
    DrainEventLog();
  }

  TFormMain& Open(bool disabledDatabase = false) {
    if (disabledDatabase) {
      IniFile(m_home.filePath(u"flotation-console.INI"_qs)).WriteInteger(u"MySQL"_qs, u"Disabled"_qs, 1);
    }
    m_controller = std::make_unique<TConsoleController>(m_home.path(), [this] { return m_now; });
    m_controller->Open();
    m_form = std::make_unique<TFormMain>(*m_controller, m_platform.Platform());
    m_form->resize(1024, 768);
    m_form->show();
    return *m_form;
  }

  QString IniText(const QString& section, const QString& key) {
    return IniFile(m_home.filePath(u"flotation-console.INI"_qs)).ReadString(section, key, u"(none)"_qs);
  }

  QTemporaryDir m_home;
  TDateTime m_now = EncodeDateTime(2026, 12, 10, 9, 5, 7);
  FakePlatform m_platform;
  std::unique_ptr<TConsoleController> m_controller;
  std::unique_ptr<TFormMain> m_form;
};

// Menu entries by action name, "-" for a separator, ">Title" for a submenu.
QStringList Entries(const QMenu& menu) {
  QStringList entries;
  for (QAction* action : menu.actions()) {
    if (action->isSeparator())
      entries << u"-"_qs;
    else if (action->menu() != nullptr)
      entries << u">"_qs + action->text();
    else
      entries << action->objectName();
  }
  return entries;
}

TEST_F(FormMainTest, EveryActionHasItsCaptionCategoryShortcutsAndHint) {
  TFormMain& form = Open();
  struct Case {
    const char* name;
    const char16_t* caption;
    const char16_t* category;
    QList<QKeySequence> shortcuts;
  };
  const Case cases[] = {
      {"ActionMainMenu", u"Главное меню", u"Главное", {QKeySequence(Qt::Key_F1)}},
      {"ActionExit", u"Вы&xод", u"Главное", {}},
      {"ActionMnemo", u"Мнемосхема  обогащения  флотацией", u"Мнемосхемы", {QKeySequence(Qt::Key_F2)}},
      {"ActionGraphFlot1", u"Графики параметров флотации секции 1", u"", {QKeySequence(Qt::Key_F3)}},
      {"ActionGraphFlot2", u"Графики параметров флотации секции 2", u"", {QKeySequence(Qt::Key_F4)}},
      {"ActionGraphFlok",
       u"Графики параметров процесса флокуляции флотоконцентрата",
       u"",
       {QKeySequence(Qt::Key_F5)}},
      {"ActionGraphLevel",
       u"Графики  изменения уровней в баках флотоконцентрата",
       u"",
       {QKeySequence(Qt::Key_F6)}},
      {"ActionControlForm",
       u"Задания режимов управления и расхода реагентов",
       u"",
       {QKeySequence(Qt::Key_F7), QKeySequence(Qt::Key_F12)}},
      {"ActionSvodTable", u"Сводная таблица показателей работы", u"", {QKeySequence(Qt::Key_F8)}},
      {"ActionPrint", u"Печать и сохранение…", u"Главное", {QKeySequence(Qt::CTRL | Qt::Key_P)}},
      {"ActionSetupMain", u"Общие", u"Настройки", {}},
      {"ActionSetupHardConnect", u"Подключение аппаратуры", u"Настройки", {}},
      {"ActionSetupColors", u"Оформление", u"Настройки", {}},
      {"ActionTimeSet", u"Установка даты и времени", u"Настройки", {}},
      {"ActionHardControl", u"Контроль аппаратуры", u"Сервис", {}},
      {"ActionEmulControl", u"Эмулятор", u"Сервис", {}},
      {"ActionTryToConnect", u"Подключиться к серверу", u"Сервис", {}},
      {"ActionAbout", u"О программе", u"Справка", {QKeySequence(Qt::ALT | Qt::Key_F1)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QAction* action = form.Action(QString::fromLatin1(c.name));
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->text(), QString::fromUtf16(c.caption));
    EXPECT_EQ(action->property("Category").toString(), QString::fromUtf16(c.category));
    EXPECT_EQ(action->shortcuts(), c.shortcuts);
    EXPECT_FALSE(action->toolTip().isEmpty());
    EXPECT_EQ(form.findChild<QAction*>(QString::fromLatin1(c.name)), action);
  }
  EXPECT_EQ(form.windowTitle(), u"Orvet-Dravo-ФМ"_qs);
  EXPECT_EQ(form.Action(u"ActionTryToConnect"_qs)->toolTip(), u"Установить подключение к серверу"_qs);
}

TEST_F(FormMainTest, MenuAndToolBarListTheActionsInTheirOrder) {
  TFormMain& form = Open();
  QStringList titles;
  std::vector<QStringList> menus;
  QMenu* service = nullptr;
  for (QAction* top : form.menuBar()->actions()) {
    titles << top->text();
    menus.push_back(Entries(*top->menu()));
    if (top->text() == u"Сервис") service = top->menu();
  }
  EXPECT_EQ(titles, (QStringList{u"Главное"_qs, u"Мнемосхемы"_qs, u"Графики"_qs, u"Таблицы"_qs, u"Задания"_qs,
                                 u"Сервис"_qs, u"Справка"_qs}));
  ASSERT_EQ(menus.size(), 7u);
  EXPECT_EQ(menus[0],
            (QStringList{u"ActionMainMenu"_qs, u"-"_qs, u"ActionPrint"_qs, u"-"_qs, u"ActionExit"_qs}));
  EXPECT_EQ(menus[1], QStringList{u"ActionMnemo"_qs});
  EXPECT_EQ(menus[2], (QStringList{u"ActionGraphFlot1"_qs, u"ActionGraphFlot2"_qs, u"-"_qs,
                                   u"ActionGraphFlok"_qs, u"ActionGraphLevel"_qs}));
  EXPECT_EQ(menus[3], QStringList{u"ActionSvodTable"_qs});
  EXPECT_EQ(menus[4], QStringList{u"ActionControlForm"_qs});
  EXPECT_EQ(menus[5], (QStringList{u">Настройки"_qs, u"ActionHardControl"_qs, u"ActionEmulControl"_qs,
                                   u"-"_qs, u"ActionTryToConnect"_qs}));
  EXPECT_EQ(menus[6], QStringList{u"ActionAbout"_qs});
  ASSERT_NE(service, nullptr);
  EXPECT_EQ(Entries(*service->actions().first()->menu()),
            (QStringList{u"ActionSetupMain"_qs, u"ActionSetupHardConnect"_qs, u"ActionSetupColors"_qs,
                         u"ActionTimeSet"_qs}));

  auto* toolBar = form.findChild<QToolBar*>(u"ToolBar1"_qs);
  ASSERT_NE(toolBar, nullptr);
  QStringList tools;
  for (QAction* action : toolBar->actions()) {
    if (action->isSeparator())
      tools << u"|"_qs;
    else if (QWidget* widget = toolBar->widgetForAction(action);
             widget && widget->objectName() == u"PanelInfo")
      tools << u"PanelInfo"_qs;
    else
      tools << action->objectName();
  }
  EXPECT_EQ(tools,
            (QStringList{u"ActionMainMenu"_qs, u"|"_qs, u"ActionMnemo"_qs, u"|"_qs, u"ActionGraphFlot1"_qs,
                         u"ActionGraphFlot2"_qs, u"ActionGraphFlok"_qs, u"ActionGraphLevel"_qs, u"|"_qs,
                         u"ActionSvodTable"_qs, u"ActionPrint"_qs, u"|"_qs, u"ActionControlForm"_qs, u"|"_qs,
                         u"ActionAbout"_qs, u"|"_qs, u"PanelInfo"_qs}));
  EXPECT_EQ(toolBar->widgetForAction(form.Action(u"ActionMnemo"_qs))->size(), QSize(71, 40));
  EXPECT_EQ(toolBar->iconSize(), QSize(64, 32));
}

TEST_F(FormMainTest, FunctionKeysRunTheirActionsAndPrintingFollowsTheView) {
  TFormMain& form = Open();
  m_controller->Tick();  // the start-up shows the main menu
  ASSERT_EQ(form.ActiveView(), form.FormMainMenu());
  EXPECT_TRUE(QDir(m_home.filePath(u"config"_qs)).exists());
  auto* sub = form.findChild<QMdiSubWindow*>(u"FormMainMenuWindow"_qs);
  ASSERT_NE(sub, nullptr);
  EXPECT_TRUE(sub->isMaximized());

  QAction* print = form.Action(u"ActionPrint"_qs);
  EXPECT_FALSE(print->isEnabled()) << "the main menu is nothing to print";
  for (int key = Qt::Key_F9; key <= Qt::Key_F11; ++key) QTest::keyClick(&form, static_cast<Qt::Key>(key));
  EXPECT_EQ(form.ActiveView(), form.FormMainMenu());

  // F8: the summary table, made with the window; Ctrl+P offers to print it.
  QTest::keyClick(&form, Qt::Key_F8);
  ASSERT_NE(form.FormSvodTable(), nullptr);
  EXPECT_EQ(form.ActiveView(), form.FormSvodTable());
  EXPECT_TRUE(form.FormSvodTable()->parentWidget()->isMaximized());
  EXPECT_TRUE(form.FormSvodTable()->LoadBusy()) << "shown before its first tick, the table loads at once";
  EXPECT_TRUE(print->isEnabled());
  QTest::keyClick(&form, Qt::Key_P, Qt::ControlModifier);
  ASSERT_NE(form.FormWebPrint(), nullptr);
  EXPECT_TRUE(form.FormWebPrint()->isVisible());
  EXPECT_EQ(form.FormWebPrint()->windowTitle(), u"Печать графиков работы"_qs);
  auto* label = form.FormWebPrint()->findChild<QLabel*>(u"LabelView"_qs);
  ASSERT_NE(label, nullptr);
  EXPECT_TRUE(label->text().contains(u"Таблица сводных параметров процесса флотации"_qs))
      << label->text().toStdString();
  form.FormWebPrint()->close();

  // F3 ... F6: the trend windows, made by the start-up and kept; each loads
  // when it is first shown.
  ASSERT_NE(form.FormFlotGraph(0), nullptr);
  ASSERT_NE(form.FormFlotGraph(1), nullptr);
  const std::pair<Qt::Key, TTrendWindow*> trendKeys[] = {
      {Qt::Key_F3, form.FormFlotGraph(0)},
      {Qt::Key_F4, form.FormFlotGraph(1)},
      {Qt::Key_F5, form.FormFlokGraph()},
      {Qt::Key_F6, form.FormGraphBakLevel()},
  };
  for (const auto& [key, window] : trendKeys) {
    SCOPED_TRACE(window->objectName().toStdString());
    QTest::keyClick(&form, key);
    EXPECT_EQ(form.ActiveView(), window);
    EXPECT_FALSE(window->NeedReload());
    EXPECT_TRUE(window->parentWidget()->isMaximized());
    EXPECT_TRUE(print->isEnabled());
  }
  // A point-value window hides once its trend window is no longer in view.
  form.FormFlotGraph(1)->CmdShowSatelliteClick();
  QWidget* point = form.FormFlotGraph(1)->PointWindow();
  ASSERT_NE(point, nullptr);
  EXPECT_TRUE(point->isVisible());
  QTest::keyClick(&form, Qt::Key_F2);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !point->isVisible(); }, 2000));

  // F2: the diagram, at its own size in the middle of the area.
  QTest::keyClick(&form, Qt::Key_F2);
  ASSERT_EQ(form.ActiveView(), form.MnemoView());
  EXPECT_EQ(form.FormMnemo()->size(), QSize(1012, 723));
  EXPECT_EQ(form.FormMnemo()->parentWidget()->parentWidget(), form.MnemoView());

  // Alt+F1 opens the About window modally; F1 brings the main menu back.
  bool aboutShown = false;
  WhenModalShows([&](QWidget& modal) {
    aboutShown = qobject_cast<TFormAbout*>(&modal) != nullptr;
    modal.close();
  });
  QTest::keyClick(&form, Qt::Key_F1, Qt::AltModifier);
  EXPECT_TRUE(aboutShown);
  QApplication::setActiveWindow(&form);
  QTest::keyClick(&form, Qt::Key_F1);
  EXPECT_EQ(form.ActiveView(), form.FormMainMenu());
}

TEST_F(FormMainTest, ExitAsksAndNoKeepsTheConsoleRunning) {
  TFormMain& form = Open();
  MessageBoxSeen seen;
  AnswerMessageBox(QMessageBox::No, &seen);
  form.Action(u"ActionExit"_qs)->trigger();
  ASSERT_TRUE(seen.shown);
  EXPECT_EQ(seen.title, u"Выход из программы"_qs);
  EXPECT_EQ(seen.text, u"Завершить работу с программой?"_qs);
  EXPECT_EQ(seen.icon, QMessageBox::Question);
  EXPECT_EQ(seen.buttons.size(), 2);
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(IniText(u"LastSet"_qs, u"TRRS1"_qs), u"(none)"_qs);

  m_controller->Core().State().Setpoints.Set(kTRRS1, 33.5f);
  AnswerMessageBox(QMessageBox::Yes);
  form.Action(u"ActionExit"_qs)->trigger();
  EXPECT_FALSE(form.isVisible());
  EXPECT_TRUE(form.Saved());
  EXPECT_DOUBLE_EQ(
      IniFile(m_home.filePath(u"flotation-console.INI"_qs)).ReadFloat(u"LastSet"_qs, u"TRRS1"_qs, 0), 33.5);
  EXPECT_EQ(m_platform.shutdowns, 0);
}

TEST_F(FormMainTest, TheCloseButtonAsksNothingSavesOnceAndShutsDownWhenConfigured) {
  TFormMain& form = Open();
  m_controller->Core().Config().ShutdownOnExit = true;
  m_platform.shutdownWorks = false;
  MessageBoxSeen seen;
  AnswerMessageBox(QMessageBox::Ok, &seen);
  form.close();
  EXPECT_TRUE(form.Saved());
  EXPECT_EQ(m_platform.shutdowns, 1);
  ASSERT_TRUE(seen.shown);  // the refusal is shown, not a question
  EXPECT_EQ(seen.text, u"Операция не разрешена"_qs);
  EXPECT_EQ(seen.icon, QMessageBox::Information);
  EXPECT_EQ(IniText(u"System"_qs, u"ShutdownOnExit"_qs), u"1"_qs);
  form.close();
  EXPECT_EQ(m_platform.shutdowns, 1);
}

TEST_F(FormMainTest, StateIndicatorIsSilverThenColouredByTheAgeOfTheStateRecord) {
  TFormMain& form = Open();
  auto* shape = form.findChild<TShape*>(u"ShapeLinkPuf"_qs);
  ASSERT_NE(shape, nullptr);
  EXPECT_EQ(shape->BrushColor(), kClSilver);
  EXPECT_EQ(shape->size(), QSize(15, 15));
  EXPECT_EQ(shape->toolTip(), u"Индикатор связи с ПУФ"_qs);
  form.TimerUpdateStateTimer();
  EXPECT_EQ(shape->BrushColor(), kClRed);  // no cycle yet
  EXPECT_FALSE(form.StateFresh());

  struct Case {
    int ageSec;
    uint32_t color;
    bool fresh;
  };
  const Case cases[] = {{0, kClGreen, true},   {40, kClGreen, true}, {41, kClYellow, true},
                        {60, kClYellow, true}, {61, kClRed, false},  {-30, kClGreen, true}};
  const std::array<float, kValueSlotCount> values{};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ageSec);
    m_controller->Core().State().StateRecord.Store(m_now - c.ageSec / 86400.0, values);
    form.TimerUpdateStateTimer();
    EXPECT_EQ(shape->BrushColor(), c.color);
    EXPECT_EQ(form.StateFresh(), c.fresh);
  }
  // The pixel at the circle's centre has the colour (0x00BBGGRR yellow = RGB 255,255,0).
  m_controller->Core().State().StateRecord.Store(m_now - 50 / 86400.0, values);
  form.TimerUpdateStateTimer();
  EXPECT_EQ(shape->grab().toImage().pixelColor(7, 7), QColor(255, 255, 0));
}

TEST_F(FormMainTest, TickShowsTheClockAndTheConnectCommandWhileTheDatabaseIsNotConnected) {
  TFormMain& form = Open();
  m_controller->Tick();
  auto* clock = form.findChild<QLabel*>(u"LabelClock"_qs);
  ASSERT_NE(clock, nullptr);
  EXPECT_EQ(clock->text(), u"09:05:07"_qs);
  m_now += 1.5 / 86400.0;
  m_controller->Tick();
  EXPECT_EQ(clock->text(), u"09:05:08"_qs);

  auto* button = form.findChild<QToolButton*>(u"SpeedButtonTryConnect"_qs);
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->size(), QSize(40, 40));
  EXPECT_TRUE(form.Action(u"ActionTryToConnect"_qs)->isVisible());
  EXPECT_TRUE(button->isVisible());
  EXPECT_TRUE(form.Action(u"ActionSvodTable"_qs)->isVisible());
  EXPECT_FALSE(form.FormMainMenu()->findChild<QWidget*>(u"PanelF8"_qs)->isHidden());

  // The database switched off: no connect command, no summary table.
  m_controller->Core().Config().Disabled = true;
  m_controller->Tick();
  EXPECT_FALSE(form.Action(u"ActionTryToConnect"_qs)->isVisible());
  EXPECT_FALSE(button->isVisible());
  EXPECT_FALSE(form.Action(u"ActionSvodTable"_qs)->isVisible());
  EXPECT_TRUE(form.FormMainMenu()->findChild<QWidget*>(u"PanelF8"_qs)->isHidden());
}

TEST_F(FormMainTest, SummaryTableIsHiddenFromTheStartWhenTheDatabaseIsOff) {
  TFormMain& form = Open(true);
  EXPECT_FALSE(form.Action(u"ActionSvodTable"_qs)->isVisible());
  EXPECT_FALSE(form.Action(u"ActionTryToConnect"_qs)->isVisible());
  EXPECT_TRUE(form.FormMainMenu()->findChild<QWidget*>(u"PanelF8"_qs)->isHidden());
}

TEST_F(FormMainTest, TryToConnectReportsTheOutcomeOfTheOperatorsAttemptOnly) {
  TFormMain& form = Open();
  // The attempt of the start reports nothing.
  ASSERT_TRUE(QTest::qWaitFor([&] { return !m_controller->Refresh().DatabaseConnecting; }, 10000));
  QCoreApplication::processEvents();
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

  MessageBoxSeen seen;
  AnswerMessageBox(QMessageBox::Ok, &seen);
  form.Action(u"ActionTryToConnect"_qs)->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return seen.shown; }, 10000));
  EXPECT_EQ(seen.text, u"Соединение установить не удалось."_qs);
  EXPECT_EQ(seen.icon, QMessageBox::Critical);
  EXPECT_TRUE(form.Action(u"ActionTryToConnect"_qs)->isVisible());
}

TEST_F(FormMainTest, TimeSetStartsTheConfiguredOrAnInstalledProgramOrSaysThereIsNone) {
  TFormMain& form = Open();
  QAction* timeSet = form.Action(u"ActionTimeSet"_qs);
  MessageBoxSeen seen;
  AnswerMessageBox(QMessageBox::Ok, &seen);
  timeSet->trigger();
  ASSERT_TRUE(seen.shown);
  EXPECT_TRUE(seen.text.contains(u"TimeSetCommand"_qs));
  EXPECT_TRUE(m_platform.started.isEmpty());

  m_platform.installed = {u"systemsettings"_qs, u"mate-time-admin"_qs};
  timeSet->trigger();
  m_controller->Core().Config().TimeSetCommand = u"/opt/clock/set-time --plant \"Секция 1\""_qs;
  timeSet->trigger();
  EXPECT_EQ(m_platform.started, (QStringList{u"/usr/bin/systemsettings kcm_clock"_qs,
                                             u"/opt/clock/set-time --plant Секция 1"_qs}));
}

TEST_F(FormMainTest, MessagesThatAskForAWindowReachTheWarningWindows) {
  TFormMain& form = Open();
  AddLogMessage(u"Проверка окна"_qs, kLogFlagShowWindow);
  m_controller->Tick();
  TShowErrorForm* shared = form.WarningWindows().SharedWindow();
  ASSERT_NE(shared, nullptr);
  EXPECT_TRUE(shared->isVisible());
  AddLogMessage(u"Своё окно"_qs, kLogFlagShowWindow | kLogFlagOwnWindow);
  m_controller->Tick();
  EXPECT_EQ(form.WarningWindows().SeparateWindows().size(), 1);
}

TEST(FormMainTexts, QtsOwnButtonsSpeakRussian) {
  ASSERT_TRUE(InstallRussianTranslations(*QCoreApplication::instance()))
      << "qt6-translations-l10n is not installed";
  QMessageBox box(QMessageBox::Question, u"t"_qs, u"q"_qs,
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  EXPECT_EQ(box.button(QMessageBox::Yes)->text().remove(u'&'), u"Да"_qs);
  EXPECT_EQ(box.button(QMessageBox::No)->text().remove(u'&'), u"Нет"_qs);
  EXPECT_EQ(box.button(QMessageBox::Cancel)->text().remove(u'&'), u"Отмена"_qs);
}

// A fake /proc: a folder per process with an "exe" link or only a "comm".
class FakeProc {
 public:
  void AddExe(int pid, const QString& target) {
    QDir().mkpath(Path(pid));
    QFile::link(target, Path(pid) + u"/exe"_qs);
  }
  void AddComm(int pid, const QByteArray& comm) {
    QDir().mkpath(Path(pid));
    QFile file(Path(pid) + u"/comm"_qs);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(comm + '\n');
  }
  QString Dir() const { return m_dir.path(); }

 private:
  QString Path(int pid) const { return m_dir.filePath(QString::number(pid)); }
  QTemporaryDir m_dir;
};

TEST(SingleInstance, CountsProcessesOfTheSameExecutableWhateverItsCaseAndFolder) {
  FakeProc proc;
  proc.AddExe(100, u"/opt/plant/flotation-console"_qs);
  proc.AddExe(101, u"/home/op/build/bin/FLOTATION-CONSOLE (deleted)"_qs);
  proc.AddExe(102, u"/usr/bin/flotation-station"_qs);
  proc.AddComm(103, "flotation-conso");  // someone else's process: only its cut name
  proc.AddComm(104, "bash");
  QDir().mkpath(proc.Dir() + u"/self"_qs);
  EXPECT_EQ(CountProcesses(u"flotation-console"_qs, proc.Dir()), 3);
  EXPECT_EQ(CountProcesses(u"flotation-station"_qs, proc.Dir()), 1);
  EXPECT_EQ(CountProcesses(u"flotation-console"_qs, proc.Dir() + u"/missing"_qs), 0);
  // The real process table holds at least this test process (ctest may run
  // other tests of the same program beside it).
  EXPECT_GE(CountProcesses(QFileInfo(QCoreApplication::applicationFilePath()).fileName()), 1);
  EXPECT_EQ(AlreadyRunningText(), u"Программа Dravo уже загружена."_qs);
  EXPECT_EQ(AlreadyRunningCaption(), u"Внимание"_qs);
}

}  // namespace

// Runs "handle" on "dialog" once it is shown, looking every 10 ms from the
// event loop its exec() runs (five seconds at most).
void WhenShown(QDialog* dialog, std::function<void(QDialog&)> handle, int attemptsLeft = 500) {
  QTimer::singleShot(10, dialog, [dialog, handle = std::move(handle), attemptsLeft]() mutable {
    if (dialog->isVisible()) {
      handle(*dialog);
    } else if (attemptsLeft > 0) {
      WhenShown(dialog, std::move(handle), attemptsLeft - 1);
    }
  });
}

// F7 and F12 open the setpoint window on the live values; only OK copies its
// modes and setpoints into the console.
TEST_F(FormMainTest, SetpointWindowCopiesBackOnlyOnOk) {
  TFormMain& form = Open();
  QApplication::setActiveWindow(&form);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  auto* dialog = form.findChild<TFormControlSet*>();
  ASSERT_NE(dialog, nullptr);
  const float before = m_controller->Snapshot().Setpoint(kZRRS1);
  for (Qt::Key key : {Qt::Key_F7, Qt::Key_F12}) {
    SCOPED_TRACE(key);
    bool shown = false;
    WhenShown(dialog, [&](QDialog& modal) {
      shown = true;
      modal.findChild<QLineEdit*>(u"EditZRRS1"_qs)->setText(u"123"_qs);
      modal.reject();
    });
    QApplication::setActiveWindow(&form);  // the closed dialog does not hand it back offscreen
    QTest::keyClick(&form, key);
    EXPECT_TRUE(shown);
    EXPECT_EQ(m_controller->Snapshot().Setpoint(kZRRS1), before);
  }

  WhenShown(dialog, [&](QDialog& modal) {
    modal.findChild<QLineEdit*>(u"EditZRRS1"_qs)->setText(u"123"_qs);
    QTest::mouseClick(modal.findChild<QPushButton*>(u"ButSet"_qs), Qt::LeftButton);
  });
  QApplication::setActiveWindow(&form);
  QTest::keyClick(&form, Qt::Key_F7);
  EXPECT_EQ(m_controller->Snapshot().Setpoint(kZRRS1), 123.0f);
}

// Before the first cycle the averaged block holds no setpoints; the window
// shows the live ones instead, so an OK without changes keeps them all.
TEST_F(FormMainTest, SetpointWindowBeforeTheFirstCycleKeepsTheSetpoints) {
  TFormMain& form = Open();
  ASSERT_EQ(m_controller->Snapshot().StateMoment, 0);
  const SetpointValues before = m_controller->Snapshot().Setpoints;
  auto* dialog = form.findChild<TFormControlSet*>();
  QString shownText;
  WhenShown(dialog, [&](QDialog& modal) {
    shownText = modal.findChild<QLineEdit*>(u"EditTRRP1"_qs)->text();
    QTest::mouseClick(modal.findChild<QPushButton*>(u"ButSet"_qs), Qt::LeftButton);
  });
  form.Action(u"ActionControlForm"_qs)->trigger();
  EXPECT_EQ(shownText, u"70"_qs);
  EXPECT_EQ(m_controller->Snapshot().Setpoints, before);
}

// The service and settings commands open their dialogs: modal ones through
// exec(), the emulator modeless.
TEST_F(FormMainTest, ServiceAndSettingsCommandsOpenTheirDialogs) {
  TFormMain& form = Open();
  struct Case {
    const char* Action;
    const char* Window;
  };
  for (const Case& c :
       {Case{"ActionHardControl", "FormHardControl"}, Case{"ActionSetupMain", "FormSetupMain"},
        Case{"ActionSetupHardConnect", "FormSetupHard"}, Case{"ActionSetupColors", "FormColorConfig"}}) {
    SCOPED_TRACE(c.Action);
    auto* dialog = form.findChild<QDialog*>(QString::fromLatin1(c.Window));
    ASSERT_NE(dialog, nullptr);
    bool shownModal = false;
    WhenShown(dialog, [&](QDialog& modal) {
      shownModal = modal.isModal();
      modal.reject();
    });
    form.Action(QString::fromLatin1(c.Action))->trigger();
    EXPECT_TRUE(shownModal);
  }
  form.Action(u"ActionEmulControl"_qs)->trigger();
  auto* emul = form.findChild<TFormEmul*>();
  ASSERT_NE(emul, nullptr);
  EXPECT_TRUE(emul->isVisible());
  EXPECT_FALSE(emul->isModal());
  emul->hide();
}

namespace {

TEST_F(FormMainTest, TheFirstTickColoursTheDiagramAndTheColourWindowReachesIt) {
  TFormMain& form = Open();
  TFormMnemo* mnemo = form.FormMnemo();
  ASSERT_NE(mnemo, nullptr);
  TConfig& config = m_controller->Core().Config();
  config.OffColors[0] = 0x123456;
  QList<TArrow*> pulp;
  for (TArrow* arrow : mnemo->findChildren<TArrow*>()) {
    if (arrow->Tag() == 500) pulp << arrow;
  }
  ASSERT_FALSE(pulp.isEmpty());
  m_controller->Tick();
  // Both sections stand still, so the pulp lines take the stopped colour.
  for (TArrow* arrow : pulp) EXPECT_EQ(arrow->Color(), 0x123456u);
  EXPECT_FALSE(mnemo->SectionRunning(1));

  // The colour window's buttons act on the diagram.
  auto* colors = form.findChild<QDialog*>(u"FormColorConfig"_qs);
  ASSERT_NE(colors, nullptr);
  WhenShown(colors, [&](QDialog& modal) {
    modal.findChild<QPushButton*>(u"ButColorConfigOn"_qs)->click();
    modal.reject();
  });
  form.Action(u"ActionSetupColors"_qs)->trigger();
  EXPECT_TRUE(ElementEditMode());
  EXPECT_EQ(pulp.first()->cursor().shape(), Qt::CrossCursor);
  SetElementEditMode(false);
  mnemo->ApplyEditMode();
  EXPECT_EQ(pulp.first()->cursor().shape(), Qt::ArrowCursor);
}

}  // namespace
