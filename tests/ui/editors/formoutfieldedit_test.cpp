#include "ui/editors/formoutfieldedit.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <optional>
#include <vector>

#include "common/inifile.h"
#include "support/modaldialogs.h"

namespace {

// Stands in for the colour and font pickers and the error box.
struct FakeDialogs {
  std::vector<TColor> colorsOffered;
  std::optional<TColor> nextColor;
  std::vector<QFont> fontsOffered;
  std::optional<QFont> nextFont;
  QStringList errors;

  EditorDialogs Make() {
    EditorDialogs dialogs;
    dialogs.PickColor = [this](TColor initial, QWidget*) {
      colorsOffered.push_back(initial);
      return nextColor;
    };
    dialogs.PickFont = [this](const QFont& initial, QWidget*) {
      fontsOffered.push_back(initial);
      return nextFont;
    };
    dialogs.ShowError = [this](QWidget*, const QString& text) { errors << text; };
    return dialogs;
  }
};

const ElementPen kTargetPen(clLime, 1);
const ElementFont kTargetFont(u"Times New Roman"_qs, 16, clYellow, true);
constexpr TColor kTargetFill = clBlack;

class FormOutFieldEditTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.isValid());
    m_diagram.setObjectName(u"FormMnemo"_qs);
    m_target = new TOutField(&m_diagram);
    m_target->setObjectName(u"OutFieldPLF1"_qs);
    m_target->SetConfigName(m_dir.filePath(u"FormMnemo.INI"_qs));
    m_target->SetOutFormat(u"###0 м3/ч"_qs);
    m_target->SetPen(kTargetPen);
    m_target->SetFont(kTargetFont);
    m_target->SetBrushColor(kTargetFill);
    m_editor.SetTarget(m_target);
  }

  QPushButton& Button(const char* name) {
    auto* button = m_editor.findChild<QPushButton*>(QString::fromLatin1(name));
    EXPECT_NE(button, nullptr) << name;
    return *button;
  }
  QLineEdit& Edit1() { return *m_editor.findChild<QLineEdit*>(u"Edit1"_qs); }
  TOutField& Preview() { return *m_editor.findChild<TOutField*>(u"TestOutField"_qs); }
  void EnterWidth(const QString& text) {
    Edit1().setText(text);
    QTest::keyClick(&Edit1(), Qt::Key_Return);
  }
  void ExpectTargetAsAtStart() const {
    EXPECT_EQ(m_target->Pen(), kTargetPen);
    EXPECT_EQ(m_target->Font(), kTargetFont);
    EXPECT_EQ(m_target->Brush().Color, kTargetFill);
  }
  // Gives the preview a new fill, frame colour, frame width and font.
  void RestylePreview() {
    m_dialogs.nextColor = clRed;
    Button("ButBrushColor").click();
    m_dialogs.nextColor = clBlue;
    Button("ButPenColor").click();
    QFont arial(u"Arial"_qs);
    arial.setPixelSize(20);
    m_dialogs.nextFont = arial;
    Button("ButFont").click();
    EnterWidth(u"4"_qs);
  }
  IniFile Ini() const { return IniFile(m_target->ConfigName()); }

  QTemporaryDir m_dir;
  QWidget m_diagram;
  TOutField* m_target = nullptr;
  FakeDialogs m_dialogs;
  TFormOutFieldEdit m_editor{nullptr, m_dialogs.Make()};
};

TEST_F(FormOutFieldEditTest, Window_HasItsCaptionPreviewAndButtons) {
  EXPECT_EQ(m_editor.objectName(), u"FormOutFieldEdit"_qs);
  EXPECT_EQ(m_editor.windowTitle(), u"Свойства поля вывода:"_qs);
  EXPECT_TRUE(m_editor.windowFlags().testFlag(Qt::Tool));
  EXPECT_FALSE(m_editor.windowFlags().testFlag(Qt::WindowCloseButtonHint));
  EXPECT_EQ(m_editor.font().pixelSize(), 11);
  EXPECT_EQ(Preview().size(), QSize(116, 34));
  EXPECT_EQ(Preview().Caption(), u"297 т"_qs);
  EXPECT_EQ(Preview().OutFormat(), u"##0 т"_qs);
  EXPECT_EQ(Preview().Pen(), ElementPen(clGray, 3));
  EXPECT_EQ(Preview().Font().Name(), u"MS Sans Serif"_qs);
  EXPECT_EQ(Preview().Font().PixelSize(), 16);
  EXPECT_TRUE(Preview().Font().Bold());
  EXPECT_EQ(Edit1().text(), u"2"_qs);
  const std::pair<const char*, QString> buttons[] = {
      {"ButBrushColor", u"Цвет фона"_qs}, {"ButPenColor", u"Цвет границы"_qs},
      {"ButFont", u"Шрифт"_qs},           {"ButUse", u"Применить"_qs},
      {"BitBtn2", u"Отменить"_qs},        {"BitBtn3", u"Сохранить для всей группы"_qs}};
  for (const auto& [name, text] : buttons) EXPECT_EQ(Button(name).text(), text) << name;
}

TEST_F(FormOutFieldEditTest, Opening_PreviewTakesTargetsStoredStyle) {
  m_editor.show();
  EXPECT_EQ(Preview().Pen(), kTargetPen);
  EXPECT_EQ(Preview().Font(), kTargetFont);
  EXPECT_EQ(Preview().Brush().Color, kTargetFill);
  EXPECT_EQ(Preview().ConfigName(), m_target->ConfigName());
  EXPECT_EQ(Preview().Caption(), u"297 т"_qs);
  EXPECT_EQ(Edit1().text(), u"1"_qs);
  EXPECT_EQ(Ini().ReadInteger(u"OutFieldPLF1"_qs, u"PenColor"_qs, -1), static_cast<int>(clLime));
}

TEST_F(FormOutFieldEditTest, CancelAtOnce_LeavesTargetAndItsStoredStyle) {
  WhenModalShows([this](QWidget&) { Button("BitBtn2").click(); });
  EXPECT_EQ(m_editor.exec(), QDialog::Rejected);
  ExpectTargetAsAtStart();
  const IniFile ini = Ini();
  EXPECT_EQ(ini.ReadInteger(u"OutFieldPLF1"_qs, u"PenColor"_qs, -1), static_cast<int>(clLime));
  EXPECT_EQ(ini.ReadInteger(u"OutFieldPLF1"_qs, u"BrushColor"_qs, -1), static_cast<int>(kTargetFill));
  EXPECT_EQ(ini.ReadString(u"OutFieldPLF1"_qs, u"FontName"_qs, {}), u"Times New Roman"_qs);
}

TEST_F(FormOutFieldEditTest, ApplyThenCancel_RestoresTheStyleOfTheOpening) {
  m_editor.show();
  RestylePreview();
  EXPECT_EQ(m_dialogs.colorsOffered, (std::vector<TColor>{kTargetFill, clLime}));
  ASSERT_EQ(m_dialogs.fontsOffered.size(), 1u);
  EXPECT_EQ(m_dialogs.fontsOffered[0].pixelSize(), 16);
  ExpectTargetAsAtStart();  // the preview only, so far

  Button("ButUse").click();
  EXPECT_EQ(m_target->Pen(), ElementPen(clBlue, 4));
  EXPECT_EQ(m_target->Brush().Color, clRed);
  EXPECT_EQ(m_target->Font().Name(), u"Arial"_qs);
  EXPECT_EQ(m_target->Font().PixelSize(), 20);
  EXPECT_EQ(m_target->Font().Color(), clYellow);  // the font dialog has no colour
  EXPECT_EQ(m_target->OutFormat(), u"###0 м3/ч"_qs);
  // The preview's style went through the target's file.
  EXPECT_EQ(Ini().ReadInteger(u"TestOutField"_qs, u"PenWidth"_qs, -1), 4);

  Button("BitBtn2").click();
  EXPECT_FALSE(m_editor.isVisible());
  EXPECT_EQ(m_editor.result(), QDialog::Rejected);
  ExpectTargetAsAtStart();
}

TEST_F(FormOutFieldEditTest, SaveForGroup_StoresTargetAndClosesWithOk) {
  WhenModalShows([this](QWidget&) {
    RestylePreview();
    Button("ButUse").click();
    Button("BitBtn3").click();
  });
  EXPECT_EQ(m_editor.exec(), QDialog::Accepted);
  const IniFile ini = Ini();
  EXPECT_EQ(ini.ReadInteger(u"OutFieldPLF1"_qs, u"PenWidth"_qs, -1), 4);
  EXPECT_EQ(ini.ReadInteger(u"OutFieldPLF1"_qs, u"BrushColor"_qs, -1), static_cast<int>(clRed));
  EXPECT_EQ(ini.ReadString(u"OutFieldPLF1"_qs, u"FontName"_qs, {}), u"Arial"_qs);
}

TEST_F(FormOutFieldEditTest, SaveForGroupWithoutApply_StoresTheTargetAsItIs) {
  m_editor.show();
  RestylePreview();
  Button("BitBtn3").click();
  EXPECT_EQ(m_editor.result(), QDialog::Accepted);
  ExpectTargetAsAtStart();
  EXPECT_EQ(Ini().ReadInteger(u"OutFieldPLF1"_qs, u"PenWidth"_qs, -1), 1);
}

TEST_F(FormOutFieldEditTest, PickersCancelled_ChangeNothing) {
  m_editor.show();
  Button("ButBrushColor").click();
  Button("ButPenColor").click();
  Button("ButFont").click();
  EXPECT_EQ(Preview().Pen(), kTargetPen);
  EXPECT_EQ(Preview().Font(), kTargetFont);
  EXPECT_EQ(Preview().Brush().Color, kTargetFill);
}

TEST_F(FormOutFieldEditTest, BadWidth_IsRefusedAndPreviewKeepsItsWidth) {
  m_editor.show();
  for (const QString& bad : {u"abc"_qs, QString(), u"-5"_qs, u"10000"_qs}) {
    m_dialogs.errors.clear();
    EnterWidth(bad);
    EXPECT_EQ(m_dialogs.errors.size(), 1) << bad.toStdString();
    EXPECT_EQ(Preview().Pen().Width(), 1) << bad.toStdString();
  }
  EnterWidth(u"3"_qs);
  EXPECT_EQ(Preview().Pen().Width(), 3);
  EXPECT_TRUE(m_editor.isVisible());
}

TEST_F(FormOutFieldEditTest, UnwritableFile_ApplyIsReportedAndStaleSectionNotApplied) {
  m_editor.show();
  // The folder goes away while the window is open: the preview's section
  // cannot be written, so the target must not load whatever stood there.
  m_target->SetConfigName(m_dir.filePath(u"gone/FormMnemo.INI"_qs));
  Preview().SetConfigName(m_target->ConfigName());
  RestylePreview();
  m_dialogs.errors.clear();
  Button("ButUse").click();
  EXPECT_EQ(m_dialogs.errors.size(), 1);
  ExpectTargetAsAtStart();
  Button("BitBtn3").click();
  EXPECT_EQ(m_dialogs.errors.size(), 2);
  EXPECT_TRUE(m_editor.isVisible());
}

TEST_F(FormOutFieldEditTest, ReopenedOnAnotherTarget_PreviewFollowsIt) {
  m_editor.show();
  Button("BitBtn2").click();
  auto* other = new TOutField(&m_diagram);
  other->setObjectName(u"OutFieldTRRS1"_qs);
  other->SetConfigName(m_target->ConfigName());
  other->SetPen(ElementPen(clAqua, 6));
  m_editor.SetTarget(other);
  m_editor.show();
  EXPECT_EQ(Preview().Pen(), ElementPen(clAqua, 6));
  EXPECT_EQ(Edit1().text(), u"6"_qs);
}

}  // namespace
