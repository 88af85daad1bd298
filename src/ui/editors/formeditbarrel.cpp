#include "ui/editors/formeditbarrel.h"

TFormEditBarrel::TFormEditBarrel(QWidget* parent, EditorDialogs dialogs)
    : TStyleEditorOf<TBarrel>(u"FormEditBarrel"_qs, u"Свойства индикатора уровня"_qs, u"Толщина стенок:"_qs,
                              u"TestBarrel"_qs, QSize(121, 228), 13, clNavy, std::move(dialogs), parent) {
  TBarrel& preview = *Preview();
  preview.SetColor(clGray);
  preview.SetUpColor(clAqua);
  preview.SetDownColor(clNavy);
  preview.SetMaxLevel(10);
  preview.SetWaterLevel(8);
  preview.SetPen(ElementPen(clYellow, 10));

  AddStyleButton(u"ButPenColor"_qs, u"Цвет стенок"_qs, [this] {
    PickColor(Preview()->Pen().Color(), [this](TColor color) { Preview()->SetPenColor(color); });
  });
  AddStyleButton(u"ButDownColor"_qs, u"Цвет внизу"_qs, [this] {
    PickColor(Preview()->DownColor(), [this](TColor color) { Preview()->SetDownColor(color); });
  });
  AddStyleButton(u"ButUpColor"_qs, u"Цвет вверху"_qs, [this] {
    PickColor(Preview()->UpColor(), [this](TColor color) { Preview()->SetUpColor(color); });
  });
}
