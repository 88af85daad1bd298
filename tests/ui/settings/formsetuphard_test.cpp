#include "ui/settings/formsetuphard.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <list>
#include <memory>
#include <tuple>

#include "common/inifile.h"
#include "configuration/config.h"
#include "console/consolecontroller.h"
#include "station/commandset.h"
#include "support/eventlogcapture.h"
#include "support/files.h"
#include "support/modaldialogs.h"

namespace {

const QString kError = u"Ошибка"_qs;
const QString kBadTable = u"Калибровочная таблица заполнена неверно."_qs;

QStringList Items(const QComboBox& box) {
  QStringList items;
  for (int i = 0; i < box.count(); ++i) items << box.itemText(i);
  return items;
}

QStringList Headers(const QTableWidget& grid) {
  return {grid.horizontalHeaderItem(0)->text(), grid.horizontalHeaderItem(1)->text()};
}

QString Cell(const QTableWidget& grid, int row, int column) {
  const QTableWidgetItem* item = grid.item(row, column);
  return item != nullptr ? item->text() : QString();
}

void SetCell(QTableWidget& grid, int row, int column, const QString& text) {
  grid.setItem(row, column, new QTableWidgetItem(text));
}

// A number as the operator types it on this system.
QString Typed(const char* text) {
  return QString::fromLatin1(text).replace(u'.', SystemDecimalSeparator());
}

TSignalSet& Signal(const std::vector<std::unique_ptr<TSignalSet>>& list, const QString& name) {
  for (const auto& signal : list) {
    if (signal->SignalName == name) return *signal;
  }
  ADD_FAILURE() << name.toStdString();
  return *list.front();
}

// Ten points whose texts are not round, both columns different.
CalibrationTable TenPoints() {
  CalibrationTable table;
  table.Size = 10;
  for (int i = 0; i < 10; ++i) {
    table.AVal[static_cast<size_t>(i)] = i * 3276.7 - 0.125;
    table.FVal[static_cast<size_t>(i)] = 1.0 / (i + 3) - 2;
  }
  return table;
}

class FormSetupHardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DrainEventLog();
    IniFile ini(IniPath());
    IniUpdate update(ini);
    // Nothing starts by itself, nothing answers on the database port.
    ini.WriteInteger(u"System"_qs, u"AutoStartControl"_qs, 0);
    ini.WriteString(u"MySQL"_qs, u"Host"_qs, u"127.0.0.1:1"_qs);
    update.Commit();
    Open();
  }
  void TearDown() override {
    m_form.reset();
    m_controller.reset();
    DrainEventLog();
  }

  void Open() {
    m_form.reset();
    m_controller = std::make_unique<TConsoleController>(m_home.path());
    m_controller->Open();
    m_form = std::make_unique<TFormSetupHard>(*m_controller);
  }

  QString IniPath() const { return m_home.filePath(u"flotation-console.INI"_qs); }
  QString IniText(const QString& section, const QString& key) const {
    return IniFile(IniPath()).ReadString(section, key, u"(none)"_qs);
  }
  // SaveConfig writes every key; before the first save the file has no module
  // address (loading writes only the signal counts).
  bool FileWritten() const { return IniText(u"ICP"_qs, u"I7017_1_addr"_qs) != u"(none)"_qs; }

  TConfig& Config() { return m_controller->Core().Config(); }

  template <typename T>
  T& Find(const QString& name) {
    T* widget = m_form->findChild<T*>(name);
    // Also called from inside event loops, where a test cannot simply return.
    if (widget == nullptr) qFatal("no widget %s", qPrintable(name));
    return *widget;
  }

  void ShowPage(int index) {
    m_form->show();
    Find<QTabWidget>(u"PageControl"_qs).setCurrentIndex(index);
  }

  // Clicks a button that opens a message box, answered with "answer". What
  // the box showed is kept where the answering code can always reach it,
  // even if a faulty dialog never opens the box.
  MessageBoxSeen Click(const QString& button, QMessageBox::StandardButton answer = QMessageBox::Ok) {
    static std::list<MessageBoxSeen> s_seen;
    MessageBoxSeen& seen = s_seen.emplace_back();
    AnswerMessageBox(answer, &seen);
    Find<QPushButton>(button).click();
    return seen;
  }

  QTemporaryDir m_home;
  std::unique_ptr<TConsoleController> m_controller;
  std::unique_ptr<TFormSetupHard> m_form;
};

TEST_F(FormSetupHardTest, ThreePagesWithTheirControlsCaptionsAndChoices) {
  m_form->show();
  EXPECT_EQ(m_form->objectName(), u"FormSetupHard"_qs);
  EXPECT_EQ(m_form->windowTitle(), u"Подключение аппаратуры"_qs);
  EXPECT_EQ(m_form->size(), QSize(TFormSetupHard::kClientWidth, TFormSetupHard::kClientHeight));
  EXPECT_EQ(m_form->minimumSize(), m_form->maximumSize());

  auto& pages = Find<QTabWidget>(u"PageControl"_qs);
  ASSERT_EQ(pages.count(), 3);
  EXPECT_EQ(pages.tabText(0), u"&1 Параметры связи"_qs);
  EXPECT_EQ(pages.tabText(1), u"Аналоговый ввод"_qs);
  EXPECT_EQ(pages.tabText(2), u"Аналоговый вывод"_qs);

  const QStringList ports = {u"COM1"_qs, u"COM2"_qs, u"COM3"_qs, u"COM4"_qs, u"COM5"_qs,
                             u"COM6"_qs, u"COM7"_qs, u"COM8"_qs, u"COM9"_qs};
  const QStringList speeds = {u"9600"_qs, u"14400"_qs, u"19200"_qs, u"38400"_qs, u"57600"_qs, u"115200"_qs};
  for (const char16_t* name : {u"ComboBoxPortCSB", u"ComboBoxPortWrite", u"ComboBoxPortRead"}) {
    auto& box = Find<QComboBox>(QString::fromUtf16(name));
    EXPECT_EQ(Items(box), ports);
    EXPECT_TRUE(box.isEditable());
  }
  for (const char16_t* name : {u"ComboBoxSpeedCSB", u"ComboBoxPortWriteSpeed", u"ComboBoxPortReadSpeed"}) {
    auto& box = Find<QComboBox>(QString::fromUtf16(name));
    EXPECT_EQ(Items(box), speeds);
    EXPECT_TRUE(box.isEditable());
  }
  const QStringList channels = {u"0"_qs, u"1"_qs, u"2"_qs, u"3"_qs, u"4"_qs, u"5"_qs, u"6"_qs, u"7"_qs};
  EXPECT_EQ(Items(Find<QComboBox>(u"ComboBoxChanel"_qs)), channels);
  EXPECT_EQ(Items(Find<QComboBox>(u"ComboBoxDacChanel"_qs)), channels);
  EXPECT_EQ(Items(Find<QComboBox>(u"ComboBoxAverageLen"_qs)),
            (QStringList{u"1"_qs, u"5"_qs, u"10"_qs, u"15"_qs, u"30"_qs, u"60"_qs, u"120"_qs}));
  EXPECT_EQ(m_form->findChild<QComboBox*>(u"ComboBoxDacAverageLen"_qs), nullptr);

  EXPECT_EQ(Headers(Find<QTableWidget>(u"StringGridCalibrEdit"_qs)),
            (QStringList{u"Апп. значение"_qs, u"Физ. величина"_qs}));
  EXPECT_EQ(Headers(Find<QTableWidget>(u"StringGridDacCalibrEdit"_qs)),
            (QStringList{u"Физ. величина"_qs, u"Апп. значение"_qs}));

  const struct {
    const char16_t* Name;
    const char16_t* Caption;
  } buttons[] = {{u"ButApplyLink", u"Применить"},     {u"ButAddRecord", u"Добавить"},
                 {u"ButDelRecord", u"Удалить"},       {u"ButSaveCalibr", u"Применить"},
                 {u"ButAddDacRecord", u"Добавить"},   {u"ButDelDacRecord", u"Удалить"},
                 {u"ButSaveDacCalibr", u"Применить"}, {u"ButContinue", u"Продолжить"},
                 {u"ButCancel", u"Отеменить"}};
  for (const auto& button : buttons) {
    EXPECT_EQ(Find<QPushButton>(QString::fromUtf16(button.Name)).text(), QString::fromUtf16(button.Caption));
  }
  EXPECT_EQ(Find<QRadioButton>(u"RadioButtonSection1"_qs).text(), u"Секция №1"_qs);
  EXPECT_EQ(Find<QRadioButton>(u"RadioButtonSection2"_qs).text(), u"Секция №2"_qs);
  EXPECT_EQ(Find<QRadioButton>(u"RadioButtonDAC_section1"_qs).text(), u"Секция №1"_qs);
  EXPECT_EQ(Find<QRadioButton>(u"RadioButtonDAC_section2"_qs).text(), u"Секция №2"_qs);
  Find<QLineEdit>(u"Edit7017DevNum"_qs);
  Find<QLineEdit>(u"Edit7024DevNum"_qs);
  Find<QComboBox>(u"ComboBoxSignalName"_qs);
  Find<QComboBox>(u"ComboBoxDacSignalName"_qs);

  QStringList labels;
  for (const QLabel* label : m_form->findChildren<QLabel*>()) labels << label->text();
  for (const QString& caption : {u"№ устройства I-7017: "_qs, u"№ устройства I-7024: "_qs,
                                 u"Название сигнала:"_qs, u"Канал ввода:"_qs, u"Усреднение, сек:"_qs}) {
    EXPECT_TRUE(labels.contains(caption)) << caption.toStdString();
  }
}

TEST_F(FormSetupHardTest, ContinueAndCancelOnlyClose) {
  const TConfig& config = m_controller->Config();
  for (const auto& [button, result] :
       {std::pair{u"ButContinue"_qs, QDialog::Accepted}, std::pair{u"ButCancel"_qs, QDialog::Rejected}}) {
    SCOPED_TRACE(button.toStdString());
    WhenModalShows([&](QWidget&) {
      Find<QComboBox>(u"ComboBoxPortCSB"_qs).setCurrentText(u"COM7"_qs);
      Find<QLineEdit>(u"Edit7017DevNum"_qs).setText(u"9"_qs);
      Find<QPushButton>(button).click();
    });
    EXPECT_EQ(m_form->exec(), result);
    EXPECT_EQ(config.ServerLinkPort.Get(), u"COM1"_qs);
    EXPECT_EQ(config.I7017_1_addr, 1);
    EXPECT_FALSE(FileWritten());
  }
}

TEST_F(FormSetupHardTest, PortPageShowsTheConfigurationAndStoresPortsAndSpeeds) {
  Config().ServerLinkPort = u"/dev/ttyUSB0"_qs;
  Config().ReadPortSpeed = 57600;
  Config().WritePortSpeed = 250000;
  ShowPage(0);
  EXPECT_EQ(Find<QComboBox>(u"ComboBoxPortCSB"_qs).currentText(), u"/dev/ttyUSB0"_qs);
  EXPECT_EQ(Find<QComboBox>(u"ComboBoxSpeedCSB"_qs).currentText(), u"38400"_qs);
  EXPECT_EQ(Find<QComboBox>(u"ComboBoxPortReadSpeed"_qs).currentText(), u"57600"_qs);
  EXPECT_EQ(Find<QComboBox>(u"ComboBoxPortWriteSpeed"_qs).currentText(), u"250000"_qs);
  EXPECT_EQ(Find<QComboBox>(u"ComboBoxPortRead"_qs).currentText(), u"COM2"_qs);

  Find<QComboBox>(u"ComboBoxPortCSB"_qs).setCurrentText(u"COM5"_qs);
  Find<QComboBox>(u"ComboBoxPortWrite"_qs).setCurrentText(u"COM6"_qs);
  Find<QComboBox>(u"ComboBoxPortRead"_qs).setCurrentText(u"/dev/ttyS7"_qs);
  Find<QComboBox>(u"ComboBoxSpeedCSB"_qs).setCurrentText(u"9600"_qs);
  Find<QComboBox>(u"ComboBoxPortReadSpeed"_qs).setCurrentText(u"115200"_qs);
  Find<QComboBox>(u"ComboBoxPortWriteSpeed"_qs).setCurrentText(u"19200"_qs);
  Find<QPushButton>(u"ButApplyLink"_qs).click();

  EXPECT_EQ(Config().ServerLinkPort.Get(), u"COM5"_qs);
  EXPECT_EQ(Config().HardWritePort.Get(), u"COM6"_qs);
  EXPECT_EQ(Config().HardReadPort.Get(), u"/dev/ttyS7"_qs);
  EXPECT_EQ(Config().LinkPortSpeed, 9600);
  EXPECT_EQ(Config().ReadPortSpeed, 115200);
  EXPECT_EQ(Config().WritePortSpeed, 19200);
  EXPECT_EQ(IniText(u"COM"_qs, u"HardReadPort"_qs), u"/dev/ttyS7"_qs);
  EXPECT_EQ(IniText(u"COM"_qs, u"LinkPortSpeed"_qs), u"9600"_qs);
}

// Letters in the station link's speed: the names are stored, all three
// speeds stay, the file is written all the same.
TEST_F(FormSetupHardTest, BadSpeedKeepsTheSpeedsButStoresThePortsAndWritesTheFile) {
  const struct {
    const char16_t* Box;
    const char16_t* Text;
    int Link, Read, Write;
  } cases[] = {{u"ComboBoxSpeedCSB", u"быстро", 38400, 38400, 38400},
               {u"ComboBoxPortReadSpeed", u"0", 9600, 38400, 38400},
               {u"ComboBoxPortWriteSpeed", u"-19200", 9600, 19200, 38400}};
  for (const auto& c : cases) {
    SCOPED_TRACE(QString::fromUtf16(c.Box).toStdString());
    Open();
    ShowPage(0);
    Find<QComboBox>(u"ComboBoxPortCSB"_qs).setCurrentText(u"COM8"_qs);
    Find<QComboBox>(u"ComboBoxSpeedCSB"_qs).setCurrentText(u"9600"_qs);
    Find<QComboBox>(u"ComboBoxPortReadSpeed"_qs).setCurrentText(u"19200"_qs);
    Find<QComboBox>(u"ComboBoxPortWriteSpeed"_qs).setCurrentText(u"57600"_qs);
    Find<QComboBox>(QString::fromUtf16(c.Box)).setCurrentText(QString::fromUtf16(c.Text));

    const MessageBoxSeen seen = Click(u"ButApplyLink"_qs);

    EXPECT_TRUE(seen.shown);
    EXPECT_EQ(seen.text, u"Скоротсь связи одного или нескольких портов указана неверно."_qs);
    EXPECT_EQ(seen.title, kError);
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(Config().ServerLinkPort.Get(), u"COM8"_qs);
    EXPECT_EQ(Config().LinkPortSpeed, c.Link);
    EXPECT_EQ(Config().ReadPortSpeed, c.Read);
    EXPECT_EQ(Config().WritePortSpeed, c.Write);
    EXPECT_EQ(IniText(u"COM"_qs, u"ServerLinkPort"_qs), u"COM8"_qs);
    EXPECT_EQ(IniText(u"COM"_qs, u"LinkPortSpeed"_qs), QString::number(c.Link));
  }
}

TEST_F(FormSetupHardTest, InputPageListsTheSectionsSignalsAndFillsTheChosenOne) {
  Config().I7017_2_addr = 17;
  TSignalSet& rvf = Signal(Config().InputSignals, u"RVF_2"_qs);
  rvf.Chanel = 6;
  rvf.AverageSize = 45;  // not one of the choices
  CalibrationTable table;
  table.Size = 3;
  table.AVal = {0, 16383, 32767};
  table.FVal = {4, 12.5, -1.5e-7};
  rvf.SetCalibration(table);
  ShowPage(1);

  auto& signalBox = Find<QComboBox>(u"ComboBoxSignalName"_qs);
  EXPECT_EQ(Items(signalBox), (QStringList{u"PLF_1"_qs, u"RVF_1"_qs, u"URFK_1"_qs, u"URFK12_1"_qs}));
  EXPECT_EQ(signalBox.currentText(), u"PLF_1"_qs);
  EXPECT_EQ(Find<QLineEdit>(u"Edit7017DevNum"_qs).text(), u"1"_qs);
  EXPECT_EQ(Find<QComboBox>(u"ComboBoxChanel"_qs).currentText(), u"0"_qs);
  EXPECT_EQ(Find<QComboBox>(u"ComboBoxAverageLen"_qs).currentText(), u"1"_qs);
  auto& grid = Find<QTableWidget>(u"StringGridCalibrEdit"_qs);
  EXPECT_EQ(grid.rowCount(), 2);
  EXPECT_EQ(Cell(grid, 1, 0), u"100"_qs);
  EXPECT_TRUE(Find<QPushButton>(u"ButSaveCalibr"_qs).isEnabled());

  Find<QRadioButton>(u"RadioButtonSection2"_qs).click();
  EXPECT_EQ(Items(signalBox), (QStringList{u"PLF_2"_qs, u"RVF_2"_qs, u"URFK_2"_qs, u"URFK12_2"_qs}));
  EXPECT_EQ(Find<QLineEdit>(u"Edit7017DevNum"_qs).text(), u"17"_qs);
  signalBox.setCurrentIndex(1);
  EXPECT_EQ(Find<QComboBox>(u"ComboBoxChanel"_qs).currentText(), u"6"_qs);
  EXPECT_EQ(Find<QComboBox>(u"ComboBoxAverageLen"_qs).currentText(), u"45"_qs);
  ASSERT_EQ(grid.rowCount(), 3);
  EXPECT_EQ(Cell(grid, 1, 0), u"16383"_qs);
  EXPECT_EQ(Cell(grid, 1, 1), Typed("12.5"));
  EXPECT_EQ(Cell(grid, 2, 1), Typed("-1.5E-7"));

  // The output page lists its own signals.
  ShowPage(2);
  EXPECT_EQ(Items(Find<QComboBox>(u"ComboBoxDacSignalName"_qs)),
            (QStringList{u"OARS_1"_qs, u"OARP_1"_qs, u"OAFL_1"_qs}));
  EXPECT_EQ(Find<QLineEdit>(u"Edit7024DevNum"_qs).text(), u"3"_qs);
  Find<QRadioButton>(u"RadioButtonDAC_section2"_qs).click();
  EXPECT_EQ(Items(Find<QComboBox>(u"ComboBoxDacSignalName"_qs)),
            (QStringList{u"OARS_2"_qs, u"OARP_2"_qs, u"OAFL_2"_qs}));
  EXPECT_EQ(Find<QLineEdit>(u"Edit7024DevNum"_qs).text(), u"4"_qs);
}

TEST_F(FormSetupHardTest, InputApplyStoresEveryStepAndWritesTheFile) {
  ShowPage(1);
  Find<QRadioButton>(u"RadioButtonSection2"_qs).click();
  Find<QComboBox>(u"ComboBoxSignalName"_qs).setCurrentText(u"URFK_2"_qs);
  Find<QLineEdit>(u"Edit7017DevNum"_qs).setText(u"21"_qs);
  Find<QComboBox>(u"ComboBoxChanel"_qs).setCurrentText(u"7"_qs);
  Find<QComboBox>(u"ComboBoxAverageLen"_qs).setCurrentText(u"60"_qs);
  auto& grid = Find<QTableWidget>(u"StringGridCalibrEdit"_qs);
  Find<QPushButton>(u"ButAddRecord"_qs).click();
  ASSERT_EQ(grid.rowCount(), 3);
  SetCell(grid, 2, 0, Typed("200.5"));
  SetCell(grid, 2, 1, u"-3"_qs);

  Find<QPushButton>(u"ButSaveCalibr"_qs).click();

  const TSignalSet& signal = Signal(Config().InputSignals, u"URFK_2"_qs);
  EXPECT_EQ(Config().I7017_2_addr, 21);
  EXPECT_EQ(signal.Chanel, 7);
  EXPECT_EQ(signal.AverageSize, 60);
  const CalibrationTable table = signal.Calibration();
  ASSERT_EQ(table.Size, 3);
  EXPECT_EQ(table.AVal[2], 200.5);
  EXPECT_EQ(table.FVal[2], -3);
  EXPECT_EQ(IniText(u"ICP"_qs, u"I7017_2_addr"_qs), u"21"_qs);
  EXPECT_EQ(IniText(u"URFK_2"_qs, u"Chanel"_qs), u"7"_qs);
  EXPECT_EQ(IniText(u"URFK_2_CALIBR"_qs, u"Size"_qs), u"3"_qs);
}

// Each step's message; the steps before it have stored, the file is written
// only after a bad table.
TEST_F(FormSetupHardTest, InputApplyStopsAtTheFirstBadStepWithItsMessage) {
  const struct {
    const char* Name;
    const char16_t* Control;
    const char16_t* Text;
    const char16_t* Message;
    bool Written;
  } cases[] = {
      {"device letters", u"Edit7017DevNum", u"один", u"Номер устройства I-7017 указан неверно.", false},
      {"device negative", u"Edit7017DevNum", u"-1", u"Номер устройства I-7017 указан неверно.", false},
      {"device hexadecimal", u"Edit7017DevNum", u"$0A", u"Номер устройства I-7017 указан неверно.", false},
      {"channel 8", u"ComboBoxChanel", u"8", u"Номер канала указан неверно.", false},
      {"channel empty", u"ComboBoxChanel", u"", u"Номер канала указан неверно.", false},
      {"averaging 0", u"ComboBoxAverageLen", u"0", u"Размер скользящего среднего указан неверно.", false},
      {"averaging letters", u"ComboBoxAverageLen", u"минута", u"Размер скользящего среднего указан неверно.",
       false},
      {"cell letters", u"cell", u"abc", u"Калибровочная таблица заполнена неверно.", true},
      {"cell NaN", u"cell", u"NaN", u"Калибровочная таблица заполнена неверно.", true},
      {"cell beyond single precision", u"cell", u"1E39", u"Калибровочная таблица заполнена неверно.", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    ASSERT_TRUE(
        WriteFileBytes(IniPath(), "[System]\r\nAutoStartControl=0\r\n[MySQL]\r\nHost=127.0.0.1:1\r\n"));
    Open();
    ShowPage(1);
    Find<QLineEdit>(u"Edit7017DevNum"_qs).setText(u"5"_qs);
    Find<QComboBox>(u"ComboBoxChanel"_qs).setCurrentText(u"4"_qs);
    auto& grid = Find<QTableWidget>(u"StringGridCalibrEdit"_qs);
    SetCell(grid, 0, 0, u"10"_qs);
    const QString control = QString::fromUtf16(c.Control);
    const QString text = QString::fromUtf16(c.Text);
    if (control == u"cell") {
      SetCell(grid, 1, 1, text);
    } else if (control.startsWith(u"Edit")) {
      Find<QLineEdit>(control).setText(text);
    } else {
      Find<QComboBox>(control).setCurrentText(text);
    }

    const MessageBoxSeen seen = Click(u"ButSaveCalibr"_qs);

    EXPECT_TRUE(seen.shown);
    EXPECT_EQ(seen.title, kError);
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.text, QString::fromUtf16(c.Message));
    const bool deviceBad = control == u"Edit7017DevNum";
    EXPECT_EQ(Config().I7017_1_addr, deviceBad ? 1 : 5);
    const TSignalSet& signal = Signal(Config().InputSignals, u"PLF_1"_qs);
    EXPECT_EQ(signal.Chanel, !deviceBad && control != u"ComboBoxChanel" ? 4 : 0);
    EXPECT_EQ(signal.Calibration().AVal[0], c.Written ? 10 : 0);
    EXPECT_EQ(FileWritten(), c.Written);
    if (c.Written) {
      EXPECT_EQ(IniText(u"PLF_1_CALIBR"_qs, u"AVal0"_qs), u"10"_qs);
      EXPECT_EQ(IniText(u"PLF_1_CALIBR"_qs, u"FVal1"_qs), u"100"_qs);  // the bad cell kept its value
    }
  }
}

TEST_F(FormSetupHardTest, OutputApplyHasItsOwnMessagesAndReadsPhysicalValuesFirst) {
  ShowPage(2);
  auto& grid = Find<QTableWidget>(u"StringGridDacCalibrEdit"_qs);
  SetCell(grid, 0, 0, u"0"_qs);
  SetCell(grid, 0, 1, u"4"_qs);
  SetCell(grid, 1, 0, u"300"_qs);
  SetCell(grid, 1, 1, u"20"_qs);
  Find<QComboBox>(u"ComboBoxDacChanel"_qs).setCurrentText(u"2"_qs);

  Find<QLineEdit>(u"Edit7024DevNum"_qs).setText(u"256"_qs);
  MessageBoxSeen seen = Click(u"ButSaveDacCalibr"_qs);
  EXPECT_EQ(seen.text, u"Номер устройства I-7024 указан неверно."_qs);
  EXPECT_EQ(Config().I7024_1_addr, 3);
  EXPECT_FALSE(FileWritten());

  Find<QLineEdit>(u"Edit7024DevNum"_qs).setText(u"8"_qs);
  Find<QComboBox>(u"ComboBoxDacChanel"_qs).setCurrentText(u"x"_qs);
  seen = Click(u"ButSaveDacCalibr"_qs);
  EXPECT_EQ(seen.text, u"Номер канала указан неверно."_qs);
  EXPECT_EQ(Config().I7024_1_addr, 8);
  EXPECT_FALSE(FileWritten());

  Find<QComboBox>(u"ComboBoxDacChanel"_qs).setCurrentText(u"2"_qs);
  Find<QPushButton>(u"ButSaveDacCalibr"_qs).click();
  const TSignalSet& signal = Signal(Config().OutputSignals, u"OARS_1"_qs);
  EXPECT_EQ(signal.Chanel, 2);
  // 150 l/h lies halfway along the physical column: halfway along the module's.
  EXPECT_DOUBLE_EQ(signal.CalibrateValue(150, false), 12);
  EXPECT_TRUE(FileWritten());

  Find<QPushButton>(u"ButAddDacRecord"_qs).click();
  seen = Click(u"ButSaveDacCalibr"_qs);
  EXPECT_EQ(seen.text, kBadTable);
  EXPECT_EQ(signal.Calibration().Size, 3);
}

// Ten points shown as ten rows, applied unchanged, written, read back at the
// next start and shown again as the same ten rows.
TEST_F(FormSetupHardTest, TenPointsRoundTripThroughTheGridAndTheFile) {
  const CalibrationTable ten = TenPoints();
  Signal(Config().InputSignals, u"URFK12_1"_qs).SetCalibration(ten);
  Signal(Config().OutputSignals, u"OAFL_2"_qs).SetCalibration(ten);
  const auto choose = [&](int page, const char16_t* section2, const char16_t* box, const QString& name) {
    ShowPage(page);
    Find<QRadioButton>(QString::fromUtf16(section2)).setChecked(name.endsWith(u"_2"));
    Find<QComboBox>(QString::fromUtf16(box)).setCurrentText(name);
  };
  const struct {
    int Page;
    const char16_t* Section2;
    const char16_t* Box;
    const char16_t* Grid;
    const char16_t* Apply;
    QString Name;
    bool Input;
  } pages[] = {
      {1, u"RadioButtonSection2", u"ComboBoxSignalName", u"StringGridCalibrEdit", u"ButSaveCalibr",
       u"URFK12_1"_qs, true},
      {2, u"RadioButtonDAC_section2", u"ComboBoxDacSignalName", u"StringGridDacCalibrEdit",
       u"ButSaveDacCalibr", u"OAFL_2"_qs, false},
  };
  QStringList shown[2];
  for (int i = 0; i < 2; ++i) {
    const auto& p = pages[i];
    SCOPED_TRACE(p.Name.toStdString());
    choose(p.Page, p.Section2, p.Box, p.Name);
    auto& grid = Find<QTableWidget>(QString::fromUtf16(p.Grid));
    ASSERT_EQ(grid.rowCount(), 10);
    for (int row = 0; row < 10; ++row) shown[i] << Cell(grid, row, 0) << Cell(grid, row, 1);
    Find<QPushButton>(QString::fromUtf16(p.Apply)).click();
    EXPECT_EQ(IniText(p.Name + u"_CALIBR"_qs, u"Size"_qs), u"10"_qs);
  }

  Open();  // the next start reads the file
  for (int i = 0; i < 2; ++i) {
    const auto& p = pages[i];
    SCOPED_TRACE(p.Name.toStdString());
    const CalibrationTable back =
        Signal(p.Input ? Config().InputSignals : Config().OutputSignals, p.Name).Calibration();
    ASSERT_EQ(back.Size, 10);
    // The file holds 15 digits, as the grid shows them.
    for (int row = 0; row < 10; ++row) {
      const size_t point = static_cast<size_t>(row);
      EXPECT_EQ(back.AVal[point], ParseOperatorDecimal(shown[i][2 * row], SystemDecimalSeparator())) << row;
      EXPECT_EQ(back.FVal[point], ParseOperatorDecimal(shown[i][2 * row + 1], SystemDecimalSeparator()))
          << row;
      EXPECT_NEAR(back.AVal[point], ten.AVal[point], 1e-9);
      EXPECT_NEAR(back.FVal[point], ten.FVal[point], 1e-12);
    }
    choose(p.Page, p.Section2, p.Box, p.Name);
    auto& grid = Find<QTableWidget>(QString::fromUtf16(p.Grid));
    ASSERT_EQ(grid.rowCount(), 10);
    QStringList again;
    for (int row = 0; row < 10; ++row) again << Cell(grid, row, 0) << Cell(grid, row, 1);
    EXPECT_EQ(again, shown[i]);
  }
}

// More rows than a table holds: refused with the limit named, nothing stored,
// the file not written.
TEST_F(FormSetupHardTest, SixHundredRowsAreRefusedAndNothingIsStored) {
  for (const auto& [page, edit, grid, apply] :
       {std::tuple{1, u"Edit7017DevNum"_qs, u"StringGridCalibrEdit"_qs, u"ButSaveCalibr"_qs},
        std::tuple{2, u"Edit7024DevNum"_qs, u"StringGridDacCalibrEdit"_qs, u"ButSaveDacCalibr"_qs}}) {
    SCOPED_TRACE(page);
    ShowPage(page);
    Find<QLineEdit>(edit).setText(u"99"_qs);
    auto& table = Find<QTableWidget>(grid);
    table.setRowCount(600);
    for (int row = 0; row < 600; ++row) {
      SetCell(table, row, 0, QString::number(row));
      SetCell(table, row, 1, QString::number(row * 2));
    }

    const MessageBoxSeen seen = Click(apply);

    EXPECT_EQ(seen.title, kError);
    EXPECT_EQ(seen.text, u"Калибровочная таблица слишком длинная: наибольшее число точек — 511."_qs);
    EXPECT_EQ(Config().I7017_1_addr, 1);
    EXPECT_EQ(Config().I7024_1_addr, 3);
    for (const auto& signal : Config().InputSignals) EXPECT_EQ(signal->Calibration().Size, 2);
    for (const auto& signal : Config().OutputSignals) EXPECT_EQ(signal->Calibration().Size, 2);
    EXPECT_FALSE(FileWritten());
  }
}

TEST_F(FormSetupHardTest, DeleteAsksForTheCurrentRowAndRemovesItOnYes) {
  CalibrationTable table;
  table.Size = 3;
  table.AVal = {1, 2, 3};
  table.FVal = {10, 20, 30};
  Signal(Config().OutputSignals, u"OARS_1"_qs).SetCalibration(table);
  ShowPage(2);
  auto& grid = Find<QTableWidget>(u"StringGridDacCalibrEdit"_qs);
  ASSERT_EQ(grid.rowCount(), 3);
  ASSERT_EQ(grid.currentRow(), -1);

  MessageBoxSeen seen = Click(u"ButDelDacRecord"_qs);
  EXPECT_TRUE(seen.shown);
  EXPECT_EQ(seen.text, u"Строка для удаления не выбрана."_qs);
  EXPECT_EQ(seen.title, QString());
  EXPECT_EQ(grid.rowCount(), 3);

  grid.setCurrentCell(1, 0);
  seen = Click(u"ButDelDacRecord"_qs, QMessageBox::No);
  EXPECT_EQ(seen.text, u"Удалить текущую строку из калибровочной таблицы."_qs);
  EXPECT_EQ(seen.title, u"Внимание"_qs);
  EXPECT_EQ(seen.icon, QMessageBox::Question);
  EXPECT_EQ(seen.buttons.size(), 2);
  EXPECT_EQ(grid.rowCount(), 3);

  seen = Click(u"ButDelDacRecord"_qs, QMessageBox::Yes);
  EXPECT_TRUE(seen.shown);
  ASSERT_EQ(grid.rowCount(), 2);
  EXPECT_EQ(Cell(grid, 0, 0), u"1"_qs);
  EXPECT_EQ(Cell(grid, 1, 0), u"3"_qs);
  EXPECT_EQ(Cell(grid, 1, 1), u"30"_qs);
  // Only the grid changed; the table changes with "Применить".
  EXPECT_EQ(Signal(Config().OutputSignals, u"OARS_1"_qs).Calibration().Size, 3);
  Find<QPushButton>(u"ButSaveDacCalibr"_qs).click();
  EXPECT_EQ(Signal(Config().OutputSignals, u"OARS_1"_qs).Calibration().Size, 2);
  EXPECT_DOUBLE_EQ(Signal(Config().OutputSignals, u"OARS_1"_qs).CalibrateValue(2, false), 20);
}

}  // namespace

// A file that cannot be written is said at once; what was stored stays in
// force for this run.
TEST_F(FormSetupHardTest, AFailedWriteOfTheFileIsShown) {
  ShowPage(0);
  QFile::remove(IniPath());
  ASSERT_TRUE(QDir().mkdir(IniPath()));  // a folder where the file belongs
  Find<QComboBox>(u"ComboBoxPortCSB"_qs).setCurrentText(u"COM8"_qs);

  const MessageBoxSeen seen = Click(u"ButApplyLink"_qs);

  EXPECT_TRUE(seen.shown);
  EXPECT_EQ(seen.text, u"Не удалось сохранить настройки в файл "_qs + m_controller->Core().IniPath() + u'.');
  EXPECT_EQ(seen.icon, QMessageBox::Critical);
  EXPECT_EQ(Config().ServerLinkPort.Get(), u"COM8"_qs);
}
