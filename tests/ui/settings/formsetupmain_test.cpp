#include "ui/settings/formsetupmain.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>
#include <vector>

#include "common/inifile.h"
#include "configuration/config.h"
#include "configuration/settingstable.h"
#include "configuration/tmcrypt.h"
#include "console/consolecontroller.h"
#include "support/eventlogcapture.h"
#include "support/files.h"
#include "support/mariadb.h"
#include "support/modaldialogs.h"
#include "ui/common/shift.h"
#include "ui/settings/shellentry.h"

namespace {

const QString kBadConstants = u"Одна или несколько констант указаны неверно."_qs;
const QString kTestFailed = u"Не удалось подключиться к MySQL серверу."_qs;
const QString kTestSucceeded = u"Подключение к серверу успешно установлено."_qs;
// Set in the child process that runs the comma-locale cases.
const char kLocaleChildVariable[] = "FLOT_SETUPMAIN_LOCALE_CHILD";

QChar Separator() {
  return QLocale::system().decimalPoint().front();
}

// A decimal text with the system's separator: Decimal("1.5") is "1,5" where
// a comma is the separator.
QString Decimal(QString text) {
  return text.replace(u'.', Separator());
}

// Answers every message box that opens with OK and keeps what it said, so a
// test sees how many there were, and one that should not open cannot hang it.
class MessageBoxes {
 public:
  MessageBoxes() {
    m_timer.setInterval(5);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
    m_timer.start();
  }
  const std::vector<MessageBoxSeen>& Seen() const { return m_seen; }
  void Clear() { m_seen.clear(); }

 private:
  void Poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) return;
    MessageBoxSeen seen;
    seen.shown = true;
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.icon = box->icon();
    for (QAbstractButton* b : box->buttons()) seen.buttons << b->text();
    m_seen.push_back(seen);
    if (QAbstractButton* ok = box->button(QMessageBox::Ok))
      ok->click();
    else
      box->close();
  }

  QTimer m_timer;
  std::vector<MessageBoxSeen> m_seen;
};

// The position of every constant in the grid.
const QStringList kConstantKeys = {
    u"KVF_1"_qs,    u"KVF_2"_qs,    u"KGF_1"_qs,    u"KGF_2"_qs,    u"KVRRS_1"_qs,  u"KVRRS_2"_qs,
    u"KVRRP_1"_qs,  u"KVRRP_2"_qs,  u"KVRRFL_1"_qs, u"KVRRFL_2"_qs, u"MAX_TRRS"_qs, u"MAX_TRRP"_qs,
    u"MAX_TRFL"_qs, u"MAX_ZRRS"_qs, u"MAX_ZRRP"_qs, u"MAX_ZRFL"_qs, u"MIN_RVF"_qs};

double Constant(const TConfig& config, int row) {
  if (row < 10) return config.SummationConstants[row / 2][row % 2];
  const Setting<double>* const limits[] = {&config.MAX_TRRS, &config.MAX_TRRP, &config.MAX_TRFL,
                                           &config.MAX_ZRRS, &config.MAX_ZRRP, &config.MAX_ZRFL,
                                           &config.MIN_RVF};
  return *limits[row - 10];
}

class FormSetupMainTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_home.isValid());
    ASSERT_TRUE(m_xdg.isValid());
    DrainEventLog();
    m_savedXdg = qgetenv("XDG_CONFIG_HOME");
    m_hadXdg = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", m_xdg.path().toLocal8Bit());
    ShiftStartHour = 7;
    ShiftStartDays = 0;
    IniFile ini(IniPath());
    IniUpdate update(ini);
    ini.WriteInteger(u"System"_qs, u"AutoStartControl"_qs, 0);
    // The attempt of the console's own connection at Open fails at once.
    ini.WriteString(u"MySQL"_qs, u"Host"_qs, u"127.0.0.1:1"_qs);
    ini.WriteString(u"MySQL"_qs, u"Password"_qs, Tmcrypt().ScrambleText(u"secret"_qs));
    update.Commit();
  }
  void TearDown() override {
    m_form.reset();
    m_controller.reset();
    if (m_hadXdg)
      qputenv("XDG_CONFIG_HOME", m_savedXdg);
    else
      qunsetenv("XDG_CONFIG_HOME");
    ShiftStartHour = 7;
    ShiftStartDays = 0;
    DrainEventLog();
  }

  TFormSetupMain& Open() {
    m_controller = std::make_unique<TConsoleController>(m_home.path());
    m_controller->Open();
    m_form = std::make_unique<TFormSetupMain>(*m_controller);
    m_form->show();
    return *m_form;
  }

  template <typename T>
  T* Find(const QString& name) {
    T* widget = m_form->findChild<T*>(name);
    EXPECT_NE(widget, nullptr) << name.toStdString();
    return widget;
  }
  void Click(const QString& name) {
    auto* button = Find<QAbstractButton>(name);
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
  }
  void Type(const QString& name, const QString& text) {
    auto* edit = Find<QLineEdit>(name);
    ASSERT_NE(edit, nullptr);
    edit->clear();
    // QTest types ASCII only; anything else goes in as typed text would.
    for (const QChar c : text) {
      if (c.unicode() < 128)
        QTest::keyClick(edit, c.toLatin1());
      else
        edit->insert(QString(c));
    }
  }
  QTableWidget* Grid() { return Find<QTableWidget>(u"StringGridConst"_qs); }
  void SetCell(int row, const QString& text) { Grid()->item(row, 1)->setText(text); }
  QString Cell(int row) { return Grid()->item(row, 1)->text(); }

  QString IniPath() const { return m_home.filePath(u"flotation-console.INI"_qs); }
  QString IniText(const QString& section, const QString& key) const {
    return IniFile(IniPath()).ReadString(section, key, u"(none)"_qs);
  }
  TConfig& Config() { return m_controller->Core().Config(); }
  QString ShellEntry() const { return m_xdg.filePath(u"autostart/flotation-console.desktop"_qs); }

  // Waits until the connection test has shown its message.
  MessageBoxSeen TestOutcome() {
    EXPECT_TRUE(QTest::qWaitFor([&] { return !m_boxes.Seen().empty(); }, 15000));
    EXPECT_EQ(m_boxes.Seen().size(), 1u);
    return m_boxes.Seen().empty() ? MessageBoxSeen{} : m_boxes.Seen().back();
  }

  QTemporaryDir m_home;
  QTemporaryDir m_xdg;
  QByteArray m_savedXdg;
  bool m_hadXdg = false;
  MessageBoxes m_boxes;
  std::unique_ptr<TConsoleController> m_controller;
  std::unique_ptr<TFormSetupMain> m_form;
};

TEST_F(FormSetupMainTest, ShowsThreePagesWithTheirControlsAndCaptions) {
  TFormSetupMain& form = Open();
  EXPECT_EQ(form.objectName(), u"FormSetupMain"_qs);
  EXPECT_EQ(form.windowTitle(), u"Общие настройки"_qs);
  auto* pages = Find<QTabWidget>(u"PageControl"_qs);
  ASSERT_NE(pages, nullptr);
  ASSERT_EQ(pages->count(), 3);
  EXPECT_EQ(pages->tabText(0), u"Связь с MySQL сервером"_qs);
  EXPECT_EQ(pages->tabText(1), u"Системные"_qs);
  EXPECT_EQ(pages->tabText(2), u"Константы для расчетов"_qs);

  const std::pair<const char16_t*, const char16_t*> buttons[] = {
      {u"CheckBoxSavePassword", u"Запоминать пароль"},
      {u"CheckBoxLanServer", u"Разрешить доступ по локальной сети"},
      {u"ButMySQL_Test", u"Протестировать параметры MySQL соединения"},
      {u"ButApplyMySQLPage", u"Принять изменения"},
      {u"CheckBoxReplaceShell", u"Заменять собой оболочку"},
      {u"CheckBoxShutdownOnExit", u"Выключать компьютер при выходе"},
      {u"ButApplySystemPage", u"Принять изменения"},
      {u"ButApplyConstPage", u"Принять изменения"},
      {u"ButClose", u"Закрыть"},
      {u"ButDecHour", nullptr},
      {u"ButIncHout", nullptr},
      {u"ButDecDay", nullptr},
      {u"ButIncDay", nullptr},
  };
  for (const auto& [name, caption] : buttons) {
    auto* button = Find<QAbstractButton>(QString::fromUtf16(name));
    if (button != nullptr && caption != nullptr) {
      EXPECT_EQ(button->text(), QString::fromUtf16(caption));
    }
  }
  for (const char16_t* name : {u"EditMySQL_Host", u"EditMySQL_Login", u"EditMySQL_Password"})
    Find<QLineEdit>(QString::fromUtf16(name));

  // Captions of the edit boxes and the shift start, as the operator reads them.
  QStringList labels;
  for (const QLabel* label : form.findChildren<QLabel*>()) labels << label->text();
  for (const QString& caption :
       {u"Адрес сервера:"_qs, u"Имя пользователя:"_qs, u"Пароль:"_qs, u"Часы:"_qs, u"Дни:"_qs}) {
    EXPECT_TRUE(labels.contains(caption)) << caption.toStdString();
  }
  auto* group = Find<QGroupBox>(u"GroupBoxStartChange"_qs);
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(group->title(), u"Начало смены"_qs);
  EXPECT_NE(group->findChild<QLabel*>(u"StartChangeLabel"_qs), nullptr);
  EXPECT_NE(group->findChild<QLabel*>(u"StartChangeDayLabel"_qs), nullptr);
}

TEST_F(FormSetupMainTest, IsFixedCentredAndClipsNothing) {
  TFormSetupMain& form = Open();
  EXPECT_EQ(form.size(), QSize(TFormSetupMain::kClientWidth, TFormSetupMain::kClientHeight));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(form.pos(), QPoint(screen.x() + (screen.width() - TFormSetupMain::kClientWidth) / 2,
                               screen.y() + (screen.height() - TFormSetupMain::kClientHeight) / 2));

  auto* pages = Find<QTabWidget>(u"PageControl"_qs);
  ASSERT_NE(pages, nullptr);
  // Every page title in full, without scroll arrows.
  QTabBar* tabs = pages->tabBar();
  EXPECT_LE(tabs->sizeHint().width(), tabs->width());
  for (int index = 0; index < pages->count(); ++index) {
    SCOPED_TRACE(index);
    pages->setCurrentIndex(index);
    QWidget* page = pages->widget(index);
    QCoreApplication::processEvents();
    for (QWidget* child : page->findChildren<QWidget*>()) {
      if (!child->isVisible() || (!qobject_cast<QLabel*>(child) && !qobject_cast<QAbstractButton*>(child) &&
                                  !qobject_cast<QLineEdit*>(child))) {
        continue;
      }
      const QString name =
          child->objectName().isEmpty() ? child->property("text").toString() : child->objectName();
      EXPECT_GE(child->width(), child->sizeHint().width()) << name.toStdString();
      EXPECT_GE(child->height(), child->minimumSizeHint().height()) << name.toStdString();
      const QRect onPage(child->mapTo(page, QPoint(0, 0)), child->size());
      EXPECT_TRUE(page->rect().contains(onPage)) << name.toStdString();
    }
  }
  // All seventeen constants in view at once.
  QTableWidget* grid = Grid();
  EXPECT_EQ(grid->verticalScrollBar()->maximum(), 0);
  EXPECT_FALSE(grid->horizontalScrollBar()->isVisible());
  const QRect lastRow = grid->visualItemRect(grid->item(16, 1));
  EXPECT_LE(lastRow.bottom(), grid->viewport()->height());
}

TEST_F(FormSetupMainTest, CloseButtonClosesTheDialog) {
  TFormSetupMain& form = Open();
  Click(u"ButClose"_qs);
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(form.result(), QDialog::Accepted);
  EXPECT_TRUE(m_boxes.Seen().empty());
}

TEST_F(FormSetupMainTest, MySQLPageShowsTheConfigurationButNeverThePassword) {
  TFormSetupMain& form = Open();
  (void)form;
  ASSERT_EQ(Config().Password.Get(), u"secret"_qs);
  EXPECT_EQ(Find<QLineEdit>(u"EditMySQL_Host"_qs)->text(), u"127.0.0.1:1"_qs);
  EXPECT_EQ(Find<QLineEdit>(u"EditMySQL_Login"_qs)->text(), u"temp_master"_qs);
  auto* password = Find<QLineEdit>(u"EditMySQL_Password"_qs);
  EXPECT_TRUE(password->text().isEmpty());
  EXPECT_TRUE(Find<QCheckBox>(u"CheckBoxSavePassword"_qs)->isChecked());
  EXPECT_TRUE(Find<QCheckBox>(u"CheckBoxLanServer"_qs)->isChecked());

  // Every typed character shows as "$".
  QTest::keyClicks(password, u"ab $1"_qs);
  password->insert(u"ц"_qs);
  EXPECT_EQ(password->text(), u"ab $1ц"_qs);
  EXPECT_EQ(password->displayText(), u"$$$$$$"_qs);
}

TEST_F(FormSetupMainTest, MySQLApplyStoresTheBoxesAndWritesTheFile) {
  Open();
  Type(u"EditMySQL_Host"_qs, u"db.plant:3307"_qs);
  Type(u"EditMySQL_Login"_qs, u"operator"_qs);
  Type(u"EditMySQL_Password"_qs, u"новый1"_qs);
  Find<QCheckBox>(u"CheckBoxSavePassword"_qs)->setChecked(true);
  Find<QCheckBox>(u"CheckBoxLanServer"_qs)->setChecked(false);
  Click(u"ButApplyMySQLPage"_qs);

  EXPECT_TRUE(m_boxes.Seen().empty());
  EXPECT_EQ(Config().Host.Get(), u"db.plant:3307"_qs);
  EXPECT_EQ(Config().Login.Get(), u"operator"_qs);
  EXPECT_EQ(Config().Password.Get(), u"новый1"_qs);
  EXPECT_FALSE(Config().LanServer);
  EXPECT_EQ(IniText(u"MySQL"_qs, u"Host"_qs), u"db.plant:3307"_qs);
  EXPECT_EQ(IniText(u"MySQL"_qs, u"Login"_qs), u"operator"_qs);
  EXPECT_EQ(IniText(u"System"_qs, u"LanServer"_qs), u"0"_qs);
  // The file holds the new secret scrambled, not in clear.
  const QString stored = IniText(u"MySQL"_qs, u"Password"_qs);
  EXPECT_FALSE(stored.contains(u"новый1"_qs));
  EXPECT_EQ(Tmcrypt().UnscrambleText(stored), u"новый1"_qs);
}

TEST_F(FormSetupMainTest, MySQLApplyWithAnEmptyPasswordEmptiesItForThisRunOnly) {
  Open();
  const QString storedBefore = IniText(u"MySQL"_qs, u"Password"_qs);
  Find<QCheckBox>(u"CheckBoxSavePassword"_qs)->setChecked(false);
  Click(u"ButApplyMySQLPage"_qs);

  EXPECT_TRUE(m_boxes.Seen().empty());
  EXPECT_TRUE(Config().Password.Get().isEmpty());
  EXPECT_FALSE(Config().SavePassword);
  EXPECT_EQ(IniText(u"MySQL"_qs, u"SavePassword"_qs), u"0"_qs);
  EXPECT_EQ(IniText(u"MySQL"_qs, u"Password"_qs), storedBefore);
  EXPECT_EQ(Tmcrypt().UnscrambleText(storedBefore), u"secret"_qs);

  // With SavePassword set again, the next start has the stored secret back.
  Find<QCheckBox>(u"CheckBoxSavePassword"_qs)->setChecked(true);
  Click(u"ButApplyMySQLPage"_qs);
  m_form.reset();
  m_controller.reset();
  TConsoleController restarted(m_home.path());
  restarted.Open();
  EXPECT_EQ(restarted.Config().Password.Get(), u"secret"_qs);
}

TEST_F(FormSetupMainTest, MySQLApplyThatCannotWriteTheFileSaysSo) {
  Open();
  // A folder where the file was: no write can replace it.
  ASSERT_TRUE(QFile::remove(IniPath()));
  ASSERT_TRUE(QDir().mkdir(IniPath()));
  DrainEventLog();
  Type(u"EditMySQL_Login"_qs, u"operator"_qs);
  Click(u"ButApplyMySQLPage"_qs);

  ASSERT_EQ(m_boxes.Seen().size(), 1u);
  const MessageBoxSeen& box = m_boxes.Seen().front();
  EXPECT_EQ(box.title, u"Ошибка"_qs);
  EXPECT_EQ(box.icon, QMessageBox::Critical);
  EXPECT_EQ(box.text, u"Не удалось сохранить настройки в файл "_qs + IniPath() + u'.');
  EXPECT_EQ(Config().Login.Get(), u"operator"_qs);  // no roll-back
  bool logged = false;
  for (const TEventFIFO_Rec& record : DrainEventLog()) logged |= record.Text.contains(IniPath());
  EXPECT_TRUE(logged);
  EXPECT_TRUE(m_form->isVisible());
}

TEST_F(FormSetupMainTest, ShiftButtonsWrapTheHourAndLimitTheDays) {
  struct Case {
    int hour;
    int days;
    const char16_t* button;
    int presses;
    const char16_t* label;
    QString expected;
  };
  const Case cases[] = {
      {0, 0, u"ButDecHour", 1, u"StartChangeLabel", u"23:00"_qs},
      {23, 0, u"ButIncHout", 1, u"StartChangeLabel", u"0:00"_qs},
      {7, 0, u"ButIncHout", 3, u"StartChangeLabel", u"10:00"_qs},
      {7, 0, u"ButDecHour", 31, u"StartChangeLabel", u"0:00"_qs},
      {7, 0, u"ButIncHout", 24, u"StartChangeLabel", u"7:00"_qs},
      {7, 0, u"ButDecDay", 1, u"StartChangeDayLabel", u"0"_qs},
      {7, 0, u"ButIncDay", 5, u"StartChangeDayLabel", u"3"_qs},
      {7, 3, u"ButDecDay", 2, u"StartChangeDayLabel", u"1"_qs},
      {7, 3, u"ButDecDay", 9, u"StartChangeDayLabel", u"0"_qs},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(QString::fromUtf16(c.button).toStdString() + " x" + std::to_string(c.presses) + " from " +
                 std::to_string(c.hour) + "/" + std::to_string(c.days));
    ShiftStartHour = static_cast<uint16_t>(c.hour);
    ShiftStartDays = c.days;
    m_form.reset();
    Open();
    for (int i = 0; i < c.presses; ++i) Click(QString::fromUtf16(c.button));
    EXPECT_EQ(Find<QLabel>(QString::fromUtf16(c.label))->text(), c.expected);
    // Nothing is taken over before the apply.
    EXPECT_EQ(ShiftStartHour.load(), c.hour);
    EXPECT_EQ(ShiftStartDays.load(), c.days);
  }
}

TEST_F(FormSetupMainTest, SystemApplyTakesOverTheSwitchesAndWritesTheShellEntryNotTheFile) {
  Open();
  EXPECT_EQ(Find<QLabel>(u"StartChangeLabel"_qs)->text(), u"7:00"_qs);
  EXPECT_EQ(Find<QLabel>(u"StartChangeDayLabel"_qs)->text(), u"0"_qs);
  EXPECT_FALSE(Find<QCheckBox>(u"CheckBoxReplaceShell"_qs)->isChecked());
  EXPECT_FALSE(Find<QCheckBox>(u"CheckBoxShutdownOnExit"_qs)->isChecked());
  const QByteArray fileBefore = ReadFileBytes(IniPath());

  Click(u"ButDecHour"_qs);  // 6:00
  Click(u"ButIncDay"_qs);
  Click(u"ButIncDay"_qs);
  Find<QCheckBox>(u"CheckBoxReplaceShell"_qs)->setChecked(true);
  Find<QCheckBox>(u"CheckBoxShutdownOnExit"_qs)->setChecked(true);
  Click(u"ButApplySystemPage"_qs);

  EXPECT_TRUE(m_boxes.Seen().empty());
  EXPECT_EQ(ShiftStartHour.load(), 6);
  EXPECT_EQ(ShiftStartDays.load(), 2);
  EXPECT_TRUE(Config().ReplaceShell);
  EXPECT_TRUE(Config().ShutdownOnExit);
  const QString entry = QString::fromUtf8(ReadFileBytes(ShellEntry()));
  EXPECT_TRUE(entry.startsWith(u"[Desktop Entry]\n"_qs)) << entry.toStdString();
  EXPECT_TRUE(entry.contains(u"\nType=Application\n"_qs)) << entry.toStdString();
  EXPECT_TRUE(entry.contains(u"\nExec=\""_qs + QCoreApplication::applicationFilePath() + u"\"\n"_qs))
      << entry.toStdString();
  EXPECT_EQ(ReadFileBytes(IniPath()), fileBefore);

  Find<QCheckBox>(u"CheckBoxReplaceShell"_qs)->setChecked(false);
  Click(u"ButApplySystemPage"_qs);
  EXPECT_TRUE(m_boxes.Seen().empty());
  EXPECT_FALSE(Config().ReplaceShell);
  EXPECT_FALSE(QFileInfo::exists(ShellEntry()));
  // Clearing it again when there is no entry is no error.
  Click(u"ButApplySystemPage"_qs);
  EXPECT_TRUE(m_boxes.Seen().empty());
  EXPECT_EQ(ReadFileBytes(IniPath()), fileBefore);
}

TEST_F(FormSetupMainTest, SystemApplyThatCannotWriteOrRemoveTheShellEntrySaysSo) {
  Open();
  // The autostart folder cannot be made below a plain file.
  const QString blocker = m_xdg.filePath(u"not-a-folder"_qs);
  ASSERT_TRUE(WriteFileBytes(blocker, "x"));
  qputenv("XDG_CONFIG_HOME", blocker.toLocal8Bit());
  Click(u"ButIncHout"_qs);
  Find<QCheckBox>(u"CheckBoxReplaceShell"_qs)->setChecked(true);
  DrainEventLog();
  Click(u"ButApplySystemPage"_qs);
  ASSERT_EQ(m_boxes.Seen().size(), 1u);
  EXPECT_EQ(m_boxes.Seen()[0].title, u"Ошибка"_qs);
  EXPECT_EQ(m_boxes.Seen()[0].icon, QMessageBox::Critical);
  EXPECT_TRUE(m_boxes.Seen()[0].text.startsWith(u"Не удалось создать папку автозапуска "_qs))
      << m_boxes.Seen()[0].text.toStdString();
  EXPECT_EQ(DrainEventLog().size(), 1u);
  // What was taken over before stays.
  EXPECT_EQ(ShiftStartHour.load(), 8);
  EXPECT_TRUE(Config().ReplaceShell);
  EXPECT_TRUE(m_form->isVisible());

  // An entry that is a folder with something in it cannot be removed.
  qputenv("XDG_CONFIG_HOME", m_xdg.path().toLocal8Bit());
  ASSERT_TRUE(QDir().mkpath(ShellEntry() + u"/inside"_qs));
  m_boxes.Clear();
  Find<QCheckBox>(u"CheckBoxReplaceShell"_qs)->setChecked(false);
  Click(u"ButApplySystemPage"_qs);
  ASSERT_EQ(m_boxes.Seen().size(), 1u);
  EXPECT_TRUE(m_boxes.Seen()[0].text.startsWith(u"Не удалось удалить файл автозапуска "_qs + ShellEntry()))
      << m_boxes.Seen()[0].text.toStdString();
}

TEST(ShellEntry, PathFollowsXdgConfigHome) {
  const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
  const bool had = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", "/srv/cfg");
  EXPECT_EQ(ShellEntryPath(), u"/srv/cfg/autostart/flotation-console.desktop"_qs);
  for (const char* ignored : {"", "relative/cfg"}) {
    qputenv("XDG_CONFIG_HOME", ignored);
    EXPECT_EQ(ShellEntryPath(), QDir::homePath() + u"/.config/autostart/flotation-console.desktop"_qs);
  }
  if (had)
    qputenv("XDG_CONFIG_HOME", saved);
  else
    qunsetenv("XDG_CONFIG_HOME");
}

TEST(ShellEntry, ExecQuotesAndEscapesThePath) {
  const QString text = QString::fromUtf8(ShellEntryText(u"/opt/my \"flot\" $x\\y%z/пульт"_qs));
  EXPECT_TRUE(
      text.contains(uR"(
Exec="/opt/my \\"flot\\" \\$x\\\\y%%z/пульт"
)"_qs))
      << text.toStdString();
}

TEST(ShellEntry, RefusesAPathThatWouldBreakTheEntry) {
  QTemporaryDir xdg;
  const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
  const bool had = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", xdg.path().toLocal8Bit());
  for (const QString& path : {u"/opt/flot\nExec=/bin/rm"_qs, u"relative/flotation-console"_qs, QString()}) {
    QString error;
    EXPECT_FALSE(WriteShellEntry(true, path, error)) << path.toStdString();
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(ShellEntryPath()));
  }
  if (had)
    qputenv("XDG_CONFIG_HOME", saved);
  else
    qunsetenv("XDG_CONFIG_HOME");
}

TEST_F(FormSetupMainTest, ConstantsPageListsEveryConstantInOrder) {
  Open();
  QTableWidget* grid = Grid();
  ASSERT_EQ(grid->rowCount(), 17);
  ASSERT_EQ(grid->columnCount(), 2);
  EXPECT_EQ(grid->horizontalHeaderItem(0)->text(), u"Константа"_qs);
  EXPECT_EQ(grid->horizontalHeaderItem(1)->text(), u"Значение"_qs);
  for (int row = 0; row < 17; ++row) {
    SCOPED_TRACE(row);
    EXPECT_EQ(grid->item(row, 0)->text(), kConstantKeys[row]);
    EXPECT_FALSE(grid->item(row, 0)->flags() & Qt::ItemIsEditable);
    EXPECT_TRUE(grid->item(row, 1)->flags() & Qt::ItemIsEditable);
  }
  // Four decimals at most, the system's separator, no trailing zeros.
  EXPECT_EQ(Cell(0), Decimal(u"0.0167"_qs));
  EXPECT_EQ(Cell(10), u"300"_qs);
  EXPECT_EQ(Cell(13), u"1500"_qs);
  EXPECT_EQ(Cell(16), u"40"_qs);
}

TEST_F(FormSetupMainTest, ConstantsApplyStoresEveryChangedCellAndKeepsUntouchedOnesExact) {
  Open();
  const QByteArray fileBefore = ReadFileBytes(IniPath());
  SetCell(1, Decimal(u"1.5"_qs));
  SetCell(10, u" 250 "_qs);
  SetCell(16, Decimal(u"-0.00005"_qs));
  SetCell(12, u"1e2"_qs);
  Click(u"ButApplyConstPage"_qs);

  EXPECT_TRUE(m_boxes.Seen().empty());
  EXPECT_DOUBLE_EQ(Constant(Config(), 1), 1.5);
  EXPECT_DOUBLE_EQ(Constant(Config(), 10), 250);
  EXPECT_DOUBLE_EQ(Constant(Config(), 12), 100);
  EXPECT_DOUBLE_EQ(Constant(Config(), 16), -0.00005);
  // A cell left as shown keeps the value, not its four-decimal picture.
  EXPECT_EQ(Constant(Config(), 0), 1.0 / 60);
  EXPECT_EQ(ReadFileBytes(IniPath()), fileBefore);

  // Typing back the text first shown is a change like any other.
  SetCell(1, Decimal(u"0.0167"_qs));
  Click(u"ButApplyConstPage"_qs);
  EXPECT_DOUBLE_EQ(Constant(Config(), 1), 0.0167);
}

TEST_F(FormSetupMainTest, ConstantsApplyStopsAtTheFirstBadCell) {
  const QChar other = Separator() == u'.' ? u',' : u'.';
  const QString badTexts[] = {QString(), u"abc"_qs, u"1,5x"_qs, u"0x10"_qs, u"$10"_qs,
                              u"nan"_qs, u"inf"_qs, u"-INF"_qs, u"1e39"_qs, u"1"_qs + other + u"5"_qs,
                              u"1 5"_qs};
  for (const QString& bad : badTexts) {
    SCOPED_TRACE(bad.toStdString());
    m_form.reset();
    m_controller.reset();
    m_boxes.Clear();
    Open();
    for (int row = 0; row < 17; ++row) SetCell(row, QString::number(row + 2));
    SetCell(4, bad);
    Click(u"ButApplyConstPage"_qs);

    ASSERT_EQ(m_boxes.Seen().size(), 1u);
    EXPECT_EQ(m_boxes.Seen()[0].text, kBadConstants);
    EXPECT_EQ(m_boxes.Seen()[0].title, u"Ошибка"_qs);
    EXPECT_EQ(m_boxes.Seen()[0].icon, QMessageBox::Critical);
    for (int row = 0; row < 4; ++row) EXPECT_EQ(Constant(Config(), row), row + 2) << row;
    for (int row = 4; row < 10; ++row) EXPECT_EQ(Constant(Config(), row), 1.0 / 60) << row;
    EXPECT_EQ(Constant(Config(), 10), 300);
    EXPECT_EQ(Constant(Config(), 16), 40);
    EXPECT_TRUE(m_form->isVisible());
  }
}

TEST_F(FormSetupMainTest, ConstantsOutsideTheirSettingsRangeAreRefused) {
  // Only keys the settings table gives a range for; without one any number goes.
  Open();
  for (int row = 0; row < 17; ++row) {
    const SettingEntry* entry = FindSetting(u"CONST", kConstantKeys[row]);
    if (entry == nullptr || (entry->Min == 0 && entry->Max == 0)) continue;
    SCOPED_TRACE(kConstantKeys[row].toStdString());
    m_boxes.Clear();
    const double before = Constant(Config(), row);
    const QString shown = Cell(row);
    const double above = entry->Max + std::max(1.0, std::fabs(entry->Max));
    SetCell(row, Decimal(QString::number(above, 'f', 4)));
    Click(u"ButApplyConstPage"_qs);
    ASSERT_EQ(m_boxes.Seen().size(), 1u);
    EXPECT_EQ(m_boxes.Seen()[0].text, kBadConstants);
    EXPECT_EQ(Constant(Config(), row), before);
    SetCell(row, shown);  // unchanged again for the next row
  }
}

TEST_F(FormSetupMainTest, ConstantsFollowACommaLocale) {
  if (qEnvironmentVariable(kLocaleChildVariable) != u"1"_qs) {
    // The system locale is read once per process, so the comma case runs in
    // a child started with a Russian locale.
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kLocaleChildVariable), u"1"_qs);
    environment.insert(u"LC_ALL"_qs, u"ru_RU.UTF-8"_qs);
    environment.insert(u"QT_QPA_PLATFORM"_qs, u"offscreen"_qs);
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {u"--gtest_filter=FormSetupMainTest.ConstantsFollowACommaLocale"_qs});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QString output = QString::fromLocal8Bit(child.readAll());
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(u"[  PASSED  ] 1 test"_qs)) << output.toStdString();
    return;
  }
  ASSERT_EQ(Separator(), u',');
  Open();
  EXPECT_EQ(Cell(0), u"0,0167"_qs);
  SetCell(2, u"1,5"_qs);
  Click(u"ButApplyConstPage"_qs);
  EXPECT_TRUE(m_boxes.Seen().empty());
  EXPECT_DOUBLE_EQ(Constant(Config(), 2), 1.5);
  // A point is no separator here: "1.500" might mean fifteen hundred.
  SetCell(3, u"1.500"_qs);
  Click(u"ButApplyConstPage"_qs);
  ASSERT_EQ(m_boxes.Seen().size(), 1u);
  EXPECT_EQ(m_boxes.Seen()[0].text, kBadConstants);
  EXPECT_EQ(Constant(Config(), 3), 1.0 / 60);
}

// The connection test against the private database server.
class FormSetupMainDatabaseTest : public FormSetupMainTest {
 protected:
  void SetUp() override {
    FormSetupMainTest::SetUp();
    const auto server = MariaDbServer::Find();
    ASSERT_TRUE(server.has_value()) << "the private MariaDB server (FLOT_MARIADB_DIR) is not running";
    m_server = *server;
  }
  MariaDbServer m_server;
};

TEST_F(FormSetupMainDatabaseTest, TestButtonConnectsWithTheBoxesNotTheConfiguration) {
  Open();
  Type(u"EditMySQL_Host"_qs, m_server.HostWithPort());
  Type(u"EditMySQL_Login"_qs, m_server.User);
  Type(u"EditMySQL_Password"_qs, m_server.Password);
  Click(u"ButMySQL_Test"_qs);
  const MessageBoxSeen box = TestOutcome();
  EXPECT_EQ(box.title, u"Тест подключения"_qs);
  EXPECT_EQ(box.text, kTestSucceeded);
  EXPECT_EQ(box.icon, QMessageBox::Information);
  EXPECT_TRUE(Find<QPushButton>(u"ButMySQL_Test"_qs)->isEnabled());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  // A test changes nothing: neither the settings nor the console's own connection.
  EXPECT_EQ(Config().Host.Get(), u"127.0.0.1:1"_qs);
  EXPECT_EQ(Config().Password.Get(), u"secret"_qs);
  EXPECT_FALSE(m_controller->Core().Database().Connected());
}

TEST_F(FormSetupMainDatabaseTest, TestButtonWithAWrongPasswordReportsFailure) {
  Open();
  Type(u"EditMySQL_Host"_qs, m_server.HostWithPort());
  Type(u"EditMySQL_Login"_qs, m_server.User);
  Type(u"EditMySQL_Password"_qs, m_server.Password + u"-wrong"_qs);
  Click(u"ButMySQL_Test"_qs);
  const MessageBoxSeen box = TestOutcome();
  EXPECT_EQ(box.title, u"Ошибка"_qs);
  EXPECT_EQ(box.text, kTestFailed);
  EXPECT_EQ(box.icon, QMessageBox::Critical);
  EXPECT_TRUE(Find<QPushButton>(u"ButMySQL_Test"_qs)->isEnabled());
}

TEST_F(FormSetupMainTest, TestButtonWaitsOffTheWindowAndTheWindowStaysResponsive) {
  // A server that takes the connection and says nothing until told to.
  QTcpServer silent;
  ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
  Open();
  Type(u"EditMySQL_Host"_qs, u"127.0.0.1:"_qs + QString::number(silent.serverPort()));
  Click(u"ButMySQL_Test"_qs);

  ASSERT_TRUE(QTest::qWaitFor([&] { return silent.hasPendingConnections(); }, 10000));
  QTcpSocket* accepted = silent.nextPendingConnection();
  auto* button = Find<QPushButton>(u"ButMySQL_Test"_qs);
  EXPECT_FALSE(button->isEnabled());
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  EXPECT_TRUE(m_form->ConnectionTestRunning());
  // The window goes on working while the attempt waits.
  bool timerRan = false;
  QTimer::singleShot(0, [&] { timerRan = true; });
  EXPECT_TRUE(QTest::qWaitFor([&] { return timerRan; }, 1000));
  Click(u"ButIncHout"_qs);
  EXPECT_EQ(Find<QLabel>(u"StartChangeLabel"_qs)->text(), u"8:00"_qs);
  Click(u"ButMySQL_Test"_qs);  // disabled: no second attempt
  EXPECT_TRUE(m_boxes.Seen().empty());

  accepted->abort();
  const MessageBoxSeen box = TestOutcome();
  EXPECT_EQ(box.text, kTestFailed);
  EXPECT_TRUE(button->isEnabled());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_FALSE(m_form->ConnectionTestRunning());
}

TEST_F(FormSetupMainTest, ClosingDuringATestDropsItsOutcome) {
  QTcpServer silent;
  ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
  Open();
  Type(u"EditMySQL_Host"_qs, u"127.0.0.1:"_qs + QString::number(silent.serverPort()));
  Click(u"ButMySQL_Test"_qs);
  ASSERT_TRUE(QTest::qWaitFor([&] { return silent.hasPendingConnections(); }, 10000));
  QTcpSocket* accepted = silent.nextPendingConnection();
  Click(u"ButClose"_qs);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  m_form.reset();
  accepted->abort();
  // The job finishes into memory it shares with nobody now; no window opens.
  ASSERT_TRUE(m_controller->Core().Database().WaitIdle(10000));
  QCoreApplication::processEvents();
  EXPECT_TRUE(m_boxes.Seen().empty());
}

}  // namespace
