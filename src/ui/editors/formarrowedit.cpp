#include "ui/editors/formarrowedit.h"

#include <QLineEdit>

TFormArrowEdit::TFormArrowEdit(QWidget* parent, EditorDialogs dialogs)
    : TStyleEditor(u"FormArrowEdit"_qs, u"Свойства стрелок:"_qs, u"Толщина:"_qs, 13, clNavy, true,
                   std::move(dialogs), parent),
      m_arrow1(new TArrow(PreviewArea())) {
  m_arrow1->setObjectName(u"Arrow1"_qs);
  m_arrow1->SetConfigName(QString());
  m_arrow1->SetColor(clRed);
  m_arrow1->SetArrowWidth(3);
  PlacePreview(*m_arrow1, QSize(50, 23));
  WidthEdit().setText(u"3"_qs);

  AddStyleButton(u"ButColor"_qs, u"Цвет"_qs, [this] {
    PickColor(m_arrow1->Color(), [this](TColor color) { m_arrow1->SetColor(color); });
  });
  AddClosingButton(u"BitBtn1"_qs, u"Закрыть"_qs, [this] { reject(); });
}

void TFormArrowEdit::Showing() {
  if (EditsPreview()) return;
  TArrow& target = *Target();
  m_arrow1->SetArrowWidth(target.ArrowWidth());
  m_arrow1->SetColor(target.Color());
  if (!target.SaveConfig()) ShowErrorWhenShown(StyleFileErrorText(target.ConfigName()));
}

void TFormArrowEdit::ApplyToTarget() {
  if (!TakeWidthFromEdit()) return;
  TArrow& target = *Target();
  target.SetArrowWidth(m_arrow1->ArrowWidth());
  target.SetColor(m_arrow1->Color());
}

void TFormArrowEdit::RestoreTarget() {
  if (EditsPreview()) return;
  TArrow& target = *Target();
  target.LoadConfig(target.objectName());
}

bool TFormArrowEdit::StoreTarget() {
  if (EditsPreview()) return true;
  TArrow& target = *Target();
  if (target.SaveConfig()) return true;
  ShowError(StyleFileErrorText(target.ConfigName()));
  return false;
}
