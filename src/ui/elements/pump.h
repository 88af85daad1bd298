#pragma once

#include <QString>
#include <QWidget>

#include "ui/elements/elementbrush.h"
#include "ui/elements/elementpen.h"
#include "ui/elements/tcolor.h"

// The pump symbol: a round body in the lower part, a base plate standing up
// at one side and an outlet pipe leaving the body's middle towards the other
// side (outlet left, base right; VertFlip mirrors that). Only the symbol is
// painted; the parent's picture shows around it.
//
// Pen and brush changes repaint; setters given the current value do nothing.
// The style file (ConfigName, section = objectName) holds PenWidth, PenColor,
// PenStyle and BrushColor. The owner widget owns the pump (Qt parent).
// User-interface thread only.
class TPump : public QWidget {
  Q_OBJECT
  Q_PROPERTY(int Tag READ Tag WRITE SetTag)
  Q_PROPERTY(bool VertFlip READ VertFlip WRITE SetVertFlip)
  Q_PROPERTY(QString ConfigName READ ConfigName WRITE SetConfigName)

 public:
  // 50 x 50 pixels, red outline of width 1, yellow fill, ConfigName ".\Colors.INI".
  explicit TPump(QWidget* owner = nullptr);

  int Tag() const { return m_tag; }
  void SetTag(int tag) { m_tag = tag; }

  const ElementBrush& Brush() const { return m_brush; }
  void SetBrush(const ElementBrush& brush);
  void SetBrushColor(TColor color);
  const ElementPen& Pen() const { return m_pen; }
  void SetPen(const ElementPen& pen);
  void SetPenColor(TColor color);
  void SetPenWidth(int width);
  bool VertFlip() const { return m_vertFlip; }
  void SetVertFlip(bool vertFlip);

  const QString& ConfigName() const { return m_configName; }
  void SetConfigName(const QString& configName) { m_configName = configName; }

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
  int m_tag = 0;
  ElementBrush m_brush{clYellow};
  ElementPen m_pen{clRed, 1};
  bool m_vertFlip = false;
  QString m_configName = QStringLiteral(".\\Colors.INI");
};
