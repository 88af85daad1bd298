#include "ui/displays/formcontrolset.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <map>

#include "station/commandset.h"
#include "support/modaldialogs.h"
#include "ui/elements/outfield.h"

namespace {

// Setpoint slots of the averaged block, in SetpointIndex order.
constexpr int kSetpointSlot[kSetpointCount] = {18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29};

// The four mode groups by the suffix of their boxes' names.
struct GroupFlags {
  const char* Suffix;
  ModeFlag Automatic;
  ModeFlag Manual;
};
constexpr GroupFlags kGroups[] = {
    {"F1", F1AR, F1RR}, {"F2", F2AR, F2RR}, {"FL1", F1AFL, F1RFL}, {"FL2", F2AFL, F2RFL}};

const GroupFlags& GroupOf(const QString& suffix) {
  for (const GroupFlags& group : kGroups) {
    if (suffix == QLatin1StringView(group.Suffix)) return group;
  }
  return kGroups[0];
}

ModeFlags FlagsFor(const QString& suffix, ReagentMode mode, ModeFlags flags = {}) {
  const GroupFlags& group = GroupOf(suffix);
  flags[group.Automatic] = mode == kModeAutomatic ? 1 : 0;
  flags[group.Manual] = mode == kModeManual ? 1 : 0;
  return flags;
}

std::array<float, kValueSlotCount> Block(const ModeFlags& modes = {},
                                         const SetpointValues& setpoints = kDefaultSetpoints) {
  std::array<float, kValueSlotCount> block{};
  for (int i = 0; i < kValueSlotCount; ++i) block[static_cast<size_t>(i)] = 1000.0f + static_cast<float>(i);
  for (int flag = 0; flag < kModeFlagCount; ++flag) {
    SetModeByte(block, static_cast<ModeFlag>(flag), modes[static_cast<size_t>(flag)]);
  }
  for (int i = 0; i < kSetpointCount; ++i) {
    block[static_cast<size_t>(kSetpointSlot[i])] = setpoints[static_cast<size_t>(i)];
  }
  return block;
}

QString Decimal(const char* text) {
  return QString::fromLatin1(text).replace(u'.', SystemDecimalSeparator());
}

class FormControlSetTest : public testing::Test {
 protected:
  QCheckBox* Box(const QString& name) const {
    auto* box = m_form.findChild<QCheckBox*>(u"CheckBoxControl"_qs + name);
    EXPECT_NE(box, nullptr) << name.toStdString();
    return box;
  }
  QLineEdit* Edit(const QString& name) const {
    auto* edit = m_form.findChild<QLineEdit*>(u"Edit"_qs + name);
    EXPECT_NE(edit, nullptr) << name.toStdString();
    return edit;
  }
  QPushButton* Button(const QString& name) const {
    auto* button = m_form.findChild<QPushButton*>(name);
    EXPECT_NE(button, nullptr) << name.toStdString();
    return button;
  }

  // Replaces an edit's text as the operator does, which marks it modified.
  void Type(const QString& name, const QString& text) {
    QLineEdit* edit = Edit(name);
    ASSERT_TRUE(edit->isEnabled()) << name.toStdString();
    edit->selectAll();
    if (text.isEmpty())
      QTest::keyClick(edit, Qt::Key_Backspace);
    else
      QTest::keyClicks(edit, text);
    ASSERT_EQ(edit->text(), text);
  }

  // "Установить" clicked on the shown window; it closes with OK.
  void PressSet() {
    m_form.show();
    Button(u"ButSet"_qs)->click();
    EXPECT_EQ(m_form.result(), QDialog::Accepted);
    EXPECT_FALSE(m_form.isVisible());
  }

  // "A", "R", "Z" for the checked boxes of a group.
  QString Checked(const QString& suffix) const {
    QString letters;
    for (const char* letter : {"A", "R", "Z"}) {
      if (Box(suffix + QLatin1StringView(letter))->isChecked()) letters += QLatin1StringView(letter);
    }
    return letters;
  }

  QStringList m_posted;
  TFormControlSet m_form{[this](const QString& text) { m_posted << text; }};
};

TEST_F(FormControlSetTest, Window_HasTheLayoutsCaptionSizeFontsAndButtons) {
  EXPECT_EQ(m_form.objectName(), u"FormControlSet"_qs);
  EXPECT_EQ(m_form.windowTitle(), u"Корректировка заданий"_qs);
  EXPECT_EQ(m_form.size(), QSize(571, 538));
  EXPECT_EQ(m_form.minimumSize(), m_form.maximumSize());
  const Qt::WindowFlags flags = m_form.windowFlags();
  EXPECT_TRUE(flags & Qt::CustomizeWindowHint);
  EXPECT_FALSE(flags & (Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint |
                        Qt::WindowContextHelpButtonHint));

  EXPECT_EQ(m_form.font().family(), u"Courier New"_qs);
  EXPECT_EQ(m_form.font().pixelSize(), 16);
  EXPECT_TRUE(m_form.font().bold());
  const QColor navy(0, 0, 128);
  EXPECT_EQ(m_form.palette().color(QPalette::Active, QPalette::WindowText), navy);
  EXPECT_EQ(Box(u"F1A"_qs)->font().family(), u"Courier New"_qs);
  EXPECT_EQ(Edit(u"ZRRS1"_qs)->palette().color(QPalette::Active, QPalette::Text), navy);

  auto* pages = m_form.findChild<QTabWidget*>();
  ASSERT_NE(pages, nullptr);
  ASSERT_EQ(pages->count(), 2);
  EXPECT_EQ(pages->tabText(0), u"Секция &1"_qs);
  EXPECT_EQ(pages->tabText(1), u"Секция &2"_qs);
  EXPECT_EQ(pages->geometry().bottom() + 1, 538 - 41);

  const std::map<QString, QString> titles = {
      {u"OutFieldFlot1"_qs, u"Ф Л О Т А Ц И Я   С Е К Ц И Я   №1"_qs},
      {u"OutFieldFlot2"_qs, u"Ф Л О Т А Ц И Я   С Е К Ц И Я   №2"_qs},
      {u"OutFieldFlok1"_qs, u"Ф Л О К У Л Я Ц И Я   С Е К Ц И Я   №1"_qs},
      {u"OutFieldFlok2"_qs, u"Ф Л О К У Л Я Ц И Я   С Е К Ц И Я   №2"_qs},
  };
  m_form.show();
  for (const auto& [name, caption] : titles) {
    SCOPED_TRACE(name.toStdString());
    auto* title = m_form.findChild<TOutField*>(name);
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->Caption(), caption);
    EXPECT_EQ(title->Font().Name(), u"Times New Roman"_qs);
    EXPECT_EQ(title->Font().PixelSize(), 21);
    EXPECT_EQ(title->VAlign(), tm_VAlignTop);
    EXPECT_EQ(title->height(), 41);
  }

  // Each page's two panels in its colour, seen where no control covers them.
  const std::map<QString, QColor> panelColours = {{u"PanelFlot1"_qs, QColor(0xC0, 0xC0, 0xC0)},
                                                  {u"PanelFlok1"_qs, QColor(0xC0, 0xC0, 0xC0)},
                                                  {u"PanelFlot2"_qs, QColor(0xC0, 0xDC, 0xC0)},
                                                  {u"PanelFlok2"_qs, QColor(0xC0, 0xDC, 0xC0)}};
  for (const auto& [name, colour] : panelColours) {
    SCOPED_TRACE(name.toStdString());
    pages->setCurrentIndex(name.endsWith(u'1') ? 0 : 1);
    auto* panel = m_form.findChild<QWidget*>(name);
    ASSERT_NE(panel, nullptr);
    const QImage picture = panel->grab().toImage();
    EXPECT_EQ(picture.pixelColor(panel->width() - 8, panel->height() - 8), colour);
  }

  EXPECT_EQ(Button(u"ButSet"_qs)->text(), u"Установить"_qs);
  EXPECT_TRUE(Button(u"ButSet"_qs)->isDefault());
  EXPECT_EQ(Button(u"ButCancel"_qs)->text(), u"Отменить"_qs);
  EXPECT_EQ(Box(u"FL2A"_qs)->text(), u"Автомат"_qs);
  EXPECT_EQ(Box(u"FL2R"_qs)->text(), u"Ручной"_qs);
  EXPECT_EQ(Box(u"FL2Z"_qs)->text(), u"Отключено"_qs);
  QStringList captions;
  for (const QLabel* label : m_form.findChildren<QLabel*>()) captions << label->text();
  for (const char16_t* text : {u"Режим управления:", u"Реагент-собиратель:", u"Реагент-пенообразователь:",
                               u"- удельный расход:", u"- текущий расход:", u"мл/т", u"л/час"}) {
    EXPECT_TRUE(captions.contains(QString::fromUtf16(text))) << QString::fromUtf16(text).toStdString();
  }
  // Eight mode rows and edit rows of section 1 (4 + 2 edits, 2 mode rows).
  EXPECT_EQ(captions.count(u"Режим управления:"_qs), 4);
  EXPECT_EQ(captions.count(u"мл/т"_qs), 6);
  EXPECT_EQ(captions.count(u"л/час"_qs), 6);
}

TEST_F(FormControlSetTest, Load_ShowsEachGroupsModeInItsBoxes) {
  struct Case {
    ReagentMode Mode;
    const char* Checked;
  };
  for (const Case& c : {Case{kModeAutomatic, "A"}, Case{kModeManual, "R"}, Case{kModeOff, "Z"}}) {
    for (const GroupFlags& group : kGroups) {
      SCOPED_TRACE(std::string(group.Suffix) + " " + c.Checked);
      // The other groups in another mode, so that a box wired to the wrong
      // group shows.
      ModeFlags flags{};
      for (const GroupFlags& other : kGroups) {
        flags = FlagsFor(QLatin1StringView(other.Suffix),
                         c.Mode == kModeManual ? kModeAutomatic : kModeManual, flags);
      }
      flags = FlagsFor(QLatin1StringView(group.Suffix), c.Mode, flags);
      m_form.Load(Block(flags));
      EXPECT_EQ(Checked(QLatin1StringView(group.Suffix)), QLatin1StringView(c.Checked));
      EXPECT_EQ(m_form.Modes(), flags);
    }
  }
}

TEST_F(FormControlSetTest, Load_FormatsEachSetpointIntoItsEdit) {
  const SetpointValues setpoints = {0.1f, 12.34567f, 120, -5, 0, 1000000, 7.5f, 0.00004f, 40, 41, 90, 10.25f};
  m_form.Load(Block({}, setpoints));
  const std::map<QString, QString> expected = {
      {u"TRRS1"_qs, Decimal("0.1")}, {u"TRRS2"_qs, Decimal("12.3457")},
      {u"TRRP1"_qs, u"120"_qs},      {u"TRRP2"_qs, u"-5"_qs},
      {u"TRFL1"_qs, u"0"_qs},        {u"TRFL2"_qs, u"1000000"_qs},
      {u"ZRRS1"_qs, Decimal("7.5")}, {u"ZRRS2"_qs, u"0"_qs},
      {u"ZRRP1"_qs, u"40"_qs},       {u"ZRRP2"_qs, u"41"_qs},
      {u"ZRFL1"_qs, u"90"_qs},       {u"ZRFL2"_qs, Decimal("10.25")},
  };
  for (const auto& [name, text] : expected) EXPECT_EQ(Edit(name)->text(), text) << name.toStdString();
}

// Both flags of a group set: loading leaves one box checked and one flag set,
// and which one depends on the boxes left from the window's last showing.
TEST_F(FormControlSetTest, Load_BothFlagsSet_LeavesOneBoxAndOnlyItsFlag) {
  struct Case {
    const char* Name;
    std::optional<ReagentMode> Previous;  // the last showing, none for the first
    ReagentMode Result;
  };
  const Case cases[] = {
      {"first showing", std::nullopt, kModeManual},
      {"after automatic", kModeAutomatic, kModeManual},
      {"after manual", kModeManual, kModeAutomatic},
      {"after off", kModeOff, kModeManual},
  };
  for (const Case& c : cases) {
    for (const GroupFlags& group : kGroups) {
      SCOPED_TRACE(std::string(c.Name) + " " + group.Suffix);
      m_posted.clear();
      TFormControlSet form([this](const QString& text) { m_posted << text; });
      if (c.Previous) form.Load(Block(FlagsFor(QLatin1StringView(group.Suffix), *c.Previous)));
      ModeFlags both{};
      both[group.Automatic] = 1;
      both[group.Manual] = 1;
      form.Load(Block(both));
      const QString suffix = QLatin1StringView(group.Suffix);
      const QString checkedLetter = c.Result == kModeAutomatic ? u"A"_qs : u"R"_qs;
      for (const char* letter : {"A", "R", "Z"}) {
        auto* box = form.findChild<QCheckBox*>(u"CheckBoxControl"_qs + suffix + QLatin1StringView(letter));
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->isChecked(), checkedLetter == QLatin1StringView(letter)) << letter;
      }
      form.show();
      form.findChild<QPushButton*>(u"ButSet"_qs)->click();
      EXPECT_EQ(form.Modes(), FlagsFor(suffix, c.Result));
      EXPECT_TRUE(m_posted.isEmpty()) << m_posted.join(u'|').toStdString();
    }
  }
}

TEST_F(FormControlSetTest, Set_NothingChanged_PostsNothingAndReturnsTheShownValues) {
  const ModeFlags modes = FlagsFor(u"FL2"_qs, kModeAutomatic, FlagsFor(u"F1"_qs, kModeManual));
  const SetpointValues setpoints = {31, 32, 71, 72, 11, 12, 41, 42, 91, 92, 13, 2.25f};
  m_form.Load(Block(modes, setpoints));
  PressSet();
  EXPECT_TRUE(m_posted.isEmpty()) << m_posted.join(u'|').toStdString();
  EXPECT_EQ(m_form.Modes(), modes);
  EXPECT_EQ(m_form.Setpoints(), setpoints);
}

TEST_F(FormControlSetTest, Set_ReturnsTheShownTextsNotTheLiveDigitsBeyondThem) {
  SetpointValues setpoints = kDefaultSetpoints;
  setpoints[kZRRS1] = 12.34567f;
  m_form.Load(Block({}, setpoints));
  PressSet();
  EXPECT_EQ(m_form.Setpoints()[kZRRS1], 12.3457f);
}

// The boxes of a group act as radio buttons that may also all be cleared.
TEST_F(FormControlSetTest, Boxes_ClickSetsTheGroupsFlagsAndReportsTheResultingMode) {
  struct Case {
    const char* Group;
    ReagentMode Before;
    const char* Click;
    ReagentMode After;
    const char* Checked;
    const char* Posted;
  };
  const Case cases[] = {
      {"F1", kModeOff, "R", kModeManual, "R", "Режим флотации 1: РУЧНОЙ"},
      {"F2", kModeManual, "A", kModeAutomatic, "A", "Режим флотации 2: АВТОМАТ"},
      {"FL1", kModeAutomatic, "Z", kModeOff, "Z", "Режим флокуляции 1: ОТКЛЮЧЕНО"},
      {"FL2", kModeManual, "Z", kModeOff, "Z", "Режим флокуляции 2: ОТКЛЮЧЕНО"},
      // Clearing the checked box: its flag clears, no box stays checked, and
      // the line tells the mode that leaves, which is off.
      {"FL2", kModeAutomatic, "A", kModeOff, "", "Режим флокуляции 2: ОТКЛЮЧЕНО"},
      {"F1", kModeManual, "R", kModeOff, "", "Режим флотации 1: ОТКЛЮЧЕНО"},
      {"F2", kModeOff, "Z", kModeOff, "", "Режим флотации 2: ОТКЛЮЧЕНО"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.Group) + " click " + c.Click);
    m_posted.clear();
    const QString suffix = QLatin1StringView(c.Group);
    // Another group's mode must come back untouched.
    const ModeFlags others = FlagsFor(suffix == u"F1" ? u"F2"_qs : u"F1"_qs, kModeAutomatic);
    m_form.Load(Block(FlagsFor(suffix, c.Before, others)));
    Box(suffix + QLatin1StringView(c.Click))->click();
    EXPECT_EQ(Checked(suffix), QLatin1StringView(c.Checked));
    PressSet();
    EXPECT_EQ(m_form.Modes(), FlagsFor(suffix, c.After, others));
    EXPECT_EQ(m_posted, QStringList{u"Новое задание от оператора => "_qs + QString::fromUtf8(c.Posted)});
  }
}

TEST_F(FormControlSetTest, Boxes_SeveralClicksInOneGroupReportTheLastModeOnce) {
  m_form.Load(Block());
  Box(u"F2R"_qs)->click();
  Box(u"F2A"_qs)->click();
  Box(u"F2A"_qs)->click();
  Box(u"F2R"_qs)->click();
  EXPECT_EQ(Checked(u"F2"_qs), u"R"_qs);
  PressSet();
  EXPECT_EQ(m_form.Modes(), FlagsFor(u"F2"_qs, kModeManual));
  EXPECT_EQ(m_posted, QStringList{u"Новое задание от оператора => Режим флотации 2: РУЧНОЙ"_qs});
}

TEST_F(FormControlSetTest, Set_ListsChangedEditsInLayoutOrderThenTheModesBySection) {
  m_form.Load(Block(FlagsFor(u"F2"_qs, kModeManual)));
  m_form.show();
  // Typed out of order, to show that the line keeps its own order.
  Type(u"TRRP2"_qs, Decimal("95.5"));
  Type(u"TRRS2"_qs, u"31"_qs);
  Type(u"ZRFL1"_qs, u"5"_qs);
  // Typed back to what it showed: still a change the operator made.
  Type(u"ZRFL2"_qs, u"10"_qs);
  Type(u"ZRRS1"_qs, u"120"_qs);
  Box(u"FL1A"_qs)->click();
  Box(u"FL2R"_qs)->click();
  Box(u"F1R"_qs)->click();
  PressSet();
  const QString expected =
      u"Новое задание от оператора => ZRFL1 = 5, ZRRS1 = 120, ZRFL2 = 10, TRRS2 = 31, "_qs + u"TRRP2 = "_qs +
      Decimal("95.5") + u", Режим флотации 1: РУЧНОЙ, Режим флокуляции 1: АВТОМАТ, "_qs +
      u"Режим флокуляции 2: РУЧНОЙ"_qs;
  EXPECT_EQ(m_posted, QStringList{expected});
  const SetpointValues setpoints = m_form.Setpoints();
  EXPECT_EQ(setpoints[kZRFL1], 5.0f);
  EXPECT_EQ(setpoints[kZRRS1], 120.0f);
  EXPECT_EQ(setpoints[kTRRS2], 31.0f);
  EXPECT_EQ(setpoints[kTRRP2], 95.5f);
}

TEST_F(FormControlSetTest, Set_TakesNumbersAsTypedWithoutLimits) {
  struct Case {
    QString Text;
    float Value;
  };
  const Case cases[] = {
      {u"-5"_qs, -5.0f},      {u"100000"_qs, 100000.0f}, {u" 7 "_qs, 7.0f}, {u"1e3"_qs, 1000.0f},
      {Decimal("3.5"), 3.5f}, {Decimal(".25"), 0.25f},   {u"+8"_qs, 8.0f},  {Decimal("1.5E-2"), 0.015f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Text.toStdString());
    m_posted.clear();
    m_form.Load(Block());
    Type(u"ZRRP1"_qs, c.Text);
    PressSet();
    EXPECT_EQ(m_form.Setpoints()[kZRRP1], c.Value);
    EXPECT_EQ(m_posted, QStringList{u"Новое задание от оператора => ZRRP1 = "_qs + c.Text});
  }
}

// Reading stops at the first text that is no number: the message, the values
// read before it kept, the rest as shown, and the window still closes with OK.
TEST_F(FormControlSetTest, Set_BadNumber_ShowsTheErrorKeepsEarlierValuesAndStillCloses) {
  const QChar wrong = SystemDecimalSeparator() == u'.' ? u',' : u'.';
  const QString cases[] = {
      u""_qs,      u"   "_qs,   u"12"_qs + wrong + u"5"_qs,
      u"abc"_qs,   u"12a"_qs,   u"0x10"_qs,
      u"$10"_qs,   u"nan"_qs,   u"inf"_qs,
      u"1e39"_qs,  u"-1e39"_qs, Decimal("1.2.3"),
      u"1 000"_qs,
  };
  for (const QString& text : cases) {
    SCOPED_TRACE(("\"" + text + "\"").toStdString());
    m_posted.clear();
    m_form.Load(Block(FlagsFor(u"F1"_qs, kModeManual)));
    // Read order: ZRRS1, ZRRS2, TRRS1, TRRS2, ZRRP1, ... TRFL2.
    Type(u"ZRRS2"_qs, u"44"_qs);
    Type(u"TRRS1"_qs, text);
    Type(u"ZRFL2"_qs, u"3"_qs);
    Box(u"FL1R"_qs)->click();
    MessageBoxSeen seen;
    AnswerMessageBox(QMessageBox::Ok, &seen);
    PressSet();
    EXPECT_TRUE(seen.shown);
    EXPECT_EQ(seen.title, u"Ошибка"_qs);
    EXPECT_EQ(seen.text, u"Одно или несколько чисел указаны неверно."_qs);
    EXPECT_EQ(seen.icon, QMessageBox::Critical);

    SetpointValues expected = kDefaultSetpoints;
    expected[kZRRS2] = 44;
    EXPECT_EQ(m_form.Setpoints(), expected);
    EXPECT_EQ(m_form.Modes(), FlagsFor(u"FL1"_qs, kModeManual, FlagsFor(u"F1"_qs, kModeManual)));
    // Only what reached the block is told as a new task.
    EXPECT_EQ(m_posted,
              QStringList{u"Новое задание от оператора => ZRRS2 = 44, Режим флокуляции 1: РУЧНОЙ"_qs});
  }
}

TEST_F(FormControlSetTest, Timer_EnablesTheEditsOfTheCheckedModeWithinATick) {
  auto* timer = m_form.findChild<QTimer*>(u"TimerUpdate"_qs);
  ASSERT_NE(timer, nullptr);
  EXPECT_EQ(timer->interval(), 250);
  EXPECT_FALSE(timer->isActive());

  m_form.Load(Block(FlagsFor(u"FL2"_qs, kModeManual)));
  // Loading already shows the right edits, before the first tick.
  const auto expectEnabled = [this](const std::map<QString, bool>& enabled) {
    for (const auto& [name, on] : enabled) EXPECT_EQ(Edit(name)->isEnabled(), on) << name.toStdString();
  };
  expectEnabled({{u"TRRS1"_qs, false},
                 {u"TRRP1"_qs, false},
                 {u"ZRRS1"_qs, true},
                 {u"ZRRP1"_qs, true},
                 {u"TRFL2"_qs, true},
                 {u"ZRFL2"_qs, false},
                 {u"TRFL1"_qs, false},
                 {u"ZRFL1"_qs, true}});

  m_form.show();
  EXPECT_TRUE(timer->isActive());
  Box(u"F1R"_qs)->click();
  Box(u"FL2A"_qs)->click();
  // The click itself changes nothing; the next tick does.
  EXPECT_FALSE(Edit(u"TRRS1"_qs)->isEnabled());
  ASSERT_TRUE(QTest::qWaitFor([&] { return Edit(u"TRRS1"_qs)->isEnabled(); }, 2000));
  expectEnabled({{u"TRRS1"_qs, true},
                 {u"TRRP1"_qs, true},
                 {u"ZRRS1"_qs, false},
                 {u"ZRRP1"_qs, false},
                 {u"TRRS2"_qs, false},
                 {u"ZRRS2"_qs, true},
                 {u"TRFL2"_qs, false},
                 {u"ZRFL2"_qs, true},
                 {u"TRFL1"_qs, false},
                 {u"ZRFL1"_qs, true}});

  m_form.hide();
  EXPECT_FALSE(timer->isActive());
}

TEST_F(FormControlSetTest, Exec_SetAcceptsAndCancelRejectsWithoutPosting) {
  m_form.Load(Block());
  WhenModalShows([this](QWidget&) {
    Type(u"ZRRS1"_qs, u"50"_qs);
    QTest::keyClick(Edit(u"ZRRS1"_qs), Qt::Key_Return);  // the default button
  });
  EXPECT_EQ(m_form.exec(), QDialog::Accepted);
  EXPECT_EQ(m_posted, QStringList{u"Новое задание от оператора => ZRRS1 = 50"_qs});

  m_posted.clear();
  m_form.Load(Block());
  WhenModalShows([this](QWidget&) {
    Type(u"ZRRS1"_qs, u"60"_qs);
    Box(u"F1A"_qs)->click();
    QTest::keyClick(&m_form, Qt::Key_Escape);
  });
  EXPECT_EQ(m_form.exec(), QDialog::Rejected);
  EXPECT_TRUE(m_posted.isEmpty());

  m_form.Load(Block());
  WhenModalShows([this](QWidget&) { Button(u"ButCancel"_qs)->click(); });
  EXPECT_EQ(m_form.exec(), QDialog::Rejected);
  EXPECT_TRUE(m_posted.isEmpty());
}

TEST_F(FormControlSetTest, Exec_AltDigitSwitchesThePage) {
  auto* pages = m_form.findChild<QTabWidget*>();
  ASSERT_NE(pages, nullptr);
  m_form.Load(Block());
  int pageAfterAlt2 = -1;
  int pageAfterAlt1 = -1;
  WhenModalShows([&](QWidget&) {
    m_form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_form));
    QTest::keyClick(&m_form, Qt::Key_2, Qt::AltModifier);
    pageAfterAlt2 = pages->currentIndex();
    QTest::keyClick(&m_form, Qt::Key_1, Qt::AltModifier);
    pageAfterAlt1 = pages->currentIndex();
    m_form.reject();
  });
  m_form.exec();
  EXPECT_EQ(pageAfterAlt2, 1);
  EXPECT_EQ(pageAfterAlt1, 0);
}

}  // namespace
