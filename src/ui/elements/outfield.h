#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>

#include "ui/elements/elementbrush.h"
#include "ui/elements/elementfont.h"
#include "ui/elements/elementpen.h"

// Vertical placement of a value field's text.
enum TTamselVAlign {
  tm_VAlignCenter = 0,
  tm_VAlignTop = 1,
  tm_VAlignBottom = 2,
};

// The value field: a framed, filled rectangle with one line of text, either a
// number formatted by OutFormat or a caption the window sets. The text can be
// rotated (Alpha, tenths of a degree counter-clockwise) about the point where
// VAlign puts its centre.
//
// Drawing is cached: the field paints into a pixmap of its size only after a
// change (value, caption, style, size) and otherwise copies the pixmap, so a
// window may push every value on every tick. Every setter does nothing,
// not even a repaint, when the value does not change. A Transparent field
// draws only its text, straight onto the parent's background, on every paint.
//
// Pen, brush and font are the field's own copies; setters copy. The style
// file (ConfigName, section = objectName) holds pen, font, fill colour and
// OutFormat; LoadConfig reads everything but OutFormat. The owner widget
// owns the field (Qt parent). User-interface thread only.
class TOutField : public QWidget {
  Q_OBJECT
  Q_PROPERTY(int Tag READ Tag WRITE SetTag)
  Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
  Q_PROPERTY(QString OutFormat READ OutFormat WRITE SetOutFormat)
  Q_PROPERTY(double OutValue READ OutValue WRITE SetOutValue)
  Q_PROPERTY(QString ConfigName READ ConfigName WRITE SetConfigName)
  Q_PROPERTY(int Alpha READ Alpha WRITE SetAlpha)
  Q_PROPERTY(bool HandWriting READ HandWriting WRITE SetHandWriting)
  Q_PROPERTY(bool Transparent READ Transparent WRITE SetTransparent)

 public:
  explicit TOutField(QWidget* owner = nullptr);

  int Tag() const { return m_tag; }
  void SetTag(int tag) { m_tag = tag; }

  // The text shown. SetOutValue replaces it; windows that show words set it.
  const QString& Caption() const { return m_caption; }
  void SetCaption(const QString& caption);

  const ElementBrush& Brush() const { return m_brush; }
  void SetBrush(const ElementBrush& brush);
  void SetBrushColor(TColor color);
  const ElementPen& Pen() const { return m_pen; }
  void SetPen(const ElementPen& pen);
  void SetPenColor(TColor color);
  void SetPenWidth(int width);
  const ElementFont& Font() const { return m_font; }
  void SetFont(const ElementFont& font);
  void SetFontColor(TColor color);

  // A new format shows with the next change of OutValue; the caption stays.
  const QString& OutFormat() const { return m_outFormat; }
  void SetOutFormat(const QString& format);
  // Formats the value into the caption with the system's decimal separator.
  double OutValue() const { return m_outValue; }
  void SetOutValue(double value);

  const QString& ConfigName() const { return m_configName; }
  void SetConfigName(const QString& configName) { m_configName = configName; }

  int Alpha() const { return m_alpha; }
  void SetAlpha(int alpha);
  bool HandWriting() const { return m_handWriting; }
  void SetHandWriting(bool handWriting);
  bool Transparent() const { return m_transparent; }
  void SetTransparent(bool transparent);
  TTamselVAlign VAlign() const { return m_vAlign; }
  void SetVAlign(TTamselVAlign vAlign);

  // Writes PenWidth, PenColor, PenStyle, FontSize, FontColor, FontName,
  // OutFormat and BrushColor into section objectName() in one file write;
  // false when the file could not be written (or ConfigName is empty).
  bool SaveConfig();
  // Reads pen, font and BrushColor from "section" (empty: objectName()); see
  // orvetutil.h for what a broken file does. Always true.
  bool LoadConfig(const QString& section = QString());

 signals:
  // A left-button click inside the field.
  void clicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void StyleChanged();
  void DrawCaption(QPainter& painter) const;

  int m_tag = 0;
  QString m_caption;
  ElementBrush m_brush;
  ElementPen m_pen;
  ElementFont m_font;
  QString m_outFormat = QStringLiteral("###0.0");
  double m_outValue = 0;
  QString m_configName;
  int m_alpha = 0;
  bool m_handWriting = false;
  bool m_transparent = false;
  TTamselVAlign m_vAlign = tm_VAlignCenter;

  bool m_dirty = true;
  QPixmap m_bitmap;
};
