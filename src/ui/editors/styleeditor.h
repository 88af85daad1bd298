#pragma once

#include <QDialog>
#include <QSize>
#include <QString>
#include <functional>
#include <optional>

#include "ui/editors/editordialogs.h"
#include "ui/elements/tcolor.h"

class QFrame;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

// What every element editor window shares: a preview of the element on the
// diagram's black background, the width edit "Edit1" (Enter applies it to
// the preview), the colour buttons the editor adds, and the buttons
// "Применить" (ButUse: the preview's look onto the target), "Отменить"
// (BitBtn2: the target back to how it was when the window opened, close with
// Cancel) and "Сохранить для всей группы" (BitBtn3: store the target's style,
// close with OK). Esc means "Отменить"; Enter in the window only ever applies
// the width, no button is a default button.
//
// Each showing calls Showing() and then puts the preview's width into Edit1.
// The window owns its children; the target is the caller's (see the
// editors). User-interface thread only.
class TStyleEditor : public QDialog {
  Q_OBJECT

 public:
  // Margin of the preview inside its black panel.
  static constexpr int kPreviewMargin = 16;

  QLineEdit& WidthEdit() const { return *m_edit1; }

 protected:
  // "fontPixels" and "fontColor": the window's own font, MS Sans Serif bold,
  // in the platform's text colour when "fontColor" is empty.
  TStyleEditor(const QString& name, const QString& title, const QString& widthCaption, int fontPixels,
               std::optional<TColor> fontColor, bool borderIcons, EditorDialogs dialogs, QWidget* parent);

  // Where the preview element lives; PlacePreview() puts it there and sizes
  // the panel around it.
  QWidget* PreviewArea() const;
  void PlacePreview(QWidget& preview, QSize size);

  // A button in the column under the width edit, before the common buttons.
  QPushButton* AddStyleButton(const QString& name, const QString& text, std::function<void()> click);
  // A button after the common ones.
  QPushButton* AddClosingButton(const QString& name, const QString& text, std::function<void()> click);

  // Opens the colour picker preset with "current"; "apply" gets the choice.
  void PickColor(TColor current, const std::function<void(TColor)>& apply);
  const EditorDialogs& Dialogs() const { return m_dialogs; }
  void ShowError(const QString& text);
  // For failures found while the window opens: shown once it is on screen.
  void ShowErrorWhenShown(const QString& text);

  // The width in Edit1 onto the preview; a bad one is refused with a
  // message and the preview keeps its width. False when refused.
  bool TakeWidthFromEdit();

  // The editor's steps.
  virtual void Showing() = 0;
  virtual void ApplyToTarget() = 0;
  virtual void RestoreTarget() = 0;
  // False keeps the window open (the error has been shown).
  virtual bool StoreTarget() = 0;
  virtual int PreviewWidth() const = 0;
  virtual void SetPreviewWidth(int width) = 0;

  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void ButUseClick();
  void BitBtn2Click();
  void BitBtn3Click();
  QPushButton* MakeButton(const QString& name, const QString& text, std::function<void()> click);

  EditorDialogs m_dialogs;
  QFrame* m_previewPanel = nullptr;
  QLineEdit* m_edit1 = nullptr;
  QVBoxLayout* m_styleButtons = nullptr;
  QVBoxLayout* m_closingButtons = nullptr;
};
