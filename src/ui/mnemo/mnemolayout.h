#pragma once

#include <QString>
#include <QStringList>
#include <span>

class QWidget;

// One element of the plant diagram's picture. The whole picture is one table
// of these rows (MnemoLayout), so it can be read and changed in one place.
//
// Props is a short text "key=value;key=value" for everything besides the
// geometry; a value runs up to the next ";" exactly as written (trailing
// spaces count). The keys, by class:
//   every class  tag is the column Tag, not a key
//   TArrow       a angle (degrees), w width, e head length (0: none), ea head angle
//   TOutField    f format, t fixed caption, al text angle (tenths of a degree),
//                font, fc font colour, pen, br fill colour, tr transparent (1)
//   TLabel       t text, font, fc font colour, al alignment (l, c, r)
//   TConusBox    c colour inside, wc liquid colour, bc colour around, pen,
//                ch cone height, dw bottom width, wh level (percent),
//                top / ctop show the top line / the cone's top line (1),
//                half one-sided cone (1), xf mirrored (1)
//   TValve       vert vertical (1), pen, br
//   TPoligon     pts corners "x y/x y/..." in percent, pen, br, xf
//   TShape       br
//   TPanel       c colour, t caption, font, fc
// Colours are names ("clAqua") or numbers (0x00BBGGRR); a font is
// "face,pixels[,styles]" with styles of b (bold), u (underline), i (italic);
// a pen is "colour,width".
//
// A value field starts with the diagram's field style (frame clAqua width 2,
// fill clSilver, MS Sans Serif 13 pixels bold clNavy); a caption with the
// window's font and colour.
struct MnemoElementRec {
  const char* Class;  // Qt class name of the element
  const char* Name;   // objectName, also its section in the style file
  int Left;
  int Top;
  int Width;
  int Height;
  int Tag;
  const char16_t* Props;
  const char* Parent = nullptr;  // an earlier row's Name to place it on; none: the window
};

// The diagram, rows in creation order (later rows lie above earlier ones).
std::span<const MnemoElementRec> MnemoLayout();

// Creates the elements of "layout" on "form" in table order. Elements that
// store a style get "styleFile" as their ConfigName. A row of an unknown
// class or parent, or a property that does not parse, is skipped and
// described in "problems" (when given). The form owns what is made.
// User-interface thread only.
void BuildMnemoLayout(QWidget& form, std::span<const MnemoElementRec> layout, const QString& styleFile,
                      QStringList* problems = nullptr);
