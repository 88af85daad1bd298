#include "ui/elements/tcolor.h"

#include <array>

namespace {

struct NamedColor {
  const char16_t* name;
  TColor color;
};

constexpr std::array<NamedColor, 20> kNamedColors{{
    {u"clBlack", clBlack},
    {u"clMaroon", clMaroon},
    {u"clGreen", clGreen},
    {u"clOlive", clOlive},
    {u"clNavy", clNavy},
    {u"clPurple", clPurple},
    {u"clTeal", clTeal},
    {u"clGray", clGray},
    {u"clSilver", clSilver},
    {u"clRed", clRed},
    {u"clLime", clLime},
    {u"clYellow", clYellow},
    {u"clBlue", clBlue},
    {u"clFuchsia", clFuchsia},
    {u"clAqua", clAqua},
    {u"clWhite", clWhite},
    {u"clMoneyGreen", clMoneyGreen},
    {u"clSkyBlue", clSkyBlue},
    {u"clCream", clCream},
    {u"clMedGray", clMedGray},
}};

}  // namespace

QColor ColorFromTColor(TColor color) {
  return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                static_cast<int>((color >> 16) & 0xFF));
}

TColor TColorFromColor(const QColor& color) {
  const QRgb rgb = color.rgb();
  return static_cast<TColor>(qRed(rgb)) | static_cast<TColor>(qGreen(rgb)) << 8 |
         static_cast<TColor>(qBlue(rgb)) << 16;
}

std::optional<TColor> TColorByName(const QString& name) {
  for (const NamedColor& entry : kNamedColors) {
    if (name.compare(QStringView(entry.name), Qt::CaseInsensitive) == 0) return entry.color;
  }
  return std::nullopt;
}

std::optional<QString> TColorName(TColor color) {
  for (const NamedColor& entry : kNamedColors) {
    if (entry.color == color) return QString::fromUtf16(entry.name);
  }
  return std::nullopt;
}
