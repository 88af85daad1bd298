#include "ui/displays/formhardcontrol.h"

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <optional>
#include <string>

#include "common/inifile.h"
#include "configuration/config.h"
#include "console/consolecontroller.h"
#include "support/eventlogcapture.h"
#include "support/modaldialogs.h"
#include "support/ptybus.h"

namespace {

const QString kModule1Answer = u"!02471111222233334444555566667777"_qs;  // the built-in emulated answer
const QString kModule2Answer = u">01010102010301040105010601070108"_qs;  // played on the pty
const QString kStartText = u"05.03.2026 10:00:00"_qs;

// The middle of each thread's control names, in WorkerKind order.
const QString kThreadNames[] = {u"HardRead"_qs, u"DigOut"_qs, u"CSB_Link"_qs};

bool HasPixel(const QImage& image, const QColor& colour) {
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixelColor(x, y) == colour) return true;
    }
  }
  return false;
}

// A real controller on a temporary folder: nothing starts by itself, no
// database and no query server. Module 1 is emulated; module 2 answers on a
// pty, so the read thread has a port to open.
class FormHardControlTest : public testing::Test {
 protected:
  void SetUp() override {
    DrainEventLog();
    ASSERT_TRUE(m_modules.IsOpen());
    IniFile ini(m_home.filePath(u"flotation-console.INI"_qs));
    IniUpdate update(ini);
    ini.WriteInteger(u"System"_qs, u"AutoStartControl"_qs, 0);
    ini.WriteInteger(u"System"_qs, u"LanServer"_qs, 0);
    ini.WriteInteger(u"MySQL"_qs, u"Disabled"_qs, 1);
    ini.WriteString(u"COM"_qs, u"HardReadPort"_qs, m_modules.Path());
    ini.WriteString(u"COM"_qs, u"HardWritePort"_qs, m_home.filePath(u"no-port-out"_qs));
    ini.WriteInteger(u"Emul"_qs, u"emul_I7017_1_flag"_qs, 1);
    update.Commit();
    m_controller.Open();
    m_form.emplace(m_controller);
  }
  void TearDown() override {
    m_form.reset();
    DrainEventLog();
  }

  template <typename T>
  T* Find(const QString& name) const {
    auto* widget = m_form->findChild<T*>(name);
    EXPECT_NE(widget, nullptr) << name.toStdString();
    return widget;
  }
  QLabel* Label(const QString& name) const { return Find<QLabel>(name); }
  QPushButton* Button(const QString& name) const { return Find<QPushButton>(name); }
  QString Cell(const QString& grid, int row, int column) const {
    const QTableWidgetItem* item = Find<QTableWidget>(grid)->item(row, column);
    return item != nullptr ? item->text() : u"<none>"_qs;
  }
  // The page with the grids in front, where the operator clicks the radio buttons.
  QRadioButton* ShowAveragedButton() {
    m_form->show();
    Find<QTabWidget>(u"PageControl"_qs)->setCurrentIndex(1);
    return Find<QRadioButton>(u"RadioButtonAveraged"_qs);
  }
  // The snapshot the form reads, taken and shown now.
  void RefreshNow() {
    m_controller.Refresh();
    m_form->TimerUpdateTimer();
  }
  void ExpectStopped(int thread) {
    SCOPED_TRACE(kThreadNames[thread].toStdString());
    QLabel* state = Label(u"Panel"_qs + kThreadNames[thread] + u"State"_qs);
    EXPECT_EQ(state->text(), u"Остановлен"_qs);
    EXPECT_EQ(state->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_TRUE(Button(u"But"_qs + kThreadNames[thread] + u"Start"_qs)->isEnabled());
    EXPECT_FALSE(Button(u"But"_qs + kThreadNames[thread] + u"Stop"_qs)->isEnabled());
  }

  QTemporaryDir m_home;
  PtyBus m_modules{[](const std::string& command) -> std::optional<std::string> {
    if (command == "$02A") return kModule2Answer.toStdString() + "\r";
    return std::nullopt;
  }};
  TDateTime m_now = EncodeDateTime(2026, 3, 5, 10, 0, 0);
  TConsoleController m_controller{m_home.path(), [this] { return m_now; }};
  std::optional<TFormHardControl> m_form;
};

TEST_F(FormHardControlTest, BeforeAnyStartEveryThreadIsStoppedWithoutTimesAndCounts) {
  EXPECT_EQ(m_form->objectName(), u"FormHardControl"_qs);
  EXPECT_EQ(m_form->windowTitle(), u"Контроль аппаратуры"_qs);
  EXPECT_EQ(m_form->size(), QSize(627, 501));
  EXPECT_EQ(m_form->font().family(), u"Courier New"_qs);
  EXPECT_EQ(m_form->font().pixelSize(), 13);
  EXPECT_TRUE(m_form->font().bold());
  EXPECT_TRUE(Find<QTimer>(u"TimerUpdate"_qs)->isActive());

  for (int thread = 0; thread < kWorkerCount; ++thread) ExpectStopped(thread);
  for (const QString& name :
       {u"LabelHardReadStartTime"_qs, u"LabelDigOutStartTime"_qs, u"LabelCSB_LinkStartTime"_qs}) {
    EXPECT_EQ(Label(name)->text(), QString()) << name.toStdString();
  }
  for (const QString& name :
       {u"LabelHardReadCycleCount"_qs, u"LabelHardReadErrorCount"_qs, u"LabelDigOutCycleCount"_qs,
        u"LabelDigOutErrorCount"_qs, u"LabelCSB_LinkCycleCount"_qs, u"LabelTcpClientCount"_qs}) {
    EXPECT_EQ(Label(name)->text(), u"0"_qs) << name.toStdString();
  }
  EXPECT_EQ(Label(u"LabelHardReadCycleCount"_qs)->palette().color(QPalette::WindowText), QColor(0, 128, 0));
  EXPECT_EQ(Label(u"LabelHardReadErrorCount"_qs)->palette().color(QPalette::WindowText), QColor(128, 0, 0));

  // The state field: black, the word in red.
  m_form->show();
  const QImage state = Label(u"PanelHardReadState"_qs)->grab().toImage();
  EXPECT_EQ(state.size(), QSize(209, 33));
  EXPECT_EQ(state.pixelColor(2, 2), QColor(Qt::black));
  EXPECT_TRUE(HasPixel(state, QColor(255, 0, 0)));

  // The answer grid: its fixed texts, no answer yet, and the widths 90 / 170 / rest of 550.
  const QString grid = u"StringGridLastAnswer"_qs;
  EXPECT_EQ(Cell(grid, 0, 0), u"Контроллер"_qs);
  EXPECT_EQ(Cell(grid, 0, 1), u"Время опроса"_qs);
  EXPECT_EQ(Cell(grid, 0, 2), u"Ответ"_qs);
  EXPECT_EQ(Cell(grid, 1, 0), u"I-7017 №1"_qs);
  EXPECT_EQ(Cell(grid, 2, 0), u"I-7017 №2"_qs);
  for (int row = 1; row <= 2; ++row) {
    EXPECT_EQ(Cell(grid, row, 1), QString());
    EXPECT_EQ(Cell(grid, row, 2), QString());
  }
  auto* answers = Find<QTableWidget>(grid);
  EXPECT_EQ(answers->columnWidth(0), 90);
  EXPECT_EQ(answers->columnWidth(1), 170);
  EXPECT_EQ(answers->columnWidth(2), 290);
  EXPECT_EQ(answers->viewport()->width(), 550);
}

TEST_F(FormHardControlTest, ReadThreadStartedAndStoppedFromItsButtons) {
  m_controller.SetEmulationOn(true);
  m_controller.Start();  // the controller's own tick refreshes the snapshot the form's timer shows
  QTest::mouseClick(Button(u"ButHardReadStart"_qs), Qt::LeftButton);

  // One cycle: both modules heard, counted without an error.
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return Label(u"LabelHardReadCycleCount"_qs)->text() != u"0"_qs &&
               Cell(u"StringGridLastAnswer"_qs, 2, 2) == kModule2Answer;
      },
      5000));
  QLabel* state = Label(u"PanelHardReadState"_qs);
  EXPECT_EQ(state->text(), u"Активен"_qs);
  EXPECT_EQ(state->palette().color(QPalette::WindowText), QColor(0, 255, 0));
  EXPECT_FALSE(Button(u"ButHardReadStart"_qs)->isEnabled());
  EXPECT_TRUE(Button(u"ButHardReadStop"_qs)->isEnabled());
  EXPECT_EQ(Label(u"LabelHardReadStartTime"_qs)->text(), kStartText);
  EXPECT_EQ(Label(u"LabelHardReadErrorCount"_qs)->text(), u"0"_qs);
  ExpectStopped(static_cast<int>(WorkerKind::Write));
  ExpectStopped(static_cast<int>(WorkerKind::Link));
  EXPECT_EQ(Cell(u"StringGridLastAnswer"_qs, 1, 1), kStartText);
  EXPECT_EQ(Cell(u"StringGridLastAnswer"_qs, 1, 2), kModule1Answer);
  EXPECT_EQ(Cell(u"StringGridLastAnswer"_qs, 2, 1), kStartText);
  const QStringList names = {u"PLF"_qs, u"RVF"_qs, u"URFK"_qs, u"URFK12"_qs};
  for (int row = 0; row < 4; ++row) EXPECT_EQ(Cell(u"StringGridState7017"_qs, row, 0), names[row]);

  // The stop waits for the thread; the window shows its end at once.
  QTest::mouseClick(Button(u"ButHardReadStop"_qs), Qt::LeftButton);
  ExpectStopped(static_cast<int>(WorkerKind::Read));
  EXPECT_EQ(Label(u"LabelHardReadStartTime"_qs)->text(), kStartText);
  const ThreadSnapshot& read = m_controller.Snapshot().Thread(WorkerKind::Read);
  EXPECT_FALSE(read.Running);
  EXPECT_EQ(Label(u"LabelHardReadCycleCount"_qs)->text(), QString::number(read.CycleCount));
}

TEST(FormHardControlNames, CutBeforeTheFirstUnderscoreFromTheThirdCharacterOn) {
  struct Case {
    const char16_t* Name;
    const char16_t* Shown;
  };
  const Case cases[] = {
      {u"PLF_1", u"PLF"},   {u"URFK12_2", u"URFK12"}, {u"AB_", u"AB"},
      {u"AB_C_D", u"AB"},   {u"A_B", u"A_B"},         {u"_AB", u"_AB"},
      {u"A_B_C", u"A_B_C"}, {u"__X_Y", u"__X_Y"},     {u"PLF", u"PLF"},
      {u"", u""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TFormHardControl::SignalDisplayName(QString::fromUtf16(c.Name)), QString::fromUtf16(c.Shown))
        << QString::fromUtf16(c.Name).toStdString();
  }
}

TEST_F(FormHardControlTest, GridsShowTheConfiguredNamesAndSkipSignalsOutsideTheirModulesRows) {
  TConfig& config = m_controller.Core().Config();
  // Both sections' signals of a row name it, the later in the list last.
  config.InputSignals[4]->SignalName = u"X_2"_qs;  // "_" second: whole
  config.OutputSignals[1]->RecIndex = 3;           // hand-edited: beyond the output module's three rows
  config.InputSignals[6]->RecIndex = -1;
  RefreshNow();

  EXPECT_EQ(Cell(u"StringGridState7017"_qs, 0, 0), u"X_2"_qs);
  EXPECT_EQ(Cell(u"StringGridState7017"_qs, 0, 2), u"  0.00"_qs);
  // The skipped signals leave their cells empty; the other section's signal
  // of the same row still names it.
  EXPECT_EQ(Cell(u"StringGridState7024"_qs, 1, 0), u"OARP"_qs);
  EXPECT_EQ(Cell(u"StringGridState7024"_qs, 1, 1), QString());
  EXPECT_EQ(Cell(u"StringGridState7024"_qs, 1, 2), u"  0.00"_qs);
  EXPECT_EQ(Cell(u"StringGridState7017"_qs, 2, 0), u"URFK"_qs);
  EXPECT_EQ(Cell(u"StringGridState7017"_qs, 2, 2), QString());
}

TEST_F(FormHardControlTest, InputGridShowsTheChosenBlockAndTheOutputGridTheModuleValues) {
  ProcessState& state = m_controller.Core().State();
  for (int slot = 0; slot < 8; ++slot) {
    state.InstantValues.Set(slot, 100.0f + static_cast<float>(slot));
    state.AveragedValues.Set(slot, 2000.5f + static_cast<float>(slot));
  }
  for (int slot = 8; slot < 14; ++slot) state.RawValues.Set(slot, 1234567.0f + static_cast<float>(slot));
  state.InstantValues.Set(8, 5.0f);  // no input slot: never in the grid
  RefreshNow();
  QRadioButton* averaged = ShowAveragedButton();
  EXPECT_TRUE(Find<QRadioButton>(u"RadioButtonInstant"_qs)->isChecked());
  EXPECT_FALSE(averaged->isChecked());

  const QString adc = u"StringGridState7017"_qs;
  const QString dac = u"StringGridState7024"_qs;
  EXPECT_EQ(Cell(adc, 0, 1), u"  100.00"_qs);
  EXPECT_EQ(Cell(adc, 3, 1), u"  103.00"_qs);
  EXPECT_EQ(Cell(adc, 0, 2), u"  104.00"_qs);
  EXPECT_EQ(Cell(adc, 3, 2), u"  107.00"_qs);
  EXPECT_EQ(Cell(dac, 0, 1), u"1 234 575.00"_qs);
  EXPECT_EQ(Cell(dac, 2, 2), u"1 234 580.00"_qs);

  QTest::mouseClick(averaged, Qt::LeftButton);
  ASSERT_TRUE(averaged->isChecked());
  m_form->TimerUpdateTimer();
  EXPECT_EQ(Cell(adc, 0, 1), u" 2 000.50"_qs);
  EXPECT_EQ(Cell(adc, 3, 2), u" 2 007.50"_qs);
  EXPECT_EQ(Cell(dac, 0, 1), u"1 234 575.00"_qs);
  EXPECT_EQ(Cell(dac, 2, 2), u"1 234 580.00"_qs);
}

TEST_F(FormHardControlTest, RefreshOfAnUnchangedSnapshotTouchesNoCell) {
  RefreshNow();
  int changes = 0;
  for (const QString& name :
       {u"StringGridState7017"_qs, u"StringGridState7024"_qs, u"StringGridLastAnswer"_qs}) {
    QObject::connect(Find<QTableWidget>(name)->model(), &QAbstractItemModel::dataChanged,
                     [&changes] { ++changes; });
  }
  RefreshNow();
  EXPECT_EQ(changes, 0);

  m_controller.Core().State().AveragedValues.Set(2, 7.0f);
  m_controller.Refresh();
  QTest::mouseClick(ShowAveragedButton(), Qt::LeftButton);
  EXPECT_GT(changes, 0);
}

TEST_F(FormHardControlTest, EnterAndEscCloseTheWindow) {
  for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
    SCOPED_TRACE(key);
    WhenModalShows([this, key](QWidget& modal) {
      // The key reaches the control the operator used last, which passes it on.
      ASSERT_EQ(&modal, &*m_form);
      Find<QTabWidget>(u"PageControl"_qs)->setCurrentIndex(1);
      QRadioButton* averaged = Find<QRadioButton>(u"RadioButtonAveraged"_qs);
      QTest::mouseClick(averaged, Qt::LeftButton);
      QTest::keyClick(averaged, key);
    });
    EXPECT_EQ(m_form->exec(), QDialog::Rejected);
    EXPECT_FALSE(m_form->isVisible());
  }
}

}  // namespace
