#include "ui/elements/barrel.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>
#include <functional>

#include "common/inifile.h"
#include "elementcanvas.h"
#include "support/files.h"
#include "support/waitfor.h"

namespace {

// The barrel editor's preview, 100 x 200: grey around the liquid, shading
// from navy (0, 0, 128) at the bottom to aqua (0, 255, 255), yellow walls of
// width 10 centred 5 pixels in from the left, right and bottom edges. A
// widget whose repaint proves that every pending repaint has been delivered.
class BarrelTest : public ElementCanvas {
 protected:
  void SetUp() override {
    ElementCanvas::SetUp();
    ASSERT_TRUE(m_dir.isValid());
    m_barrel = new TBarrel(&m_canvas);
    m_barrel->setObjectName(u"TestBarrel"_qs);
    m_barrel->setGeometry(10, 10, 100, 200);
    m_barrel->SetColor(clGray);
    m_barrel->SetUpColor(clAqua);
    m_barrel->SetDownColor(clNavy);
    m_barrel->SetPen(ElementPen(clYellow, 10));
    m_barrel->SetWaterLevel(5);
    m_barrel->SetConfigName(m_dir.filePath(u"FormMnemo.INI"_qs));
    m_counter.Watch(*m_barrel);
  }

  int PaintsAfter(const std::function<void()>& action) {
    return ElementCanvas::PaintsAfter(*m_barrel, action);
  }

  QString IniPath() const { return m_barrel->ConfigName(); }

  QTemporaryDir m_dir;
  TBarrel* m_barrel = nullptr;
};

// Band i of 100 (0 at the bottom) between navy and aqua.
QColor Band(int i) {
  return QColor(0, static_cast<int>(std::trunc(i * 2.55)), static_cast<int>(std::trunc(i * 1.27 + 128)));
}

const QColor kBack = ColorFromTColor(clGray);
const QColor kWall = ColorFromTColor(clYellow);

TEST(Barrel, StartsWithTheLibraryDefaults) {
  TBarrel barrel;
  EXPECT_STREQ(barrel.metaObject()->className(), "TBarrel");
  EXPECT_EQ(barrel.UpColor(), clBlue);
  EXPECT_EQ(barrel.DownColor(), clNavy);
  EXPECT_EQ(barrel.MaxLevel(), 10.0);
  EXPECT_EQ(barrel.MinLevel(), 0.0);
  EXPECT_EQ(barrel.WaterLevel(), 3.5);
  EXPECT_EQ(barrel.Pen(), ElementPen(clBlack, 1));
  EXPECT_EQ(barrel.Brush().Color, clWhite);
  EXPECT_EQ(barrel.ConfigName(), u".\\Colors.INI"_qs);
  EXPECT_TRUE(barrel.testAttribute(Qt::WA_OpaquePaintEvent));
}

// Level 5 of 0 ... 10 fills the lower 50 bands of 2 pixels: rows 100 ... 199.
TEST_F(BarrelTest, FillsWholeBandsFromTheBottomShadingUpwards) {
  ShowCanvas();
  const QImage picture = Picture(*m_barrel);
  const std::pair<QPoint, QColor> pixels[] = {
      {{50, 189}, Band(5)},  {{50, 188}, Band(5)},  {{50, 187}, Band(6)}, {{50, 101}, Band(49)},
      {{50, 100}, Band(49)}, {{50, 99}, kBack},     {{50, 2}, kBack},     {{2, 100}, kWall},
      {{9, 100}, kWall},     {{10, 100}, Band(49)}, {{97, 150}, kWall},   {{90, 150}, kWall},
      {{89, 150}, Band(24)}, {{50, 197}, kWall},    {{2, 2}, kBack},      {{50, 190}, kWall},
  };
  for (const auto& [point, colour] : pixels)
    EXPECT_EQ(picture.pixelColor(point), colour) << point.x() << "," << point.y();
}

TEST_F(BarrelTest, TheLevelIsClampedIntoTheScale) {
  ShowCanvas();
  const struct {
    double level;
    QColor top;     // row 0, the highest band
    QColor middle;  // row 150
  } cases[] = {{-3, kBack, kBack}, {0, kBack, kBack}, {10, Band(99), Band(24)}, {50, Band(99), Band(24)}};
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.level);
    m_barrel->SetWaterLevel(entry.level);
    const QImage picture = Picture(*m_barrel);
    EXPECT_EQ(picture.pixelColor(50, 0), entry.top);
    EXPECT_EQ(picture.pixelColor(50, 150), entry.middle);
  }
}

// Without a scale nothing new is drawn: the last picture stays, and a barrel
// that never had one shows its background, never stray pixels.
TEST_F(BarrelTest, WithoutAScaleThePictureStays) {
  ShowCanvas();
  for (const double max : {0.0, -1.0, std::nan("")}) {
    SCOPED_TRACE(max);
    m_barrel->SetMaxLevel(10);
    m_barrel->SetWaterLevel(5);
    Flush();
    m_barrel->SetMaxLevel(max);
    m_barrel->SetWaterLevel(9);
    const QImage picture = Picture(*m_barrel);
    EXPECT_EQ(picture.pixelColor(50, 150), Band(24));
    EXPECT_EQ(picture.pixelColor(50, 50), kBack);
  }
  TBarrel fresh(&m_canvas);
  fresh.setGeometry(150, 10, 50, 50);
  fresh.SetColor(clGreen);
  fresh.SetMaxLevel(0);
  fresh.show();
  const QImage picture = Picture(fresh);
  EXPECT_EQ(CountPixels(picture, ColorFromTColor(clGreen)), 50 * 50);
}

TEST_F(BarrelTest, UnchangedValuesCostNoRepaintChangesRepaint) {
  ShowCanvas();
  EXPECT_EQ(PaintsAfter([&] {
              TBarrel& b = *m_barrel;
              b.SetColor(clGray);
              b.SetUpColor(clAqua);
              b.SetDownColor(clNavy);
              b.SetMaxLevel(10);
              b.SetMinLevel(0);
              b.SetWaterLevel(5);
              b.SetPen(ElementPen(clYellow, 10));
              b.SetPenColor(clYellow);
              b.SetPenWidth(10);
              b.SetBrushColor(clWhite);
              b.LoadConfig();  // no file
            }),
            0);
  const std::function<void(TBarrel&)> changes[] = {
      [](TBarrel& b) { b.SetColor(clSilver); },    [](TBarrel& b) { b.SetUpColor(clLime); },
      [](TBarrel& b) { b.SetDownColor(clGreen); }, [](TBarrel& b) { b.SetMaxLevel(20); },
      [](TBarrel& b) { b.SetMinLevel(1); },        [](TBarrel& b) { b.SetWaterLevel(8); },
      [](TBarrel& b) { b.SetPenWidth(2); },        [](TBarrel& b) { b.SetBrushColor(clRed); },
  };
  for (const auto& change : changes) EXPECT_GT(PaintsAfter([&] { change(*m_barrel); }), 0);
}

TEST_F(BarrelTest, StoresItsStyleAndLoadsItIntoAnotherSection) {
  m_barrel->SetBrushColor(clCream);
  ASSERT_TRUE(m_barrel->SaveConfig());
  const QByteArray text = ReadFileBytes(IniPath());
  EXPECT_TRUE(text.startsWith("[TestBarrel]")) << text.toStdString();
  for (const char* line : {"UpColor=16776960", "DownColor=8388608", "BackColor=15793151", "PenWidth=10",
                           "PenColor=65535", "PenStyle=0"})
    EXPECT_TRUE(text.contains(line)) << line;

  TBarrel other(&m_canvas);
  other.setObjectName(u"Barrel1"_qs);
  other.SetConfigName(IniPath());
  other.SetWaterLevel(1);
  EXPECT_TRUE(other.LoadConfig(u"TestBarrel"_qs));
  EXPECT_EQ(other.UpColor(), clAqua);
  EXPECT_EQ(other.DownColor(), clNavy);
  EXPECT_EQ(other.Brush().Color, clCream);
  EXPECT_EQ(other.Pen(), m_barrel->Pen());
  EXPECT_EQ(other.Color(), clSilver);  // the background is the layout's
  EXPECT_EQ(other.WaterLevel(), 1.0);
}

TEST_F(BarrelTest, ABrokenStyleFileKeepsASaneStyle) {
  const struct {
    QByteArray bytes;
    int penWidth;
  } cases[] = {
      {"[TestBarrel]\nUpColor=16777216\nDownColor=-1\nBackColor=red\nPenWidth=\nPenColor=99999999\nPenStyle=-"
       "2\n",
       10},
      {"[TestBarrel]\nPenWidth=10000\n", ElementPen::kMaxWidth},
      {"[TestBarrel]\nPenWidth=-5\n", 0},
      {QByteArray("[TestBarrel]\n\0\0\0", 16), 0},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.bytes.toStdString());
    ASSERT_TRUE(WriteFileBytes(IniPath(), entry.bytes));
    EXPECT_TRUE(m_barrel->LoadConfig());
    EXPECT_EQ(m_barrel->Pen(), ElementPen(clYellow, entry.penWidth));
    EXPECT_EQ(m_barrel->UpColor(), clAqua);
    EXPECT_EQ(m_barrel->DownColor(), clNavy);
    EXPECT_EQ(m_barrel->Brush().Color, clWhite);
  }
}

TEST_F(BarrelTest, SaveConfigReportsAFileItCannotWrite) {
  m_barrel->SetConfigName(m_dir.filePath(u"no such folder/FormMnemo.INI"_qs));
  EXPECT_FALSE(m_barrel->SaveConfig());
}

}  // namespace
