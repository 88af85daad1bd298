#pragma once

#include <QFont>
#include <QString>
#include <functional>
#include <optional>

#include "ui/elements/tcolor.h"

class QWidget;

// The small modal dialogs the element editors and the colour settings window
// open: the colour and font pickers and the error box. Windows take them as
// a value so that tests answer them without driving the platform's dialogs.
// An empty member means the platform's dialog (Completed() fills it in).
// Plain value type; the functions run on the user-interface thread.
struct EditorDialogs {
  // The chosen colour, or nothing when the operator cancelled.
  std::function<std::optional<TColor>(TColor initial, QWidget* parent)> PickColor;
  // The chosen font, or nothing when the operator cancelled.
  std::function<std::optional<QFont>(const QFont& initial, QWidget* parent)> PickFont;
  // A modal error box titled "Ошибка" with the critical icon.
  std::function<void(QWidget* parent, const QString& text)> ShowError;

  // This set with every empty member replaced by the platform's dialog.
  EditorDialogs Completed() const;
};

// QColorDialog, QFontDialog and QMessageBox::critical.
EditorDialogs PlatformEditorDialogs();

// A pen or arrow width as the operator types it: a whole number 0 ...
// ElementPen::kMaxWidth, spaces around it allowed; anything else is nothing.
std::optional<int> ParsePenWidth(const QString& text);

// What the editors say when ParsePenWidth refuses "text".
QString PenWidthErrorText(const QString& text);

// What the editors say when a style file could not be written.
QString StyleFileErrorText(const QString& configName);
