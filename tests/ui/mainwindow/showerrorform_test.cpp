#include "ui/mainwindow/showerrorform.h"

#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <deque>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "storage/eventfifo.h"
#include "storage/eventlog.h"
#include "storage/logfile.h"
#include "ui/mainwindow/warningwindows.h"

namespace {

const QColor kNavy(0, 0, 128);
const QColor kRed(255, 0, 0);
const TDateTime kMoment = EncodeDateTime(2008, 1, 17, 11, 43, 15);

void NoWake() {}

QLabel* Label(const QWidget& form, const char* name) {
  return form.findChild<QLabel*>(QString::fromLatin1(name));
}
QString MessageText(const QWidget& form) {
  return Label(form, "Label3")->text();
}
QPushButton* ButHide(const QWidget& form) {
  return form.findChild<QPushButton*>(u"ButHide"_qs);
}
QTimer* Timer1(const QWidget& form) {
  return form.findChild<QTimer*>(u"Timer1"_qs);
}

// The colour of the window where no control covers it.
QColor Background(QWidget& form) {
  return form.grab().toImage().pixelColor(2, 2);
}

// Hands out the given deviates in turn and records what was asked for.
struct ScriptedDeviates {
  std::deque<double> values;
  std::vector<std::pair<double, double>> requests;

  TWarningWindows::NormalDeviate Source() {
    return [this](double mean, double deviation) {
      requests.emplace_back(mean, deviation);
      if (values.empty()) return mean;
      const double value = values.front();
      values.pop_front();
      return value;
    };
  }
};

// Counts the times a window is brought to the front.
class RaiseCounter : public QObject {
 public:
  int raises = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::ZOrderChange) ++raises;
    return QObject::eventFilter(watched, event);
  }
};

// The main window's side: an owner, the warning windows with scripted
// placement, and a count of screen wakes.
class WarningWindowsTest : public testing::Test {
 protected:
  QWidget owner;
  ScriptedDeviates deviates;
  int wakes = 0;
  TWarningWindows windows{&owner, deviates.Source(), [this] { ++wakes; }};

  QList<TShowErrorForm*> AllForms() const { return owner.findChildren<TShowErrorForm*>(); }
};

TEST(ShowErrorForm, LayoutCaptionFontsAndPlacement) {
  TShowErrorForm form(nullptr, NoWake);
  EXPECT_EQ(form.objectName(), u"ShowErrorForm"_qs);
  EXPECT_EQ(form.windowTitle(), u"Внимание"_qs);
  EXPECT_EQ(form.size(), QSize(426, 164));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  const Qt::WindowFlags flags = form.windowFlags();
  EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
  EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_FALSE(form.testAttribute(Qt::WA_DeleteOnClose));
  EXPECT_TRUE(form.isHidden());
  EXPECT_EQ(form.Flags(), 0u);

  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(form.pos(),
            QPoint(screen.x() + (screen.width() - 426) / 2, screen.y() + (screen.height() - 164) / 2));

  QLabel* caption = Label(form, "Label1");
  QLabel* time = Label(form, "Label2");
  QLabel* text = Label(form, "Label3");
  QPushButton* button = ButHide(form);
  ASSERT_TRUE(caption && time && text && button);
  EXPECT_EQ(caption->text(), u"Время:"_qs);
  EXPECT_EQ(button->text(), u"Закрыть"_qs);
  EXPECT_TRUE(button->isDefault());
  for (QWidget* widget : std::initializer_list<QWidget*>{caption, time, button}) {
    SCOPED_TRACE(widget->objectName().toStdString());
    EXPECT_EQ(widget->font().family(), u"Times New Roman"_qs);
    EXPECT_EQ(widget->font().pixelSize(), 16);
    EXPECT_TRUE(widget->font().bold());
  }
  EXPECT_EQ(text->font().pixelSize(), 21);
  EXPECT_TRUE(text->font().bold());
  EXPECT_EQ(text->size(), QSize(414, 85));
  EXPECT_TRUE(text->wordWrap());
  EXPECT_EQ(text->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
  EXPECT_EQ(caption->palette().color(QPalette::WindowText), QColor(Qt::white));
  EXPECT_EQ(text->palette().color(QPalette::WindowText), QColor(Qt::white));

  // Nothing clipped: every control inside the window, the texts inside their
  // controls (with the widest month and hour the time label can get).
  form.ShowError(u"Короткое"_qs, EncodeDateTime(2008, 2, 28, 23, 58, 58), 1);
  for (QWidget* widget : std::initializer_list<QWidget*>{caption, time, text, button}) {
    SCOPED_TRACE(widget->objectName().toStdString());
    EXPECT_TRUE(form.rect().contains(widget->geometry()));
  }
  EXPECT_LE(caption->sizeHint().width(), caption->width());
  EXPECT_LE(time->sizeHint().width(), time->width());
  EXPECT_LE(time->sizeHint().height(), time->height());
  EXPECT_FALSE(caption->geometry().intersects(time->geometry()));
  EXPECT_FALSE(time->geometry().intersects(text->geometry()));
  EXPECT_FALSE(text->geometry().intersects(button->geometry()));
  EXPECT_LE(button->sizeHint().width(), button->width());
}

TEST(ShowErrorForm, TimeLabelReadsDayShortMonthYearAndTime) {
  const struct {
    TDateTime moment;
    const char16_t* expected;
  } cases[] = {
      {kMoment, u"17 янв 2008 в 11:43:15"},
      {EncodeDateTime(2009, 12, 5, 0, 0, 7), u"05 дек 2009 в 00:00:07"},
      {EncodeDateTime(2012, 5, 31, 23, 59, 59), u"31 май 2012 в 23:59:59"},
  };
  TShowErrorForm form(nullptr, NoWake);
  for (const auto& c : cases) {
    form.ShowError(u"x"_qs, c.moment, 1);
    EXPECT_EQ(Label(form, "Label2")->text(), QString::fromUtf16(c.expected));
  }
}

TEST(ShowErrorForm, RedWithBit7OtherwiseNavyAndTheFlagsAreKept) {
  const struct {
    uint32_t flags;
    QColor colour;
  } cases[] = {
      {1, kNavy}, {1 | 128, kRed}, {1 | 128 | 256, kRed}, {1 | 68, kNavy}, {0xFFFFFF7Fu, kNavy}, {128, kRed},
  };
  // One window for all: a red message must not leave the next one red.
  TShowErrorForm form(nullptr, NoWake);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flags);
    form.ShowError(u"Сообщение"_qs, kMoment, c.flags);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.Flags(), c.flags);
    EXPECT_EQ(Background(form), c.colour);
    // The corner of the message label is the window's colour too.
    EXPECT_EQ(form.grab().toImage().pixelColor(Label(form, "Label3")->geometry().topLeft()), c.colour);
  }
}

TEST(ShowErrorForm, ShowsTheTextAsPlainText) {
  TShowErrorForm form(nullptr, NoWake);
  form.ShowError(u"<b>Ошибка</b> & <i>порт</i>"_qs, kMoment, 1);
  QLabel* text = Label(form, "Label3");
  EXPECT_EQ(text->textFormat(), Qt::PlainText);
  EXPECT_EQ(text->text(), u"<b>Ошибка</b> & <i>порт</i>"_qs);
}

TEST(ShowErrorForm, ALongMessageIsSetSmallerAndAVeryLongOneGrowsTheWindow) {
  TShowErrorForm form(nullptr, NoWake);
  QLabel* text = Label(form, "Label3");
  QPushButton* button = ButHide(form);
  const auto fullyShown = [&] {
    const QRect needed =
        QFontMetrics(text->font())
            .boundingRect(QRect(0, 0, text->width(), 100000), Qt::TextWordWrap, text->text());
    EXPECT_LE(needed.height(), text->height());
    EXPECT_LE(needed.width(), text->width());
    EXPECT_TRUE(form.rect().contains(button->geometry()));
    EXPECT_FALSE(text->geometry().intersects(button->geometry()));
  };

  QString sentence =
      u"Поток приема: Не могу подключить порт /dev/ttyUSB0, повторная попытка через минуту. "_qs;
  form.ShowError(sentence.repeated(2), kMoment, 1);
  EXPECT_LT(text->font().pixelSize(), 21);
  EXPECT_GE(text->font().pixelSize(), 14);
  EXPECT_EQ(form.size(), QSize(426, 164));
  fullyShown();

  form.ShowError(sentence.repeated(8), kMoment, 1);
  EXPECT_EQ(text->font().pixelSize(), 14);
  EXPECT_EQ(form.width(), 426);
  EXPECT_GT(form.height(), 164);
  fullyShown();

  form.ShowError(u"Короткое"_qs, kMoment, 1);
  EXPECT_EQ(text->font().pixelSize(), 21);
  EXPECT_EQ(form.size(), QSize(426, 164));
  EXPECT_EQ(text->size(), QSize(414, 85));
  fullyShown();
}

TEST(ShowErrorForm, ClosingInAnyWayHidesWithoutDestroying) {
  const struct {
    const char* how;
    void (*close)(TShowErrorForm&);
  } cases[] = {
      {"button", [](TShowErrorForm& form) { QTest::mouseClick(ButHide(form), Qt::LeftButton); }},
      {"Enter", [](TShowErrorForm& form) { QTest::keyClick(&form, Qt::Key_Return); }},
      {"Esc", [](TShowErrorForm& form) { QTest::keyClick(&form, Qt::Key_Escape); }},
      {"close event (Alt+F4)",
       [](TShowErrorForm& form) {
         QCloseEvent event;
         QCoreApplication::sendEvent(&form, &event);
       }},
      {"close()", [](TShowErrorForm& form) { form.close(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    QWidget owner;
    QPointer<TShowErrorForm> form = new TShowErrorForm(&owner, NoWake);
    form->ShowError(u"Сообщение"_qs, kMoment, 1);
    ASSERT_TRUE(form->isVisible());
    c.close(*form);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(form.isNull());
    EXPECT_FALSE(form->isVisible());
    // And it comes back with the next message.
    form->ShowError(u"Снова"_qs, kMoment, 1);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(MessageText(*form), u"Снова"_qs);
  }
}

TEST(ShowErrorForm, Timer1BringsAVisibleWindowToTheFrontAndLeavesAHiddenOneHidden) {
  TShowErrorForm form(nullptr, NoWake);
  QTimer* timer = Timer1(form);
  ASSERT_NE(timer, nullptr);
  EXPECT_EQ(timer->interval(), 10000);
  EXPECT_TRUE(timer->isActive());
  RaiseCounter counter;
  form.installEventFilter(&counter);

  form.Timer1Timer();
  EXPECT_TRUE(form.isHidden());
  EXPECT_EQ(counter.raises, 0);

  // Showing raises the window once by itself.
  form.ShowError(u"Сообщение"_qs, kMoment, 1);
  const int afterShow = counter.raises;
  form.Timer1Timer();
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(counter.raises, afterShow + 1);

  // The timer itself, made quick.
  timer->setInterval(1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return counter.raises >= afterShow + 3; }, 5000));
  EXPECT_TRUE(form.isVisible());

  form.ButHideClick();
  const int before = counter.raises;
  form.Timer1Timer();
  EXPECT_TRUE(form.isHidden());
  EXPECT_EQ(counter.raises, before);
}

TEST(ShowErrorForm, EveryShowWakesTheScreenFirst) {
  int wakes = 0;
  bool visibleAtWake = true;
  TShowErrorForm* formPointer = nullptr;
  TShowErrorForm form(nullptr, [&] {
    ++wakes;
    visibleAtWake = formPointer->isVisible();
  });
  formPointer = &form;
  form.ShowError(u"Первое"_qs, kMoment, 1);
  EXPECT_EQ(wakes, 1);
  EXPECT_FALSE(visibleAtWake);
  form.ShowError(u"Второе"_qs, kMoment, 1);
  EXPECT_EQ(wakes, 2);
}

TEST_F(WarningWindowsTest, TheDrainShowsTheNewestOfTwoMessagesInTheSharedWindow) {
  QTemporaryDir folder;
  LogFileWriter writer(folder.path(), SystemLogEnvironment());
  TEventFIFO fifo(kEventFIFOCapacity);
  TEventLogDrain drain(fifo, writer, &windows);
  TShowErrorForm* shared = windows.SharedWindow();
  ASSERT_NE(shared, nullptr);
  EXPECT_EQ(shared->parentWidget(), &owner);
  EXPECT_TRUE(shared->isHidden());

  fifo.Put(u"Без окна"_qs, kMoment, 1, 0);
  fifo.Put(u"Калибровка"_qs, kMoment, 1, 68);
  drain.Drain(false);
  EXPECT_TRUE(shared->isHidden());
  EXPECT_EQ(wakes, 0);

  fifo.Put(u"Первое"_qs, kMoment, 1, 1);
  fifo.Put(u"Второе"_qs, EncodeDateTime(2008, 1, 17, 11, 43, 16), 2, 1 | 128);
  drain.Drain(false);
  EXPECT_TRUE(shared->isVisible());
  EXPECT_EQ(MessageText(*shared), u"Второе"_qs);
  EXPECT_EQ(Label(*shared, "Label2")->text(), u"17 янв 2008 в 11:43:16"_qs);
  EXPECT_EQ(shared->Flags(), 1u | 128u);
  EXPECT_EQ(Background(*shared), kRed);
  EXPECT_TRUE(windows.SeparateWindows().isEmpty());
  EXPECT_EQ(AllForms().size(), 1);
  EXPECT_EQ(wakes, 2);
  EXPECT_TRUE(deviates.requests.empty());

  fifo.Put(u"Своё окно"_qs, kMoment, 3, 257);
  drain.Drain(false);
  ASSERT_EQ(windows.SeparateWindows().size(), 1);
  EXPECT_EQ(MessageText(*windows.SeparateWindows().front()), u"Своё окно"_qs);
  EXPECT_EQ(MessageText(*shared), u"Второе"_qs);
}

TEST_F(WarningWindowsTest, ASeparateWindowIsPlacedByTheIntegerPartsOfTwoDeviates) {
  const struct {
    double left, top;
    QPoint expected;
  } cases[] = {
      {320.0, 200.0, {320, 200}},
      {345.9, 187.2, {345, 187}},
      {271.999, 229.5, {271, 229}},
      {-3.7, -0.5, {-3, 0}},
      {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(), {320, 200}},
  };
  for (const auto& c : cases) deviates.values.insert(deviates.values.end(), {c.left, c.top});
  int shown = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(shown);
    windows.ShowSeparate(u"Окно %1"_qs.arg(shown), kMoment, 257);
    ++shown;
    const QList<TShowErrorForm*> separate = windows.SeparateWindows();
    ASSERT_EQ(separate.size(), shown);
    TShowErrorForm* window = separate.back();
    EXPECT_EQ(window->pos(), c.expected);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->parentWidget(), &owner);
    EXPECT_EQ(window->objectName(), u"ShowErrorForm"_qs);
    EXPECT_EQ(window->Flags(), 257u);
    EXPECT_EQ(MessageText(*window), u"Окно %1"_qs.arg(shown - 1));
  }
  // Left first, then top, each with its own mean and deviation.
  ASSERT_EQ(deviates.requests.size(), 2 * std::size(cases));
  for (size_t i = 0; i < deviates.requests.size(); i += 2) {
    EXPECT_EQ(deviates.requests[i], std::make_pair(320.0, 25.0));
    EXPECT_EQ(deviates.requests[i + 1], std::make_pair(200.0, 15.0));
  }
  EXPECT_TRUE(windows.SharedWindow()->isHidden());
  EXPECT_EQ(wakes, shown);
}

TEST_F(WarningWindowsTest, AtMostTwentySeparateWindowsTheOldestIsReused) {
  for (int i = 0; i < 20; ++i) windows.ShowSeparate(u"Окно %1"_qs.arg(i), kMoment, 257);
  const QList<TShowErrorForm*> first20 = windows.SeparateWindows();
  ASSERT_EQ(first20.size(), 20);

  deviates.values = {401.0, 222.0};
  windows.ShowSeparate(u"Окно 20"_qs, kMoment, 1 | 128 | 256);
  QList<TShowErrorForm*> separate = windows.SeparateWindows();
  ASSERT_EQ(separate.size(), 20);
  EXPECT_EQ(AllForms().size(), 21);
  // The window of message 0 now shows message 20, at its new place, last in line.
  EXPECT_EQ(separate.back(), first20.front());
  EXPECT_EQ(MessageText(*separate.back()), u"Окно 20"_qs);
  EXPECT_EQ(separate.back()->pos(), QPoint(401, 222));
  EXPECT_EQ(Background(*separate.back()), kRed);
  EXPECT_TRUE(separate.back()->isVisible());
  EXPECT_EQ(separate.front(), first20[1]);

  // A window the operator has closed is reused before any visible one.
  first20[7]->ButHideClick();
  windows.ShowSeparate(u"Окно 21"_qs, kMoment, 257);
  separate = windows.SeparateWindows();
  EXPECT_EQ(separate.back(), first20[7]);
  EXPECT_TRUE(first20[7]->isVisible());
  EXPECT_EQ(MessageText(*first20[1]), u"Окно 1"_qs);
  EXPECT_EQ(AllForms().size(), 21);
}

TEST_F(WarningWindowsTest, AFloodOfSeparateWindowsStaysWithinTheCap) {
  for (int i = 0; i < 600; ++i) windows.ShowSeparate(u"Окно %1"_qs.arg(i), kMoment, 257);
  const QList<TShowErrorForm*> separate = windows.SeparateWindows();
  ASSERT_EQ(separate.size(), 20);
  EXPECT_EQ(AllForms().size(), 21);
  // The twenty newest messages are the ones on the screen, oldest first.
  for (int i = 0; i < 20; ++i) EXPECT_EQ(MessageText(*separate[i]), u"Окно %1"_qs.arg(580 + i));
}

TEST_F(WarningWindowsTest, AWindowDestroyedElsewhereIsReplacedAndDestroyedOnesAreForgotten) {
  for (int i = 0; i < 20; ++i) windows.ShowSeparate(u"Окно %1"_qs.arg(i), kMoment, 257);
  delete windows.SeparateWindows()[5];
  EXPECT_EQ(windows.SeparateWindows().size(), 19);
  windows.ShowSeparate(u"Новое"_qs, kMoment, 257);
  EXPECT_EQ(windows.SeparateWindows().size(), 20);
  EXPECT_EQ(MessageText(*windows.SeparateWindows().front()), u"Окно 0"_qs);

  QList<QPointer<TShowErrorForm>> all;
  for (TShowErrorForm* form : AllForms()) all.append(form);
  qDeleteAll(owner.findChildren<TShowErrorForm*>());
  for (const auto& form : all) EXPECT_TRUE(form.isNull());
  EXPECT_EQ(windows.SharedWindow(), nullptr);
  windows.ShowShared(u"Никому"_qs, kMoment, 1);
}

TEST(WarningWindows, AfterTheOwnerIsGoneNothingIsShown) {
  auto owner = std::make_unique<QWidget>();
  int wakes = 0;
  TWarningWindows windows(owner.get(), {}, [&] { ++wakes; });
  windows.ShowSeparate(u"Своё"_qs, kMoment, 257);
  QPointer<TShowErrorForm> separate = windows.SeparateWindows().front();
  owner.reset();
  EXPECT_TRUE(separate.isNull());
  EXPECT_EQ(windows.SharedWindow(), nullptr);
  windows.ShowShared(u"Общее"_qs, kMoment, 1);
  windows.ShowSeparate(u"Своё"_qs, kMoment, 257);
  EXPECT_TRUE(windows.SeparateWindows().isEmpty());
  EXPECT_EQ(wakes, 1);
}

TEST(WarningWindows, WithoutAnOwnerTheyAreItsOwnAndGoWithIt) {
  QPointer<TShowErrorForm> shared;
  QPointer<TShowErrorForm> separate;
  {
    TWarningWindows windows(nullptr, {}, NoWake);
    windows.ShowSeparate(u"Своё"_qs, kMoment, 257);
    shared = windows.SharedWindow();
    separate = windows.SeparateWindows().front();
    ASSERT_FALSE(shared.isNull());
    ASSERT_FALSE(separate.isNull());
  }
  EXPECT_TRUE(shared.isNull());
  EXPECT_TRUE(separate.isNull());
}

TEST(WarningWindows, TheBuiltInRandomSourceScattersAroundTheCentre) {
  QWidget owner;
  TWarningWindows windows(&owner, {}, NoWake);
  double sumLeft = 0;
  double sumTop = 0;
  QSet<QPoint> places;
  constexpr int kCount = 200;
  for (int i = 0; i < kCount; ++i) {
    windows.ShowSeparate(u"x"_qs, kMoment, 257);
    const QPoint place = windows.SeparateWindows().back()->pos();
    sumLeft += place.x();
    sumTop += place.y();
    places.insert(place);
  }
  // Means within about six standard errors; trunc lowers them by at most one.
  EXPECT_NEAR(sumLeft / kCount, 320.0, 11.0);
  EXPECT_NEAR(sumTop / kCount, 200.0, 7.0);
  EXPECT_GT(places.size(), 20);
}

}  // namespace
