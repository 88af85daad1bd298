#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>

#include "ui/elements/elementbrush.h"
#include "ui/elements/elementpen.h"
#include "ui/elements/tcolor.h"

// A level indicator: a vessel open at the top, filled from the bottom up to
// WaterLevel on the scale MinLevel ... MaxLevel (the bottom and top edges).
// The liquid is drawn in 100 bands shading from DownColor at the bottom
// towards UpColor at the top of the scale; only whole bands below the level
// are filled. A level outside the scale is clamped into it. With MaxLevel <=
// MinLevel there is no scale and the last picture stays on screen.
//
// The barrel paints its whole rectangle (Color around the liquid) through an
// off-screen pixmap, drawn anew on every paint. Setters given the current
// value do nothing. Brush is kept for the style file only ("BackColor"); the
// drawing does not use it.
//
// The style file (ConfigName, section = objectName) holds UpColor,
// DownColor, BackColor (the brush colour), PenWidth, PenColor and PenStyle.
// The owner widget owns the barrel (Qt parent). User-interface thread only.
class TBarrel : public QWidget {
  Q_OBJECT
  Q_PROPERTY(int Tag READ Tag WRITE SetTag)
  Q_PROPERTY(uint Color READ Color WRITE SetColor)
  Q_PROPERTY(uint UpColor READ UpColor WRITE SetUpColor)
  Q_PROPERTY(uint DownColor READ DownColor WRITE SetDownColor)
  Q_PROPERTY(double MaxLevel READ MaxLevel WRITE SetMaxLevel)
  Q_PROPERTY(double MinLevel READ MinLevel WRITE SetMinLevel)
  Q_PROPERTY(double WaterLevel READ WaterLevel WRITE SetWaterLevel)
  Q_PROPERTY(QString ConfigName READ ConfigName WRITE SetConfigName)

 public:
  explicit TBarrel(QWidget* owner = nullptr);

  int Tag() const { return m_tag; }
  void SetTag(int tag) { m_tag = tag; }

  // The background around the liquid.
  TColor Color() const { return m_color; }
  void SetColor(TColor color);
  TColor UpColor() const { return m_upColor; }
  void SetUpColor(TColor color);
  TColor DownColor() const { return m_downColor; }
  void SetDownColor(TColor color);
  double MaxLevel() const { return m_maxLevel; }
  void SetMaxLevel(double level);
  double MinLevel() const { return m_minLevel; }
  void SetMinLevel(double level);
  double WaterLevel() const { return m_waterLevel; }
  void SetWaterLevel(double level);

  const ElementPen& Pen() const { return m_pen; }
  void SetPen(const ElementPen& pen);
  void SetPenColor(TColor color);
  void SetPenWidth(int width);
  const ElementBrush& Brush() const { return m_brush; }
  void SetBrush(const ElementBrush& brush);
  void SetBrushColor(TColor color);

  const QString& ConfigName() const { return m_configName; }
  void SetConfigName(const QString& configName) { m_configName = configName; }

  // Writes the six keys into section objectName() in one file write; false
  // when that failed (or ConfigName is empty).
  bool SaveConfig();
  // Reads the six keys from "section" (empty: objectName()); see orvetutil.h
  // for what a broken file does. Always true.
  bool LoadConfig(const QString& section = QString());

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // False when there is no scale (MaxLevel <= MinLevel).
  bool DrawBarrel(QPainter& painter) const;

  int m_tag = 0;
  TColor m_color = clSilver;
  TColor m_upColor = clBlue;
  TColor m_downColor = clNavy;
  double m_maxLevel = 10;
  double m_minLevel = 0;
  double m_waterLevel = 3.5;
  ElementPen m_pen{clBlack, 1};
  ElementBrush m_brush{clWhite};
  QString m_configName = QStringLiteral(".\\Colors.INI");

  QPixmap m_bitmap;
};
