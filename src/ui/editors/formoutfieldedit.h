#pragma once

#include "ui/editors/styleeditorof.h"
#include "ui/elements/outfield.h"

// The value-field editor "Свойства поля вывода:": the preview TestOutField
// ("297 т" in a grey frame) with "Цвет фона" (fill), "Цвет границы" (frame
// colour), "Шрифт" (the field's font; its colour stays) and "Толщина
// границы:". The file pattern of TStyleEditorOf carries pen, font and fill.
// Created once and reused; the caller sets the target before exec().
// User-interface thread only.
class TFormOutFieldEdit : public TStyleEditorOf<TOutField> {
  Q_OBJECT

 public:
  explicit TFormOutFieldEdit(QWidget* parent = nullptr, EditorDialogs dialogs = PlatformEditorDialogs());
};
