#pragma once

#include <QPoint>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include "ui/elements/tcolor.h"

class QPainter;

// The flow arrow: a straight shaft through the middle of the control at Angle
// degrees (counter-clockwise from pointing right) with an optional filled
// head. The shaft spans max(width, height) / 2 - 1 pixels either side of the
// centre whatever the control's smaller side, so an 84 x 11 arrow at Angle 0
// runs from x = 1 to its tip at x = 83. Nothing else is painted: the parent's
// picture shows around the line.
//
// Dashes ("bubbles") can run along a chain of arrows: BubbleList holds their
// positions along the shaft in pixels from the tail, one decimal number a
// line; BubbleStep advances them, a BubbleSource arrow feeds new ones at its
// tail, and dashes that reach the head enter NextArrow. No window runs the
// animation yet.
//
// Setters do nothing when the value does not change; the geometry and colour
// setters repaint, the dash setters do not. The style file (ConfigName,
// section = objectName) holds ArrowWidth, Color, EdgeLength and EdgeAngle;
// LoadConfig takes back only width and colour. NextArrow is not owned and
// may be destroyed at any time. The owner widget owns the arrow (Qt parent).
// User-interface thread only.
class TArrow : public QWidget {
  Q_OBJECT
  Q_PROPERTY(int Tag READ Tag WRITE SetTag)
  Q_PROPERTY(QString ConfigName READ ConfigName WRITE SetConfigName)
  Q_PROPERTY(double Angle READ Angle WRITE SetAngle)
  Q_PROPERTY(uint Color READ Color WRITE SetColor)
  Q_PROPERTY(int ArrowWidth READ ArrowWidth WRITE SetArrowWidth)
  Q_PROPERTY(int EdgeLength READ EdgeLength WRITE SetEdgeLength)
  Q_PROPERTY(int EdgeAngle READ EdgeAngle WRITE SetEdgeAngle)
  Q_PROPERTY(int BubbleLen READ BubbleLen WRITE SetBubbleLen)
  Q_PROPERTY(double BubbleSpeed READ BubbleSpeed WRITE SetBubbleSpeed)
  Q_PROPERTY(int BubbleInterval READ BubbleInterval WRITE SetBubbleInterval)
  Q_PROPERTY(uint BubbleColor READ BubbleColor WRITE SetBubbleColor)
  Q_PROPERTY(QStringList BubbleList READ BubbleList WRITE SetBubbleList)
  Q_PROPERTY(bool BubbleSource READ BubbleSource WRITE SetBubbleSource)

 public:
  // 50 x 50 pixels until the window sets its geometry.
  explicit TArrow(QWidget* owner = nullptr);

  int Tag() const { return m_tag; }
  void SetTag(int tag) { m_tag = tag; }
  const QString& ConfigName() const { return m_configName; }
  void SetConfigName(const QString& configName) { m_configName = configName; }

  double Angle() const { return m_angle; }
  void SetAngle(double angle);
  TColor Color() const { return m_color; }
  void SetColor(TColor color);
  // Shaft width in pixels, kept within 0 ... ElementPen::kMaxWidth.
  int ArrowWidth() const { return m_arrowWidth; }
  void SetArrowWidth(int width);
  // Head length along the shaft; 0 = no head, negative values become 0.
  int EdgeLength() const { return m_edgeLength; }
  void SetEdgeLength(int length);
  // Full opening angle of the head in degrees.
  int EdgeAngle() const { return m_edgeAngle; }
  void SetEdgeAngle(int angle);

  int BubbleLen() const { return m_bubbleLen; }
  void SetBubbleLen(int length);
  double BubbleSpeed() const { return m_bubbleSpeed; }
  void SetBubbleSpeed(double speed);
  int BubbleInterval() const { return m_bubbleInterval; }
  void SetBubbleInterval(int interval);
  TColor BubbleColor() const { return m_bubbleColor; }
  void SetBubbleColor(TColor color);
  const QStringList& BubbleList() const { return m_bubbleList; }
  void SetBubbleList(const QStringList& list);
  TArrow* NextArrow() const { return m_nextArrow; }
  void SetNextArrow(TArrow* next);
  bool BubbleSource() const { return m_bubbleSource; }
  void SetBubbleSource(bool source);

  // Writes ArrowWidth, Color, EdgeLength, EdgeAngle into section objectName()
  // in one file write; false when that failed (or ConfigName is empty).
  bool SaveConfig();
  // Reads ArrowWidth and Color from "section" (empty: objectName()) through
  // their setters; a missing key or file, a value that does not parse or is
  // no colour keeps the current value, widths are clamped. Always true.
  bool LoadConfig(const QString& section = QString());

  // Draws the dashes of BubbleList along the shaft of the last paint, with
  // the shaft's width, in BubbleColor. Lines that are not numbers are skipped.
  void PaintBuuble(QPainter& canvas);
  // One animation step; "follower" is true when the previous arrow of a
  // chain runs it. The rest of the chain moves first; a chain that loops
  // back to an arrow already stepping stops there. Lines that are not numbers
  // are dropped.
  void BubbleStep(bool follower);

 signals:
  // A left-button click anywhere in the control.
  void clicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  int m_tag = 0;
  QString m_configName = QStringLiteral(".\\Colors.INI");
  double m_angle = 0;
  TColor m_color = clRed;
  int m_arrowWidth = 3;
  int m_edgeLength = 5;
  int m_edgeAngle = 60;
  int m_bubbleLen = 3;
  double m_bubbleSpeed = 2.0;
  int m_bubbleInterval = 5;
  TColor m_bubbleColor = clWhite;
  QStringList m_bubbleList;
  QPointer<TArrow> m_nextArrow;
  bool m_bubbleSource = false;

  // Geometry of the last paint; zero before the first.
  QPoint m_tail;
  QPoint m_shaftEnd;
  double m_halfLength = 0;
  bool m_stepping = false;
};
