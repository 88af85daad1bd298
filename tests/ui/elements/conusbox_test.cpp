#include "ui/elements/conusbox.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <functional>

#include "elementcanvas.h"
#include "support/waitfor.h"

namespace {

// A tall vessel, 100 x 400, with a white pen so that its walls show on the
// black canvas: the cone's top is at y 160, its bottom 20 pixels wide at
// x 40 ... 60. A widget whose repaint proves that every pending repaint has
// been delivered.
class ConusBoxTest : public ElementCanvas {
 protected:
  void SetUp() override {
    ElementCanvas::SetUp();
    m_canvas.resize(400, 500);
    m_vessel = new TConusBox(&m_canvas);
    m_vessel->setGeometry(10, 10, 100, 400);
    m_vessel->SetPen(ElementPen(clWhite, 1));
    m_vessel->SetColor(clGray);
    m_vessel->SetConusH(60);
    m_vessel->SetDownW(20);
    m_counter.Watch(*m_vessel);
  }

  int PaintsAfter(const std::function<void()>& action) {
    return ElementCanvas::PaintsAfter(*m_vessel, action);
  }

  TConusBox* m_vessel = nullptr;
};

const QColor kBack(Qt::black);
const QColor kWall = ColorFromTColor(clWhite);
const QColor kEmpty = ColorFromTColor(clGray);
const QColor kWater = ColorFromTColor(clAqua);

using Pixels = std::vector<std::pair<QPoint, QColor>>;

TEST(ConusBox, StartsWithTheLibraryDefaults) {
  TConusBox vessel;
  EXPECT_STREQ(vessel.metaObject()->className(), "TConusBox");
  EXPECT_EQ(vessel.BackColor(), clBlack);
  EXPECT_EQ(vessel.Color(), clBlack);
  EXPECT_EQ(vessel.Pen(), ElementPen(clBlack, 1));
  EXPECT_EQ(vessel.WaterColor(), clAqua);
  EXPECT_EQ(vessel.ConusH(), 80);
  EXPECT_EQ(vessel.DownW(), 10);
  EXPECT_EQ(vessel.WaterH(), 40);
  EXPECT_FALSE(vessel.ShowTopLine());
  EXPECT_FALSE(vessel.ShowConusTop());
  EXPECT_FALSE(vessel.HalfConus());
  EXPECT_FALSE(vessel.XFlip());
  EXPECT_TRUE(vessel.testAttribute(Qt::WA_OpaquePaintEvent));
}

TEST_F(ConusBoxTest, DrawsLiquidInTheConeAndTheUpperPart) {
  ShowCanvas();
  const struct {
    const char* what;
    std::function<void(TConusBox&)> set;
    Pixels pixels;
  } cases[] = {
      // WaterH 99: the surface at y 4, a thin empty band above it (rows 1 ... 3,
      // its top row painted over with the canvas colour).
      {"99 %",
       [](TConusBox& v) { v.SetWaterH(99); },
       {{{50, 0}, kBack},
        {{50, 1}, kBack},
        {{50, 2}, kEmpty},
        {{50, 4}, kWall},
        {{50, 5}, kWater},
        {{0, 100}, kBack},
        {{1, 100}, kWall},
        {{50, 100}, kWater},
        {{99, 100}, kWall},
        {{50, 159}, kWater},
        {{50, 160}, kWater},
        {{20, 200}, kWater},
        {{3, 200}, kBack},
        {{50, 398}, kWater},
        {{10, 398}, kBack},
        {{90, 398}, kBack},
        {{50, 399}, kWall}}},
      {"99 % with both lines shown",
       [](TConusBox& v) {
         v.SetShowTopLine(true);
         v.SetShowConusTop(true);
       },
       {{{50, 0}, kBack},
        {{50, 1}, kWall},
        {{50, 2}, kEmpty},
        {{50, 159}, kWall},
        {{50, 160}, kWall},
        {{50, 161}, kWater}}},
      {"100 %: no empty space",
       [](TConusBox& v) {
         v.SetShowTopLine(false);
         v.SetShowConusTop(false);
         v.SetWaterH(100);
       },
       {{{50, 1}, kBack}, {{50, 2}, kWater}, {{50, 4}, kWater}, {{50, 160}, kWater}}},
      {"100 % with the top line",
       [](TConusBox& v) { v.SetShowTopLine(true); },
       {{{50, 0}, kWall}, {{50, 1}, kWater}, {{0, 0}, kBack}}},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.what);
    entry.set(*m_vessel);
    const QImage picture = Picture(*m_vessel);
    for (const auto& [point, colour] : entry.pixels)
      EXPECT_EQ(picture.pixelColor(point), colour) << point.x() << "," << point.y();
  }
}

// Below the cone's top the liquid is a trapezoid on the cone's bottom; its
// surface widens linearly with the level. WaterH 30 of ConusH 60 puts the
// surface at y 280, half way up the cone.
TEST_F(ConusBoxTest, LiquidInTheConeIsATrapezoidFromTheBottom) {
  m_vessel->SetWaterH(30);
  ShowCanvas();
  const struct {
    const char* what;
    bool half;
    bool xFlip;
    Pixels pixels;
  } cases[] = {
      {"symmetric cone",
       false,
       false,
       {{{50, 100}, kEmpty},
        {{50, 278}, kEmpty},
        {{30, 275}, kEmpty},
        {{50, 282}, kWater},
        {{23, 282}, kWater},
        {{77, 282}, kWater},
        {{15, 282}, kBack},
        {{85, 282}, kBack},
        {{50, 397}, kWater},
        {{50, 159}, kEmpty},
        {{50, 160}, kEmpty}}},
      {"half cone, bottom at the right wall",
       true,
       false,
       {{{50, 278}, kEmpty},
        {{50, 282}, kWater},
        {{97, 282}, kWater},
        {{35, 282}, kBack},
        {{95, 390}, kWater},
        {{10, 390}, kBack},
        {{99, 300}, kWall}}},
      {"half cone, bottom at the left wall",
       true,
       true,
       {{{50, 278}, kEmpty},
        {{50, 282}, kWater},
        {{3, 282}, kWater},
        {{65, 282}, kBack},
        {{5, 390}, kWater},
        {{90, 390}, kBack},
        {{1, 300}, kWall}}},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.what);
    m_vessel->SetHalfConus(entry.half);
    m_vessel->SetXFlip(entry.xFlip);
    const QImage picture = Picture(*m_vessel);
    for (const auto& [point, colour] : entry.pixels)
      EXPECT_EQ(picture.pixelColor(point), colour) << point.x() << "," << point.y();
  }
}

TEST_F(ConusBoxTest, TheSurfaceWidensLinearlyWithTheLevel) {
  ShowCanvas();
  // Liquid pixels in the row just under the surface, per level.
  auto surfaceWidth = [&](int waterH) {
    m_vessel->SetWaterH(waterH);
    const QImage picture = Picture(*m_vessel);
    const int row = 400 - waterH * 4 + 2;
    int count = 0;
    for (int x = 0; x < 100; ++x) count += picture.pixelColor(x, row) == kWater ? 1 : 0;
    return count;
  };
  const int quarter = surfaceWidth(15);
  const int half = surfaceWidth(30);
  const int threeQuarters = surfaceWidth(45);
  EXPECT_NEAR(half, 60, 4);  // 2 * (10 + 0.5 * 40)
  EXPECT_NEAR(half - quarter, threeQuarters - half, 3);
  EXPECT_GT(surfaceWidth(60), 90);  // full inside width at the cone's top
}

TEST_F(ConusBoxTest, AnEmptyFlatVesselHasNoLiquid) {
  m_vessel->SetConusH(0);
  m_vessel->SetWaterH(0);
  ShowCanvas();
  const QImage picture = Picture(*m_vessel);
  EXPECT_EQ(CountPixels(picture, kWater), 0);
  EXPECT_EQ(picture.pixelColor(50, 200), kEmpty);
  EXPECT_EQ(picture.pixelColor(1, 200), kWall);
}

TEST_F(ConusBoxTest, AbsurdPercentagesAndPenWidthsPaintWithoutHarm) {
  ShowCanvas();
  for (const int value : {-1000, 1000, INT_MAX, INT_MIN}) {
    SCOPED_TRACE(value);
    m_vessel->SetConusH(value);
    m_vessel->SetWaterH(value / 2);
    m_vessel->SetDownW(value);
    m_vessel->SetPenWidth(value);
    m_vessel->SetHalfConus(value > 0);
    EXPECT_FALSE(Picture(*m_vessel).isNull());
  }
}

TEST_F(ConusBoxTest, CaptionsOnTheVesselShowOnTop) {
  m_vessel->SetWaterH(99);
  auto* caption = new QLabel(m_vessel);
  caption->setGeometry(20, 50, 40, 20);
  caption->setAutoFillBackground(true);
  QPalette palette = caption->palette();
  palette.setColor(QPalette::Window, Qt::red);
  caption->setPalette(palette);
  ShowCanvas();
  EXPECT_EQ(Picture(*m_vessel).pixelColor(40, 60), QColor(Qt::red));
  EXPECT_EQ(Picture(*m_vessel).pixelColor(40, 80), kWater);
}

TEST_F(ConusBoxTest, UnchangedValuesCostNoRepaintChangesRepaint) {
  ShowCanvas();
  EXPECT_EQ(PaintsAfter([&] {
              TConusBox& v = *m_vessel;
              v.SetBackColor(clBlack);
              v.SetColor(clGray);
              v.SetPen(ElementPen(clWhite, 1));
              v.SetPenColor(clWhite);
              v.SetPenWidth(1);
              v.SetWaterColor(clAqua);
              v.SetConusH(60);
              v.SetShowTopLine(false);
              v.SetShowConusTop(false);
              v.SetDownW(20);
              v.SetWaterH(40);
              v.SetHalfConus(false);
              v.SetXFlip(false);
              v.SetTag(0);
            }),
            0);
  const std::function<void(TConusBox&)> changes[] = {
      [](TConusBox& v) { v.SetBackColor(clNavy); },  [](TConusBox& v) { v.SetColor(clSilver); },
      [](TConusBox& v) { v.SetPenWidth(2); },        [](TConusBox& v) { v.SetWaterColor(clLime); },
      [](TConusBox& v) { v.SetConusH(50); },         [](TConusBox& v) { v.SetShowTopLine(true); },
      [](TConusBox& v) { v.SetShowConusTop(true); }, [](TConusBox& v) { v.SetDownW(30); },
      [](TConusBox& v) { v.SetWaterH(10); },         [](TConusBox& v) { v.SetHalfConus(true); },
      [](TConusBox& v) { v.SetXFlip(true); },
  };
  for (const auto& change : changes) EXPECT_GT(PaintsAfter([&] { change(*m_vessel); }), 0);
  // A changed value shows: the cached picture was redrawn.
  m_vessel->SetWaterColor(clRed);
  Flush();
  EXPECT_GT(CountPixels(Picture(*m_vessel), ColorFromTColor(clRed)), 0);
}

}  // namespace
