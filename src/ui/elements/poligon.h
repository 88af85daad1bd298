#pragma once

#include <QPoint>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <array>
#include <functional>

#include "ui/elements/elementbrush.h"
#include "ui/elements/elementpen.h"
#include "ui/elements/tcolor.h"

// A filled, outlined polygon whose corners are given in percent of the
// control's size: PointList holds one corner a line, "x; y" (x before the
// first semicolon, y after it, decimal numbers with "." or ","). XFlip
// mirrors left-right (x becomes 100 - x). A corner at 100 lies one pixel
// past the right or bottom edge, so layouts use 99 for the far edge. Only the
// polygon is painted; the parent's picture shows around it.
//
// The list is parsed when it, the pen, the brush or XFlip changes
// (RefrshPointList). Fewer than three lines draw nothing. More than
// kMaxPoints lines, or a line that is not "number; number", is reported
// through the message sink (by default a modal error box) and leaves the
// previous corner count; the corners parsed before the bad line are already
// replaced. Setters given the current value do nothing.
//
// The style file (ConfigName, section = objectName) holds PenWidth, PenColor,
// PenStyle and BrushColor. The owner widget owns the polygon (Qt parent).
// User-interface thread only.
class TPoligon : public QWidget {
  Q_OBJECT
  Q_PROPERTY(int Tag READ Tag WRITE SetTag)
  Q_PROPERTY(QStringList PointList READ PointList WRITE SetPointList)
  Q_PROPERTY(bool XFlip READ XFlip WRITE SetXFlip)
  Q_PROPERTY(QString ConfigName READ ConfigName WRITE SetConfigName)

 public:
  static constexpr int kMaxPoints = 100;

  // Receives the text of a parse error. Empty: a modal QMessageBox::critical
  // with the caption "Ошибка", parented to the polygon's window.
  using MessageSink = std::function<void(const QString& text)>;

  // 100 x 100 pixels, a triangle pointing up ("50; 0", "0; 100",
  // "100; 100"), red outline of width 1, yellow fill, ConfigName ".\Colors.INI".
  explicit TPoligon(QWidget* owner = nullptr);

  int Tag() const { return m_tag; }
  void SetTag(int tag) { m_tag = tag; }

  const ElementPen& Pen() const { return m_pen; }
  void SetPen(const ElementPen& pen);
  void SetPenColor(TColor color);
  void SetPenWidth(int width);
  const ElementBrush& Brush() const { return m_brush; }
  void SetBrush(const ElementBrush& brush);
  void SetBrushColor(TColor color);

  const QStringList& PointList() const { return m_pointList; }
  void SetPointList(const QStringList& pointList);
  bool XFlip() const { return m_xFlip; }
  void SetXFlip(bool xFlip);

  const QString& ConfigName() const { return m_configName; }
  void SetConfigName(const QString& configName) { m_configName = configName; }

  void SetMessageSink(MessageSink sink) { m_messageSink = std::move(sink); }

  // Parses PointList into the corners and repaints; see above.
  void RefrshPointList();
  // Corners drawn: 0 when the list has fewer than three lines.
  int ValidPointCount() const { return m_validPointCount; }
  // Corner i (0 ... ValidPointCount() - 1) in percent, XFlip applied.
  QPointF PercentPoint(int index) const;

  // Writes PenWidth, PenColor, PenStyle and BrushColor into section
  // objectName() in one file write; false when that failed (or ConfigName is
  // empty).
  bool SaveConfig();
  // Reads the four keys from "section" (empty: objectName()); see
  // orvetutil.h for what a broken file does. Always true.
  bool LoadConfig(const QString& section = QString());

 signals:
  // A left-button click inside the control.
  void clicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void StyleChanged();
  void Report(const QString& text);

  int m_tag = 0;
  ElementPen m_pen{clRed, 1};
  ElementBrush m_brush{clYellow};
  QStringList m_pointList;
  bool m_xFlip = false;
  QString m_configName = QStringLiteral(".\\Colors.INI");
  MessageSink m_messageSink;

  std::array<QPointF, kMaxPoints> m_points{};
  int m_validPointCount = 0;
};
