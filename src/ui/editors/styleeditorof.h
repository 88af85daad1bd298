#pragma once

#include <QPointer>
#include <QSize>
#include <QString>

#include "ui/editors/styleeditor.h"

// The editor of one element class whose style travels through its style file
// (ConfigName, SaveConfig, LoadConfig, Pen, SetPenWidth): value fields,
// polygons, pumps and barrels.
//
// Opening: the target stores its style (that is the undo point), the preview
// takes the target's file and loads the target's section. "Применить": the
// preview stores its style under its own name in that file and the target
// loads that section. "Отменить": the target loads its own section again.
// "Сохранить для всей группы": the target stores its style; the caller then
// hands it on to the target's group. A file that cannot be written is
// reported and the step that would read it is skipped, so a stale section is
// never applied.
//
// Without a target (SetTarget(nullptr)) the editor edits its preview and no
// file is touched. The target is not owned and may be destroyed at any time;
// the editor then edits its preview. User-interface thread only.
template <class Element>
class TStyleEditorOf : public TStyleEditor {
 public:
  void SetTarget(Element* target) { m_target = target; }
  Element* Target() const { return m_target ? m_target.data() : m_preview; }
  Element* Preview() const { return m_preview; }

 protected:
  TStyleEditorOf(const QString& name, const QString& title, const QString& widthCaption,
                 const QString& previewName, QSize previewSize, int fontPixels,
                 std::optional<TColor> fontColor, EditorDialogs dialogs, QWidget* parent)
      : TStyleEditor(name, title, widthCaption, fontPixels, fontColor, false, std::move(dialogs), parent),
        m_preview(new Element(PreviewArea())) {
    m_preview->setObjectName(previewName);
    // Until it edits a real element the preview has no file: an editor
    // opened on its own writes nothing into the working folder.
    m_preview->SetConfigName(QString());
    PlacePreview(*m_preview, previewSize);
  }

  bool EditsPreview() const { return Target() == m_preview; }

  void Showing() override {
    if (EditsPreview()) return;
    Element& target = *Target();
    if (!target.SaveConfig()) ShowErrorWhenShown(StyleFileErrorText(target.ConfigName()));
    m_preview->SetConfigName(target.ConfigName());
    m_preview->LoadConfig(target.objectName());
    m_preview->update();
  }

  void ApplyToTarget() override {
    if (EditsPreview()) return;
    if (!m_preview->SaveConfig()) {
      ShowError(StyleFileErrorText(m_preview->ConfigName()));
      return;
    }
    Target()->LoadConfig(m_preview->objectName());
  }

  void RestoreTarget() override {
    if (EditsPreview()) return;
    Element& target = *Target();
    target.LoadConfig(target.objectName());
  }

  bool StoreTarget() override {
    if (EditsPreview()) return true;
    Element& target = *Target();
    if (target.SaveConfig()) return true;
    ShowError(StyleFileErrorText(target.ConfigName()));
    return false;
  }

  int PreviewWidth() const override { return m_preview->Pen().Width(); }
  void SetPreviewWidth(int width) override { m_preview->SetPenWidth(width); }

 private:
  QPointer<Element> m_target;
  Element* m_preview;  // owned by the preview panel
};
