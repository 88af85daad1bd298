#include <gtest/gtest.h>

#include <QFontInfo>
#include <QTemporaryDir>

#include "common/inifile.h"
#include "support/files.h"
#include "ui/elements/elementfont.h"
#include "ui/elements/elementpen.h"
#include "ui/elements/orvetutil.h"
#include "ui/elements/tcolor.h"

TEST(TColor, ConvertsTheLowBytesAsRedGreenBlue) {
  EXPECT_EQ(ColorFromTColor(clRed), QColor(255, 0, 0));
  EXPECT_EQ(ColorFromTColor(clNavy), QColor(0, 0, 128));
  EXPECT_EQ(ColorFromTColor(clSkyBlue), QColor(0xA6, 0xCA, 0xF0));
  EXPECT_EQ(ColorFromTColor(0x80000008), QColor(8, 0, 0));  // the high byte carries no colour
  for (const TColor color : {clBlack, clMaroon, clSkyBlue, clCream, clWhite, TColor{0x123456}})
    EXPECT_EQ(TColorFromColor(ColorFromTColor(color)), color);
  EXPECT_EQ(TColorFromColor(QColor(0x12, 0x34, 0x56, 0x10)), 0x563412u);
  EXPECT_TRUE(IsRgbTColor(0xFFFFFF));
  EXPECT_FALSE(IsRgbTColor(0x1000000));
  EXPECT_FALSE(IsRgbTColor(-1));
}

TEST(TColor, KnowsTheTwentyNamesInAnyCase) {
  const struct {
    const char16_t* name;
    TColor color;
  } cases[] = {{u"clBlack", 0x000000}, {u"clMaroon", 0x000080},     {u"clGreen", 0x008000},
               {u"clOlive", 0x008080}, {u"clNavy", 0x800000},       {u"clPurple", 0x800080},
               {u"clTeal", 0x808000},  {u"clGray", 0x808080},       {u"clSilver", 0xC0C0C0},
               {u"clRed", 0x0000FF},   {u"clLime", 0x00FF00},       {u"clYellow", 0x00FFFF},
               {u"clBlue", 0xFF0000},  {u"clFuchsia", 0xFF00FF},    {u"clAqua", 0xFFFF00},
               {u"clWhite", 0xFFFFFF}, {u"clMoneyGreen", 0xC0DCC0}, {u"clSkyBlue", 0xF0CAA6},
               {u"clCream", 0xF0FBFF}, {u"clMedGray", 0xA4A0A0}};
  for (const auto& entry : cases) {
    const QString name = QString::fromUtf16(entry.name);
    SCOPED_TRACE(name.toStdString());
    EXPECT_EQ(TColorByName(name), entry.color);
    EXPECT_EQ(TColorByName(name.toUpper()), entry.color);
    EXPECT_EQ(TColorName(entry.color), name);
  }
  EXPECT_EQ(TColorByName(u"clOrange"_qs), std::nullopt);
  EXPECT_EQ(TColorByName(QString()), std::nullopt);
  EXPECT_EQ(TColorName(0x123456), std::nullopt);
}

TEST(ElementPen, StylesByOrdinalAndHowTheyStroke) {
  for (int ordinal = 0; ordinal <= 6; ++ordinal)
    EXPECT_EQ(static_cast<int>(*PenStyleFromOrdinal(ordinal)), ordinal);
  EXPECT_EQ(PenStyleFromOrdinal(-1), std::nullopt);
  EXPECT_EQ(PenStyleFromOrdinal(7), std::nullopt);

  EXPECT_EQ(ElementPen(clRed, 1, TPenStyle::psClear).ToQPen().style(), Qt::NoPen);
  const QPen dash = ElementPen(clRed, 1, TPenStyle::psDash).ToQPen();
  EXPECT_EQ(dash.style(), Qt::CustomDashLine);
  EXPECT_EQ(dash.dashPattern(), QList<qreal>({18, 6}));
  EXPECT_EQ(ElementPen(clRed, 3, TPenStyle::psDot).ToQPen().style(), Qt::SolidLine);  // wide pens do not dash
  EXPECT_EQ(ElementPen(clRed, 3, TPenStyle::psInsideFrame).ToQPen().style(), Qt::SolidLine);
  EXPECT_EQ(ElementPen(clRed, 3).ToQPen().color(), QColor(255, 0, 0));
}

TEST(ElementPen, WidthStaysWithinZeroAndTheLimit) {
  ElementPen pen;
  EXPECT_EQ(pen, ElementPen(clBlack, 1, TPenStyle::psSolid));
  pen.SetWidth(-4);
  EXPECT_EQ(pen.Width(), 0);
  pen.SetWidth(1'000'000);
  EXPECT_EQ(pen.Width(), ElementPen::kMaxWidth);
}

TEST(ElementFont, PointsAndPixelsAtNinetySixDotsPerInch) {
  const struct {
    int points;
    int pixels;
  } cases[] = {{8, 11}, {9, 12}, {10, 13}, {12, 16}, {16, 21}, {20, 27}};
  for (const auto& entry : cases) {
    EXPECT_EQ(PixelsFromPoints(entry.points), entry.pixels) << entry.points;
    EXPECT_EQ(PointsFromPixels(entry.pixels), entry.points) << entry.pixels;
  }
  // What a style file stores comes back unchanged.
  for (int points = 1; points <= ElementFont::kMaxSize; ++points) {
    ElementFont font;
    font.SetSize(points);
    ASSERT_EQ(font.Size(), points);
    ElementFont reloaded;
    reloaded.SetPixelSize(font.PixelSize());
    ASSERT_EQ(reloaded.Size(), points);
  }
}

TEST(ElementFont, ReloadingItsOwnSizeKeepsAnInBetweenPixelHeight) {
  ElementFont font(u"Times New Roman"_qs, 14);  // 10.5 points, stored as 11
  EXPECT_EQ(font.Size(), 11);
  font.SetSize(11);
  EXPECT_EQ(font.PixelSize(), 14);
  font.SetSize(10);
  EXPECT_EQ(font.PixelSize(), 13);
}

TEST(ElementFont, DefaultsAndLimits) {
  ElementFont font;
  EXPECT_EQ(font.Name(), u"Times New Roman"_qs);
  EXPECT_EQ(font.Size(), 10);
  EXPECT_EQ(font.Height(), -13);
  EXPECT_EQ(font.Color(), clBlack);
  EXPECT_FALSE(font.Bold());
  font.SetName(u"  "_qs);
  EXPECT_EQ(font.Name(), u"Times New Roman"_qs);
  font.SetSize(0);
  EXPECT_EQ(font.Size(), 1);
  font.SetSize(100'000);
  EXPECT_EQ(font.Size(), ElementFont::kMaxSize);
  font.SetPixelSize(-3);
  EXPECT_EQ(font.PixelSize(), 1);
}

TEST(ElementFont, DrawsInPixelsWithTheNamedFaceOrItsStandIn) {
  const QFont times = ElementFont(u"Times New Roman"_qs, 16, clNavy, true).ToQFont();
  EXPECT_EQ(times.family(), u"Times New Roman"_qs);
  EXPECT_EQ(times.pixelSize(), 16);
  EXPECT_TRUE(QFontInfo(times).bold());

  const QFont sans = ElementFont(u"MS Sans Serif"_qs, 13).ToQFont();
  EXPECT_EQ(sans.family(), u"MS Sans Serif"_qs);
  EXPECT_EQ(QFontInfo(sans).family(), u"Liberation Sans"_qs);
  EXPECT_FALSE(QFontInfo(sans).bold());

  EXPECT_EQ(ElementFont().ToQFont(true).styleHint(), QFont::Cursive);
}

TEST(ElementFont, ComesBackFromADialogsChoice) {
  ElementFont font(u"Arial"_qs, 11, clRed, true);
  font.SetItalic(true);
  font.SetUnderline(true);
  EXPECT_EQ(ElementFont::FromQFont(font.ToQFont(), clRed), font);

  QFont inPoints(u"Courier New"_qs);
  inPoints.setPointSize(12);
  const ElementFont converted = ElementFont::FromQFont(inPoints, clBlue);
  EXPECT_EQ(converted.PixelSize(), 16);
  EXPECT_EQ(converted.Name(), u"Courier New"_qs);
  EXPECT_EQ(converted.Color(), clBlue);
}

class StyleFile : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
  QString Path() const { return m_dir.filePath(u"FormMnemo.INI"_qs); }

  QTemporaryDir m_dir;
};

TEST_F(StyleFile, PenAndFontRoundTripInDecimalKeys) {
  IniFile ini(Path());
  ElementPen pen(clAqua, 2, TPenStyle::psDashDot);
  ElementFont font(u"Times New Roman"_qs, 21, clNavy);
  {
    IniUpdate update(ini);
    EXPECT_TRUE(SavePenToIni(ini, u"OutFieldTRRS1"_qs, u"Pen"_qs, pen));
    EXPECT_TRUE(SaveFontToIni(ini, u"OutFieldTRRS1"_qs, u"Font"_qs, font));
    ASSERT_TRUE(update.Commit());
  }
  const QByteArray text = ReadFileBytes(Path());
  for (const char* line : {"PenWidth=2", "PenColor=16776960", "PenStyle=3", "FontSize=16",
                           "FontColor=8388608", "FontName=Times New Roman"})
    EXPECT_TRUE(text.contains(line)) << line << "\n" << text.toStdString();

  ElementPen loadedPen;
  ElementFont loadedFont(u"Arial"_qs, 40, clRed);
  const IniFile reread(Path());
  EXPECT_TRUE(LoadPenFromIni(reread, u"outfieldtrrs1"_qs, u"Pen"_qs, loadedPen));
  EXPECT_TRUE(LoadFontFromIni(reread, u"OutFieldTRRS1"_qs, u"Font"_qs, loadedFont));
  EXPECT_EQ(loadedPen, pen);
  EXPECT_EQ(loadedFont, font);
}

TEST_F(StyleFile, BrokenFilesLeaveOrClampWhatTheyCannotCarry) {
  static const char kGarbage[] = "[E]\n\x01\xff\xfe=\x00\x10\nPenColor\x00=5\n";
  const ElementPen startPen(clAqua, 2, TPenStyle::psDot);
  const ElementFont startFont(u"Arial"_qs, 16, clNavy);
  struct Case {
    const char* what;
    QByteArray bytes;
    ElementPen pen;
    ElementFont font;
  };
  const auto pen = [&](auto change) {
    ElementPen result = startPen;
    change(result);
    return result;
  };
  const auto font = [&](auto change) {
    ElementFont result = startFont;
    change(result);
    return result;
  };
  const std::vector<Case> cases = {
      {"empty file", "", startPen, startFont},
      {"other section only", "[Other]\nPenWidth=7\nFontSize=30\n", startPen, startFont},
      {"truncated in a key", "[E]\nPenWid", startPen, startFont},
      {"truncated in a value", "[E]\nPenWidth=", startPen, startFont},
      {"binary garbage", QByteArray(kGarbage, sizeof kGarbage - 1), startPen, startFont},
      {"words for numbers",
       "[E]\nPenWidth=abc\nPenColor=clRed\nPenStyle=psDash\nFontSize=ten\nFontColor=red\n", startPen,
       startFont},
      {"trailing characters", "[E]\nPenWidth=3px\nFontSize=12pt\n", startPen, startFont},
      {"no colours", "[E]\nPenColor=-1\nFontColor=16777216\n", startPen, startFont},
      {"system colour code", "[E]\nFontColor=-2147483640\n", startPen, startFont},
      {"unknown pen styles", "[E]\nPenStyle=7\n", startPen, startFont},
      {"negative pen style", "[E]\nPenStyle=-1\n", startPen, startFont},
      {"out of 32 bits", "[E]\nPenWidth=99999999999\nFontSize=99999999999\n", startPen, startFont},
      {"no font size", "[E]\nFontSize=0\n", startPen, startFont},
      {"negative font size", "[E]\nFontSize=-8\n", startPen, startFont},
      {"empty font name", "[E]\nFontName=\n", startPen, startFont},
      {"blank font name", "[E]\nFontName=   \n", startPen, startFont},
      {"huge pen width clamped", "[E]\nPenWidth=100000\n", pen([](ElementPen& p) { p.SetWidth(100); }),
       startFont},
      {"negative pen width clamped", "[E]\nPenWidth=-3\n", pen([](ElementPen& p) { p.SetWidth(0); }),
       startFont},
      {"huge font size clamped", "[E]\nFontSize=5000\n", startPen,
       font([](ElementFont& f) { f.SetSize(ElementFont::kMaxSize); })},
      {"hexadecimal is a number", "[E]\nPenColor=0x0000FF\nFontColor=$FF0000\n",
       pen([](ElementPen& p) { p.SetColor(clRed); }), font([](ElementFont& f) { f.SetColor(clBlue); })},
      {"the rest of a half-broken section still applies",
       "[E]\nPenWidth=x\nPenColor=255\nFontName=Courier New\n", pen([](ElementPen& p) { p.SetColor(clRed); }),
       font([](ElementFont& f) { f.SetName(u"Courier New"_qs); })},
  };
  for (const Case& entry : cases) {
    SCOPED_TRACE(entry.what);
    ASSERT_TRUE(WriteFileBytes(Path(), entry.bytes));
    const IniFile ini(Path());
    ElementPen loadedPen = startPen;
    ElementFont loadedFont = startFont;
    EXPECT_TRUE(LoadPenFromIni(ini, u"E"_qs, u"Pen"_qs, loadedPen));
    EXPECT_TRUE(LoadFontFromIni(ini, u"E"_qs, u"Font"_qs, loadedFont));
    EXPECT_EQ(loadedPen, entry.pen);
    EXPECT_EQ(loadedFont, entry.font);
  }

  // No file at all.
  const IniFile missing(m_dir.filePath(u"missing.INI"_qs));
  ElementPen loadedPen = startPen;
  ElementFont loadedFont = startFont;
  LoadPenFromIni(missing, u"E"_qs, u"Pen"_qs, loadedPen);
  LoadFontFromIni(missing, u"E"_qs, u"Font"_qs, loadedFont);
  EXPECT_EQ(loadedPen, startPen);
  EXPECT_EQ(loadedFont, startFont);
}

TEST(StyleFilePath, WindowsSeparatorsBecomeSlashes) {
  EXPECT_EQ(IniPathOfConfigName(u".\\Colors.INI"_qs), u"./Colors.INI"_qs);
  EXPECT_EQ(IniPathOfConfigName(u"/opt/console/config/FormMnemo.INI"_qs),
            u"/opt/console/config/FormMnemo.INI"_qs);
}
