#pragma once

#include <QColor>
#include <QString>
#include <cstdint>
#include <optional>

// Colours as the layouts and style files hold them: 32-bit values 0x00BBGGRR
// (red in the lowest byte). Only the low 24 bits carry a colour; a value with
// anything in the high byte (the old system-colour and "none" codes) is not a
// colour this console draws, see IsRgbTColor. Plain functions, any thread.
using TColor = std::uint32_t;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clMaroon = 0x000080;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clOlive = 0x008080;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clPurple = 0x800080;
inline constexpr TColor clTeal = 0x808000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clYellow = 0x00FFFF;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clFuchsia = 0xFF00FF;
inline constexpr TColor clAqua = 0xFFFF00;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clMoneyGreen = 0xC0DCC0;
inline constexpr TColor clSkyBlue = 0xF0CAA6;
inline constexpr TColor clCream = 0xF0FBFF;
inline constexpr TColor clMedGray = 0xA4A0A0;

// True for 0x000000 ... 0xFFFFFF. Style files with other values are treated as
// not holding a colour.
constexpr bool IsRgbTColor(std::int64_t value) {
  return value >= 0 && value <= 0xFFFFFF;
}

// Opaque colour from the low 24 bits; the high byte is ignored.
QColor ColorFromTColor(TColor color);
// The colour's red, green and blue; alpha is dropped.
TColor TColorFromColor(const QColor& color);

// "clRed" -> 0x0000FF, for the twenty names above; letters compared without
// regard to case. Unknown names give nothing.
std::optional<TColor> TColorByName(const QString& name);
// The name of a colour that has one ("clRed"), else nothing.
std::optional<QString> TColorName(TColor color);
