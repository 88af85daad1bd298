#include "ui/editors/formoutfieldedit.h"

#include <QLineEdit>

TFormOutFieldEdit::TFormOutFieldEdit(QWidget* parent, EditorDialogs dialogs)
    : TStyleEditorOf<TOutField>(u"FormOutFieldEdit"_qs, u"Свойства поля вывода:"_qs, u"Толщина границы:"_qs,
                                u"TestOutField"_qs, QSize(116, 34), 11, std::nullopt, std::move(dialogs),
                                parent) {
  TOutField& preview = *Preview();
  preview.SetOutFormat(u"##0 т"_qs);
  preview.SetOutValue(297);
  preview.SetPen(ElementPen(clGray, 3));
  preview.SetFont(ElementFont(u"MS Sans Serif"_qs, 16, clBlack, true));
  WidthEdit().setText(u"2"_qs);

  AddStyleButton(u"ButBrushColor"_qs, u"Цвет фона"_qs, [this] {
    PickColor(Preview()->Brush().Color, [this](TColor color) { Preview()->SetBrushColor(color); });
  });
  AddStyleButton(u"ButPenColor"_qs, u"Цвет границы"_qs, [this] {
    PickColor(Preview()->Pen().Color(), [this](TColor color) { Preview()->SetPenColor(color); });
  });
  AddStyleButton(u"ButFont"_qs, u"Шрифт"_qs, [this] {
    const ElementFont& current = Preview()->Font();
    if (const std::optional<QFont> chosen = Dialogs().PickFont(current.ToQFont(), this)) {
      Preview()->SetFont(ElementFont::FromQFont(*chosen, current.Color()));
    }
  });
}
