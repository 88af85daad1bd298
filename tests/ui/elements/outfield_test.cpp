#include "ui/elements/outfield.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <functional>

#include "common/inifile.h"
#include "elementcanvas.h"
#include "support/files.h"

namespace {

QString DecimalPoint() {
  return QLocale::system().decimalPoint();
}

// A diagram value field (aqua frame of 2, silver fill, navy bold text) and a
// second field that proves, by painting, that pending repaints were delivered.
class OutFieldTest : public ElementCanvas {
 protected:
  void SetUp() override {
    ElementCanvas::SetUp();
    ASSERT_TRUE(m_dir.isValid());
    m_field = new TOutField(&m_canvas);
    m_field->setObjectName(u"OutFieldTRRS1"_qs);
    m_field->setGeometry(10, 10, 80, 24);
    m_field->SetPen(ElementPen(clAqua, 2));
    m_field->SetBrushColor(clSilver);
    m_field->SetFont(ElementFont(u"MS Sans Serif"_qs, 13, clNavy, true));
    m_field->SetOutFormat(u"###0 л/ч"_qs);
    m_field->SetConfigName(m_dir.filePath(u"FormMnemo.INI"_qs));
    m_sentinel = new TOutField(&m_canvas);
    m_sentinel->setGeometry(10, 300, 80, 24);
    m_counter.Watch(*m_field);
    m_counter.Watch(*m_sentinel);
  }

  // Delivers every pending repaint: the sentinel's change is painted in the
  // same pass as anything else that waits.
  void Flush() {
    const int before = m_counter.Paints(*m_sentinel);
    m_sentinel->SetOutValue(m_sentinel->OutValue() + 1);
    ASSERT_TRUE(WaitFor([&] { return m_counter.Paints(*m_sentinel) > before; }));
  }

  int PaintsAfter(const std::function<void()>& action) {
    Flush();
    m_counter.Reset();
    action();
    Flush();
    return m_counter.Paints(*m_field);
  }

  void ExpectNoRepaint(const std::function<void()>& action) { EXPECT_EQ(PaintsAfter(action), 0); }
  void ExpectRepaint(const std::function<void()>& action) { EXPECT_GT(PaintsAfter(action), 0); }

  QString IniPath() const { return m_field->ConfigName(); }

  QTemporaryDir m_dir;
  TOutField* m_field = nullptr;
  TOutField* m_sentinel = nullptr;
};

TEST(OutField, StartsWithTheLibraryDefaults) {
  TOutField field;
  EXPECT_STREQ(field.metaObject()->className(), "TOutField");
  EXPECT_EQ(field.Tag(), 0);
  EXPECT_EQ(field.OutFormat(), u"###0.0"_qs);
  EXPECT_EQ(field.OutValue(), 0.0);
  EXPECT_EQ(field.Caption(), QString());
  EXPECT_EQ(field.ConfigName(), QString());
  EXPECT_EQ(field.Alpha(), 0);
  EXPECT_FALSE(field.HandWriting());
  EXPECT_FALSE(field.Transparent());
  EXPECT_EQ(field.VAlign(), tm_VAlignCenter);
  EXPECT_EQ(field.Brush().Color, clWhite);
  EXPECT_EQ(field.Pen(), ElementPen(clBlack, 1, TPenStyle::psSolid));
  EXPECT_EQ(field.Font().Name(), u"Times New Roman"_qs);
  EXPECT_EQ(field.Font().Size(), 10);
  EXPECT_TRUE(field.testAttribute(Qt::WA_OpaquePaintEvent));

  EXPECT_TRUE(field.setProperty("Tag", 700));
  EXPECT_EQ(field.Tag(), 700);
  EXPECT_EQ(field.property("Tag").toInt(), 700);
}

TEST(OutField, FormatsTheValueIntoTheCaption) {
  TOutField field;
  field.SetOutFormat(u"###0 л/ч"_qs);
  field.SetOutValue(12.4);
  EXPECT_EQ(field.Caption(), u"12 л/ч"_qs);
  field.SetOutFormat(u"#0.#%"_qs);
  field.SetOutValue(45.67);
  EXPECT_EQ(field.Caption(), u"45"_qs + DecimalPoint() + u"7%"_qs);
  field.SetOutFormat(u"# ### ##0.0 ;-# ### ##0.0 ;  ;"_qs);
  field.SetOutValue(0);
  EXPECT_EQ(field.Caption(), u"  "_qs);
}

TEST(OutField, ANewFormatShowsOnlyWithTheNextValue) {
  TOutField field;
  field.SetOutFormat(u"###0 т/ч"_qs);
  field.SetOutValue(12);
  field.SetOutFormat(u"###0 м3/ч"_qs);
  EXPECT_EQ(field.Caption(), u"12 т/ч"_qs);
  field.SetOutValue(12);  // the same value: still the old text
  EXPECT_EQ(field.Caption(), u"12 т/ч"_qs);
  field.SetOutValue(13);
  EXPECT_EQ(field.Caption(), u"13 м3/ч"_qs);
}

TEST_F(OutFieldTest, UnchangedValuesAndStylesCostNoRepaint) {
  m_field->SetOutValue(12.4);
  m_field->SetCaption(u"12 л/ч"_qs);
  ShowCanvas();
  const struct {
    const char* what;
    std::function<void(TOutField&)> set;
  } cases[] = {
      {"OutValue", [](TOutField& f) { f.SetOutValue(12.4); }},
      {"Caption", [](TOutField& f) { f.SetCaption(u"12 л/ч"_qs); }},
      {"OutFormat", [](TOutField& f) { f.SetOutFormat(u"###0 л/ч"_qs); }},
      {"Alpha", [](TOutField& f) { f.SetAlpha(0); }},
      {"HandWriting", [](TOutField& f) { f.SetHandWriting(false); }},
      {"Transparent", [](TOutField& f) { f.SetTransparent(false); }},
      {"VAlign", [](TOutField& f) { f.SetVAlign(tm_VAlignCenter); }},
      {"Pen", [](TOutField& f) { f.SetPen(ElementPen(clAqua, 2)); }},
      {"PenColor", [](TOutField& f) { f.SetPenColor(clAqua); }},
      {"Brush", [](TOutField& f) { f.SetBrushColor(clSilver); }},
      {"Font", [](TOutField& f) { f.SetFont(ElementFont(u"MS Sans Serif"_qs, 13, clNavy, true)); }},
      {"Tag and ConfigName",
       [](TOutField& f) {
         f.SetTag(0);
         f.SetConfigName(f.ConfigName());
       }},
      {"LoadConfig without a file", [](TOutField& f) { f.LoadConfig(); }},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.what);
    ExpectNoRepaint([&] { entry.set(*m_field); });
  }
  // Loading the style the field has just stored changes nothing either.
  ASSERT_TRUE(m_field->SaveConfig());
  ExpectNoRepaint([&] { m_field->LoadConfig(); });
}

TEST_F(OutFieldTest, EveryChangeRepaints) {
  ShowCanvas();
  const std::function<void(TOutField&)> changes[] = {
      [](TOutField& f) { f.SetOutValue(99); },
      [](TOutField& f) { f.SetCaption(u"РУЧНОЙ"_qs); },
      [](TOutField& f) { f.SetOutFormat(u"РУЧНОЙ"_qs); },
      [](TOutField& f) { f.SetAlpha(900); },
      [](TOutField& f) { f.SetHandWriting(true); },
      [](TOutField& f) { f.SetVAlign(tm_VAlignTop); },
      [](TOutField& f) { f.SetPenWidth(3); },
      [](TOutField& f) { f.SetBrushColor(clLime); },
      [](TOutField& f) { f.SetFontColor(clBlack); },
      [](TOutField& f) { f.SetTransparent(true); },
      [](TOutField& f) { f.resize(90, 30); },
  };
  for (const auto& change : changes) ExpectRepaint([&] { change(*m_field); });
}

TEST_F(OutFieldTest, ShowsFrameFillAndText) {
  m_field->SetOutValue(888);
  ShowCanvas();
  const QImage picture = Picture(*m_field);
  const QColor aqua = ColorFromTColor(clAqua);
  const QColor silver = ColorFromTColor(clSilver);
  for (const QPoint corner : {QPoint(0, 0), QPoint(79, 0), QPoint(0, 23), QPoint(79, 23), QPoint(40, 0)})
    EXPECT_EQ(picture.pixelColor(corner), aqua) << corner.x() << "," << corner.y();
  EXPECT_EQ(picture.pixelColor(2, 2), silver);
  EXPECT_EQ(picture.pixelColor(77, 21), silver);
  const QRect ink = InkBox(picture, ColorFromTColor(clNavy));
  ASSERT_FALSE(ink.isEmpty());
  EXPECT_NEAR(ink.center().x(), 40, 2);
  EXPECT_NEAR(ink.center().y(), 12, 3);
}

TEST_F(OutFieldTest, FrameWidthAndStyleDecideHowMuchFrameIsInside) {
  m_field->SetCaption(QString());
  ShowCanvas();
  const struct {
    int width;
    TPenStyle style;
    int inside;  // frame pixels inside the field on each side
  } cases[] = {{0, TPenStyle::psSolid, 1}, {1, TPenStyle::psSolid, 1}, {2, TPenStyle::psSolid, 1},
               {3, TPenStyle::psSolid, 2}, {4, TPenStyle::psSolid, 2}, {3, TPenStyle::psInsideFrame, 3},
               {4, TPenStyle::psClear, 0}};
  const QColor red = ColorFromTColor(clRed);
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.width);
    SCOPED_TRACE(static_cast<int>(entry.style));
    ExpectRepaint([&] { m_field->SetPen(ElementPen(clRed, entry.width, entry.style)); });
    const QImage picture = Picture(*m_field);
    for (int depth = 0; depth < 6; ++depth) {
      const bool frame = depth < entry.inside;
      EXPECT_EQ(picture.pixelColor(depth, 12) == red, frame) << "left " << depth;
      EXPECT_EQ(picture.pixelColor(79 - depth, 12) == red, frame) << "right " << depth;
      EXPECT_EQ(picture.pixelColor(40, depth) == red, frame) << "top " << depth;
      EXPECT_EQ(picture.pixelColor(40, 23 - depth) == red, frame) << "bottom " << depth;
    }
  }
}

TEST_F(OutFieldTest, VerticalAlignmentAndRotationPlaceTheTextCentre) {
  m_field->setGeometry(10, 10, 120, 90);
  m_field->SetPen(ElementPen(clBlack, 1));
  m_field->SetBrushColor(clWhite);
  m_field->SetFont(ElementFont(u"Times New Roman"_qs, 16, clNavy, true));
  m_field->SetCaption(u"8888"_qs);
  ShowCanvas();
  const int lineHeight = QFontMetrics(m_field->Font().ToQFont()).height();
  const struct {
    TTamselVAlign vAlign;
    int alpha;
    double centreY;
    bool upright;
  } cases[] = {{tm_VAlignCenter, 0, 45, true},
               {tm_VAlignTop, 0, lineHeight + 1.0, true},
               {tm_VAlignBottom, 0, 90.0 - lineHeight, true},
               {tm_VAlignCenter, 900, 45, false}};
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.vAlign);
    SCOPED_TRACE(entry.alpha);
    m_field->SetVAlign(entry.vAlign);
    m_field->SetAlpha(entry.alpha);
    Flush();
    const QRect ink = InkBox(Picture(*m_field), ColorFromTColor(clNavy));
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_NEAR(ink.center().x(), 60, 3);
    EXPECT_NEAR(ink.center().y(), entry.centreY, 3);
    EXPECT_EQ(ink.width() > ink.height(), entry.upright);
  }
}

TEST_F(OutFieldTest, ATransparentFieldDrawsOnlyItsTextAndKeepsItOnRepaint) {
  m_field->SetTransparent(true);
  m_field->SetCaption(u"888"_qs);
  m_field->SetFontColor(clYellow);
  ShowCanvas();
  EXPECT_FALSE(m_field->testAttribute(Qt::WA_OpaquePaintEvent));
  const QColor yellow = ColorFromTColor(clYellow);
  QImage picture = Picture(*m_field);
  EXPECT_EQ(picture.pixelColor(0, 0), QColor(Qt::black));  // no frame
  EXPECT_EQ(picture.pixelColor(3, 3), QColor(Qt::black));  // no fill
  EXPECT_GT(CountPixels(picture, yellow), 0);

  ExpectRepaint([&] { m_canvas.update(); });  // the canvas repaints beneath
  picture = Picture(*m_field);
  EXPECT_GT(CountPixels(picture, yellow), 0);
}

TEST_F(OutFieldTest, StoresItsStyleAndLoadsItBackWithoutTheFormat) {
  m_field->SetOutValue(12);
  ASSERT_TRUE(m_field->SaveConfig());
  const QByteArray text = ReadFileBytes(IniPath());
  EXPECT_TRUE(text.startsWith("[OutFieldTRRS1]")) << text.toStdString();
  for (const char* line : {"PenWidth=2", "PenColor=16776960", "PenStyle=0", "FontSize=10",
                           "FontColor=8388608", "FontName=MS Sans Serif", "BrushColor=12632256"})
    EXPECT_TRUE(text.contains(line)) << line;
  EXPECT_TRUE(text.contains("OutFormat=###0 \xeb/\xf7"));  // the file is Windows-1251

  // Another field takes the stored style from that section, keeps its format.
  TOutField other(&m_canvas);
  other.setObjectName(u"OutFieldZRRS1"_qs);
  other.SetConfigName(IniPath());
  other.SetOutFormat(u"###0 мл/т"_qs);
  EXPECT_TRUE(other.LoadConfig(u"OutFieldTRRS1"_qs));
  EXPECT_EQ(other.Pen(), m_field->Pen());
  EXPECT_EQ(other.Font().Size(), m_field->Font().Size());
  EXPECT_EQ(other.Font().Name(), m_field->Font().Name());
  EXPECT_EQ(other.Font().Color(), clNavy);
  EXPECT_EQ(other.Brush(), m_field->Brush());
  EXPECT_EQ(other.OutFormat(), u"###0 мл/т"_qs);
}

TEST_F(OutFieldTest, LoadConfigReadsItsOwnSectionAndIgnoresTheStoredFormat) {
  ASSERT_TRUE(WriteFileBytes(IniPath(),
                             "[OutFieldTRRS1]\nPenWidth=5\nPenColor=255\nBrushColor=65535\n"
                             "FontColor=0\nFontSize=12\nFontName=Arial\nOutFormat=#0.00\n"));
  EXPECT_TRUE(m_field->LoadConfig());
  EXPECT_EQ(m_field->Pen(), ElementPen(clRed, 5));
  EXPECT_EQ(m_field->Brush().Color, clYellow);
  EXPECT_EQ(m_field->Font(), ElementFont(u"Arial"_qs, 16, clBlack, true));  // bold is not stored
  EXPECT_EQ(m_field->OutFormat(), u"###0 л/ч"_qs);
}

TEST_F(OutFieldTest, ABrokenStyleFileLeavesTheFieldAsItWas) {
  const ElementPen pen = m_field->Pen();
  const ElementFont font = m_field->Font();
  for (const QByteArray& bytes :
       {QByteArray("[OutFieldTRRS1]\nPenWidth=wide\nPenColor=-5\nBrushColor=999999999\n"
                   "FontSize=-1\nFontName=\nPenStyle=12\n"),
        QByteArray("[OutFieldTRRS1"), QByteArray("\xff\xfe\x00\x01", 4)}) {
    ASSERT_TRUE(WriteFileBytes(IniPath(), bytes));
    EXPECT_TRUE(m_field->LoadConfig());
    EXPECT_EQ(m_field->Pen(), pen);
    EXPECT_EQ(m_field->Font(), font);
    EXPECT_EQ(m_field->Brush().Color, clSilver);
  }
}

TEST_F(OutFieldTest, SaveConfigReportsAFileItCannotWrite) {
  m_field->SetConfigName(m_dir.filePath(u"no such folder/FormMnemo.INI"_qs));
  EXPECT_FALSE(m_field->SaveConfig());
  m_field->SetConfigName(QString());
  EXPECT_FALSE(m_field->SaveConfig());
}

TEST_F(OutFieldTest, ALeftClickIsAClick) {
  ShowCanvas();
  QSignalSpy clicked(m_field, &TOutField::clicked);
  QTest::mouseClick(m_field, Qt::LeftButton);
  QTest::mouseClick(m_field, Qt::RightButton);
  EXPECT_EQ(clicked.count(), 1);
}

}  // namespace
