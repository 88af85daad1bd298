#include "ui/editors/formcolorconfig.h"

#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <optional>
#include <vector>

#include "support/modaldialogs.h"
#include "ui/common/elementeditmode.h"
#include "ui/elements/outfield.h"

namespace {

constexpr TColor kOn[kColorGroupCount] = {0x102030, 0x112233, 0x405060, 0x00A0B0, 0x7F0001, 0x010203};
constexpr TColor kOff[kColorGroupCount] = {0x808080, 0x909090, 0xA0A0A0, 0xB0B0B0, 0xC0C0C0, 0xD0D0D0};

class FormColorConfigTest : public testing::Test {
 protected:
  void SetUp() override {
    SetElementEditMode(false);
    for (size_t i = 0; i < kColorGroupCount; ++i) {
      m_config.OnColors[i] = kOn[i];
      m_config.OffColors[i] = kOff[i];
    }
    m_form = std::make_unique<TFormColorConfig>(
        m_config,
        [this] {
          m_calls.push_back("save");
          m_savedOn = m_config.OnColors[0];
          return m_saveResult;
        },
        ColorConfigHooks{[this] { m_calls.push_back(ElementEditMode() ? "edit on" : "edit off"); },
                         [this] { m_calls.push_back("recolour"); }},
        nullptr, Dialogs());
  }
  void TearDown() override { SetElementEditMode(false); }

  EditorDialogs Dialogs() {
    EditorDialogs dialogs;
    dialogs.PickColor = [this](TColor initial, QWidget*) {
      m_colorsOffered.push_back(initial);
      return m_nextColor;
    };
    dialogs.ShowError = [this](QWidget*, const QString& text) { m_errors << text; };
    return dialogs;
  }
  TOutField& Sample(const QString& name) {
    auto* sample = m_form->findChild<TOutField*>(name);
    EXPECT_NE(sample, nullptr) << name.toStdString();
    return *sample;
  }
  QPushButton& Button(const char* name) {
    auto* button = m_form->findChild<QPushButton*>(QString::fromLatin1(name));
    EXPECT_NE(button, nullptr) << name;
    return *button;
  }
  void Show() {
    m_form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_form.get()));
  }

  TConfig m_config;
  std::vector<std::string> m_calls;
  bool m_saveResult = true;
  TColor m_savedOn = 0;
  std::vector<TColor> m_colorsOffered;
  std::optional<TColor> m_nextColor;
  QStringList m_errors;
  std::unique_ptr<TFormColorConfig> m_form;
};

TEST_F(FormColorConfigTest, Window_HasItsTableGroupBoxAndButtons) {
  EXPECT_EQ(m_form->objectName(), u"FormColorConfig"_qs);
  EXPECT_EQ(m_form->windowTitle(), u"Настройки оформления"_qs);
  EXPECT_EQ(m_form->size(), QSize(606, 341));
  EXPECT_EQ(m_form->font().pixelSize(), 16);
  EXPECT_TRUE(m_form->font().bold());
  EXPECT_EQ(m_form->palette().color(QPalette::WindowText), ColorFromTColor(clNavy));

  QStringList texts;
  for (const QLabel* label : m_form->findChildren<QLabel*>()) {
    texts << label->text();
    EXPECT_LE(label->sizeHint().width(), label->width()) << label->text().toStdString();  // not clipped
    EXPECT_TRUE(m_form->rect().contains(label->geometry())) << label->text().toStdString();
  }
  for (const QString& text :
       {u"Группа компонентов"_qs, u"Цвет в активном режиме"_qs, u"Цвет в режиме выключено"_qs, u"Пульпа"_qs,
        u"Собиратель"_qs, u"Вспениватель"_qs, u"Концентрат"_qs, u"Флотоотходы"_qs, u"Флокулянт"_qs}) {
    EXPECT_TRUE(texts.contains(text)) << text.toStdString();
  }
  for (int i = 1; i <= kColorGroupCount; ++i) {
    for (const QString& name : {u"OutFieldOn%1"_qs.arg(i), u"OutFieldOff%1"_qs.arg(i)}) {
      TOutField& sample = Sample(name);
      EXPECT_EQ(sample.size(), QSize(156, 28)) << name.toStdString();
      EXPECT_EQ(sample.Caption(), u" "_qs);
      EXPECT_EQ(sample.cursor().shape(), Qt::PointingHandCursor);
      EXPECT_EQ(sample.toolTip(), u"Выбрать другой цвет..."_qs);
      EXPECT_TRUE(m_form->rect().contains(sample.geometry())) << name.toStdString();
    }
  }
  auto* group = m_form->findChild<QGroupBox*>();
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(group->title(), u"Режим интерактивной настройки других компонентов"_qs);
  EXPECT_EQ(Button("ButColorConfigOn").text(), u"Включить"_qs);
  EXPECT_TRUE(Button("ButColorConfigOn").isDefault());
  EXPECT_EQ(Button("ButColorConfigOff").text(), u"Выключить"_qs);
  EXPECT_EQ(Button("ButApplyNewColors").text(), u"Принять изменения"_qs);
  EXPECT_EQ(Button("ButClose").text(), u"Закрыть"_qs);
}

TEST_F(FormColorConfigTest, Showing_SamplesTakeTheConfiguredColours) {
  Show();
  for (int i = 0; i < kColorGroupCount; ++i) {
    TOutField& on = Sample(u"OutFieldOn%1"_qs.arg(i + 1));
    TOutField& off = Sample(u"OutFieldOff%1"_qs.arg(i + 1));
    EXPECT_EQ(on.Brush().Color, kOn[i]);
    EXPECT_EQ(off.Brush().Color, kOff[i]);
    const QImage picture = on.grab().toImage();
    EXPECT_EQ(picture.pixelColor(78, 14), ColorFromTColor(kOn[i])) << i;
  }
}

TEST_F(FormColorConfigTest, ClickOnSample_PicksColourForThatSampleOnly) {
  Show();
  m_nextColor = clFuchsia;
  QTest::mouseClick(&Sample(u"OutFieldOff3"_qs), Qt::LeftButton, {}, QPoint(20, 10));
  EXPECT_EQ(m_colorsOffered, std::vector<TColor>{kOff[2]});
  EXPECT_EQ(Sample(u"OutFieldOff3"_qs).Brush().Color, clFuchsia);
  EXPECT_EQ(m_config.OffColors[2].Get(), kOff[2]);  // not before "Принять изменения"
  EXPECT_TRUE(m_calls.empty());

  m_nextColor.reset();  // the picker cancelled
  QTest::mouseClick(&Sample(u"OutFieldOn1"_qs), Qt::LeftButton);
  EXPECT_EQ(Sample(u"OutFieldOn1"_qs).Brush().Color, kOn[0]);
}

TEST_F(FormColorConfigTest, Accept_WritesColoursThenSavesThenRecolours) {
  Show();
  m_nextColor = clLime;
  QTest::mouseClick(&Sample(u"OutFieldOn1"_qs), Qt::LeftButton);
  m_nextColor = clRed;
  QTest::mouseClick(&Sample(u"OutFieldOff6"_qs), Qt::LeftButton);
  Button("ButApplyNewColors").click();
  EXPECT_EQ(m_calls, (std::vector<std::string>{"save", "recolour"}));
  EXPECT_EQ(m_savedOn, clLime);  // the configuration held the new colour when it was saved
  EXPECT_EQ(m_config.OnColors[0].Get(), clLime);
  EXPECT_EQ(m_config.OffColors[5].Get(), clRed);
  for (size_t i = 1; i < kColorGroupCount; ++i) EXPECT_EQ(m_config.OnColors[i].Get(), kOn[i]);
  EXPECT_TRUE(m_form->isVisible());
}

TEST_F(FormColorConfigTest, AcceptWithUnchangedSamples_StillSavesAndRecolours) {
  Show();
  Button("ButApplyNewColors").click();
  EXPECT_EQ(m_calls, (std::vector<std::string>{"save", "recolour"}));
  for (size_t i = 0; i < kColorGroupCount; ++i) {
    EXPECT_EQ(m_config.OnColors[i].Get(), kOn[i]);
    EXPECT_EQ(m_config.OffColors[i].Get(), kOff[i]);
  }
}

TEST_F(FormColorConfigTest, AcceptWhenSavingFails_TellsAndStillRecolours) {
  m_saveResult = false;
  Show();
  Button("ButApplyNewColors").click();
  EXPECT_EQ(m_errors.size(), 1);
  EXPECT_EQ(m_calls, (std::vector<std::string>{"save", "recolour"}));
}

TEST_F(FormColorConfigTest, SwitchOnTwiceThenOff_SetsModeAndCallsHookEachTime) {
  Show();
  Button("ButColorConfigOn").click();
  EXPECT_TRUE(ElementEditMode());
  Button("ButColorConfigOn").click();
  Button("ButColorConfigOff").click();
  EXPECT_FALSE(ElementEditMode());
  EXPECT_EQ(m_calls, (std::vector<std::string>{"edit on", "edit on", "edit off"}));
  EXPECT_TRUE(m_form->isVisible());
}

TEST_F(FormColorConfigTest, EnterSwitchesOnAndEscapeSwitchesOffWithoutClosing) {
  Show();
  QApplication::setActiveWindow(m_form.get());
  QTest::keyClick(m_form.get(), Qt::Key_Return);
  EXPECT_TRUE(ElementEditMode());
  QTest::keyClick(m_form.get(), Qt::Key_Escape);
  EXPECT_FALSE(ElementEditMode());
  EXPECT_TRUE(m_form->isVisible());
  EXPECT_EQ(m_calls, (std::vector<std::string>{"edit on", "edit off"}));
}

TEST_F(FormColorConfigTest, Close_EndsTheModalWindow) {
  WhenModalShows([this](QWidget&) { Button("ButClose").click(); });
  m_form->exec();
  EXPECT_FALSE(m_form->isVisible());
  EXPECT_TRUE(m_calls.empty());
}

TEST_F(FormColorConfigTest, ReopenedAfterConfigChanged_ShowsTheNewColours) {
  Show();
  m_form->hide();
  m_config.OnColors[3] = clBlue;
  Show();
  EXPECT_EQ(Sample(u"OutFieldOn4"_qs).Brush().Color, clBlue);
}

TEST_F(FormColorConfigTest, EmptyHooksAndSaver_AreFine) {
  TFormColorConfig form(m_config, {}, {}, nullptr, Dialogs());
  form.show();
  form.findChild<QPushButton*>(u"ButApplyNewColors"_qs)->click();
  form.findChild<QPushButton*>(u"ButColorConfigOn"_qs)->click();
  EXPECT_TRUE(ElementEditMode());
  EXPECT_TRUE(m_errors.isEmpty());
}

}  // namespace
