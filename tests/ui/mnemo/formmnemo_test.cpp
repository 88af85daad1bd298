#include <gtest/gtest.h>

#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <cmath>
#include <limits>

#include "common/inifile.h"
#include "mnemofixture.h"
#include "support/modaldialogs.h"
#include "ui/editors/elementeditors.h"
#include "ui/editors/formarrowedit.h"
#include "ui/editors/formeditbarrel.h"
#include "ui/editors/formeditpoligon.h"
#include "ui/editors/formeditpump.h"
#include "ui/editors/formoutfieldedit.h"
#include "ui/elements/actionbound.h"
#include "ui/elements/arrow.h"
#include "ui/elements/conusbox.h"
#include "ui/elements/label.h"
#include "ui/elements/outfield.h"
#include "ui/elements/poligon.h"
#include "ui/elements/shape.h"
#include "ui/elements/valve.h"
#include "ui/mnemo/mnemolayout.h"
#include "ui/mnemo/panel.h"

namespace {

using FormMnemoTest = MnemoFixture;

// ---------------------------------------------------------------- the window

TEST_F(FormMnemoTest, Construction_MakesTheConfigFolderAndStartsTheTimer) {
  EXPECT_TRUE(QFileInfo(m_home.filePath(u"config"_qs)).isDir());
  EXPECT_EQ(m_form->StyleFile(), m_home.path() + u"/config/FormMnemo.INI"_qs);
  EXPECT_EQ(m_form->objectName(), u"FormMnemo"_qs);
  EXPECT_EQ(m_form->windowTitle(), u"Мнемосхема "_qs);
  EXPECT_EQ(m_form->size(), QSize(1012, 723));
  EXPECT_EQ(m_form->minimumSize(), m_form->maximumSize());
  EXPECT_FALSE(m_form->SectionRunning(1));
  EXPECT_FALSE(m_form->SectionRunning(2));

  auto fresh = MakeForm(nullptr);
  auto* timer = fresh->findChild<QTimer*>(u"TimerUpdate"_qs);
  ASSERT_NE(timer, nullptr);
  EXPECT_EQ(timer->interval(), 500);
  // MakeForm stopped it; the window starts it at construction.
  QTemporaryDir other;
  TFormMnemo running(MnemoSource{}, other.path(), nullptr);
  EXPECT_TRUE(running.findChild<QTimer*>(u"TimerUpdate"_qs)->isActive());
}

TEST_F(FormMnemoTest, Construction_MakesMissingParentsOfTheConfigFolder) {
  const QString appDir = m_home.filePath(u"deep/er/home"_qs);
  TFormMnemo form(MnemoSource{}, appDir, nullptr);
  EXPECT_TRUE(QFileInfo(appDir + u"/config"_qs).isDir());
  // A source without functions makes the tick do nothing rather than crash.
  form.TimerUpdateTimer();
  form.UpdateSectionStates(true);
}

TEST_F(FormMnemoTest, Layout_ParsesWithoutProblems) {
  QWidget form;
  QStringList problems;
  BuildMnemoLayout(form, MnemoLayout(), u"style.INI"_qs, &problems);
  EXPECT_TRUE(problems.isEmpty()) << problems.join(u'\n').toStdString();
}

TEST_F(FormMnemoTest, Layout_BadRowsAreSkippedAndReported) {
  const MnemoElementRec rows[] = {
      {"TArrow", "ArrowGood", 1, 2, 30, 11, 500, u"a=0;w=3;e=8"},
      {"TMystery", "Unknown", 0, 0, 10, 10, 0, u""},
      {"TOutField", "Orphan", 0, 0, 10, 10, 0, u"", "NoSuchParent"},
      {"TArrow", "ArrowBadWidth", 0, 0, 10, 10, 0, u"w=thick;colour=red"},
  };
  QWidget form;
  QStringList problems;
  BuildMnemoLayout(form, rows, u"style.INI"_qs, &problems);
  auto* good = form.findChild<TArrow*>(u"ArrowGood"_qs);
  ASSERT_NE(good, nullptr);
  EXPECT_EQ(good->geometry(), QRect(1, 2, 30, 11));
  EXPECT_EQ(good->Tag(), 500);
  EXPECT_EQ(good->EdgeLength(), 8);
  EXPECT_EQ(good->ConfigName(), u"style.INI"_qs);
  EXPECT_EQ(form.findChild<QWidget*>(u"Unknown"_qs), nullptr);
  EXPECT_EQ(form.findChild<QWidget*>(u"Orphan"_qs), nullptr);
  auto* badWidth = form.findChild<TArrow*>(u"ArrowBadWidth"_qs);
  ASSERT_NE(badWidth, nullptr);
  EXPECT_EQ(badWidth->ArrowWidth(), 3);
  EXPECT_EQ(problems.size(), 4) << problems.join(u'\n').toStdString();
}

// Every bound element where the operator's picture has it.
TEST_F(FormMnemoTest, BoundElements_HaveTheirNamesPositionsAndSizes) {
  struct Bound {
    const char* Name;
    QRect Geometry;
    const char* Parent;
  };
  const Bound bound[] = {
      {"OutFieldTRRP1", {15, 195, 80, 24}, "FormMnemo"},
      {"OutFieldTRRP2", {922, 195, 80, 24}, "FormMnemo"},
      {"OutFieldZRRP1", {14, 267, 80, 24}, "FormMnemo"},
      {"OutFieldZRRP2", {922, 267, 80, 24}, "FormMnemo"},
      {"OutFieldTRRS1", {272, 197, 80, 24}, "FormMnemo"},
      {"OutFieldTRRS2", {672, 198, 80, 24}, "FormMnemo"},
      {"OutFieldZRRS1", {273, 267, 80, 24}, "FormMnemo"},
      {"OutFieldZRRS2", {672, 267, 80, 24}, "FormMnemo"},
      {"OutFieldPLF1", {406, 197, 80, 24}, "FormMnemo"},
      {"OutFieldPLF2", {538, 197, 80, 24}, "FormMnemo"},
      {"OutFieldRGF1", {407, 258, 80, 24}, "FormMnemo"},
      {"OutFieldRGF2", {538, 258, 80, 24}, "FormMnemo"},
      {"OutFieldRVF1", {403, 322, 80, 24}, "FormMnemo"},
      {"OutFieldRVF2", {538, 322, 80, 24}, "FormMnemo"},
      {"OutFieldTRFL1", {45, 585, 80, 24}, "FormMnemo"},
      {"OutFieldTRFL2", {899, 585, 80, 24}, "FormMnemo"},
      {"OutFieldZRFL1", {44, 646, 80, 24}, "FormMnemo"},
      {"OutFieldZRFL2", {898, 646, 80, 24}, "FormMnemo"},
      {"OutFieldURFK1", {76, 13, 43, 22}, "ConusBoxURFK1"},
      {"OutFieldURFK2", {76, 13, 43, 22}, "ConusBoxURFK2"},
      {"OutFieldURFK12", {58, 13, 43, 22}, "ConusBoxURFK12"},
      {"ConusBoxURFK1", {237, 616, 196, 49}, "FormMnemo"},
      {"ConusBoxURFK2", {579, 616, 196, 49}, "FormMnemo"},
      {"ConusBoxURFK12", {426, 518, 160, 49}, "FormMnemo"},
      {"ConusBoxPulp1", {330, 100, 115, 49}, "FormMnemo"},
      {"ConusBoxPulp2", {560, 100, 115, 49}, "FormMnemo"},
      {"OutField_P_mode1", {231, 104, 90, 25}, "FormMnemo"},
      {"OutField_P_mode2", {685, 100, 90, 25}, "FormMnemo"},
      {"OutField_F_mode1", {293, 573, 90, 25}, "FormMnemo"},
      {"OutField_F_mode2", {629, 571, 90, 25}, "FormMnemo"},
      {"PanelLinkError", {300, 376, 425, 41}, "FormMnemo"},
  };
  for (const Bound& b : bound) {
    SCOPED_TRACE(b.Name);
    QWidget* element = m_form->findChild<QWidget*>(QString::fromLatin1(b.Name));
    ASSERT_NE(element, nullptr);
    EXPECT_EQ(element->geometry(), b.Geometry);
    EXPECT_EQ(element->parentWidget()->objectName(), QString::fromLatin1(b.Parent));
  }
}

TEST_F(FormMnemoTest, BoundValueFields_HaveTheirFormatsTagsAndStyle) {
  struct Field {
    const char* Name;
    const char16_t* Format;
    int Tag;
  };
  const Field fields[] = {
      {"OutFieldTRRP1", u"###0 л/ч", 700},   {"OutFieldTRRP2", u"###0 л/ч", 701},
      {"OutFieldZRRP1", u"###0 мл/т", 700},  {"OutFieldZRRP2", u"###0 мл/т", 701},
      {"OutFieldTRRS1", u"###0 л/ч", 600},   {"OutFieldTRRS2", u"###0 л/ч", 601},
      {"OutFieldZRRS1", u"###0 мл/т", 600},  {"OutFieldZRRS2", u"###0 мл/т", 601},
      {"OutFieldPLF1", u"###0 г/л", 500},    {"OutFieldPLF2", u"###0 г/л", 501},
      {"OutFieldRGF1", u"###0 т/ч", 500},    {"OutFieldRGF2", u"###0 т/ч", 501},
      {"OutFieldRVF1", u"###0 м3/ч", 500},   {"OutFieldRVF2", u"###0 м3/ч", 501},
      {"OutFieldTRFL1", u"###0 л/ч", 1000},  {"OutFieldTRFL2", u"###0 л/ч", 1001},
      {"OutFieldZRFL1", u"###0 мл/т", 1000}, {"OutFieldZRFL2", u"###0 мл/т", 1001},
  };
  for (const Field& f : fields) {
    SCOPED_TRACE(f.Name);
    auto* field = Find<TOutField>(f.Name);
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->OutFormat(), QString::fromUtf16(f.Format));
    EXPECT_EQ(field->Tag(), f.Tag);
    EXPECT_EQ(field->Pen(), ElementPen(clAqua, 2));
    EXPECT_EQ(field->Brush().Color, clSilver);
    EXPECT_EQ(field->Font(), ElementFont(u"MS Sans Serif"_qs, 13, clNavy, true));
  }
  for (const char* name : {"OutFieldURFK1", "OutFieldURFK2", "OutFieldURFK12"}) {
    SCOPED_TRACE(name);
    auto* field = Find<TOutField>(name);
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->OutFormat(), u"#0.#%"_qs);
    EXPECT_EQ(field->Tag(), 0);
    EXPECT_EQ(field->Pen(), ElementPen(clBlack, 1));
    EXPECT_EQ(field->Brush().Color, clWhite);
    EXPECT_EQ(field->Font(), ElementFont(u"Times New Roman"_qs, 13, clNavy, true));
  }
  EXPECT_EQ(Find<TOutField>("OutField_P_mode1")->Font(), ElementFont(u"Arial"_qs, 11, clNavy, true));
}

TEST_F(FormMnemoTest, Vessels_HaveTheirShapes) {
  for (const char* name :
       {"ConusBoxURFK1", "ConusBoxURFK2", "ConusBoxURFK12", "ConusBoxPulp1", "ConusBoxPulp2"}) {
    SCOPED_TRACE(name);
    auto* box = Find<TConusBox>(name);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->ConusH(), 1);
    EXPECT_EQ(box->DownW(), 98);
    EXPECT_TRUE(box->ShowTopLine());
    EXPECT_TRUE(box->ShowConusTop());
    EXPECT_EQ(box->Tag(), 0);
    EXPECT_EQ(box->Color(), QByteArray(name).contains("Pulp") ? clTeal : clSilver);
  }
  const QList<TConusBox*> machines = {Find<TConusBox>("ConusBoxFlot1"), Find<TConusBox>("ConusBoxFlot2")};
  for (int s = 0; s < 2; ++s) {
    TConusBox* machine = machines[s];
    ASSERT_NE(machine, nullptr);
    EXPECT_EQ(machine->size(), QSize(148, 75));
    EXPECT_EQ(machine->Pen(), ElementPen(clNavy, 2));
    EXPECT_EQ(machine->ConusH(), 60);
    EXPECT_EQ(machine->DownW(), 45);
    EXPECT_EQ(machine->WaterH(), 99);
    EXPECT_EQ(machine->Color(), clSilver);
    EXPECT_EQ(machine->Tag(), 500 + s);
  }
  auto* panel = Find<TPanel>("PanelLinkError");
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->Caption(), u"Сбой связи"_qs);
  EXPECT_EQ(panel->Font(), ElementFont(u"Times New Roman"_qs, 27, clWhite, true));
  EXPECT_EQ(panel->Color(), clRed);
}

// The material groups: how many elements of each class carry each tag.
TEST_F(FormMnemoTest, MaterialGroups_HoldTheirElements) {
  struct Group {
    int Tag;
    int Arrows, OutFields, Valves, Shapes, Vessels, Panels;
  };
  const Group groups[] = {
      {500, 12, 3, 0, 0, 1, 0}, {501, 12, 3, 0, 0, 1, 0}, {600, 2, 2, 1, 1, 0, 0},  {601, 2, 2, 1, 1, 0, 0},
      {700, 4, 2, 1, 1, 0, 0},  {701, 4, 2, 1, 1, 0, 2},  {800, 5, 0, 0, 0, 0, 0},  {801, 5, 0, 0, 0, 0, 0},
      {900, 1, 0, 0, 0, 0, 0},  {901, 1, 0, 0, 0, 0, 0},  {1000, 6, 2, 1, 1, 0, 0}, {1001, 6, 2, 1, 1, 0, 0},
  };
  for (const Group& g : groups) {
    SCOPED_TRACE(g.Tag);
    EXPECT_EQ(Tagged<TArrow>(g.Tag).size(), g.Arrows);
    EXPECT_EQ(Tagged<TOutField>(g.Tag).size(), g.OutFields);
    EXPECT_EQ(Tagged<TValve>(g.Tag).size(), g.Valves);
    EXPECT_EQ(Tagged<TShape>(g.Tag).size(), g.Shapes);
    EXPECT_EQ(Tagged<TConusBox>(g.Tag).size(), g.Vessels);
    EXPECT_EQ(Tagged<TPanel>(g.Tag).size(), g.Panels);
  }
  EXPECT_EQ(m_form->findChildren<TArrow*>().size(), 60);
  EXPECT_EQ(m_form->findChildren<TValve*>().size(), 6);
  EXPECT_EQ(m_form->findChildren<TPoligon*>().size(), 8);
  EXPECT_EQ(m_form->findChildren<TShape*>().size(), 6);
  EXPECT_EQ(m_form->findChildren<TConusBox*>().size(), 7);
  for (TShape* circle : m_form->findChildren<TShape*>()) EXPECT_EQ(circle->size(), QSize(15, 14));
  for (int v = 1; v <= 6; ++v) {
    auto* valve = Find<TValve>(QStringLiteral("Valve%1").arg(v).toLatin1().constData());
    ASSERT_NE(valve, nullptr);
    EXPECT_EQ(valve->VertMode(), v <= 4);
  }
  for (TPoligon* poligon : m_form->findChildren<TPoligon*>()) EXPECT_EQ(poligon->Tag(), 0);
}

// ---------------------------------------------------------------- sections

TEST_F(FormMnemoTest, SectionStart_IsStrictlyAboveMinRvfAndLoggedOncePerChange) {
  m_form->UpdateSectionStates(true);
  SetValue(Slot::RVF, 1, 40.0f);  // equal to MIN_RVF: still stopped
  m_form->TimerUpdateTimer();
  EXPECT_FALSE(m_form->SectionRunning(1));
  EXPECT_TRUE(m_log.isEmpty());

  SetValue(Slot::RVF, 1, 40.01f);
  m_form->TimerUpdateTimer();
  m_form->TimerUpdateTimer();
  EXPECT_TRUE(m_form->SectionRunning(1));
  EXPECT_FALSE(m_form->SectionRunning(2));
  EXPECT_EQ(m_log, QStringList{u"ФЛОТАЦИЯ СЕКЦИИ 1 ВКЛЮЧЕНА"_qs});
  for (TArrow* arrow : Tagged<TArrow>(500))
    EXPECT_EQ(arrow->Color(), kOn[kPulpa]) << arrow->objectName().toStdString();
  for (TArrow* arrow : Tagged<TArrow>(501)) EXPECT_EQ(arrow->Color(), kOff[kPulpa]);

  SetValue(Slot::RVF, 2, 100.0f);
  SetValue(Slot::RVF, 1, 40.0f);
  m_form->TimerUpdateTimer();
  EXPECT_EQ(m_log, (QStringList{u"ФЛОТАЦИЯ СЕКЦИИ 1 ВКЛЮЧЕНА"_qs, u"ФЛОТАЦИЯ СЕКЦИИ 1 ВЫКЛЮЧЕНА"_qs,
                                u"ФЛОТАЦИЯ СЕКЦИИ 2 ВКЛЮЧЕНА"_qs}));
  for (TArrow* arrow : Tagged<TArrow>(500)) EXPECT_EQ(arrow->Color(), kOff[kPulpa]);
  for (TArrow* arrow : Tagged<TArrow>(501)) EXPECT_EQ(arrow->Color(), kOn[kPulpa]);

  // A value that is not a number is no flow.
  SetValue(Slot::RVF, 2, std::numeric_limits<float>::quiet_NaN());
  m_form->TimerUpdateTimer();
  EXPECT_FALSE(m_form->SectionRunning(2));
  EXPECT_EQ(m_log.last(), u"ФЛОТАЦИЯ СЕКЦИИ 2 ВЫКЛЮЧЕНА"_qs);
}

TEST_F(FormMnemoTest, SectionChange_RecoloursEveryMaterialOfThatSection) {
  m_form->UpdateSectionStates(true);
  SetValue(Slot::RVF, 2, 55.0f);
  m_form->UpdateSectionStates(false);
  for (int group = 0; group < kColorGroupCount; ++group) {
    SCOPED_TRACE(group);
    const int tag1 = (5 + group) * 100, tag2 = tag1 + 1;
    for (TArrow* a : Tagged<TArrow>(tag1)) EXPECT_EQ(a->Color(), kOff[group]);
    for (TArrow* a : Tagged<TArrow>(tag2)) EXPECT_EQ(a->Color(), kOn[group]);
    for (TOutField* f : Tagged<TOutField>(tag2)) EXPECT_EQ(f->Pen().Color(), kOn[group]);
    for (TShape* c : Tagged<TShape>(tag2)) EXPECT_EQ(c->BrushColor(), kOn[group]);
    for (TValve* v : Tagged<TValve>(tag2)) {
      EXPECT_EQ(v->Pen().Color(), kOn[group]);
      EXPECT_EQ(v->Brush().Color, kOn[group]);
    }
    for (TConusBox* b : Tagged<TConusBox>(tag2)) EXPECT_EQ(b->WaterColor(), kOn[group]);
  }
  // The red launder panels follow the frother of section 2.
  for (TPanel* p : Tagged<TPanel>(701)) EXPECT_EQ(p->Color(), kOn[kPenoGen]);
  auto* pulp2 = Find<TConusBox>("ConusBoxPulp2");
  auto* pulp1 = Find<TConusBox>("ConusBoxPulp1");
  EXPECT_EQ(pulp2->WaterColor(), kOn[kPulpa]);
  EXPECT_EQ(pulp2->Pen().Color(), kOn[kPulpa]);
  EXPECT_EQ(pulp1->WaterColor(), kOff[kPulpa]);
  EXPECT_EQ(pulp1->Pen().Color(), kOff[kPulpa]);
}

TEST_F(FormMnemoTest, ForcedUpdate_RecoloursBothSectionsAndLogsNothing) {
  SetValue(Slot::RVF, 1, 80.0f);
  m_form->UpdateSectionStates(true);
  EXPECT_TRUE(m_log.isEmpty());
  EXPECT_TRUE(m_form->SectionRunning(1));
  for (TArrow* a : Tagged<TArrow>(800)) EXPECT_EQ(a->Color(), kOn[kFlotoConc]);
  for (TArrow* a : Tagged<TArrow>(801)) EXPECT_EQ(a->Color(), kOff[kFlotoConc]);

  // New colours reach an unchanged section only through force.
  m_config.OffColors[kFlotoConc] = clWhite;
  m_form->UpdateSectionStates(false);
  for (TArrow* a : Tagged<TArrow>(801)) EXPECT_EQ(a->Color(), kOff[kFlotoConc]);
  m_form->UpdateSectionStates(true);
  for (TArrow* a : Tagged<TArrow>(801)) EXPECT_EQ(a->Color(), clWhite);
  m_form->TimerUpdateTimer();
  EXPECT_TRUE(m_log.isEmpty());
}

TEST_F(FormMnemoTest, Tanks_KeepTheRunningConcentrateColourWhileStopped) {
  m_form->UpdateSectionStates(true);
  m_form->TimerUpdateTimer();
  for (const char* name : {"ConusBoxURFK1", "ConusBoxURFK2", "ConusBoxURFK12"})
    EXPECT_EQ(Find<TConusBox>(name)->WaterColor(), kOn[kFlotoConc]) << name;
  for (TArrow* a : Tagged<TArrow>(800)) EXPECT_EQ(a->Color(), kOff[kFlotoConc]);
  m_config.OnColors[kFlotoConc] = clLime;  // taken on every call, changed or not
  m_form->UpdateSectionStates(false);
  EXPECT_EQ(Find<TConusBox>("ConusBoxURFK12")->WaterColor(), clLime);
}

// ---------------------------------------------------------------- the tick

TEST_F(FormMnemoTest, Tick_PushesEveryValueIntoItsField) {
  struct Case {
    const int* Slots;
    const char* Field;
    float Value;
    const char16_t* Shown;
  };
  const Case cases[] = {
      {Slot::TRRS, "OutFieldTRRS%1", 12.4f, u"12 л/ч"},   {Slot::TRRP, "OutFieldTRRP%1", 12.5f, u"13 л/ч"},
      {Slot::ZRRS, "OutFieldZRRS%1", 300.f, u"300 мл/т"}, {Slot::ZRRP, "OutFieldZRRP%1", 45.f, u"45 мл/т"},
      {Slot::PLF, "OutFieldPLF%1", 1250.f, u"1250 г/л"},  {Slot::RGF, "OutFieldRGF%1", 98.2f, u"98 т/ч"},
      {Slot::RVF, "OutFieldRVF%1", 310.f, u"310 м3/ч"},   {Slot::TRFL, "OutFieldTRFL%1", 7.f, u"7 л/ч"},
      {Slot::ZRFL, "OutFieldZRFL%1", 21.f, u"21 мл/т"},   {Slot::URFK, "OutFieldURFK%1", 63.7f, u"63.7%"},
  };
  for (int s = 1; s <= 2; ++s) {
    for (const Case& c : cases) SetValue(c.Slots, s, c.Value + (s - 1));
  }
  SetValue(Slot::URFK12, 1, 45.67f);
  SetValue(Slot::URFK12, 2, 99.f);  // the second module's slot is not shown
  m_form->TimerUpdateTimer();
  for (int s = 1; s <= 2; ++s) {
    for (const Case& c : cases) {
      const QString name = QString::fromLatin1(c.Field).arg(s);
      SCOPED_TRACE(name.toStdString());
      auto* field = m_form->findChild<TOutField*>(name);
      ASSERT_NE(field, nullptr);
      EXPECT_FLOAT_EQ(field->OutValue(), c.Value + (s - 1));
      if (s == 1) {
        EXPECT_EQ(field->Caption(), QString::fromUtf16(c.Shown));
      }
    }
  }
  EXPECT_EQ(Find<TOutField>("OutFieldURFK12")->Caption(), u"45.7%"_qs);
  EXPECT_EQ(Find<TConusBox>("ConusBoxURFK1")->WaterH(), 63);
  EXPECT_EQ(Find<TConusBox>("ConusBoxURFK2")->WaterH(), 64);
  EXPECT_EQ(Find<TConusBox>("ConusBoxURFK12")->WaterH(), 45);
}

TEST_F(FormMnemoTest, Tick_AQuantityThatIsZeroFromTheStartIsShown) {
  EXPECT_EQ(Find<TOutField>("OutFieldTRRS2")->Caption(), QString());
  m_form->TimerUpdateTimer();
  EXPECT_EQ(Find<TOutField>("OutFieldTRRS2")->Caption(), u"0 л/ч"_qs);
  EXPECT_EQ(Find<TOutField>("OutFieldURFK12")->Caption(), u"0%"_qs);
  // A value that is no number keeps what the field shows.
  SetValue(Slot::TRRS, 2, std::numeric_limits<float>::quiet_NaN());
  m_form->TimerUpdateTimer();
  EXPECT_EQ(Find<TOutField>("OutFieldTRRS2")->Caption(), u"0 л/ч"_qs);
}

TEST_F(FormMnemoTest, Tick_TankLevelsAreTruncatedAndKeptInsideTheVessel) {
  struct Case {
    float Value;
    int WaterH;
  };
  const Case cases[] = {{63.7f, 63},
                        {0.99f, 0},
                        {100.f, 100},
                        {250.f, 100},
                        {-5.5f, 0},
                        {std::numeric_limits<float>::quiet_NaN(), 0},
                        {std::numeric_limits<float>::infinity(), 0},
                        {1e20f, 100}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Value);
    SetValue(Slot::URFK, 1, c.Value);
    m_form->TimerUpdateTimer();
    EXPECT_EQ(Find<TConusBox>("ConusBoxURFK1")->WaterH(), c.WaterH);
  }
}

TEST_F(FormMnemoTest, Tick_ShowsEachReagentGroupsMode) {
  struct Case {
    bool Automatic, Manual;
    const char16_t* Text;
    TColor Fill, TextColor;
  };
  const Case cases[] = {
      {true, false, u"АВТОМАТ", clSkyBlue, clNavy},
      {false, true, u"РУЧНОЙ", clLime, clBlack},
      {false, false, u"ВЫКЛ", clRed, clBlack},
      {true, true, u"  ", clYellow, clBlack},
  };
  struct Mode {
    const char* Field;
    ModeFlag Automatic, Manual;
  };
  const Mode modes[] = {{"OutField_P_mode1", F1AR, F1RR},
                        {"OutField_P_mode2", F2AR, F2RR},
                        {"OutField_F_mode1", F1AFL, F1RFL},
                        {"OutField_F_mode2", F2AFL, F2RFL}};
  for (const Mode& mode : modes) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(mode.Field) + " " + QString::fromUtf16(c.Text).toStdString());
      // The other groups show the opposite, so a mix-up of flags shows.
      for (const Mode& other : modes) {
        SetMode(other.Automatic, !c.Automatic);
        SetMode(other.Manual, !c.Manual);
      }
      SetMode(mode.Automatic, c.Automatic);
      SetMode(mode.Manual, c.Manual);
      m_form->TimerUpdateTimer();
      auto* field = Find<TOutField>(mode.Field);
      ASSERT_NE(field, nullptr);
      EXPECT_EQ(field->Caption(), QString::fromUtf16(c.Text));
      EXPECT_EQ(field->OutFormat(), QString::fromUtf16(c.Text));
      EXPECT_EQ(field->Brush().Color, c.Fill);
      EXPECT_EQ(field->Font().Color(), c.TextColor);
    }
  }
}

TEST_F(FormMnemoTest, Tick_ManualModeHidesSpecificConsumptionWithItsCaptionAndArrows) {
  struct Group {
    ModeFlag Manual;
    QStringList Hidden;
  };
  const Group groups[] = {
      {F1RR,
       {u"OutFieldZRRP1"_qs, u"LabelZRRP1"_qs, u"ArrowZRRP1_1"_qs, u"ArrowZRRP1_2"_qs, u"OutFieldZRRS1"_qs,
        u"LabelZRRS1"_qs}},
      {F2RR,
       {u"OutFieldZRRP2"_qs, u"LabelZRRP2"_qs, u"ArrowZRRP2_1"_qs, u"ArrowZRRP2_2"_qs, u"OutFieldZRRS2"_qs,
        u"LabelZRRS2"_qs}},
      {F1RFL, {u"OutFieldZRFL1"_qs, u"LabelZRFL1"_qs, u"ArrowZRFL1_1"_qs, u"ArrowZRFL1_2"_qs}},
      {F2RFL, {u"OutFieldZRFL2"_qs, u"LabelZRFL2"_qs, u"ArrowZRFL2_1"_qs, u"ArrowZRFL2_2"_qs}},
  };
  QStringList all;
  for (const Group& g : groups) all << g.Hidden;
  m_form->TimerUpdateTimer();
  for (const QString& name : all) {
    QWidget* w = m_form->findChild<QWidget*>(name);
    ASSERT_NE(w, nullptr) << name.toStdString();
    EXPECT_FALSE(w->isHidden()) << name.toStdString();
  }
  for (const Group& g : groups) {
    SetMode(g.Manual, true);
    m_form->TimerUpdateTimer();
    for (const QString& name : all)
      EXPECT_EQ(m_form->findChild<QWidget*>(name)->isHidden(), g.Hidden.contains(name)) << name.toStdString();
    SetMode(g.Manual, false);
    m_form->TimerUpdateTimer();
    for (const QString& name : all)
      EXPECT_FALSE(m_form->findChild<QWidget*>(name)->isHidden()) << name.toStdString();
  }
  // The current flows stay.
  SetMode(F1RR, true);
  m_form->TimerUpdateTimer();
  EXPECT_FALSE(Find<TOutField>("OutFieldTRRP1")->isHidden());
  EXPECT_FALSE(Find<TArrow>("ArrowRP1_1")->isHidden());
}

TEST_F(FormMnemoTest, Tick_LinkPanelBlinksWithTheClockWhileTheStateIsStale) {
  auto* panel = Find<TPanel>("PanelLinkError");
  ASSERT_NE(panel, nullptr);
  m_form->TimerUpdateTimer();
  EXPECT_TRUE(panel->isHidden());

  m_snapshot.StateFresh = false;
  struct Case {
    int Second;
    TColor Fill, Text;
  };
  for (const Case c : {Case{1, clRed, clWhite}, Case{2, clWhite, clRed}, Case{59, clRed, clWhite},
                       Case{0, clWhite, clRed}}) {
    SCOPED_TRACE(c.Second);
    m_now = QDateTime(QDate(2026, 3, 5), QTime(10, 0, c.Second, 500));
    m_form->TimerUpdateTimer();
    EXPECT_FALSE(panel->isHidden());
    EXPECT_EQ(panel->Color(), c.Fill);
    EXPECT_EQ(panel->Font().Color(), c.Text);
  }
  m_snapshot.StateFresh = true;
  m_form->TimerUpdateTimer();
  EXPECT_TRUE(panel->isHidden());
}

TEST_F(FormMnemoTest, Tick_SkipsBoundElementsThatAreMissing) {
  for (const char* name : {"OutFieldZRRS2", "ConusBoxURFK1", "OutField_P_mode1", "PanelLinkError",
                           "LabelZRRP1", "ArrowZRRP1_2", "ConusBoxPulp1"})
    delete m_form->findChild<QWidget*>(QString::fromLatin1(name));
  SetValue(Slot::ZRRS, 2, 77.f);
  SetValue(Slot::ZRRS, 1, 66.f);
  SetValue(Slot::RVF, 1, 99.f);
  SetMode(F1RR, true);
  m_snapshot.StateFresh = false;
  m_form->TimerUpdateTimer();
  m_form->UpdateSectionStates(true);
  EXPECT_EQ(Find<TOutField>("OutFieldZRRS1")->Caption(), u"66 мл/т"_qs);
  EXPECT_TRUE(Find<TArrow>("ArrowZRRP1_1")->isHidden());
  EXPECT_EQ(m_log, QStringList{u"ФЛОТАЦИЯ СЕКЦИИ 1 ВКЛЮЧЕНА"_qs});
}

// ---------------------------------------------------------------- SetColorByTag

// An element derived from an arrow is some other element: it keeps its colour.
class TDerivedArrow : public TArrow {
  Q_OBJECT
 public:
  using TArrow::TArrow;
};

TEST_F(FormMnemoTest, SetColorByTag_TakesExactClassesOnly) {
  auto* derived = new TDerivedArrow(m_form.get());
  derived->SetTag(700);
  derived->SetColor(clGray);
  auto* actionPanel = new TActionPanel(m_form.get());
  actionPanel->SetTag(700);
  auto* caption = new TLabel(m_form.get());
  caption->SetTag(700);
  auto* untagged = Find<TArrow>("ArrowPulp1_1");
  const TColor untaggedColour = untagged->Color();

  m_form->SetColorByTag(700, clFuchsia);
  EXPECT_EQ(derived->Color(), clGray);
  EXPECT_EQ(actionPanel->palette().color(actionPanel->backgroundRole()), ColorFromTColor(clFuchsia));
  EXPECT_EQ(caption->palette().color(caption->foregroundRole()), ColorFromTColor(clFuchsia));
  EXPECT_EQ(untagged->Color(), untaggedColour);
  for (TArrow* a : Tagged<TArrow>(700)) EXPECT_EQ(a->Color(), clFuchsia);
  for (TOutField* f : Tagged<TOutField>(700)) EXPECT_EQ(f->Pen().Color(), clFuchsia);
  for (TValve* v : Tagged<TValve>(700)) EXPECT_EQ(v->Brush().Color, clFuchsia);
  for (TShape* s : Tagged<TShape>(700)) EXPECT_EQ(s->BrushColor(), clFuchsia);
  for (TArrow* a : Tagged<TArrow>(701)) EXPECT_NE(a->Color(), clFuchsia);
}

// ---------------------------------------------------------------- edit mode

TEST_F(FormMnemoTest, EditMode_SwitchedOnTwiceAttachesOneHandlerAndOffKeepsOthers) {
  int captionEdits = 0;
  m_form->SetFontPicker([&](const QFont&, QWidget*) -> std::optional<QFont> {
    ++captionEdits;
    return std::nullopt;
  });
  auto* caption = Find<TLabel>("LabelTitle");
  ASSERT_NE(caption, nullptr);
  int ownClicks = 0;
  QObject::connect(caption, &TLabel::clicked, [&] { ++ownClicks; });

  m_form->ApplyEditMode();  // off: nothing attached
  QTest::mouseClick(caption, Qt::LeftButton);
  EXPECT_EQ(captionEdits, 0);
  EXPECT_EQ(ownClicks, 1);

  SetElementEditMode(true);
  m_form->ApplyEditMode();
  m_form->ApplyEditMode();
  QTest::mouseClick(caption, Qt::LeftButton);
  EXPECT_EQ(captionEdits, 1);
  EXPECT_EQ(ownClicks, 2);
  EXPECT_EQ(caption->cursor().shape(), Qt::CrossCursor);
  EXPECT_EQ(Find<TArrow>("ArrowRP1_1")->cursor().shape(), Qt::CrossCursor);
  EXPECT_EQ(Find<TOutField>("OutFieldPLF1")->cursor().shape(), Qt::CrossCursor);
  EXPECT_FALSE(Find<TValve>("Valve1")->testAttribute(Qt::WA_SetCursor));

  SetElementEditMode(false);
  m_form->ApplyEditMode();
  QTest::mouseClick(caption, Qt::LeftButton);
  EXPECT_EQ(captionEdits, 1);
  EXPECT_EQ(ownClicks, 3);
  EXPECT_FALSE(caption->testAttribute(Qt::WA_SetCursor));
}

TEST_F(FormMnemoTest, EditMode_LeavesCursorsItDidNotSet) {
  auto* arrow = Find<TArrow>("ArrowRP1_1");
  arrow->setCursor(Qt::PointingHandCursor);
  m_form->ApplyEditMode();
  EXPECT_EQ(arrow->cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(FormMnemoTest, ApplyEditMode_LoadsStoredStylesFromTheStyleFile) {
  {
    IniFile ini(m_form->StyleFile());
    ini.WriteInteger(u"ArrowRP1_1"_qs, u"ArrowWidth"_qs, 7);
    ini.WriteInteger(u"ArrowRP1_1"_qs, u"Color"_qs, static_cast<int>(clLime));
    ini.WriteInteger(u"OutFieldPLF1"_qs, u"BrushColor"_qs, static_cast<int>(clCream));
    ini.WriteInteger(u"OutFieldURFK1"_qs, u"BrushColor"_qs, static_cast<int>(clYellow));
    ini.WriteString(u"LabelTitle"_qs, u"FontName"_qs, u"Arial"_qs);
  }
  EXPECT_EQ(Find<TArrow>("ArrowRP1_1")->ArrowWidth(), 2);  // not before the mode is applied
  m_form->ApplyEditMode();
  EXPECT_EQ(Find<TArrow>("ArrowRP1_1")->ArrowWidth(), 7);
  EXPECT_EQ(Find<TArrow>("ArrowRP1_1")->Color(), clLime);
  EXPECT_EQ(Find<TOutField>("OutFieldPLF1")->Brush().Color, clCream);
  EXPECT_EQ(Find<TOutField>("OutFieldURFK1")->Brush().Color, clYellow);
  EXPECT_EQ(Find<TLabel>("LabelTitle")->font().family(), u"Arial"_qs);
}

TEST_F(FormMnemoTest, EditRouter_HasItsSevenEntriesInOrder) {
  const auto& router = TFormMnemo::EditRouter();
  const char* names[] = {"TArrow", "TBarrel", "TLabel", "TOutField", "TPump", "TPoligon", ""};
  for (size_t i = 0; i < router.size(); ++i) EXPECT_STREQ(router[i].ClassName, names[i]);
  EXPECT_EQ(router.back().Handler, nullptr);
}

TEST_F(FormMnemoTest, EditElement_UnroutedClassesAndMissingEditorsEditNothing) {
  EXPECT_FALSE(m_form->EditElement(nullptr));
  EXPECT_FALSE(m_form->EditElement(Find<TValve>("Valve1")));
  EXPECT_FALSE(m_form->EditElement(Find<TShape>("ShapePumpRP1")));
  // Without editors the arrow is not edited either.
  EXPECT_FALSE(m_form->EditElement(Find<TArrow>("ArrowRP1_1")));
}

TEST_F(FormMnemoTest, CaptionFont_ChosenFontIsShownAndStored) {
  auto* caption = Find<TLabel>("LabelPLF");
  ASSERT_NE(caption, nullptr);
  QFont chosen(u"Liberation Sans"_qs);
  chosen.setPointSize(15);  // 20 pixels at 96 dpi
  chosen.setBold(false);
  QFont offered;
  m_form->SetFontPicker([&](const QFont& initial, QWidget* parent) -> std::optional<QFont> {
    offered = initial;
    EXPECT_EQ(parent, m_form.get());
    return chosen;
  });
  EXPECT_TRUE(m_form->EditElement(caption));
  EXPECT_EQ(offered.pixelSize(), 15);
  EXPECT_EQ(caption->font().pixelSize(), 20);
  EXPECT_EQ(caption->font().family(), u"Liberation Sans"_qs);
  IniFile ini(m_form->StyleFile());
  EXPECT_EQ(ini.ReadString(u"LabelPLF"_qs, u"FontName"_qs, {}), u"Liberation Sans"_qs);
  EXPECT_EQ(ini.ReadInteger(u"LabelPLF"_qs, u"FontSize"_qs, 0), 15);

  // Cancelled: edited (true), nothing changes.
  m_form->SetFontPicker([](const QFont&, QWidget*) { return std::optional<QFont>(); });
  auto* other = Find<TLabel>("LabelRGF");
  const QFont before = other->font();
  EXPECT_TRUE(m_form->EditElement(other));
  EXPECT_EQ(other->font(), before);
  EXPECT_FALSE(IniFile(m_form->StyleFile()).SectionExists(u"LabelRGF"_qs));
}

// ---------------------------------------------------------------- the editors

class FormMnemoEditorTest : public MnemoFixture {
 protected:
  void SetUp() override {
    MnemoFixture::SetUp();
    m_editors = std::make_unique<TElementEditors>(&m_host);
    m_form = MakeForm(m_editors.get());
    m_form->UpdateSectionStates(true);
  }
  void TearDown() override {
    m_form.reset();
    m_editors.reset();
    MnemoFixture::TearDown();
  }

  // Presses the button with "text" on the next modal editor.
  static void PressOnEditor(const QString& text, QString* seenName = nullptr) {
    WhenModalShows([text, seenName](QWidget& modal) {
      if (seenName != nullptr) *seenName = modal.objectName();
      for (QPushButton* button : modal.findChildren<QPushButton*>()) {
        if (button->text().remove(u'&') == text) {
          button->click();
          return;
        }
      }
      ADD_FAILURE() << "no button " << text.toStdString() << " on " << modal.objectName().toStdString();
      modal.close();
    });
  }

  QWidget m_host;
  std::unique_ptr<TElementEditors> m_editors;
};

TEST_F(FormMnemoEditorTest, ArrowEditorOk_GivesTheWholeGroupTheStyle) {
  auto* edited = Find<TArrow>("ArrowZRRP1_1");
  ASSERT_NE(edited, nullptr);
  edited->SetColor(clLime);
  edited->SetArrowWidth(6);
  QString editor;
  PressOnEditor(u"Сохранить для всей группы"_qs, &editor);
  EXPECT_TRUE(m_form->EditElement(edited));
  EXPECT_EQ(editor, u"FormArrowEdit"_qs);
  ASSERT_EQ(Tagged<TArrow>(700).size(), 4);
  for (TArrow* arrow : Tagged<TArrow>(700)) {
    EXPECT_EQ(arrow->Color(), clLime) << arrow->objectName().toStdString();
    EXPECT_EQ(arrow->ArrowWidth(), 6) << arrow->objectName().toStdString();
  }
  for (TArrow* arrow : Tagged<TArrow>(701)) EXPECT_EQ(arrow->Color(), kOff[kPenoGen]);
  // Each member stored the style under its own name.
  IniFile ini(m_form->StyleFile());
  EXPECT_EQ(ini.ReadInteger(u"ArrowRP1_1"_qs, u"ArrowWidth"_qs, 0), 6);

  // The next change of the section's state recolours the group from the sets.
  SetValue(Slot::RVF, 1, 50.f);
  m_form->TimerUpdateTimer();
  for (TArrow* arrow : Tagged<TArrow>(700)) {
    EXPECT_EQ(arrow->Color(), kOn[kPenoGen]);
    EXPECT_EQ(arrow->ArrowWidth(), 6);
  }
}

TEST_F(FormMnemoEditorTest, EditorCancelled_ChangesNothingElse) {
  auto* edited = Find<TArrow>("ArrowRP1_1");
  PressOnEditor(u"Отменить"_qs);
  EXPECT_FALSE(m_form->EditElement(edited));
  for (TArrow* arrow : Tagged<TArrow>(700))
    EXPECT_EQ(arrow->ArrowWidth(), arrow == edited ? 2 : arrow->ArrowWidth());
  EXPECT_FALSE(IniFile(m_form->StyleFile()).SectionExists(u"ArrowRP1_2"_qs));
}

TEST_F(FormMnemoEditorTest, ValueFieldEditorOk_GivesTheGroupPenFontAndFill) {
  auto* edited = Find<TOutField>("OutFieldTRRP1");
  ASSERT_NE(edited, nullptr);
  edited->SetBrushColor(clCream);
  edited->SetPenWidth(4);
  QString editor;
  PressOnEditor(u"Сохранить для всей группы"_qs, &editor);
  EXPECT_TRUE(m_form->EditElement(edited));
  EXPECT_EQ(editor, u"FormOutFieldEdit"_qs);
  auto* partner = Find<TOutField>("OutFieldZRRP1");
  EXPECT_EQ(partner->Brush().Color, clCream);
  EXPECT_EQ(partner->Pen().Width(), 4);
  EXPECT_EQ(partner->OutFormat(), u"###0 мл/т"_qs);  // formats stay each field's own
  EXPECT_EQ(Find<TOutField>("OutFieldTRRP2")->Brush().Color, clSilver);

  // An untagged field stores only itself.
  auto* mode = Find<TOutField>("OutField_P_mode1");
  mode->SetPenWidth(5);
  PressOnEditor(u"Сохранить для всей группы"_qs);
  EXPECT_TRUE(m_form->EditElement(mode));
  EXPECT_EQ(Find<TOutField>("OutField_P_mode2")->Pen().Width(), 2);
  IniFile ini(m_form->StyleFile());
  EXPECT_EQ(ini.ReadInteger(u"OutField_P_mode1"_qs, u"PenWidth"_qs, 0), 5);
  EXPECT_FALSE(ini.SectionExists(u"OutField_P_mode2"_qs));
}

// Rejects every modal dialog shown while it lives and counts them; unlike a
// queued answer it cannot outlive the test that made it.
class ModalCounter {
 public:
  ModalCounter() {
    m_timer.setInterval(5);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
      if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        ++m_shown;
        dialog->reject();
      }
    });
    m_timer.start();
  }
  int Shown() const { return m_shown; }

 private:
  QTimer m_timer;
  int m_shown = 0;
};

TEST_F(FormMnemoEditorTest, EditModeClick_OpensTheEditorOnce) {
  SetElementEditMode(true);
  m_form->ApplyEditMode();
  m_form->ApplyEditMode();
  ModalCounter editors;
  QTest::mouseClick(Find<TArrow>("ArrowRS1_1"), Qt::LeftButton, {}, QPoint(5, 100));
  QTest::mouseClick(Find<TOutField>("OutFieldPLF1"), Qt::LeftButton);
  EXPECT_EQ(editors.Shown(), 2);

  SetElementEditMode(false);
  m_form->ApplyEditMode();
  QTest::mouseClick(Find<TArrow>("ArrowRS1_1"), Qt::LeftButton, {}, QPoint(5, 100));
  EXPECT_EQ(editors.Shown(), 2);
}

TEST_F(FormMnemoEditorTest, PoligonEditor_RoutedWhenAsked) {
  auto* square = Find<TPoligon>("PoligonPumpRP1");
  ASSERT_NE(square, nullptr);
  QString editor;
  PressOnEditor(u"Сохранить для всей группы"_qs, &editor);
  EXPECT_TRUE(m_form->EditElement(square));
  EXPECT_EQ(editor, u"FormEditPoligon"_qs);
}

}  // namespace

#include "formmnemo_test.moc"
