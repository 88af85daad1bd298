#include "ui/displays/formemul.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "common/inifile.h"
#include "configuration/config.h"
#include "console/consolecontroller.h"
#include "support/eventlogcapture.h"
#include "support/waitfor.h"

namespace {

const QString kDefaultAnswer1 = u"!02471111222233334444555566667777"_qs;
const QString kDefaultAnswer2 = u"!02477777666655554444333322221111"_qs;

// A real controller on a temporary folder with ports that do not exist:
// only emulation lets the read thread run.
class FormEmulTest : public testing::Test {
 protected:
  void SetUp() override {
    DrainEventLog();
    IniFile ini(m_home.filePath(u"flotation-console.INI"_qs));
    IniUpdate update(ini);
    ini.WriteInteger(u"System"_qs, u"AutoStartControl"_qs, 0);
    ini.WriteInteger(u"System"_qs, u"LanServer"_qs, 0);
    ini.WriteInteger(u"MySQL"_qs, u"Disabled"_qs, 1);
    ini.WriteString(u"COM"_qs, u"HardReadPort"_qs, m_home.filePath(u"no-port-in"_qs));
    ini.WriteString(u"COM"_qs, u"HardWritePort"_qs, m_home.filePath(u"no-port-out"_qs));
    update.Commit();
    m_controller.Open();
  }
  void TearDown() override { DrainEventLog(); }

  template <typename T>
  T* Find(const QString& name) const {
    auto* widget = m_form.findChild<T*>(name);
    EXPECT_NE(widget, nullptr) << name.toStdString();
    return widget;
  }
  QCheckBox* Flag() const { return Find<QCheckBox>(u"CheckBoxICP_emul_flag"_qs); }
  QLineEdit* Edit(int module) const { return Find<QLineEdit>(u"Edit7017_"_qs + QString::number(module)); }
  QPushButton* Button(const QString& name) const { return Find<QPushButton>(name); }
  const TConfig& Config() const { return m_controller.Config(); }

  QTemporaryDir m_home;
  TConsoleController m_controller{m_home.path()};
  TFormEmul m_form{m_controller};
};

TEST_F(FormEmulTest, IsAFixedWindowOnTopWithItsCaptions) {
  EXPECT_EQ(m_form.objectName(), u"FormEmul"_qs);
  EXPECT_EQ(m_form.windowTitle(), u"Эмулятор"_qs);
  EXPECT_TRUE(m_form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_EQ(m_form.minimumSize(), m_form.maximumSize());
  EXPECT_FALSE(m_form.isModal());
  EXPECT_EQ(Flag()->text(), u"Включить эмулятор модулей RIO"_qs);
  EXPECT_EQ(Find<QLabel>(u"Label7017_1"_qs)->text(), u"Ответ I-7017 №1:"_qs);
  EXPECT_EQ(Find<QLabel>(u"Label7017_2"_qs)->text(), u"Ответ I-7017 №2:"_qs);
  EXPECT_EQ(Button(u"ButApply"_qs)->text(), u"Применить"_qs);
  EXPECT_TRUE(Button(u"ButApply"_qs)->isDefault());
  EXPECT_EQ(Button(u"ButClose"_qs)->text(), u"Закрыть"_qs);
}

TEST_F(FormEmulTest, ApplySwitchesEmulationAndBothModulesAndTakesTheAnswers) {
  m_form.show();
  EXPECT_FALSE(Flag()->isChecked());
  EXPECT_EQ(Edit(1)->text(), kDefaultAnswer1);
  EXPECT_EQ(Edit(2)->text(), kDefaultAnswer2);

  Flag()->setChecked(true);
  Edit(1)->setText(u">00010002000300040005000600070008"_qs);
  Edit(2)->setText(u"?02"_qs);
  QTest::mouseClick(Button(u"ButApply"_qs), Qt::LeftButton);
  EXPECT_TRUE(m_controller.Snapshot().EmulationOn);
  EXPECT_TRUE(m_controller.Core().EmulationOn);
  EXPECT_TRUE(Config().EmulI7017Flag[0]);
  EXPECT_TRUE(Config().EmulI7017Flag[1]);
  EXPECT_EQ(Config().EmulI7017Answer[0].Get(), u">00010002000300040005000600070008"_qs);
  EXPECT_EQ(Config().EmulI7017Answer[1].Get(), u"?02"_qs);
  EXPECT_TRUE(m_form.isVisible());  // apply leaves the window open

  Flag()->setChecked(false);
  QTest::mouseClick(Button(u"ButApply"_qs), Qt::LeftButton);
  EXPECT_FALSE(m_controller.Snapshot().EmulationOn);
  EXPECT_FALSE(Config().EmulI7017Flag[0]);
  EXPECT_FALSE(Config().EmulI7017Flag[1]);
  EXPECT_EQ(Config().EmulI7017Answer[1].Get(), u"?02"_qs);

  // Saved with the configuration.
  ASSERT_TRUE(m_controller.SaveConfig());
  IniFile ini(m_home.filePath(u"flotation-console.INI"_qs));
  EXPECT_EQ(ini.ReadString(u"Emul"_qs, u"emul_I7017_2_rez"_qs, QString()), u"?02"_qs);
}

TEST_F(FormEmulTest, CloseAndEscOnlyHideAndTheNextShowLoadsWhatIsInForce) {
  m_form.show();
  Flag()->setChecked(true);
  Edit(1)->setText(u"typed but not applied"_qs);
  QTest::mouseClick(Button(u"ButClose"_qs), Qt::LeftButton);
  EXPECT_FALSE(m_form.isVisible());
  EXPECT_FALSE(m_controller.Snapshot().EmulationOn);
  EXPECT_EQ(Config().EmulI7017Answer[0].Get(), kDefaultAnswer1);

  m_controller.SetEmulationOn(true);  // the command line's or another window's doing
  m_form.show();
  EXPECT_TRUE(Flag()->isChecked());
  EXPECT_EQ(Edit(1)->text(), kDefaultAnswer1);

  QTest::keyClick(Edit(2), Qt::Key_Escape);
  EXPECT_FALSE(m_form.isVisible());
  EXPECT_TRUE(m_controller.Snapshot().EmulationOn);
}

TEST_F(FormEmulTest, RunningReadThreadTakesTheAppliedAnswer) {
  m_form.show();
  Flag()->setChecked(true);
  QTest::mouseClick(Button(u"ButApply"_qs), Qt::LeftButton);
  ASSERT_TRUE(m_controller.StartThread(WorkerKind::Read));
  ASSERT_TRUE(WaitFor([&] { return m_controller.Refresh().AnswerText[0] == kDefaultAnswer1; }));

  Edit(1)->setText(u"!0FFF0000000000000000000000000000"_qs);
  QTest::keyClick(Edit(1), Qt::Key_Return);  // Enter applies
  ASSERT_TRUE(WaitFor(
      [&] { return m_controller.Refresh().AnswerText[0] == u"!0FFF0000000000000000000000000000"_qs; }));
  EXPECT_FLOAT_EQ(m_controller.Snapshot().RawValues[0], 4095.0f);
  EXPECT_EQ(m_controller.Snapshot().Thread(WorkerKind::Read).ErrorCount, 0);
  EXPECT_TRUE(m_controller.StopThread(WorkerKind::Read));
}

}  // namespace
