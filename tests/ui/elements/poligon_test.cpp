#include "ui/elements/poligon.h"

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <functional>

#include "common/inifile.h"
#include "elementcanvas.h"
#include "support/files.h"
#include "support/modaldialogs.h"
#include "support/waitfor.h"

namespace {

const QString kTooManyPoints = u"Слишком большое количество точек!"_qs;
const QString kBadPoint = u"Правильно указываете координаты точек.\n\r"_qs;

QStringList Lines(int count, const QString& line) {
  QStringList lines;
  for (int i = 0; i < count; ++i) lines << line;
  return lines;
}

// A diagram polygon on the black canvas that records its messages instead
// of showing them, and a widget whose repaint proves that every pending
// repaint has been delivered.
class PoligonTest : public ElementCanvas {
 protected:
  void SetUp() override {
    ElementCanvas::SetUp();
    ASSERT_TRUE(m_dir.isValid());
    m_poligon = new TPoligon(&m_canvas);
    m_poligon->setObjectName(u"Poligon3"_qs);
    m_poligon->move(10, 10);
    m_poligon->SetConfigName(m_dir.filePath(u"FormMnemo.INI"_qs));
    m_poligon->SetMessageSink([this](const QString& text) { m_messages << text; });
    m_counter.Watch(*m_poligon);
  }

  int PaintsAfter(const std::function<void()>& action) {
    return ElementCanvas::PaintsAfter(*m_poligon, action);
  }

  QString IniPath() const { return m_poligon->ConfigName(); }

  QTemporaryDir m_dir;
  TPoligon* m_poligon = nullptr;
  QStringList m_messages;
};

TEST(Poligon, StartsAsATrianglePointingUp) {
  TPoligon poligon;
  EXPECT_STREQ(poligon.metaObject()->className(), "TPoligon");
  EXPECT_EQ(poligon.size(), QSize(100, 100));
  EXPECT_EQ(poligon.PointList(), QStringList({u"50; 0"_qs, u"0; 100"_qs, u"100; 100"_qs}));
  EXPECT_EQ(poligon.ValidPointCount(), 3);
  EXPECT_EQ(poligon.PercentPoint(1), QPointF(0, 100));
  EXPECT_EQ(poligon.Pen(), ElementPen(clRed, 1));
  EXPECT_EQ(poligon.Brush().Color, clYellow);
  EXPECT_EQ(poligon.ConfigName(), u".\\Colors.INI"_qs);
  EXPECT_FALSE(poligon.XFlip());
  EXPECT_FALSE(poligon.testAttribute(Qt::WA_OpaquePaintEvent));
}

// Every list starts from the default triangle, so "kept" means its corners.
TEST_F(PoligonTest, ParsesGoodListsAndReportsBadOnesKeepingTheLastShape) {
  const struct {
    const char* what;
    QStringList list;
    int validPoints;
    QString message;     // empty: none
    QPointF firstPoint;  // after the parse
  } cases[] = {
      {"percent corners", {u"10; 25"_qs, u"0;0"_qs, u"5,5; 7.5"_qs}, 3, {}, {10, 25}},
      {"spaces around the numbers", {u" 10 ;  20 "_qs, u"-5;0"_qs, u"1;1"_qs}, 3, {}, {10, 20}},
      {"huge numbers are numbers", {u"1e300; 5"_qs, u"0;-1e300"_qs, u"1;1"_qs}, 3, {}, {1e300, 5}},
      {"a hundred corners", Lines(100, u"1;2"_qs), 100, {}, {1, 2}},
      {"two lines draw nothing", {u"0;0"_qs, u"9;9"_qs}, 0, {}, {}},
      {"no lines", {}, 0, {}, {}},
      {"101 lines", Lines(101, u"1;2"_qs), 3, kTooManyPoints, {50, 0}},
      {"no semicolon", {u"10 25"_qs, u"0;0"_qs, u"1;1"_qs}, 3, kBadPoint, {50, 0}},
      {"semicolon first", {u";5"_qs, u"0;0"_qs, u"1;1"_qs}, 3, kBadPoint, {50, 0}},
      {"an empty line", {u"0;0"_qs, u""_qs, u"1;1"_qs}, 3, kBadPoint, {50, 0}},
      {"letters", {u"0;0"_qs, u"1;1"_qs, u"abc;def"_qs}, 3, kBadPoint, {50, 0}},
      {"no y", {u"0;0"_qs, u"1;1"_qs, u"10;"_qs}, 3, kBadPoint, {50, 0}},
      {"two semicolons", {u"0;0"_qs, u"1;1"_qs, u"10;20;30"_qs}, 3, kBadPoint, {50, 0}},
      {"beyond a double", {u"1e999;0"_qs, u"1;1"_qs, u"2;2"_qs}, 3, kBadPoint, {50, 0}},
  };
  ShowCanvas();
  const QStringList triangle = m_poligon->PointList();
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.what);
    m_poligon->SetPointList(triangle);
    m_messages.clear();
    m_poligon->SetPointList(entry.list);
    EXPECT_EQ(m_poligon->ValidPointCount(), entry.validPoints);
    EXPECT_EQ(m_messages, entry.message.isEmpty() ? QStringList() : QStringList{entry.message});
    EXPECT_EQ(m_poligon->PercentPoint(0), entry.firstPoint);
    Flush();  // whatever it holds paints without harm
  }
}

// A bad list is parsed again, and reported again, with every change of the
// style; an unchanged style is no change.
TEST_F(PoligonTest, ABadListIsReportedOncePerReparse) {
  m_poligon->SetPointList({u"0;0"_qs, u"x;1"_qs, u"1;1"_qs});
  EXPECT_EQ(m_messages.size(), 1);
  m_poligon->SetPenColor(clWhite);
  m_poligon->SetBrushColor(clLime);
  m_poligon->SetXFlip(true);
  EXPECT_EQ(m_messages.size(), 4);
  m_poligon->SetPenColor(clWhite);
  m_poligon->SetBrushColor(clLime);
  m_poligon->SetXFlip(true);
  m_poligon->RefrshPointList();
  EXPECT_EQ(m_messages.size(), 5);
}

TEST_F(PoligonTest, WithoutASinkTheMessageIsAnErrorBox) {
  m_poligon->SetMessageSink(nullptr);
  ShowCanvas();
  MessageBoxSeen seen;
  AnswerMessageBox(QMessageBox::Ok, &seen);
  m_poligon->SetPointList(Lines(101, u"1;1"_qs));
  EXPECT_TRUE(seen.shown);
  EXPECT_EQ(seen.title, u"Ошибка"_qs);
  EXPECT_EQ(seen.text, kTooManyPoints);
  EXPECT_EQ(seen.icon, QMessageBox::Critical);
}

TEST_F(PoligonTest, XFlipMirrorsTheCorners) {
  m_poligon->SetXFlip(true);
  EXPECT_EQ(m_poligon->PercentPoint(0), QPointF(50, 0));
  EXPECT_EQ(m_poligon->PercentPoint(1), QPointF(100, 100));
  EXPECT_EQ(m_poligon->PercentPoint(2), QPointF(0, 100));
}

// Corners are trunc(size * percent / 100) pixels; one at 100 % lies just past
// the far edge, which is why layouts use 99 there.
TEST_F(PoligonTest, PaintsCornersAtPercentOfItsSize) {
  ShowCanvas();
  const QColor red = ColorFromTColor(clRed);
  const QColor yellow = ColorFromTColor(clYellow);
  const QColor black(Qt::black);
  const struct {
    const char* what;
    QSize size;
    QStringList list;
    bool xFlip;
    std::vector<std::pair<QPoint, QColor>> pixels;
  } cases[] = {
      {"corners in pixels",
       {200, 100},
       {u"10; 20"_qs, u"90; 20"_qs, u"50; 90"_qs},
       false,
       {{{20, 20}, red},
        {{19, 20}, black},
        {{100, 20}, red},
        {{100, 50}, yellow},
        {{100, 89}, yellow},
        {{100, 91}, black},
        {{170, 22}, yellow},
        {{181, 20}, black}}},
      {"a square to 99",
       {100, 100},
       {u"0; 0"_qs, u"0; 99"_qs, u"99; 99"_qs, u"99; 0"_qs},
       false,
       {{{0, 50}, red}, {{99, 50}, red}, {{50, 0}, red}, {{50, 99}, red}, {{50, 50}, yellow}}},
      {"a square to 100 loses its far edges",
       {100, 100},
       {u"0; 0"_qs, u"0; 100"_qs, u"100; 100"_qs, u"100; 0"_qs},
       false,
       {{{0, 50}, red}, {{99, 50}, yellow}, {{50, 0}, red}, {{50, 99}, yellow}}},
      {"lower left triangle",
       {100, 100},
       {u"0; 0"_qs, u"0; 99"_qs, u"99; 99"_qs},
       false,
       {{{5, 90}, yellow}, {{90, 10}, black}, {{0, 10}, red}}},
      {"mirrored to the lower right",
       {100, 100},
       {u"0; 0"_qs, u"0; 99"_qs, u"99; 99"_qs},
       true,
       {{{5, 90}, black}, {{80, 10}, black}, {{95, 90}, yellow}, {{99, 50}, yellow}, {{1, 99}, red}}},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.what);
    m_poligon->resize(entry.size);
    m_poligon->SetPointList(entry.list);
    m_poligon->SetXFlip(entry.xFlip);
    ASSERT_TRUE(m_messages.isEmpty());
    const QImage picture = Picture(*m_poligon);
    for (const auto& [point, colour] : entry.pixels)
      EXPECT_EQ(picture.pixelColor(point), colour) << point.x() << "," << point.y();
  }
}

TEST_F(PoligonTest, NoLineNoPicture) {
  m_poligon->SetPointList({u"0;0"_qs, u"99;99"_qs});
  ShowCanvas();
  const QImage picture = Picture(*m_poligon);
  EXPECT_EQ(CountPixels(picture, QColor(Qt::black)), picture.width() * picture.height());
}

TEST_F(PoligonTest, UnchangedValuesCostNoRepaintChangesRepaint) {
  ShowCanvas();
  const QStringList list = m_poligon->PointList();
  EXPECT_EQ(PaintsAfter([&] {
              m_poligon->SetPen(ElementPen(clRed, 1));
              m_poligon->SetPenColor(clRed);
              m_poligon->SetPenWidth(1);
              m_poligon->SetBrushColor(clYellow);
              m_poligon->SetPointList(list);
              m_poligon->SetXFlip(false);
              m_poligon->LoadConfig();  // no file
            }),
            0);
  const std::function<void()> changes[] = {
      [&] { m_poligon->SetPenWidth(3); },
      [&] { m_poligon->SetBrushColor(clLime); },
      [&] {
        m_poligon->SetPointList({u"0;0"_qs, u"0;50"_qs, u"50;50"_qs});
      },
      [&] { m_poligon->SetXFlip(true); },
  };
  for (const auto& change : changes) EXPECT_GT(PaintsAfter(change), 0);
}

TEST_F(PoligonTest, StoresPenAndFillAndLoadsThemIntoAnotherSection) {
  m_poligon->SetPen(ElementPen(clAqua, 4, TPenStyle::psDot));
  m_poligon->SetBrushColor(clNavy);
  ASSERT_TRUE(m_poligon->SaveConfig());
  const QByteArray text = ReadFileBytes(IniPath());
  EXPECT_TRUE(text.startsWith("[Poligon3]")) << text.toStdString();
  for (const char* line : {"PenWidth=4", "PenColor=16776960", "PenStyle=2", "BrushColor=8388608"})
    EXPECT_TRUE(text.contains(line)) << line;

  TPoligon other(&m_canvas);
  other.setObjectName(u"Poligon5"_qs);
  other.SetConfigName(IniPath());
  EXPECT_TRUE(other.LoadConfig(u"Poligon3"_qs));
  EXPECT_EQ(other.Pen(), m_poligon->Pen());
  EXPECT_EQ(other.Brush(), m_poligon->Brush());
  EXPECT_EQ(other.PointList(), m_poligon->PointList());  // the shape is the layout's
}

TEST_F(PoligonTest, ABrokenStyleFileKeepsASaneStyle) {
  m_poligon->SetPen(ElementPen(clAqua, 4));
  const struct {
    QByteArray bytes;
    ElementPen pen;
  } cases[] = {
      {"[Poligon3]\nPenWidth=wide\nPenColor=16777216\nPenStyle=12\nBrushColor=-1\n", ElementPen(clAqua, 4)},
      {"[Poligon3]\nPenWidth=10000\n", ElementPen(clAqua, ElementPen::kMaxWidth)},
      {"[Poligon3]\nPenWidth=-5\n", ElementPen(clAqua, 0)},
      {"[Poligon3", ElementPen(clAqua, 0)},
      {QByteArray("\xff\xfe\x00\x01", 4), ElementPen(clAqua, 0)},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.bytes.toStdString());
    ASSERT_TRUE(WriteFileBytes(IniPath(), entry.bytes));
    EXPECT_TRUE(m_poligon->LoadConfig());
    EXPECT_EQ(m_poligon->Pen(), entry.pen);
    EXPECT_EQ(m_poligon->Brush().Color, clYellow);
  }
}

TEST_F(PoligonTest, SaveConfigReportsAFileItCannotWrite) {
  m_poligon->SetConfigName(m_dir.filePath(u"no such folder/FormMnemo.INI"_qs));
  EXPECT_FALSE(m_poligon->SaveConfig());
  m_poligon->SetConfigName(QString());
  EXPECT_FALSE(m_poligon->SaveConfig());
}

TEST_F(PoligonTest, ALeftClickIsAClick) {
  ShowCanvas();
  QSignalSpy clicked(m_poligon, &TPoligon::clicked);
  QTest::mouseClick(m_poligon, Qt::LeftButton);
  QTest::mouseClick(m_poligon, Qt::RightButton);
  EXPECT_EQ(clicked.count(), 1);
}

}  // namespace
