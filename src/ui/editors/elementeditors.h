#pragma once

#include <QPointer>

#include "ui/editors/editordialogs.h"
#include "ui/editors/formarrowedit.h"
#include "ui/editors/formeditbarrel.h"
#include "ui/editors/formeditpoligon.h"
#include "ui/editors/formeditpump.h"
#include "ui/editors/formoutfieldedit.h"

class QWidget;

// The five element editor windows, made once at start and reused for every
// edit. They are children of "parent" (so they stay above it and go with it);
// the holder deletes those still alive when it is destroyed, so it may live
// shorter or longer than the parent. The accessors must not be used after
// the parent is gone. User-interface thread only.
class TElementEditors {
 public:
  explicit TElementEditors(QWidget* parent, EditorDialogs dialogs = PlatformEditorDialogs());
  ~TElementEditors();
  TElementEditors(const TElementEditors&) = delete;
  TElementEditors& operator=(const TElementEditors&) = delete;

  TFormArrowEdit& ArrowEdit() const { return *m_arrowEdit; }
  TFormOutFieldEdit& OutFieldEdit() const { return *m_outFieldEdit; }
  TFormEditPoligon& EditPoligon() const { return *m_editPoligon; }
  TFormEditPump& EditPump() const { return *m_editPump; }
  TFormEditBarrel& EditBarrel() const { return *m_editBarrel; }

 private:
  QPointer<TFormArrowEdit> m_arrowEdit;
  QPointer<TFormOutFieldEdit> m_outFieldEdit;
  QPointer<TFormEditPoligon> m_editPoligon;
  QPointer<TFormEditPump> m_editPump;
  QPointer<TFormEditBarrel> m_editBarrel;
};
