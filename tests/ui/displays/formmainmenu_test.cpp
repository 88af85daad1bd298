#include "ui/displays/formmainmenu.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "ui/elements/actionbound.h"

namespace {

constexpr int kTitleHeight = 47;
constexpr int kBottomMargin = 28;

struct RowCase {
  const char* row;
  const char* key;
  const char16_t* caption;
  QAction* MainMenuActions::*action;
};

// The rows top to bottom, with the main window's captions of their commands.
const RowCase kRows[] = {
    {"PanelF1", "F2", u"Мнемосхема  обогащения  флотацией", &MainMenuActions::Mnemo},
    {"PanelF2", "F3", u"Графики параметров флотации секции 1", &MainMenuActions::GraphFlot1},
    {"PanelF3", "F4", u"Графики параметров флотации секции 2", &MainMenuActions::GraphFlot2},
    {"PanelF4", "F5", u"Графики параметров процесса флокуляции флотоконцентрата",
     &MainMenuActions::GraphFlok},
    {"PanelF5", "F6", u"Графики  изменения уровней в баках флотоконцентрата", &MainMenuActions::GraphLevel},
    {"PanelF6", "F7", u"Задания режимов управления и расхода реагентов", &MainMenuActions::ControlForm},
    {"PanelF8", "F8", u"Сводная таблица показателей работы", &MainMenuActions::SvodTable},
};

class FormMainMenuTest : public testing::Test {
 protected:
  FormMainMenuTest() {
    for (const RowCase& row : kRows) {
      auto* action = new QAction(QString::fromUtf16(row.caption), &m_owner);
      action->setToolTip(u"Подсказка "_qs + QString::fromLatin1(row.key));
      QPixmap picture(64, 32);
      picture.fill(Qt::darkGreen);
      action->setIcon(QIcon(picture));
      m_actions.*row.action = action;
    }
    m_form = std::make_unique<TFormMainMenu>(m_actions, [this] { return m_summaryOn; });
  }

  // Sizes the window so that its centre panel is `centreHeight` pixels high.
  void ShowWithCentreHeight(int centreHeight) {
    m_form->resize(1000, kTitleHeight + centreHeight + kBottomMargin);
    m_form->show();
  }

  QWidget* Row(const char* name) const { return m_form->findChild<QWidget*>(QString::fromLatin1(name)); }

  QObject m_owner;
  MainMenuActions m_actions;
  bool m_summaryOn = true;
  std::unique_ptr<TFormMainMenu> m_form;
};

TEST_F(FormMainMenuTest, TitleMarginsAndCentrePanelFrameTheRows) {
  ShowWithCentreHeight(620);
  EXPECT_EQ(m_form->objectName(), u"FormMainMenu"_qs);
  EXPECT_EQ(m_form->windowTitle(), u"Главное меню"_qs);
  EXPECT_EQ(m_form->font().pixelSize(), 19);
  EXPECT_TRUE(m_form->font().bold());
  EXPECT_EQ(m_form->palette().color(QPalette::WindowText), QColor(0, 0, 128));

  auto* title = m_form->findChild<QLabel*>(u"LabelTitle"_qs);
  ASSERT_NE(title, nullptr);
  EXPECT_EQ(title->text(), u"ГЛАВНОЕ МЕНЮ"_qs);
  EXPECT_EQ(title->geometry(), QRect(0, 0, 1000, kTitleHeight));
  EXPECT_EQ(title->font().pixelSize(), 32);
  EXPECT_TRUE(title->font().bold());
  EXPECT_TRUE(title->font().underline());
  EXPECT_EQ(title->alignment(), Qt::AlignCenter);

  auto* centre = m_form->findChild<QWidget*>(u"PanelCenter"_qs);
  ASSERT_NE(centre, nullptr);
  EXPECT_EQ(centre->geometry(), QRect(60, kTitleHeight, 1000 - 120, 620));
}

// Every row, the hidden one too, gets the centre height divided by the
// number of visible rows; the visible ones stack from the top in order.
TEST_F(FormMainMenuTest, VisibleRowsShareTheCentreHeightFromTheTop) {
  const struct {
    bool summaryOn;
    int centreHeight;
    int rowHeight;
  } cases[] = {{true, 620, 88}, {false, 620, 103}, {true, 700, 100}, {false, 700, 116}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "summary " << c.summaryOn << ", centre " << c.centreHeight);
    m_summaryOn = c.summaryOn;
    ShowWithCentreHeight(c.centreHeight);
    m_form->PanelCenterResize();  // the resize alone does not run it when the size stays the same
    EXPECT_EQ(Row("PanelF8")->isVisible(), c.summaryOn);
    int top = 0;
    for (const RowCase& rowCase : kRows) {
      SCOPED_TRACE(rowCase.row);
      QWidget* row = Row(rowCase.row);
      ASSERT_NE(row, nullptr);
      EXPECT_EQ(row->height(), c.rowHeight);
      EXPECT_EQ(row->width(), 1000 - 120);
      if (row->isHidden()) continue;
      EXPECT_EQ(row->y(), top);
      top += c.rowHeight;
    }
  }
}

TEST_F(FormMainMenuTest, ResizingTheCentrePanelReevaluatesTheSummaryRow) {
  m_summaryOn = false;
  ShowWithCentreHeight(620);
  EXPECT_TRUE(Row("PanelF8")->isHidden());
  m_summaryOn = true;
  ShowWithCentreHeight(700);
  EXPECT_TRUE(Row("PanelF8")->isVisible());
  EXPECT_EQ(Row("PanelF1")->height(), 100);
  EXPECT_EQ(Row("PanelF8")->y(), 600);
}

TEST_F(FormMainMenuTest, EachRowShowsPictureCaptionAndKeyOfItsAction) {
  ShowWithCentreHeight(620);
  for (const RowCase& rowCase : kRows) {
    SCOPED_TRACE(rowCase.row);
    QWidget* row = Row(rowCase.row);
    ASSERT_NE(row, nullptr);
    QAction* action = m_actions.*rowCase.action;
    const auto images = row->findChildren<TActionImage*>();
    const auto captions = row->findChildren<TActionLabel*>();
    ASSERT_EQ(images.size(), 1);
    ASSERT_EQ(captions.size(), 1);
    TActionImage* image = images.front();
    TActionLabel* caption = captions.front();

    EXPECT_EQ(image->Action(), action);
    EXPECT_EQ(image->geometry(), QRect(0, 0, 64, 88));
    EXPECT_EQ(image->alignment(), Qt::AlignCenter);
    EXPECT_EQ(image->pixmap().size(), QSize(64, 32));
    EXPECT_EQ(caption->Action(), action);
    EXPECT_EQ(caption->text(), QString::fromUtf16(rowCase.caption));
    EXPECT_EQ(caption->x(), 64 + 20);
    for (QWidget* control : {static_cast<QWidget*>(image), static_cast<QWidget*>(caption)}) {
      EXPECT_EQ(control->cursor().shape(), Qt::PointingHandCursor);
      EXPECT_EQ(control->toolTip(), action->toolTip());
    }

    QLabel* key = nullptr;
    for (QLabel* label : row->findChildren<QLabel*>())
      if (label != image && label != caption) key = label;
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->text(), QString::fromLatin1(rowCase.key));
    EXPECT_EQ(key->geometry(), QRect(row->width() - 50, 0, 50, 88));
    EXPECT_EQ(key->alignment(), Qt::AlignCenter);
    EXPECT_EQ(key->font().pixelSize(), 19);
    EXPECT_TRUE(key->font().bold());
    EXPECT_EQ(key->palette().color(QPalette::WindowText), QColor(0, 0, 255));
  }
}

TEST_F(FormMainMenuTest, CaptionAndHintFollowTheAction) {
  ShowWithCentreHeight(620);
  auto* caption = Row("PanelF2")->findChild<TActionLabel*>();
  m_actions.GraphFlot1->setText(u"Графики &секции 1"_qs);
  m_actions.GraphFlot1->setToolTip(u"Новая подсказка"_qs);
  EXPECT_EQ(caption->text(), u"Графики секции 1"_qs);
  EXPECT_EQ(caption->toolTip(), u"Новая подсказка"_qs);
  EXPECT_EQ(Row("PanelF2")->findChild<TActionImage*>()->toolTip(), u"Новая подсказка"_qs);
}

TEST_F(FormMainMenuTest, ClickOnPictureOrCaptionRunsTheRowsActionOnlyWhileEnabled) {
  ShowWithCentreHeight(620);
  for (const RowCase& rowCase : kRows) {
    SCOPED_TRACE(rowCase.row);
    QAction* action = m_actions.*rowCase.action;
    QSignalSpy triggered(action, &QAction::triggered);
    auto* image = Row(rowCase.row)->findChild<TActionImage*>();
    auto* caption = Row(rowCase.row)->findChild<TActionLabel*>();
    QTest::mouseClick(image, Qt::LeftButton);
    QTest::mouseClick(caption, Qt::LeftButton);
    EXPECT_EQ(triggered.count(), 2);

    action->setEnabled(false);
    EXPECT_FALSE(image->isEnabled());
    EXPECT_FALSE(caption->isEnabled());
    QTest::mouseClick(image, Qt::LeftButton);
    QTest::mouseClick(caption, Qt::LeftButton);
    EXPECT_EQ(triggered.count(), 2);
  }
}

TEST_F(FormMainMenuTest, KeyTextIsDisplayOnly) {
  ShowWithCentreHeight(620);
  QSignalSpy triggered(m_actions.Mnemo, &QAction::triggered);
  QWidget* row = Row("PanelF1");
  QTest::mouseClick(row, Qt::LeftButton, {}, QPoint(row->width() - 25, row->height() / 2));
  EXPECT_EQ(triggered.count(), 0);
}

TEST(FormMainMenu, MissingActionsAndNoSummaryCallbackLeaveEmptyRows) {
  TFormMainMenu form(MainMenuActions{}, nullptr);
  form.resize(837, kTitleHeight + 600 + kBottomMargin);
  form.show();
  EXPECT_TRUE(form.findChild<QWidget*>(u"PanelF8"_qs)->isHidden());
  EXPECT_EQ(form.findChild<QWidget*>(u"PanelF1"_qs)->height(), 100);
  EXPECT_TRUE(form.findChild<TActionLabel*>(u"LabelF1"_qs)->text().isEmpty());
  QTest::mouseClick(form.findChild<TActionImage*>(u"ImageF1"_qs), Qt::LeftButton);
}

}  // namespace
