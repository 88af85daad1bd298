#include "ui/elements/actionbound.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

TEST(ActionBound, CaptionLosesItsAcceleratorMarkers) {
  EXPECT_EQ(CaptionWithoutAccelerator(u"Вы&xод"_qs), u"Выxод"_qs);
  EXPECT_EQ(CaptionWithoutAccelerator(u"A && B"_qs), u"A & B"_qs);
  EXPECT_EQ(CaptionWithoutAccelerator(u"end&"_qs), u"end"_qs);
  EXPECT_EQ(CaptionWithoutAccelerator(u"Главное меню"_qs), u"Главное меню"_qs);
}

TEST(ActionBound, LabelShowsTheActionAndFollowsItsChanges) {
  QWidget parent;
  QAction action(u"Сводная таблица"_qs, &parent);
  action.setToolTip(u"Подсказка"_qs);
  TActionLabel label(&parent);
  label.SetAction(&action);
  parent.show();
  EXPECT_EQ(label.text(), u"Сводная таблица"_qs);
  EXPECT_EQ(label.toolTip(), u"Подсказка"_qs);

  action.setText(u"Другое"_qs);
  action.setEnabled(false);
  EXPECT_EQ(label.text(), u"Другое"_qs);
  EXPECT_FALSE(label.isEnabled());
  action.setVisible(false);
  EXPECT_FALSE(label.isVisible());
}

TEST(ActionBound, AClickOnLabelImageOrPanelTriggersTheActionOnlyWhileEnabled) {
  QWidget parent;
  QAction action(u"Мнемосхема"_qs, &parent);
  QSignalSpy triggered(&action, &QAction::triggered);
  TActionLabel label(&parent);
  TActionImage image(&parent);
  TActionPanel panel(&parent);
  QWidget* const controls[] = {&label, &image, &panel};
  label.SetAction(&action);
  image.SetAction(&action);
  panel.SetAction(&action);
  for (QWidget* control : controls) control->resize(40, 20);
  parent.show();

  for (QWidget* control : controls) QTest::mouseClick(control, Qt::LeftButton);
  EXPECT_EQ(triggered.count(), 3);
  action.setEnabled(false);
  for (QWidget* control : controls) QTest::mouseClick(control, Qt::LeftButton);
  EXPECT_EQ(triggered.count(), 3);
}

TEST(ActionBound, ImageShowsTheActionsPictureAndSurvivesTheActionsDeletion) {
  QWidget parent;
  auto* action = new QAction(u"Графики"_qs, &parent);
  QPixmap picture(64, 32);
  picture.fill(Qt::red);
  action->setIcon(QIcon(picture));
  TActionImage image(&parent);
  image.SetAction(action);
  EXPECT_EQ(image.pixmap().size(), QSize(64, 32));
  delete action;
  EXPECT_EQ(image.Action(), nullptr);
  image.resize(64, 32);
  parent.show();
  QTest::mouseClick(&image, Qt::LeftButton);  // no action left: nothing happens
}
