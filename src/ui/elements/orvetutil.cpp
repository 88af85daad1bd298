#include "ui/elements/orvetutil.h"

#include <algorithm>

bool WriteColorToIni(IniFile& ini, const QString& section, const QString& key, TColor color) {
  return ini.WriteInteger(section, key, static_cast<int>(color));
}

TColor ReadColorFromIni(const IniFile& ini, const QString& section, const QString& key, TColor current) {
  const int stored = ini.ReadInteger(section, key, static_cast<int>(current));
  return IsRgbTColor(stored) ? static_cast<TColor>(stored) : current;
}

int ReadWidthFromIni(const IniFile& ini, const QString& section, const QString& key, int current) {
  return std::clamp(ini.ReadInteger(section, key, current), 0, ElementPen::kMaxWidth);
}

bool SavePenToIni(IniFile& ini, const QString& section, const QString& prefix, const ElementPen& pen) {
  bool written = ini.WriteInteger(section, prefix + u"Width"_qs, pen.Width());
  written = WriteColorToIni(ini, section, prefix + u"Color"_qs, pen.Color()) && written;
  written = ini.WriteInteger(section, prefix + u"Style"_qs, static_cast<int>(pen.Style())) && written;
  return written;
}

bool LoadPenFromIni(const IniFile& ini, const QString& section, const QString& prefix, ElementPen& pen) {
  pen.SetWidth(ReadWidthFromIni(ini, section, prefix + u"Width"_qs, pen.Width()));
  pen.SetColor(ReadColorFromIni(ini, section, prefix + u"Color"_qs, pen.Color()));
  const int style = ini.ReadInteger(section, prefix + u"Style"_qs, static_cast<int>(pen.Style()));
  pen.SetStyle(PenStyleFromOrdinal(style).value_or(pen.Style()));
  return true;
}

bool SaveFontToIni(IniFile& ini, const QString& section, const QString& prefix, const ElementFont& font) {
  bool written = ini.WriteInteger(section, prefix + u"Size"_qs, font.Size());
  written = WriteColorToIni(ini, section, prefix + u"Color"_qs, font.Color()) && written;
  written = ini.WriteString(section, prefix + u"Name"_qs, font.Name()) && written;
  return written;
}

bool LoadFontFromIni(const IniFile& ini, const QString& section, const QString& prefix, ElementFont& font) {
  const int size = ini.ReadInteger(section, prefix + u"Size"_qs, font.Size());
  if (size >= 1) font.SetSize(size);
  font.SetColor(ReadColorFromIni(ini, section, prefix + u"Color"_qs, font.Color()));
  font.SetName(ini.ReadString(section, prefix + u"Name"_qs, font.Name()));
  return true;
}

QString IniPathOfConfigName(const QString& configName) {
  QString path = configName;
  path.replace(u'\\', u'/');
  return path;
}

bool SaveShapeStyle(const QString& configName, const QString& section, const ElementPen& pen,
                    TColor brushColor) {
  if (configName.isEmpty()) return false;
  IniFile ini(IniPathOfConfigName(configName));
  IniUpdate update(ini);
  SavePenToIni(ini, section, QStringLiteral("Pen"), pen);
  WriteColorToIni(ini, section, QStringLiteral("BrushColor"), brushColor);
  return update.Commit();
}

void LoadShapeStyle(const QString& configName, const QString& section, ElementPen& pen, TColor& brushColor) {
  const IniFile ini(IniPathOfConfigName(configName));
  LoadPenFromIni(ini, section, QStringLiteral("Pen"), pen);
  brushColor = ReadColorFromIni(ini, section, QStringLiteral("BrushColor"), brushColor);
}
