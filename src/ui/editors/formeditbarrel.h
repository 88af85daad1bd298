#pragma once

#include "ui/editors/styleeditorof.h"
#include "ui/elements/barrel.h"

// The barrel editor "Свойства индикатора уровня": the preview TestBarrel (grey
// background, navy to aqua liquid at 8 of 10, yellow walls of width 10) with
// "Толщина стенок:", "Цвет стенок" (walls), "Цвет внизу" (DownColor) and
// "Цвет вверху" (UpColor). The file pattern of TStyleEditorOf carries both
// gradient colours, the back colour and the pen. Created once and reused;
// the caller sets the target before exec(). User-interface thread only.
class TFormEditBarrel : public TStyleEditorOf<TBarrel> {
  Q_OBJECT

 public:
  explicit TFormEditBarrel(QWidget* parent = nullptr, EditorDialogs dialogs = PlatformEditorDialogs());
};
