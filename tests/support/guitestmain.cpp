// main() of the widget tests: a QApplication on the offscreen platform (unless
// the caller chose another, e.g. xcb under Xvfb to watch a test), then every
// GoogleTest case.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
