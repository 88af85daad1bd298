#pragma once

#include <QPen>
#include <QRect>
#include <optional>

#include "ui/elements/elementbrush.h"
#include "ui/elements/tcolor.h"

class QPainter;

// Pen styles by the ordinals the style files store.
enum class TPenStyle : int {
  psSolid = 0,
  psDash = 1,
  psDot = 2,
  psDashDot = 3,
  psDashDotDot = 4,
  psClear = 5,
  psInsideFrame = 6,
};

// The ordinal as a style, or nothing outside 0 ... 6.
std::optional<TPenStyle> PenStyleFromOrdinal(int ordinal);

// The outline of an element's shape: colour, width in pixels, style. Plain
// value type; elements hold their own copy, any thread.
//
// Widths are kept within 0 ... kMaxWidth (0 draws one pixel, like 1); a width
// past the largest element on any screen only costs time to rasterise.
// Dashed styles dash only at width 0 or 1 and draw solid when wider, as the
// consoles' layouts were drawn.
class ElementPen {
 public:
  static constexpr int kMaxWidth = 100;

  ElementPen() = default;
  ElementPen(TColor color, int width, TPenStyle style = TPenStyle::psSolid);

  TColor Color() const { return m_color; }
  void SetColor(TColor color) { m_color = color; }
  int Width() const { return m_width; }
  void SetWidth(int width);
  TPenStyle Style() const { return m_style; }
  void SetStyle(TPenStyle style) { m_style = style; }

  // A pen for strokes: flat-ended square dashes of the console's lengths
  // (18/6, 3/3, 9/6/3/6, 9/3/3/3/3/3 pixels); Qt::NoPen for psClear;
  // psInsideFrame strokes solid (only rectangles move it inside, see
  // DrawRectangle).
  QPen ToQPen() const;

  bool operator==(const ElementPen&) const = default;

 private:
  TColor m_color = clBlack;
  int m_width = 1;
  TPenStyle m_style = TPenStyle::psSolid;
};

// A filled, framed rectangle covering exactly the pixels of "area", drawn
// aliased. A frame of width n is centred on the outermost pixels, so about
// half of it lies outside "area" (and is clipped at a control's edge);
// psInsideFrame keeps all n pixels inside. The painter's pen and brush are
// left changed.
void DrawRectangle(QPainter& painter, const QRect& area, const ElementPen& pen, const ElementBrush& brush);

// True when "painter" draws on a printer, a PDF or a print preview rather
// than on the screen: controls that keep a cached pixmap of themselves draw
// afresh there, so that a page gets lines and text, not a bitmap.
bool PaintsToPage(const QPainter& painter);
