#include "ui/elements/arrow.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <functional>
#include <limits>

#include "common/inifile.h"
#include "elementcanvas.h"
#include "support/files.h"
#include "ui/elements/elementpen.h"

namespace {

const QColor kRed(255, 0, 0);
const QColor kBlack(0, 0, 0);
const QColor kWhite(255, 255, 255);

QString Position(const char* text) {
  QString position = QString::fromLatin1(text);
  return position.replace(u'.', QLocale::system().decimalPoint());
}

// Arrows on the black canvas; "m_sentinel" proves by painting that pending
// repaints were delivered.
class ArrowTest : public ElementCanvas {
 protected:
  void SetUp() override {
    ElementCanvas::SetUp();
    ASSERT_TRUE(m_dir.isValid());
    m_arrow = AddArrow(u"ArrowZRRP1_1"_qs, QRect(10, 10, 84, 11));
    m_sentinel = AddArrow(u"Sentinel"_qs, QRect(300, 300, 50, 50));
  }

  TArrow* AddArrow(const QString& name, const QRect& geometry) {
    auto* arrow = new TArrow(&m_canvas);
    arrow->setObjectName(name);
    arrow->setGeometry(geometry);
    arrow->SetConfigName(m_dir.filePath(u"FormMnemo.INI"_qs));
    m_counter.Watch(*arrow);
    return arrow;
  }

  // Shows the canvas and waits until every arrow has painted once.
  void ShowAndPaint() {
    ShowCanvas();
    for (TArrow* arrow : m_canvas.findChildren<TArrow*>())
      ASSERT_TRUE(WaitFor([&] { return m_counter.Paints(*arrow) > 0; })) << arrow->objectName().toStdString();
  }

  int PaintsAfter(TArrow& arrow, const std::function<void()>& action) {
    m_counter.Reset();
    action();
    m_sentinel->SetAngle(m_sentinel->Angle() + 1);
    EXPECT_TRUE(WaitFor([&] { return m_counter.Paints(*m_sentinel) > 0; }));
    return m_counter.Paints(arrow);
  }

  QString IniPath() const { return m_arrow->ConfigName(); }

  QTemporaryDir m_dir;
  TArrow* m_arrow = nullptr;
  TArrow* m_sentinel = nullptr;
};

TEST(Arrow, StartsWithTheLibraryDefaults) {
  TArrow arrow;
  EXPECT_STREQ(arrow.metaObject()->className(), "TArrow");
  EXPECT_EQ(arrow.size(), QSize(50, 50));
  EXPECT_EQ(arrow.Tag(), 0);
  EXPECT_EQ(arrow.ConfigName(), u".\\Colors.INI"_qs);
  EXPECT_EQ(arrow.Angle(), 0.0);
  EXPECT_EQ(arrow.Color(), clRed);
  EXPECT_EQ(arrow.ArrowWidth(), 3);
  EXPECT_EQ(arrow.EdgeLength(), 5);
  EXPECT_EQ(arrow.EdgeAngle(), 60);
  EXPECT_EQ(arrow.BubbleLen(), 3);
  EXPECT_EQ(arrow.BubbleSpeed(), 2.0);
  EXPECT_EQ(arrow.BubbleInterval(), 5);
  EXPECT_EQ(arrow.BubbleColor(), clWhite);
  EXPECT_TRUE(arrow.BubbleList().isEmpty());
  EXPECT_EQ(arrow.NextArrow(), nullptr);
  EXPECT_FALSE(arrow.BubbleSource());
  EXPECT_TRUE(arrow.testAttribute(Qt::WA_TranslucentBackground));
  EXPECT_FALSE(arrow.autoFillBackground());
  EXPECT_TRUE(arrow.setProperty("Tag", 501));
  EXPECT_EQ(arrow.Tag(), 501);
}

TEST_F(ArrowTest, AHorizontalArrowRunsFromOneToItsTipAlongTheMiddle) {
  ShowAndPaint();
  const QImage picture = Picture(*m_arrow);
  for (const int x : {1, 2, 42, 77, 83}) EXPECT_EQ(picture.pixelColor(x, 5), kRed) << x;
  for (const int x : {1, 42, 70}) {
    EXPECT_EQ(picture.pixelColor(x, 4), kRed) << x;  // three pixels wide
    EXPECT_EQ(picture.pixelColor(x, 6), kRed) << x;
    EXPECT_EQ(picture.pixelColor(x, 2), kBlack) << x;  // nothing but the line: the canvas shows
    EXPECT_EQ(picture.pixelColor(x, 8), kBlack) << x;
  }
  // The head: a filled triangle from the shaft end at x = 78, 2 ... 8, to the tip.
  for (const QPoint inside : {QPoint(78, 2), QPoint(78, 8), QPoint(79, 3), QPoint(80, 5), QPoint(81, 4)})
    EXPECT_EQ(picture.pixelColor(inside), kRed) << inside.x() << "," << inside.y();
  for (const QPoint outside : {QPoint(82, 2), QPoint(82, 8), QPoint(76, 1), QPoint(76, 9)})
    EXPECT_EQ(picture.pixelColor(outside), kBlack) << outside.x() << "," << outside.y();
}

TEST_F(ArrowTest, MinusNinetyRunsDownFromTheTop) {
  TArrow* down = AddArrow(u"ArrowDown"_qs, QRect(150, 10, 13, 263));
  down->SetAngle(-90);
  ShowAndPaint();
  const QImage picture = Picture(*down);
  for (const int y : {1, 130, 250, 262}) EXPECT_EQ(picture.pixelColor(6, y), kRed) << y;
  EXPECT_EQ(picture.pixelColor(6, 50), kRed);
  EXPECT_EQ(picture.pixelColor(2, 50), kBlack);
  // The head widens towards the shaft end (y = 257) and narrows to the tip below.
  EXPECT_EQ(picture.pixelColor(3, 257), kRed);
  EXPECT_EQ(picture.pixelColor(9, 257), kRed);
  EXPECT_EQ(picture.pixelColor(3, 261), kBlack);
  EXPECT_EQ(picture.pixelColor(9, 261), kBlack);
}

TEST_F(ArrowTest, WithoutAHeadTheShaftReachesTheTip) {
  TArrow* negative = AddArrow(u"ArrowNegative"_qs, QRect(10, 40, 84, 11));
  negative->SetEdgeLength(-7);
  EXPECT_EQ(negative->EdgeLength(), 0);
  m_arrow->SetEdgeLength(0);
  ShowAndPaint();
  for (TArrow* arrow : {m_arrow, negative}) {
    SCOPED_TRACE(arrow->objectName().toStdString());
    const QImage picture = Picture(*arrow);
    EXPECT_EQ(picture.pixelColor(83, 5), kRed);
    EXPECT_EQ(picture.pixelColor(82, 5), kRed);
    for (const QPoint noHead : {QPoint(78, 2), QPoint(78, 8), QPoint(80, 3)})
      EXPECT_EQ(picture.pixelColor(noHead), kBlack) << noHead.x() << "," << noHead.y();
  }
}

TEST_F(ArrowTest, GeometrySettersRepaintOnlyOnChangeAndDashSettersNever) {
  ShowAndPaint();
  const struct {
    const char* what;
    std::function<void(TArrow&)> set;
    bool repaints;
  } cases[] = {
      {"same Angle", [](TArrow& a) { a.SetAngle(0); }, false},
      {"same Color", [](TArrow& a) { a.SetColor(clRed); }, false},
      {"same ArrowWidth", [](TArrow& a) { a.SetArrowWidth(3); }, false},
      {"same EdgeLength", [](TArrow& a) { a.SetEdgeLength(5); }, false},
      {"same EdgeAngle", [](TArrow& a) { a.SetEdgeAngle(60); }, false},
      {"LoadConfig without a file", [](TArrow& a) { a.LoadConfig(); }, false},
      {"dash settings",
       [](TArrow& a) {
         a.SetBubbleLen(4);
         a.SetBubbleSpeed(1);
         a.SetBubbleInterval(9);
         a.SetBubbleColor(clYellow);
         a.SetBubbleList({u"3"_qs});
         a.SetBubbleSource(true);
         a.SetNextArrow(&a);
         a.SetNextArrow(nullptr);
       },
       false},
      {"new Angle", [](TArrow& a) { a.SetAngle(45); }, true},
      {"new Color", [](TArrow& a) { a.SetColor(clLime); }, true},
      {"new ArrowWidth", [](TArrow& a) { a.SetArrowWidth(2); }, true},
      {"new EdgeLength", [](TArrow& a) { a.SetEdgeLength(8); }, true},
      {"new EdgeAngle", [](TArrow& a) { a.SetEdgeAngle(90); }, true},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.what);
    EXPECT_EQ(PaintsAfter(*m_arrow, [&] { entry.set(*m_arrow); }) > 0, entry.repaints);
  }
}

TEST_F(ArrowTest, SaveConfigStoresFourKeysAndLoadConfigTakesBackWidthAndColourOnly) {
  m_arrow->SetArrowWidth(2);
  m_arrow->SetColor(clAqua);
  m_arrow->SetEdgeLength(8);
  m_arrow->SetEdgeAngle(45);
  ASSERT_TRUE(m_arrow->SaveConfig());
  const QByteArray text = ReadFileBytes(IniPath());
  EXPECT_EQ(text, "[ArrowZRRP1_1]\r\nArrowWidth=2\r\nColor=16776960\r\nEdgeLength=8\r\nEdgeAngle=45\r\n")
      << text.toStdString();

  TArrow* other = AddArrow(u"ArrowZRRP1_2"_qs, QRect(10, 40, 84, 11));
  EXPECT_TRUE(other->LoadConfig(u"ArrowZRRP1_1"_qs));
  EXPECT_EQ(other->ArrowWidth(), 2);
  EXPECT_EQ(other->Color(), clAqua);
  EXPECT_EQ(other->EdgeLength(), 5);
  EXPECT_EQ(other->EdgeAngle(), 60);
}

TEST_F(ArrowTest, ABrokenStyleFileKeepsOrClampsTheWidthAndColour) {
  const struct {
    QByteArray bytes;
    int width;
    TColor color;
  } cases[] = {
      {"", 3, clRed},
      {"[ArrowZRRP1_1", 3, clRed},
      {"[ArrowZRRP1_1]\nArrowWidth=three\nColor=clBlue\n", 3, clRed},
      {"[ArrowZRRP1_1]\nArrowWidth=\nColor=-16777201\n", 3, clRed},
      {"[ArrowZRRP1_1]\nArrowWidth=2147483648\nColor=16777216\n", 3, clRed},
      {"[ArrowZRRP1_1]\nArrowWidth=500000\n", ElementPen::kMaxWidth, clRed},
      {"[ArrowZRRP1_1]\nArrowWidth=-2\nColor=65280\n", 0, clLime},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.bytes.toStdString());
    m_arrow->SetArrowWidth(3);
    m_arrow->SetColor(clRed);
    ASSERT_TRUE(WriteFileBytes(IniPath(), entry.bytes));
    EXPECT_TRUE(m_arrow->LoadConfig());
    EXPECT_EQ(m_arrow->ArrowWidth(), entry.width);
    EXPECT_EQ(m_arrow->Color(), entry.color);
  }
}

TEST_F(ArrowTest, SaveConfigFailsOnAFileItCannotWrite) {
  m_arrow->SetConfigName(m_dir.filePath(u"missing folder/Colors.INI"_qs));
  EXPECT_FALSE(m_arrow->SaveConfig());
  EXPECT_EQ(m_arrow->ArrowWidth(), 3);
}

TEST_F(ArrowTest, TheDefaultStyleFileIsColorsIniInTheWorkingFolder) {
  const QString previous = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
  TArrow arrow;
  arrow.setObjectName(u"Arrow1"_qs);
  const bool saved = arrow.SaveConfig();
  QDir::setCurrent(previous);
  EXPECT_TRUE(saved);
  EXPECT_TRUE(ReadFileBytes(m_dir.filePath(u"Colors.INI"_qs)).startsWith("[Arrow1]"));
}

TEST_F(ArrowTest, ASourceFeedsADashOnceItsListIsEmptyWithoutRepainting) {
  ShowAndPaint();
  m_arrow->SetBubbleSource(true);
  EXPECT_EQ(PaintsAfter(*m_arrow, [&] { m_arrow->BubbleStep(false); }), 0);
  EXPECT_EQ(m_arrow->BubbleList(), QStringList({u"-2"_qs}));

  TArrow* follower = AddArrow(u"Follower"_qs, QRect(10, 60, 84, 11));
  follower->SetBubbleSource(true);
  follower->BubbleStep(true);
  EXPECT_TRUE(follower->BubbleList().isEmpty());
  TArrow* plain = AddArrow(u"Plain"_qs, QRect(10, 80, 84, 11));
  plain->BubbleStep(false);
  EXPECT_TRUE(plain->BubbleList().isEmpty());
}

TEST_F(ArrowTest, DashesMoveAndASourceFeedsTheNextOneAfterTheInterval) {
  ShowAndPaint();
  m_arrow->SetBubbleSource(true);
  m_arrow->SetBubbleList({u"0"_qs});
  EXPECT_GT(PaintsAfter(*m_arrow, [&] { m_arrow->BubbleStep(false); }), 0);
  EXPECT_EQ(m_arrow->BubbleList(), QStringList({u"2"_qs}));
  m_arrow->BubbleStep(false);
  m_arrow->BubbleStep(false);
  EXPECT_EQ(m_arrow->BubbleList(), QStringList({u"6"_qs, u"-3"_qs}));  // 6 > BubbleInterval 5
  m_arrow->BubbleStep(false);
  EXPECT_EQ(m_arrow->BubbleList(), QStringList({u"8"_qs, u"-1"_qs}));  // the last dash is not past 5
}

TEST_F(ArrowTest, ADashEntersTheNextArrowOnceAndLeavesThisOnePastItsLength) {
  TArrow* next = AddArrow(u"ArrowZRRP1_2"_qs, QRect(10, 40, 84, 11));
  ShowAndPaint();
  // 84 pixels wide: D = 82, threshold D - BubbleLen = 79.
  m_arrow->SetNextArrow(next);
  m_arrow->SetBubbleSpeed(1);
  m_arrow->SetBubbleLen(3);
  m_arrow->SetBubbleColor(clYellow);
  m_arrow->SetBubbleInterval(7);
  m_arrow->SetBubbleList({u"79"_qs});
  m_arrow->BubbleStep(false);
  EXPECT_EQ(m_arrow->BubbleList(), QStringList({Position("80.1")}));
  EXPECT_EQ(next->BubbleList(), QStringList({u"-2"_qs}));
  EXPECT_EQ(next->BubbleSpeed(), 1.0);
  EXPECT_EQ(next->BubbleColor(), clYellow);
  EXPECT_EQ(next->BubbleInterval(), 7);

  m_arrow->BubbleStep(false);
  EXPECT_EQ(m_arrow->BubbleList(), QStringList({Position("81.1")}));
  EXPECT_EQ(next->BubbleList(), QStringList({u"-1"_qs}));
  m_arrow->BubbleStep(false);
  EXPECT_TRUE(m_arrow->BubbleList().isEmpty());  // 82.1 > D
  EXPECT_EQ(next->BubbleList(), QStringList({u"0"_qs}));
}

TEST_F(ArrowTest, BrokenDashListsAndChainsDoNoHarm) {
  TArrow* next = AddArrow(u"Next"_qs, QRect(10, 40, 84, 11));
  ShowAndPaint();
  m_arrow->SetBubbleList({u"abc"_qs, u"1,5"_qs, QString(), u"2.5"_qs, u"nan"_qs, u"1e400"_qs});
  m_arrow->BubbleStep(false);
  EXPECT_EQ(m_arrow->BubbleList(), QStringList({Position("3.5"), Position("4.5")}));

  // A chain that loops back steps every arrow once and ends.
  m_arrow->SetNextArrow(next);
  next->SetNextArrow(m_arrow);
  next->SetBubbleList({u"10"_qs});
  m_arrow->BubbleStep(false);
  EXPECT_EQ(next->BubbleList(), QStringList({u"12"_qs}));
  m_arrow->SetNextArrow(m_arrow);
  m_arrow->BubbleStep(false);

  // A next arrow that is destroyed is forgotten.
  m_arrow->SetNextArrow(next);
  delete next;
  EXPECT_EQ(m_arrow->NextArrow(), nullptr);
  m_arrow->BubbleStep(false);
}

TEST_F(ArrowTest, DashesAreDrawnAlongTheShaftInTheirColour) {
  m_arrow->SetBubbleList({u"10"_qs, u"40"_qs});
  ShowAndPaint();
  const QImage picture = Picture(*m_arrow);
  // Tail at x = 1: dashes from 11 to 14 and from 41 to 44.
  for (const int x : {12, 13, 42, 43}) EXPECT_EQ(picture.pixelColor(x, 5), kWhite) << x;
  for (const int x : {5, 20, 30, 60}) EXPECT_EQ(picture.pixelColor(x, 5), kRed) << x;
}

TEST_F(ArrowTest, AnAbsurdHeadOrAngleDrawsWithoutHarm) {
  ShowAndPaint();
  for (const int edgeAngle : {180, 360, -180, 100000}) {
    m_arrow->SetEdgeAngle(edgeAngle);
    m_arrow->repaint();
  }
  m_arrow->SetEdgeLength(1'000'000'000);
  m_arrow->SetAngle(std::numeric_limits<double>::quiet_NaN());
  m_arrow->repaint();
  m_arrow->SetAngle(1e300);
  m_arrow->repaint();
}

TEST_F(ArrowTest, AClickAnywhereInTheControlIsAClick) {
  ShowAndPaint();
  QSignalSpy clicked(m_arrow, &TArrow::clicked);
  QTest::mouseClick(m_arrow, Qt::LeftButton, {}, QPoint(2, 1));
  QTest::mouseClick(m_arrow, Qt::RightButton);
  EXPECT_EQ(clicked.count(), 1);
}

}  // namespace
