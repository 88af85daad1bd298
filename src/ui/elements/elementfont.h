#pragma once

#include <QFont>
#include <QString>

#include "ui/elements/tcolor.h"

// The text font of an element as layouts and style files describe it: a face
// name as written ("Times New Roman", "MS Sans Serif"), a character height in
// pixels, a colour and the styles bold, italic, underline, strike-out. Plain
// value type; elements hold their own copy, any thread.
//
// Sizes: layouts give pixels, style files store points, and the screens are
// taken as 96 dots per inch, so points = pixels * 72 / 96 and pixels =
// points * 96 / 72, each rounded half up. The pixel height is what is kept
// and drawn (QFont::setPixelSize); Size() is derived from it. Every whole
// point size survives pixels and back (10 pt -> 13 px -> 10 pt), and
// SetSize with the size the font already has keeps its pixels, so a 14 px
// font (10.5 pt, stored as 11) stays 14 px when its own style file is
// loaded back.
class ElementFont {
 public:
  static constexpr int kMaxPixelSize = 400;
  static constexpr int kMaxSize = 300;  // points, kMaxPixelSize * 72 / 96

  ElementFont() = default;
  ElementFont(QString name, int pixelSize, TColor color = clBlack, bool bold = false);

  const QString& Name() const { return m_name; }
  // An empty name is ignored.
  void SetName(const QString& name);

  // Character height in pixels, 1 ... kMaxPixelSize.
  int PixelSize() const { return m_pixelSize; }
  void SetPixelSize(int pixels);
  // The platform's height convention: negative for a character height.
  int Height() const { return -m_pixelSize; }

  // Size in points at 96 dots per inch, 1 ... kMaxSize (see above).
  int Size() const;
  void SetSize(int points);

  TColor Color() const { return m_color; }
  void SetColor(TColor color) { m_color = color; }

  bool Bold() const { return m_bold; }
  void SetBold(bool bold) { m_bold = bold; }
  bool Italic() const { return m_italic; }
  void SetItalic(bool italic) { m_italic = italic; }
  bool Underline() const { return m_underline; }
  void SetUnderline(bool underline) { m_underline = underline; }
  bool StrikeOut() const { return m_strikeOut; }
  void SetStrikeOut(bool strikeOut) { m_strikeOut = strikeOut; }

  // The font to draw with: the family as written, the pixel size, weight 600
  // for bold (which selects a bold face) else 400. Faces that fontconfig
  // does not alias get a stand-in here ("MS Sans Serif" -> "Liberation
  // Sans"); "handWriting" asks for a script face when the named one is missing.
  QFont ToQFont(bool handWriting = false) const;
  // Back from a font dialog's choice; a size in points is converted to
  // pixels, weights from 600 count as bold.
  static ElementFont FromQFont(const QFont& font, TColor color);

  bool operator==(const ElementFont&) const = default;

 private:
  QString m_name = QStringLiteral("Times New Roman");
  int m_pixelSize = 13;  // 10 points
  TColor m_color = clBlack;
  bool m_bold = false;
  bool m_italic = false;
  bool m_underline = false;
  bool m_strikeOut = false;
};

// A window's own font, as its layout gives it: a face, a height in pixels,
// bold or not (ElementFont's face stand-ins and weights apply).
QFont PixelFont(const QString& name, int pixelSize, bool bold = false);

// 96 dots per inch, rounded half up.
int PixelsFromPoints(int points);
int PointsFromPixels(int pixels);
