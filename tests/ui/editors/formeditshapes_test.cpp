// The polygon, pump and barrel editors: one file pattern, three element classes.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "common/inifile.h"
#include "support/modaldialogs.h"
#include "ui/editors/elementeditors.h"
#include "ui/editors/formarrowedit.h"
#include "ui/editors/formeditbarrel.h"
#include "ui/editors/formeditpoligon.h"
#include "ui/editors/formeditpump.h"
#include "ui/editors/formoutfieldedit.h"

namespace {

struct FakeDialogs {
  std::vector<TColor> colorsOffered;
  std::optional<TColor> nextColor;
  QStringList errors;

  EditorDialogs Make() {
    EditorDialogs dialogs;
    dialogs.PickColor = [this](TColor initial, QWidget*) {
      colorsOffered.push_back(initial);
      return nextColor;
    };
    dialogs.ShowError = [this](QWidget*, const QString& text) { errors << text; };
    return dialogs;
  }
};

QPushButton& Button(QWidget& editor, const char* name) {
  auto* button = editor.findChild<QPushButton*>(QString::fromLatin1(name));
  EXPECT_NE(button, nullptr) << name;
  return *button;
}

QLineEdit& Edit1(QWidget& editor) {
  return *editor.findChild<QLineEdit*>(u"Edit1"_qs);
}

void EnterWidth(QWidget& editor, const QString& text) {
  Edit1(editor).setText(text);
  QTest::keyClick(&Edit1(editor), Qt::Key_Return);
}

class EditShapesTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.isValid());
    m_diagram.setObjectName(u"FormMnemo"_qs);
  }
  QString StyleFile() const { return m_dir.filePath(u"FormMnemo.INI"_qs); }
  IniFile Ini() const { return IniFile(StyleFile()); }

  QTemporaryDir m_dir;
  QWidget m_diagram;
  FakeDialogs m_dialogs;
};

TEST_F(EditShapesTest, Windows_HaveTheirCaptionsPreviewsAndButtons) {
  struct Case {
    QDialog* Editor;
    QString Name;
    QString Title;
    QString PreviewName;
    QSize PreviewSize;
    QString WidthCaption;
    std::vector<std::pair<const char*, QString>> Buttons;
  };
  TFormEditPoligon poligon(nullptr, m_dialogs.Make());
  TFormEditPump pump(nullptr, m_dialogs.Make());
  TFormEditBarrel barrel(nullptr, m_dialogs.Make());
  const Case cases[] = {
      {&poligon,
       u"FormEditPoligon"_qs,
       u"Свойства многоугольника:"_qs,
       u"TestPoligon"_qs,
       QSize(113, 155),
       u"Толщина стенок:"_qs,
       {{"ButPenColor", u"Цвет стенок"_qs}, {"ButBrushColor", u"Цвет заливки"_qs}}},
      {&pump,
       u"FormEditPump"_qs,
       u"Свойства насоса:"_qs,
       u"TestPump"_qs,
       QSize(110, 231),
       u"Толщина стенок:"_qs,
       {{"ButPenColor", u"Цвет стенок"_qs}, {"ButBrushColor", u"Цвет заливки"_qs}}},
      {&barrel,
       u"FormEditBarrel"_qs,
       u"Свойства индикатора уровня"_qs,
       u"TestBarrel"_qs,
       QSize(121, 228),
       u"Толщина стенок:"_qs,
       {{"ButPenColor", u"Цвет стенок"_qs},
        {"ButDownColor", u"Цвет внизу"_qs},
        {"ButUpColor", u"Цвет вверху"_qs}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name.toStdString());
    EXPECT_EQ(c.Editor->objectName(), c.Name);
    EXPECT_EQ(c.Editor->windowTitle(), c.Title);
    EXPECT_TRUE(c.Editor->windowFlags().testFlag(Qt::Tool));
    EXPECT_FALSE(c.Editor->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(c.Editor->windowFlags().testFlag(Qt::WindowSystemMenuHint));
    EXPECT_EQ(c.Editor->font().pixelSize(), 13);
    EXPECT_EQ(c.Editor->palette().color(QPalette::WindowText), ColorFromTColor(clNavy));
    QWidget* preview = c.Editor->findChild<QWidget*>(c.PreviewName);
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->size(), c.PreviewSize);
    auto* caption = c.Editor->findChild<QLabel*>(u"LabelWidth"_qs);
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(caption->text(), c.WidthCaption);
    for (const auto& [name, text] : c.Buttons) EXPECT_EQ(Button(*c.Editor, name).text(), text) << name;
    EXPECT_EQ(Button(*c.Editor, "ButUse").text(), u"Применить"_qs);
    EXPECT_EQ(Button(*c.Editor, "BitBtn2").text(), u"Отменить"_qs);
    EXPECT_EQ(Button(*c.Editor, "BitBtn3").text(), u"Сохранить для всей группы"_qs);
  }
  EXPECT_EQ(poligon.Preview()->PointList(),
            (QStringList{u"50; 0"_qs, u"75;75"_qs, u"0; 50"_qs, u"75;25"_qs, u"50;100"_qs, u"25;25"_qs,
                         u"100;50"_qs, u"25;75"_qs}));
  EXPECT_EQ(poligon.Preview()->ValidPointCount(), 8);
  EXPECT_EQ(poligon.Preview()->Brush().Color, clYellow);
  EXPECT_EQ(poligon.Preview()->Pen().Color(), clRed);
  EXPECT_EQ(pump.Preview()->Brush().Color, clYellow);
  EXPECT_EQ(pump.Preview()->Pen(), ElementPen(clRed, 2));
  const TBarrel& testBarrel = *barrel.Preview();
  EXPECT_EQ(testBarrel.Color(), clGray);
  EXPECT_EQ(testBarrel.UpColor(), clAqua);
  EXPECT_EQ(testBarrel.DownColor(), clNavy);
  EXPECT_EQ(testBarrel.MaxLevel(), 10);
  EXPECT_EQ(testBarrel.WaterLevel(), 8);
  EXPECT_EQ(testBarrel.Pen(), ElementPen(clYellow, 10));
  EXPECT_TRUE(m_dialogs.errors.isEmpty());  // the star parses
}

TEST_F(EditShapesTest, Poligon_ApplyThenCancelRestoresAndCancelAtOnceKeepsFile) {
  auto* target = new TPoligon(&m_diagram);
  target->setObjectName(u"Poligon3"_qs);
  target->SetConfigName(StyleFile());
  target->SetPen(ElementPen(clWhite, 1));
  target->SetBrushColor(clTeal);
  TFormEditPoligon editor(nullptr, m_dialogs.Make());
  editor.SetTarget(target);

  WhenModalShows([&](QWidget&) { Button(editor, "BitBtn2").click(); });
  EXPECT_EQ(editor.exec(), QDialog::Rejected);
  EXPECT_EQ(target->Brush().Color, clTeal);
  EXPECT_EQ(Ini().ReadInteger(u"Poligon3"_qs, u"BrushColor"_qs, -1), static_cast<int>(clTeal));

  editor.show();
  EXPECT_EQ(editor.Preview()->Brush().Color, clTeal);
  EXPECT_EQ(editor.Preview()->PointList().size(), 8);  // the star stays; only the style travels
  m_dialogs.nextColor = clMaroon;
  Button(editor, "ButBrushColor").click();
  m_dialogs.nextColor = clLime;
  Button(editor, "ButPenColor").click();
  EnterWidth(editor, u"3"_qs);
  Button(editor, "ButUse").click();
  EXPECT_EQ(target->Brush().Color, clMaroon);
  EXPECT_EQ(target->Pen(), ElementPen(clLime, 3));
  Button(editor, "BitBtn2").click();
  EXPECT_EQ(target->Brush().Color, clTeal);
  EXPECT_EQ(target->Pen(), ElementPen(clWhite, 1));
}

TEST_F(EditShapesTest, Pump_SaveForGroupIsTheOnlyWayToOk) {
  auto* target = new TPump(&m_diagram);
  target->setObjectName(u"Pump1"_qs);
  target->SetConfigName(StyleFile());
  TFormEditPump editor(nullptr, m_dialogs.Make());
  editor.SetTarget(target);

  editor.show();
  EXPECT_EQ(Edit1(editor).text(), u"1"_qs);
  m_dialogs.nextColor = clSilver;
  Button(editor, "ButBrushColor").click();
  EXPECT_EQ(m_dialogs.colorsOffered, std::vector<TColor>{clYellow});
  Button(editor, "ButUse").click();
  EXPECT_TRUE(editor.isVisible());  // applying does not close
  EXPECT_EQ(target->Brush().Color, clSilver);
  QTest::keyClick(&Edit1(editor), Qt::Key_Escape);
  EXPECT_EQ(editor.result(), QDialog::Rejected);
  EXPECT_EQ(target->Brush().Color, clYellow);

  WhenModalShows([&](QWidget&) {
    m_dialogs.nextColor = clSilver;
    Button(editor, "ButBrushColor").click();
    EnterWidth(editor, u"5"_qs);
    Button(editor, "ButUse").click();
    Button(editor, "BitBtn3").click();
  });
  EXPECT_EQ(editor.exec(), QDialog::Accepted);
  EXPECT_EQ(target->Pen().Width(), 5);
  EXPECT_EQ(Ini().ReadInteger(u"Pump1"_qs, u"BrushColor"_qs, -1), static_cast<int>(clSilver));
  EXPECT_EQ(Ini().ReadInteger(u"Pump1"_qs, u"PenWidth"_qs, -1), 5);
}

TEST_F(EditShapesTest, Barrel_ColoursAndWallsTravelToTargetAndBack) {
  auto* target = new TBarrel(&m_diagram);
  target->setObjectName(u"Barrel1"_qs);
  target->SetConfigName(StyleFile());
  target->SetUpColor(clBlue);
  target->SetDownColor(clNavy);
  target->SetPen(ElementPen(clBlack, 1));
  TFormEditBarrel editor(nullptr, m_dialogs.Make());
  editor.SetTarget(target);

  editor.show();
  EXPECT_EQ(editor.Preview()->UpColor(), clBlue);
  EXPECT_EQ(editor.Preview()->Pen(), ElementPen(clBlack, 1));
  m_dialogs.nextColor = clRed;
  Button(editor, "ButUpColor").click();
  m_dialogs.nextColor = clGreen;
  Button(editor, "ButDownColor").click();
  m_dialogs.nextColor = clWhite;
  Button(editor, "ButPenColor").click();
  EXPECT_EQ(m_dialogs.colorsOffered, (std::vector<TColor>{clBlue, clNavy, clBlack}));
  EnterWidth(editor, u"4"_qs);
  Button(editor, "ButUse").click();
  EXPECT_EQ(target->UpColor(), clRed);
  EXPECT_EQ(target->DownColor(), clGreen);
  EXPECT_EQ(target->Pen(), ElementPen(clWhite, 4));

  Button(editor, "BitBtn2").click();
  EXPECT_EQ(target->UpColor(), clBlue);
  EXPECT_EQ(target->DownColor(), clNavy);
  EXPECT_EQ(target->Pen(), ElementPen(clBlack, 1));
}

TEST_F(EditShapesTest, BadWidth_IsRefusedInEveryShapeEditor) {
  TFormEditPoligon poligon(nullptr, m_dialogs.Make());
  TFormEditPump pump(nullptr, m_dialogs.Make());
  TFormEditBarrel barrel(nullptr, m_dialogs.Make());
  const std::pair<QDialog*, std::function<int()>> editors[] = {
      {&poligon, [&] { return poligon.Preview()->Pen().Width(); }},
      {&pump, [&] { return pump.Preview()->Pen().Width(); }},
      {&barrel, [&] { return barrel.Preview()->Pen().Width(); }}};
  for (const auto& [editor, width] : editors) {
    SCOPED_TRACE(editor->objectName().toStdString());
    editor->show();
    const int before = width();
    for (const QString& bad : {u"x"_qs, QString(), u"-5"_qs, u"10000"_qs}) {
      m_dialogs.errors.clear();
      EnterWidth(*editor, bad);
      EXPECT_EQ(m_dialogs.errors.size(), 1) << bad.toStdString();
      EXPECT_EQ(width(), before);
    }
    EnterWidth(*editor, u"7"_qs);
    EXPECT_EQ(width(), 7);
    EXPECT_TRUE(editor->isVisible());
  }
}

TEST_F(EditShapesTest, ElementEditors_AreChildrenOfTheParentAndOutliveNothing) {
  auto parent = std::make_unique<QWidget>();
  {
    TElementEditors editors(parent.get(), m_dialogs.Make());
    EXPECT_EQ(editors.ArrowEdit().parentWidget(), parent.get());
    EXPECT_EQ(editors.OutFieldEdit().objectName(), u"FormOutFieldEdit"_qs);
    EXPECT_EQ(editors.EditPoligon().objectName(), u"FormEditPoligon"_qs);
    EXPECT_EQ(editors.EditPump().objectName(), u"FormEditPump"_qs);
    EXPECT_EQ(editors.EditBarrel().parentWidget(), parent.get());
  }
  EXPECT_TRUE(parent->findChildren<QDialog*>().isEmpty());
  // The other way round: the parent goes first, the holder after it.
  auto editors = std::make_unique<TElementEditors>(parent.get());
  parent.reset();
  editors.reset();
}

}  // namespace
