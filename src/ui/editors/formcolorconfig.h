#pragma once

#include <QDialog>
#include <array>
#include <functional>

#include "configuration/config.h"
#include "ui/editors/editordialogs.h"

class QPushButton;
class TOutField;

// What the colour settings window calls in the rest of the console. Either
// may be empty.
struct ColorConfigHooks {
  // After the element editing mode changed: the diagram reattaches its edit
  // handlers and reloads the stored styles.
  std::function<void()> ApplyEditMode;
  // After new colours reached the configuration: the diagram recolours both
  // sections at once.
  std::function<void()> ColorsApplied;
};

// The modal window "Настройки оформления": the twelve material colours of the
// diagram (a sample field per material for the running and the stopped
// section) and the switch of the element editing mode.
//
// Each showing fills the samples OutFieldOn1 ... OutFieldOn6 and OutFieldOff1
// ... OutFieldOff6 from config.OnColors / OffColors (materials in ColorGroup
// order). A click on a sample picks a new colour for that sample only.
// "Принять изменения" writes all twelve samples into the configuration, calls
// "saveConfig" (a failure is reported; the colours stay in effect) and then
// ColorsApplied. "Включить" (the default button) and "Выключить" (Esc) set
// ElementEditMode and call ApplyEditMode; neither closes the window.
// "Закрыть" closes it.
//
// "config" and the functions must outlive the window. User-interface thread
// only (it writes the configuration's colours).
class TFormColorConfig : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 606;
  static constexpr int kClientHeight = 341;

  TFormColorConfig(TConfig& config, std::function<bool()> saveConfig, ColorConfigHooks hooks,
                   QWidget* parent = nullptr, EditorDialogs dialogs = PlatformEditorDialogs());

  // The handlers of the window's buttons and samples.
  void FormShow();
  void OnColorConfigClick(TOutField& sample);
  void ButApplyNewColorsClick();
  void ButColorConfigOnClick();
  void ButColorConfigOffClick();

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  TOutField* Sample(const QString& name) const;

  TConfig& m_config;
  std::function<bool()> m_saveConfig;
  ColorConfigHooks m_hooks;
  EditorDialogs m_dialogs;
  QPushButton* m_buttonOff = nullptr;
};
