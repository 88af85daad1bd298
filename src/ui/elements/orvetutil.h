#pragma once

#include <QString>

#include "common/inifile.h"
#include "ui/elements/elementfont.h"
#include "ui/elements/elementpen.h"
#include "ui/elements/tcolor.h"

// Style persistence shared by the elements: a pen or a font as a group of keys
// of one section of an element style file, integers in decimal.
//
//   pen:  prefix + "Width", prefix + "Color", prefix + "Style" (ordinal)
//   font: prefix + "Size" (points), prefix + "Color", prefix + "Name"
//
// Loading reads each key with the current value as default, so a missing file
// or key changes nothing. A value that does not parse, or is no colour, no
// pen style, an empty font name or a font size below 1, also leaves that
// part as it was; widths and sizes above their limits are clamped
// (ElementPen::kMaxWidth, ElementFont::kMaxSize). Loaders always return true.
// Savers return whether the keys reached the file; wrap several in an
// IniUpdate to write the file once.
//
// The IniFile is the caller's and only used during the call. User-interface
// thread, like the elements.

bool SavePenToIni(IniFile& ini, const QString& section, const QString& prefix, const ElementPen& pen);
bool LoadPenFromIni(const IniFile& ini, const QString& section, const QString& prefix, ElementPen& pen);
bool SaveFontToIni(IniFile& ini, const QString& section, const QString& prefix, const ElementFont& font);
bool LoadFontFromIni(const IniFile& ini, const QString& section, const QString& prefix, ElementFont& font);

// One colour key (for example "BrushColor"): decimal 0x00BBGGRR.
bool WriteColorToIni(IniFile& ini, const QString& section, const QString& key, TColor color);
// The stored colour, or "current" when the key is missing or holds no colour.
TColor ReadColorFromIni(const IniFile& ini, const QString& section, const QString& key, TColor current);

// A width key (for example "ArrowWidth"): the stored width clamped to
// 0 ... ElementPen::kMaxWidth, or "current" when missing or not an integer.
int ReadWidthFromIni(const IniFile& ini, const QString& section, const QString& key, int current);

// The style of a filled shape (polygon, pump): its pen under "Pen" and its
// fill as "BrushColor", in section "section" of the file "configName" names.
// Saving writes the file once and says whether it did (false for an empty
// name); loading keeps what the file does not hold, as above.
bool SaveShapeStyle(const QString& configName, const QString& section, const ElementPen& pen,
                    TColor brushColor);
void LoadShapeStyle(const QString& configName, const QString& section, ElementPen& pen, TColor& brushColor);

// The file a ConfigName names. Layouts were written with Windows paths
// (".\Colors.INI", "config\FormMnemo.INI"); backslashes become slashes, so
// relative names resolve against the working directory, the program's folder.
QString IniPathOfConfigName(const QString& configName);
