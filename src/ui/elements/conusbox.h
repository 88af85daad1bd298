#pragma once

#include <QPixmap>
#include <QWidget>

#include "ui/elements/elementpen.h"
#include "ui/elements/tcolor.h"

// A vessel with a cylindrical upper part over a conical bottom, filled with
// liquid up to WaterH percent of its height. ConusH is the cone's height and
// DownW the width of its bottom, both in percent of the control; HalfConus
// slants one side only, the bottom lying at the right wall (at the left with
// XFlip). The pen draws the walls and its width sets the insets. Unless
// ShowTopLine, the top edge is painted over with BackColor; unless
// ShowConusTop, the line between upper part and cone is hidden.
//
// The vessel paints its whole rectangle from a cached pixmap, redrawn only
// after a change (setter or size); setters given the current value do
// nothing. Child widgets (captions, value fields) show on top of it. The
// owner widget owns the vessel (Qt parent). User-interface thread only.
class TConusBox : public QWidget {
  Q_OBJECT
  Q_PROPERTY(int Tag READ Tag WRITE SetTag)
  Q_PROPERTY(uint BackColor READ BackColor WRITE SetBackColor)
  Q_PROPERTY(uint Color READ Color WRITE SetColor)
  Q_PROPERTY(uint WaterColor READ WaterColor WRITE SetWaterColor)
  Q_PROPERTY(int ConusH READ ConusH WRITE SetConusH)
  Q_PROPERTY(bool ShowTopLine READ ShowTopLine WRITE SetShowTopLine)
  Q_PROPERTY(bool ShowConusTop READ ShowConusTop WRITE SetShowConusTop)
  Q_PROPERTY(int DownW READ DownW WRITE SetDownW)
  Q_PROPERTY(int WaterH READ WaterH WRITE SetWaterH)
  Q_PROPERTY(bool HalfConus READ HalfConus WRITE SetHalfConus)
  Q_PROPERTY(bool XFlip READ XFlip WRITE SetXFlip)

 public:
  explicit TConusBox(QWidget* owner = nullptr);

  int Tag() const { return m_tag; }
  void SetTag(int tag) { m_tag = tag; }

  // Around the vessel.
  TColor BackColor() const { return m_backColor; }
  void SetBackColor(TColor color);
  // The empty inside.
  TColor Color() const { return m_color; }
  void SetColor(TColor color);
  const ElementPen& Pen() const { return m_pen; }
  void SetPen(const ElementPen& pen);
  void SetPenColor(TColor color);
  void SetPenWidth(int width);
  TColor WaterColor() const { return m_waterColor; }
  void SetWaterColor(TColor color);
  int ConusH() const { return m_conusH; }
  void SetConusH(int percent);
  bool ShowTopLine() const { return m_showTopLine; }
  void SetShowTopLine(bool show);
  bool ShowConusTop() const { return m_showConusTop; }
  void SetShowConusTop(bool show);
  int DownW() const { return m_downW; }
  void SetDownW(int percent);
  // Liquid level in percent of the height, from the bottom.
  int WaterH() const { return m_waterH; }
  void SetWaterH(int percent);
  bool HalfConus() const { return m_halfConus; }
  void SetHalfConus(bool half);
  bool XFlip() const { return m_xFlip; }
  void SetXFlip(bool xFlip);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Changed();
  void DrawVessel(QPainter& painter) const;

  int m_tag = 0;
  TColor m_backColor = clBlack;
  TColor m_color = clBlack;
  ElementPen m_pen{clBlack, 1};
  TColor m_waterColor = clAqua;
  int m_conusH = 80;
  bool m_showTopLine = false;
  bool m_showConusTop = false;
  int m_downW = 10;
  int m_waterH = 40;
  bool m_halfConus = false;
  bool m_xFlip = false;

  bool m_dirty = true;
  QPixmap m_bitmap;
};
