#include "ui/elements/pump.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <functional>

#include "common/inifile.h"
#include "elementcanvas.h"
#include "support/files.h"
#include "support/waitfor.h"

namespace {

// A 60 x 60 pump on the black canvas (thirds of 20 pixels): base plate 20
// wide and 40 high at one side, body circle in the lower right (or left)
// 40 x 40, outlet band y 30 ... 50. A widget whose repaint proves that every
// pending repaint has been delivered.
class PumpTest : public ElementCanvas {
 protected:
  void SetUp() override {
    ElementCanvas::SetUp();
    ASSERT_TRUE(m_dir.isValid());
    m_pump = new TPump(&m_canvas);
    m_pump->setObjectName(u"TestPump"_qs);
    m_pump->setGeometry(10, 10, 60, 60);
    m_pump->SetConfigName(m_dir.filePath(u"FormMnemo.INI"_qs));
    m_counter.Watch(*m_pump);
  }

  int PaintsAfter(const std::function<void()>& action) { return ElementCanvas::PaintsAfter(*m_pump, action); }

  QString IniPath() const { return m_pump->ConfigName(); }

  QTemporaryDir m_dir;
  TPump* m_pump = nullptr;
};

TEST(Pump, StartsWithTheLibraryDefaults) {
  TPump pump;
  EXPECT_STREQ(pump.metaObject()->className(), "TPump");
  EXPECT_EQ(pump.size(), QSize(50, 50));
  EXPECT_EQ(pump.Pen(), ElementPen(clRed, 1));
  EXPECT_EQ(pump.Brush().Color, clYellow);
  EXPECT_FALSE(pump.VertFlip());
  EXPECT_EQ(pump.ConfigName(), u".\\Colors.INI"_qs);
  EXPECT_FALSE(pump.testAttribute(Qt::WA_OpaquePaintEvent));
}

TEST_F(PumpTest, DrawsBodyBaseAndOutletInEitherOrientation) {
  ShowCanvas();
  const QColor red = ColorFromTColor(clRed);
  const QColor yellow = ColorFromTColor(clYellow);
  const QColor black(Qt::black);
  const struct {
    bool vertFlip;
    std::vector<std::pair<QPoint, QColor>> pixels;
  } cases[] = {
      // Base on the right, outlet to the left; the outlet's fill hides the
      // impeller's arc.
      {false,
       {{{50, 5}, yellow},
        {{40, 5}, red},
        {{59, 5}, red},
        {{50, 0}, red},
        {{40, 45}, yellow},
        {{15, 50}, red},
        {{0, 40}, red},
        {{15, 30}, red},
        {{15, 40}, yellow},
        {{20, 40}, yellow},
        {{15, 55}, black},
        {{5, 10}, black},
        {{25, 10}, black}}},
      // Base on the left, outlet to the right; the arc stays visible.
      {true,
       {{{10, 5}, yellow},
        {{0, 5}, red},
        {{19, 5}, red},
        {{20, 40}, red},
        {{45, 50}, red},
        {{59, 40}, red},
        {{45, 30}, red},
        {{45, 40}, yellow},
        {{45, 10}, black},
        {{55, 55}, black},
        {{10, 45}, yellow}}},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.vertFlip);
    m_pump->SetVertFlip(entry.vertFlip);
    const QImage picture = Picture(*m_pump);
    for (const auto& [point, colour] : entry.pixels)
      EXPECT_EQ(picture.pixelColor(point), colour) << point.x() << "," << point.y();
  }
}

TEST_F(PumpTest, UnchangedValuesCostNoRepaintChangesRepaint) {
  ShowCanvas();
  EXPECT_EQ(PaintsAfter([&] {
              m_pump->SetPen(ElementPen(clRed, 1));
              m_pump->SetPenColor(clRed);
              m_pump->SetPenWidth(1);
              m_pump->SetBrushColor(clYellow);
              m_pump->SetVertFlip(false);
              m_pump->LoadConfig();  // no file
            }),
            0);
  const std::function<void()> changes[] = {
      [&] { m_pump->SetPenWidth(2); },
      [&] { m_pump->SetPenColor(clLime); },
      [&] { m_pump->SetBrushColor(clAqua); },
      [&] { m_pump->SetVertFlip(true); },
  };
  for (const auto& change : changes) EXPECT_GT(PaintsAfter(change), 0);
}

TEST_F(PumpTest, StoresPenAndFillAndLoadsThemIntoAnotherSection) {
  m_pump->SetPen(ElementPen(clRed, 2, TPenStyle::psInsideFrame));
  m_pump->SetBrushColor(clLime);
  ASSERT_TRUE(m_pump->SaveConfig());
  const QByteArray text = ReadFileBytes(IniPath());
  EXPECT_TRUE(text.startsWith("[TestPump]")) << text.toStdString();
  for (const char* line : {"PenWidth=2", "PenColor=255", "PenStyle=6", "BrushColor=65280"})
    EXPECT_TRUE(text.contains(line)) << line;

  TPump other(&m_canvas);
  other.setObjectName(u"Pump2"_qs);
  other.SetConfigName(IniPath());
  other.SetVertFlip(true);
  EXPECT_TRUE(other.LoadConfig(u"TestPump"_qs));
  EXPECT_EQ(other.Pen(), m_pump->Pen());
  EXPECT_EQ(other.Brush(), m_pump->Brush());
  EXPECT_TRUE(other.VertFlip());
}

TEST_F(PumpTest, ABrokenStyleFileKeepsASaneStyle) {
  const struct {
    QByteArray bytes;
    int penWidth;
  } cases[] = {
      {"[TestPump]\nPenWidth=1.5\nPenColor=16777216\nPenStyle=7\nBrushColor=0x1000000\n", 1},
      {"[TestPump]\nPenWidth=10000\n", ElementPen::kMaxWidth},
      {"[TestPump]\nPenWidth=-5\n", 0},
      {"PenWidth=3\n[TestPump", 0},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.bytes.toStdString());
    ASSERT_TRUE(WriteFileBytes(IniPath(), entry.bytes));
    EXPECT_TRUE(m_pump->LoadConfig());
    EXPECT_EQ(m_pump->Pen(), ElementPen(clRed, entry.penWidth));
    EXPECT_EQ(m_pump->Brush().Color, clYellow);
  }
}

TEST_F(PumpTest, SaveConfigReportsAFileItCannotWrite) {
  m_pump->SetConfigName(m_dir.filePath(u"no such folder/FormMnemo.INI"_qs));
  EXPECT_FALSE(m_pump->SaveConfig());
}

TEST_F(PumpTest, ALeftClickIsAClick) {
  ShowCanvas();
  QSignalSpy clicked(m_pump, &TPump::clicked);
  QTest::mouseClick(m_pump, Qt::LeftButton);
  QTest::mouseClick(m_pump, Qt::RightButton);
  EXPECT_EQ(clicked.count(), 1);
}

}  // namespace
