#include "ui/editors/elementeditors.h"

TElementEditors::TElementEditors(QWidget* parent, EditorDialogs dialogs)
    : m_arrowEdit(new TFormArrowEdit(parent, dialogs)),
      m_outFieldEdit(new TFormOutFieldEdit(parent, dialogs)),
      m_editPoligon(new TFormEditPoligon(parent, dialogs)),
      m_editPump(new TFormEditPump(parent, dialogs)),
      m_editBarrel(new TFormEditBarrel(parent, dialogs)) {}

TElementEditors::~TElementEditors() {
  delete m_arrowEdit.data();
  delete m_outFieldEdit.data();
  delete m_editPoligon.data();
  delete m_editPump.data();
  delete m_editBarrel.data();
}
