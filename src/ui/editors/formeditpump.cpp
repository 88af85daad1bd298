#include "ui/editors/formeditpump.h"

TFormEditPump::TFormEditPump(QWidget* parent, EditorDialogs dialogs)
    : TStyleEditorOf<TPump>(u"FormEditPump"_qs, u"Свойства насоса:"_qs, u"Толщина стенок:"_qs, u"TestPump"_qs,
                            QSize(110, 231), 13, clNavy, std::move(dialogs), parent) {
  TPump& preview = *Preview();
  preview.SetBrushColor(clYellow);
  preview.SetPen(ElementPen(clRed, 2));

  AddStyleButton(u"ButPenColor"_qs, u"Цвет стенок"_qs, [this] {
    PickColor(Preview()->Pen().Color(), [this](TColor color) { Preview()->SetPenColor(color); });
  });
  AddStyleButton(u"ButBrushColor"_qs, u"Цвет заливки"_qs, [this] {
    PickColor(Preview()->Brush().Color, [this](TColor color) { Preview()->SetBrushColor(color); });
  });
}
