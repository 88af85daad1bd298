// The diagram as the operator sees it: colours at points of the grabbed
// window, chosen inside pipes, fills and frames, away from any text.
#include <gtest/gtest.h>

#include <QImage>
#include <QRect>

#include "mnemofixture.h"
#include "ui/elements/outfield.h"
#include "ui/mnemo/panel.h"

namespace {

class MnemoPictureTest : public MnemoFixture {
 protected:
  void SetUp() override {
    MnemoFixture::SetUp();
    m_form->show();
    m_form->UpdateSectionStates(true);
  }

  QImage Picture() {
    m_form->TimerUpdateTimer();
    return m_form->grab().toImage();
  }

  static TColor At(const QImage& image, QPoint point) { return TColorFromColor(image.pixelColor(point)); }

  static bool Shows(const QImage& image, const QRect& area, TColor color) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
      for (int x = area.left(); x <= area.right(); ++x) {
        if (At(image, {x, y}) == color) return true;
      }
    }
    return false;
  }
};

// Points of section 1's tagged elements: inside a pipe, on a frame, in a fill.
struct Spot {
  const char* What;
  QPoint Point;
  ColorGroup Group;
};
const Spot kSection1Spots[] = {
    {"pulp pipe between load and flow", {446, 300}, kPulpa},
    {"pulp pipe from the box", {420, 168}, kPulpa},
    {"density field's frame", {406, 209}, kPulpa},
    {"flotation machine's liquid", {289, 470}, kPulpa},
    {"frother line", {128, 320}, kPenoGen},
    {"frother valve", {128, 95}, kPenoGen},
    {"collector line", {195, 300}, kReciver},
    {"collector flow field's frame", {272, 209}, kReciver},
    {"concentrate to the common tank", {430, 590}, kFlotoConc},
    {"tailings", {289, 515}, kFlotOut},
    {"flocculant line", {60, 548}, kFlok},
    {"flocculant pump circle", {202, 548}, kFlok},
};

TEST_F(MnemoPictureTest, SectionStart_RecoloursItsLinesFramesAndVessels) {
  QImage stopped = Picture();
  for (const Spot& spot : kSection1Spots) EXPECT_EQ(At(stopped, spot.Point), kOff[spot.Group]) << spot.What;

  SetValue(Slot::RVF, 1, 120.f);
  const QImage running = Picture();
  for (const Spot& spot : kSection1Spots) EXPECT_EQ(At(running, spot.Point), kOn[spot.Group]) << spot.What;
  // Section 2 stays as it was, and a field keeps its silver fill.
  EXPECT_EQ(At(running, {578, 300}), kOff[kPulpa]);
  EXPECT_EQ(At(running, {410, 200}), clSilver);
}

TEST_F(MnemoPictureTest, LinkPanel_BlinksRedAndWhiteBySecond) {
  const QRect panel(300, 376, 425, 41);
  const QPoint corner = panel.topLeft() + QPoint(4, 4);
  const QRect text = panel.adjusted(100, 5, -100, -5);
  EXPECT_EQ(At(Picture(), corner), clBlack);  // fresh: hidden

  m_snapshot.StateFresh = false;
  m_now = QDateTime(QDate(2026, 3, 5), QTime(10, 0, 7));
  QImage odd = Picture();
  EXPECT_EQ(At(odd, corner), clRed);
  EXPECT_TRUE(Shows(odd, text, clWhite));
  m_now = m_now.addSecs(1);
  QImage even = Picture();
  EXPECT_EQ(At(even, corner), clWhite);
  EXPECT_TRUE(Shows(even, text, clRed));
}

TEST_F(MnemoPictureTest, ModeFields_FillByMode) {
  const QPoint inside(234, 107);  // OutField_P_mode1, clear of its text
  SetMode(F1AR, true);
  EXPECT_EQ(At(Picture(), inside), clSkyBlue);
  SetMode(F1RR, true);
  QImage both = Picture();
  EXPECT_EQ(At(both, inside), clYellow);
  EXPECT_FALSE(Shows(both, QRect(233, 106, 86, 21), clBlack));  // two spaces: no text
  SetMode(F1AR, false);
  EXPECT_EQ(At(Picture(), inside), clLime);
  SetMode(F1RR, false);
  EXPECT_EQ(At(Picture(), inside), clRed);
}

TEST_F(MnemoPictureTest, ManualMode_LeavesBlackWhereTheConsumptionWas) {
  const QPoint field(18, 270), arrow(121, 262);
  QImage automatic = Picture();
  EXPECT_EQ(At(automatic, field), clSilver);
  EXPECT_EQ(At(automatic, arrow), kOff[kPenoGen]);
  SetMode(F1RR, true);
  QImage manual = Picture();
  EXPECT_EQ(At(manual, field), clBlack);
  EXPECT_EQ(At(manual, arrow), clBlack);
}

TEST_F(MnemoPictureTest, Tanks_FillToTheirLevelsInTheConcentrateColour) {
  // ConusBoxURFK1 spans y 616 ... 664; 63 % of 49 pixels is about 31 from the bottom.
  SetValue(Slot::URFK, 1, 63.7f);
  QImage image = Picture();
  EXPECT_EQ(At(image, {245, 655}), kOn[kFlotoConc]);
  EXPECT_EQ(At(image, {245, 622}), clSilver);
  SetValue(Slot::URFK, 1, 10.f);
  image = Picture();
  EXPECT_EQ(At(image, {245, 645}), clSilver);
  EXPECT_EQ(At(image, {245, 662}), kOn[kFlotoConc]);
}

}  // namespace
