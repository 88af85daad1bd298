#include "ui/elements/valve.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include "elementcanvas.h"
#include "support/waitfor.h"

namespace {

// A diagram valve on the black canvas, and a widget whose repaint proves that
// every pending repaint has been delivered.
class ValveTest : public ElementCanvas {
 protected:
  void SetUp() override {
    ElementCanvas::SetUp();
    m_valve = new TValve(&m_canvas);
    m_valve->move(10, 10);
    m_counter.Watch(*m_valve);
  }

  int PaintsAfter(const std::function<void()>& action) {
    return ElementCanvas::PaintsAfter(*m_valve, action);
  }

  TValve* m_valve = nullptr;
};

TEST(Valve, StartsAsTheDiagramsValve) {
  TValve valve;
  EXPECT_STREQ(valve.metaObject()->className(), "TValve");
  EXPECT_EQ(valve.size(), QSize(40, 40));
  EXPECT_EQ(valve.Pen(), ElementPen(clYellow, 1));
  EXPECT_EQ(valve.Brush().Color, clRed);
  EXPECT_FALSE(valve.VertMode());
  EXPECT_EQ(valve.Tag(), 0);
  EXPECT_FALSE(valve.testAttribute(Qt::WA_OpaquePaintEvent));
}

// Two triangles meet at the centre; the pen width insets the corners. The
// canvas shows through between the triangles and around them.
TEST_F(ValveTest, DrawsTwoTrianglesTipToTipInEitherOrientation) {
  ShowCanvas();
  const QColor red = ColorFromTColor(clRed);
  const QColor yellow = ColorFromTColor(clYellow);
  const QColor black(Qt::black);
  const struct {
    bool vertMode;
    int penWidth;
    std::vector<std::pair<QPoint, QColor>> pixels;
  } cases[] = {
      {false,
       1,
       {{{5, 20}, red},
        {{34, 20}, red},
        {{20, 5}, black},
        {{20, 34}, black},
        {{1, 20}, yellow},
        {{39, 20}, yellow},
        {{0, 20}, black},
        {{20, 20}, yellow},
        {{10, 10}, yellow}}},
      {true,
       1,
       {{{20, 5}, red},
        {{20, 34}, red},
        {{5, 20}, black},
        {{34, 20}, black},
        {{20, 1}, yellow},
        {{20, 39}, yellow},
        {{20, 0}, black},
        {{20, 20}, yellow}}},
      {false, 3, {{{0, 20}, black}, {{1, 20}, black}, {{3, 20}, yellow}, {{8, 20}, red}, {{20, 8}, black}}},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.vertMode);
    SCOPED_TRACE(entry.penWidth);
    m_valve->SetVertMode(entry.vertMode);
    m_valve->SetPenWidth(entry.penWidth);
    const QImage picture = Picture(*m_valve);
    for (const auto& [point, colour] : entry.pixels)
      EXPECT_EQ(picture.pixelColor(point), colour) << point.x() << "," << point.y();
  }
}

// The diagram recolours a group of valves and repaints them in one go, so
// the colour setters themselves must not paint.
TEST_F(ValveTest, RecolouringShowsOnlyAfterTheOwnersRepaint) {
  ShowCanvas();
  EXPECT_EQ(PaintsAfter([&] {
              m_valve->SetPenColor(clWhite);
              m_valve->SetBrushColor(clLime);
              m_valve->SetPen(ElementPen(clAqua, 2));
              m_valve->SetBrush(ElementBrush{clBlue});
              m_valve->SetVertMode(false);
              m_valve->SetTag(7);
            }),
            0);
  EXPECT_GT(PaintsAfter([&] { m_valve->update(); }), 0);
  const QImage picture = Picture(*m_valve);
  EXPECT_EQ(picture.pixelColor(8, 20), ColorFromTColor(clBlue));
  EXPECT_EQ(picture.pixelColor(2, 20), ColorFromTColor(clAqua));

  EXPECT_GT(PaintsAfter([&] { m_valve->SetVertMode(true); }), 0);
}

TEST_F(ValveTest, ALeftClickIsAClick) {
  ShowCanvas();
  QSignalSpy clicked(m_valve, &TValve::clicked);
  QTest::mouseClick(m_valve, Qt::LeftButton);
  QTest::mouseClick(m_valve, Qt::RightButton);
  EXPECT_EQ(clicked.count(), 1);
}

}  // namespace
