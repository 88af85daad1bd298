#pragma once

#include "ui/editors/styleeditorof.h"
#include "ui/elements/poligon.h"

// The polygon editor "Свойства многоугольника:": the preview TestPoligon (an
// eight-corner star, yellow with a red outline) with "Толщина стенок:",
// "Цвет стенок" (outline) and "Цвет заливки" (fill). The file pattern of
// TStyleEditorOf carries pen and fill. Created once and reused; the caller
// sets the target before exec(). User-interface thread only.
class TFormEditPoligon : public TStyleEditorOf<TPoligon> {
  Q_OBJECT

 public:
  explicit TFormEditPoligon(QWidget* parent = nullptr, EditorDialogs dialogs = PlatformEditorDialogs());
};
