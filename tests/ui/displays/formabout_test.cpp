#include "ui/displays/formabout.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <functional>

#include "common/buildinfo.h"

namespace {

const QColor kTeal(0, 128, 128);

// The offscreen platform warns on every opacity step although it keeps the
// value; that one warning is dropped so that real ones stay visible.
class OpacityWarningFilter : public testing::Environment {
 public:
  void SetUp() override { s_previous = qInstallMessageHandler(&Filter); }
  void TearDown() override { qInstallMessageHandler(s_previous); }

 private:
  static void Filter(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.contains(u"does not support setting window opacity"_qs)) return;
    if (s_previous != nullptr) s_previous(type, context, message);
  }
  static inline QtMessageHandler s_previous = nullptr;
};
const testing::Environment* const kOpacityWarningFilter =
    testing::AddGlobalTestEnvironment(new OpacityWarningFilter);

QTimer* TimerShow(const TFormAbout& about) {
  return about.findChild<QTimer*>(u"TimerShow"_qs);
}

// Thirteen ticks from transparent to opaque: 20/255 a tick while below
// 236/255, then fully opaque and the timer stops.
void ExpectFadeFromZero(TFormAbout& about) {
  QTimer* timer = TimerShow(about);
  EXPECT_DOUBLE_EQ(about.windowOpacity(), 0.0);
  EXPECT_TRUE(timer->isActive());
  for (int tick = 1; tick <= 12; ++tick) {
    SCOPED_TRACE(tick);
    about.TimerShowTimer();
    EXPECT_NEAR(about.windowOpacity(), 20 * tick / 255.0, 1e-6);
    EXPECT_TRUE(timer->isActive());
  }
  about.TimerShowTimer();
  EXPECT_DOUBLE_EQ(about.windowOpacity(), 1.0);
  EXPECT_FALSE(timer->isActive());
}

TEST(FormAbout, FadesInFromTransparentOnEveryShow) {
  TFormAbout about;
  ASSERT_NE(TimerShow(about), nullptr);
  EXPECT_EQ(TimerShow(about)->interval(), 100);
  EXPECT_FALSE(TimerShow(about)->isActive());

  about.show();
  ExpectFadeFromZero(about);
  about.hide();
  about.show();
  ExpectFadeFromZero(about);
}

TEST(FormAbout, HidingMidwayStopsTheFadeAndTheNextShowStartsOver) {
  TFormAbout about;
  about.show();
  for (int tick = 0; tick < 5; ++tick) about.TimerShowTimer();
  about.hide();
  EXPECT_FALSE(TimerShow(about)->isActive());
  about.show();
  ExpectFadeFromZero(about);
}

TEST(FormAbout, TheTimerItselfCompletesTheFade) {
  TFormAbout about;
  about.show();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !TimerShow(about)->isActive(); }, 10000));
  EXPECT_DOUBLE_EQ(about.windowOpacity(), 1.0);
}

TEST(FormAbout, NamesTheConsoleItsVersionAndCommit) {
  TFormAbout about;
  auto* memo = about.findChild<QTextEdit*>(u"MemoInfo"_qs);
  ASSERT_NE(memo, nullptr);
  const QString text = memo->toPlainText();
  EXPECT_TRUE(text.contains(u"Пульт управления флотацией"_qs)) << text.toStdString();
  EXPECT_TRUE(text.contains(BuildVersion())) << text.toStdString();
  EXPECT_TRUE(text.contains(BuildCommit())) << text.toStdString();
  EXPECT_TRUE(memo->isReadOnly());
  EXPECT_EQ(memo->frameShape(), QFrame::NoFrame);
  EXPECT_EQ(memo->font().pixelSize(), 21);
  EXPECT_EQ(memo->palette().color(QPalette::Base), kTeal);
  EXPECT_EQ(memo->palette().color(QPalette::Text), QColor(Qt::white));
  EXPECT_EQ(memo->document()->defaultTextOption().alignment(), Qt::AlignHCenter);

  auto* title = about.findChild<QLabel*>(u"LabelTitle"_qs);
  auto* shadow = about.findChild<QLabel*>(u"LabelShadow"_qs);
  ASSERT_NE(title, nullptr);
  ASSERT_NE(shadow, nullptr);
  EXPECT_FALSE(title->text().isEmpty());
  EXPECT_EQ(shadow->text(), title->text());
  EXPECT_EQ(shadow->height(), 42);
  EXPECT_GT(shadow->x(), title->x());
  EXPECT_GT(shadow->y(), title->y());
  EXPECT_EQ(title->palette().color(QPalette::WindowText), QColor(0, 255, 255));
  EXPECT_EQ(shadow->palette().color(QPalette::WindowText), QColor(Qt::black));
  for (const QLabel* label : {title, shadow}) {
    EXPECT_EQ(label->font().pixelSize(), 37);
    EXPECT_TRUE(label->font().bold());
    EXPECT_EQ(label->alignment(), Qt::AlignCenter);
    EXPECT_FALSE(label->autoFillBackground());
  }
  // The title is drawn above its shadow.
  EXPECT_GT(about.children().indexOf(title), about.children().indexOf(shadow));
}

TEST(FormAbout, TealWindowWithoutBorderIconsCentredOnTheScreen) {
  TFormAbout about;
  EXPECT_EQ(about.objectName(), u"FormAbout"_qs);
  EXPECT_EQ(about.size(), QSize(544, 301));
  EXPECT_FALSE(about.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(about.windowFlags() & Qt::WindowSystemMenuHint);
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(about.pos(),
            QPoint(screen.x() + (screen.width() - 544) / 2, screen.y() + (screen.height() - 301) / 2));

  about.show();
  EXPECT_EQ(about.pos().x(), screen.x() + (screen.width() - 544) / 2);  // not moved again by showing
  const QImage picture = about.grab().toImage();
  EXPECT_EQ(picture.pixelColor(4, 150), kTeal);
  EXPECT_EQ(picture.pixelColor(540, 296), kTeal);
}

// Each way of closing returns the OK result.
TEST(FormAbout, EscEnterAndTheCloseButtonCloseIt) {
  const struct {
    const char* how;
    std::function<void(TFormAbout&)> close;
  } cases[] = {
      {"Esc", [](TFormAbout& about) { QTest::keyClick(&about, Qt::Key_Escape); }},
      {"Enter on the focused widget",
       [](TFormAbout& about) {
         QWidget* focus = about.focusWidget();
         EXPECT_EQ(focus, about.findChild<QPushButton*>(u"ButtonClose"_qs));
         QTest::keyClick(focus != nullptr ? focus : &about, Qt::Key_Return);
       }},
      {"Enter on the window", [](TFormAbout& about) { QTest::keyClick(&about, Qt::Key_Enter); }},
      {"Закрыть",
       [](TFormAbout& about) {
         auto* button = about.findChild<QPushButton*>(u"ButtonClose"_qs);
         ASSERT_NE(button, nullptr);
         EXPECT_EQ(button->text(), u"Закрыть"_qs);
         EXPECT_TRUE(button->isDefault());
         QTest::mouseClick(button, Qt::LeftButton);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    TFormAbout about;
    // A closing step that fails leaves the window open; the second step
    // closes it anyway, so a fault shows as a wrong result, not a hang.
    QTimer::singleShot(0, &about, [&] { c.close(about); });
    QTimer::singleShot(2000, &about, [&] { about.done(-1); });
    EXPECT_EQ(about.exec(), QDialog::Accepted);
  }
}

}  // namespace
