#include "ui/elements/elementfont.h"

#include <QStringList>
#include <algorithm>
#include <cmath>

namespace {

constexpr int kDotsPerInch = 96;
constexpr int kPointsPerInch = 72;

// Faces of the old layouts that fontconfig has no alias for. Times New
// Roman, Arial and Courier New are aliased to the metric-compatible
// Liberation faces by fontconfig itself.
QStringList FamiliesFor(const QString& name) {
  if (name.compare(u"MS Sans Serif", Qt::CaseInsensitive) == 0)
    return {name, QStringLiteral("Liberation Sans")};
  return {name};
}

int MulDivRounded(int value, int numerator, int denominator) {
  return static_cast<int>(std::floor(static_cast<double>(value) * numerator / denominator + 0.5));
}

}  // namespace

int PixelsFromPoints(int points) {
  return MulDivRounded(points, kDotsPerInch, kPointsPerInch);
}

int PointsFromPixels(int pixels) {
  return MulDivRounded(pixels, kPointsPerInch, kDotsPerInch);
}

ElementFont::ElementFont(QString name, int pixelSize, TColor color, bool bold)
    : m_color(color), m_bold(bold) {
  SetName(name);
  SetPixelSize(pixelSize);
}

void ElementFont::SetName(const QString& name) {
  if (!name.trimmed().isEmpty()) m_name = name;
}

void ElementFont::SetPixelSize(int pixels) {
  m_pixelSize = std::clamp(pixels, 1, kMaxPixelSize);
}

int ElementFont::Size() const {
  return std::max(1, PointsFromPixels(m_pixelSize));
}

void ElementFont::SetSize(int points) {
  points = std::clamp(points, 1, kMaxSize);
  if (points == Size()) return;
  SetPixelSize(PixelsFromPoints(points));
}

QFont ElementFont::ToQFont(bool handWriting) const {
  QFont font;
  font.setFamilies(FamiliesFor(m_name));
  font.setPixelSize(m_pixelSize);
  font.setWeight(m_bold ? QFont::DemiBold : QFont::Normal);
  font.setItalic(m_italic);
  font.setUnderline(m_underline);
  font.setStrikeOut(m_strikeOut);
  if (handWriting) font.setStyleHint(QFont::Cursive);
  return font;
}

ElementFont ElementFont::FromQFont(const QFont& font, TColor color) {
  ElementFont result;
  result.SetName(font.family());
  if (font.pixelSize() > 0) {
    result.SetPixelSize(font.pixelSize());
  } else {
    result.SetPixelSize(
        static_cast<int>(std::floor(font.pointSizeF() * kDotsPerInch / kPointsPerInch + 0.5)));
  }
  result.m_color = color;
  result.m_bold = font.weight() >= QFont::DemiBold;
  result.m_italic = font.italic();
  result.m_underline = font.underline();
  result.m_strikeOut = font.strikeOut();
  return result;
}

QFont PixelFont(const QString& name, int pixelSize, bool bold) {
  return ElementFont(name, pixelSize, clBlack, bold).ToQFont();
}
