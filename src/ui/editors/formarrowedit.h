#pragma once

#include <QPointer>

#include "ui/editors/styleeditor.h"
#include "ui/elements/arrow.h"

// The arrow editor "Свойства стрелок:": the preview Arrow1 with "Цвет" and
// "Толщина:", the common buttons and "Закрыть" (BitBtn1). Unlike the other
// editors it copies width and colour straight between the target and
// Arrow1: opening copies them into Arrow1 and stores the target's style
// (the undo point); "Применить" takes the width from Edit1 and gives the
// target Arrow1's width and colour; "Отменить" reloads the target's stored
// style and closes with Cancel; "Закрыть" closes with Cancel and leaves
// what was applied on the target, unstored; "Сохранить для всей группы"
// stores the target's style and closes with OK.
//
// Without a target the editor edits Arrow1 and no file is touched. The target
// is not owned and may be destroyed at any time. Created once and reused.
// User-interface thread only.
class TFormArrowEdit : public TStyleEditor {
  Q_OBJECT

 public:
  explicit TFormArrowEdit(QWidget* parent = nullptr, EditorDialogs dialogs = PlatformEditorDialogs());

  void SetTarget(TArrow* target) { m_target = target; }
  TArrow* Target() const { return m_target ? m_target.data() : m_arrow1; }
  TArrow* Preview() const { return m_arrow1; }

 protected:
  void Showing() override;
  void ApplyToTarget() override;
  void RestoreTarget() override;
  bool StoreTarget() override;
  int PreviewWidth() const override { return m_arrow1->ArrowWidth(); }
  void SetPreviewWidth(int width) override { m_arrow1->SetArrowWidth(width); }

 private:
  bool EditsPreview() const { return Target() == m_arrow1; }

  QPointer<TArrow> m_target;
  TArrow* m_arrow1;  // owned by the preview panel
};
