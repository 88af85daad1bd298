#pragma once

#include <gtest/gtest.h>

#include <QColor>
#include <QEvent>
#include <QImage>
#include <QRect>
#include <QTest>
#include <QWidget>
#include <functional>
#include <map>

#include "support/waitfor.h"

// Counts the paint events of the widgets it watches.
class PaintCounter : public QObject {
 public:
  void Watch(QWidget& widget) { widget.installEventFilter(this); }
  int Paints(const QObject& widget) const {
    const auto found = m_paints.find(&widget);
    return found == m_paints.end() ? 0 : found->second;
  }
  void Reset() { m_paints.clear(); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++m_paints[watched];
    return QObject::eventFilter(watched, event);
  }

 private:
  std::map<const QObject*, int> m_paints;
};

// A shown black window that elements are placed on, as on the diagram.
class ElementCanvas : public testing::Test {
 protected:
  void SetUp() override {
    m_canvas.resize(400, 400);
    QPalette palette = m_canvas.palette();
    palette.setColor(QPalette::Window, Qt::black);
    m_canvas.setPalette(palette);
    m_canvas.setAutoFillBackground(true);
  }

  void ShowCanvas() {
    m_canvas.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_canvas));
  }

  // What the operator sees of "widget": the canvas's pixels under it.
  QImage Picture(const QWidget& widget) { return m_canvas.grab(widget.geometry()).toImage(); }

  // Pixels of exactly "color"; antialiased text has enough of them in its strokes.
  static int CountPixels(const QImage& image, const QColor& color) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) count += image.pixelColor(x, y) == color ? 1 : 0;
    return count;
  }

  // Bounding box of the pixels of "color".
  static QRect InkBox(const QImage& image, const QColor& color) {
    QRect box;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if (image.pixelColor(x, y) == color) box |= QRect(x, y, 1, 1);
    return box;
  }

  // Paint events of "element" caused by "action". A small widget beside it
  // is repainted before and after, so that every repaint the action asked
  // for has arrived when it is counted.
  int PaintsAfter(QWidget& element, const std::function<void()>& action) {
    Flush();
    m_counter.Reset();
    action();
    Flush();
    return m_counter.Paints(element);
  }

  // Returns once every repaint asked for so far has been delivered.
  void Flush() {
    if (m_sentinel == nullptr) {
      m_sentinel = new QWidget(&m_canvas);
      m_sentinel->setGeometry(m_canvas.width() - 30, m_canvas.height() - 30, 20, 20);
      m_sentinel->show();
      m_counter.Watch(*m_sentinel);
    }
    const int before = m_counter.Paints(*m_sentinel);
    m_sentinel->update();
    ASSERT_TRUE(WaitFor([&] { return m_counter.Paints(*m_sentinel) > before; }));
  }

  QWidget m_canvas;
  PaintCounter m_counter;

 private:
  QWidget* m_sentinel = nullptr;
};
