#pragma once

#include "ui/editors/styleeditorof.h"
#include "ui/elements/pump.h"

// The pump editor "Свойства насоса:": the preview TestPump (yellow, red
// outline of width 2) with "Толщина стенок:", "Цвет стенок" (outline) and
// "Цвет заливки" (fill). The file pattern of TStyleEditorOf carries pen and
// fill. Created once and reused; the caller sets the target before exec().
// User-interface thread only.
class TFormEditPump : public TStyleEditorOf<TPump> {
  Q_OBJECT

 public:
  explicit TFormEditPump(QWidget* parent = nullptr, EditorDialogs dialogs = PlatformEditorDialogs());
};
