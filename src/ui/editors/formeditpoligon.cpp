#include "ui/editors/formeditpoligon.h"

TFormEditPoligon::TFormEditPoligon(QWidget* parent, EditorDialogs dialogs)
    : TStyleEditorOf<TPoligon>(u"FormEditPoligon"_qs, u"Свойства многоугольника:"_qs, u"Толщина стенок:"_qs,
                               u"TestPoligon"_qs, QSize(113, 155), 13, clNavy, std::move(dialogs), parent) {
  TPoligon& preview = *Preview();
  preview.SetMessageSink([this](const QString& text) { ShowError(text); });
  preview.SetPointList({u"50; 0"_qs, u"75;75"_qs, u"0; 50"_qs, u"75;25"_qs, u"50;100"_qs, u"25;25"_qs,
                        u"100;50"_qs, u"25;75"_qs});
  preview.SetBrushColor(clYellow);
  preview.SetPenColor(clRed);

  AddStyleButton(u"ButPenColor"_qs, u"Цвет стенок"_qs, [this] {
    PickColor(Preview()->Pen().Color(), [this](TColor color) { Preview()->SetPenColor(color); });
  });
  AddStyleButton(u"ButBrushColor"_qs, u"Цвет заливки"_qs, [this] {
    PickColor(Preview()->Brush().Color, [this](TColor color) { Preview()->SetBrushColor(color); });
  });
}
