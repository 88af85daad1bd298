#pragma once

#include <QDateTime>
#include <QFont>
#include <QHash>
#include <QMetaObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>

#include "console/consolesnapshot.h"
#include "ui/elements/tcolor.h"

class QTimer;
class TConfig;
class TConusBox;
class TElementEditors;
class TFormMnemo;
class TOutField;
class TPanel;

// What the diagram reads and calls: the latest snapshot of the process, the
// configuration (MIN_RVF and the colour sets), the log records the central
// station fetches, and the wall clock that makes the link-failure sign
// blink. Called on the user-interface thread only; the references returned
// must stay valid until the next call.
struct MnemoSource {
  std::function<const ConsoleSnapshot&()> Snapshot;
  std::function<const TConfig&()> Config;
  std::function<void(const QString&)> AddLogRec;
  std::function<QDateTime()> Now;
};

// One row of the edit router: an element's exact class and the handler that
// edits it. The row with an empty class name ends the table.
struct TEditRouterRec {
  const char* ClassName;
  bool (*Handler)(QWidget& element, TFormMnemo& form);
};

// The live plant diagram: both flotation sections with their pulp, reagent,
// concentrate and flocculant lines (the picture is mnemolayout.cpp's table).
// Twice a second (TimerUpdate) it copies the snapshot's values into its
// fields, shows the reagent groups' modes, fills the tanks, recolours a
// section's lines when the section starts or stops (logging the change) and
// blinks "Сбой связи" while the process state is stale.
//
// With the element editing mode on (ApplyEditMode), a click on an arrow, a
// caption or a value field opens its editor from "editors" modally; after OK
// the element's whole material group takes its stored style. Styles are
// kept in StyleFile(), <appDir>/config/FormMnemo.INI; the folder is made at
// construction.
//
// Made once at start and kept until the end; every element is the window's
// (Qt children, mostly direct). "editors" is not owned and must outlive the
// window, or be null (nothing is then edited). User-interface thread only.
class TFormMnemo : public QWidget {
  Q_OBJECT

 public:
  using FontPicker = std::function<std::optional<QFont>(const QFont& initial, QWidget* parent)>;

  TFormMnemo(MnemoSource source, QString appDir, TElementEditors* editors, QWidget* parent = nullptr);

  // The refresh tick, also run by TimerUpdate every 500 ms.
  void TimerUpdateTimer();
  // Recolours each section whose running state changed since the last call,
  // logging the change; "force" recolours both and logs nothing.
  void UpdateSectionStates(bool force);
  // Gives "color" to every element of the window tagged "tag", by exact class.
  void SetColorByTag(int tag, TColor color);
  // Attaches or removes the edit click handler as ElementEditMode() says and
  // reloads the arrows', captions' and value fields' stored styles.
  void ApplyEditMode();
  // The edit click handler: routes "element" by its exact class to its editor;
  // true when something was edited.
  bool EditElement(QWidget* element);

  const QString& StyleFile() const { return m_styleFile; }
  // The last known running state of section 1 or 2 (false for others).
  bool SectionRunning(int section) const;

  // The caption font handler's dialog; empty: QFontDialog.
  void SetFontPicker(FontPicker picker) { m_pickFont = std::move(picker); }

  static const std::array<TEditRouterRec, 7>& EditRouter();

 private:
  // The quantities pushed into "OutField" + name + section, in tick order.
  static constexpr int kBoundCount = 10;
  struct ModeBinding {
    QPointer<TOutField> Field;
    ModeFlag Automatic;
    ModeFlag Manual;
  };
  // A specific-consumption field and what shows and hides with it.
  struct ManualHiding {
    QPointer<TOutField> Field;
    ModeFlag Manual;
    std::array<QPointer<QWidget>, 3> Followers;
  };

  void BindElements();
  void UpdateLinkPanel(const ConsoleSnapshot& snapshot);
  void UpdateModes(const ConsoleSnapshot& snapshot);

  template <class T>
  void SetEditHandler(T& element, bool on);
  template <class T>
  void PropagateGroup(const T& edited);
  template <class Editor, class T>
  bool RunGroupEditor(Editor& editor, T& element);

  static bool EditArrow(QWidget& element, TFormMnemo& form);
  static bool EditBarrel(QWidget& element, TFormMnemo& form);
  static bool EditCaption(QWidget& element, TFormMnemo& form);
  static bool EditOutField(QWidget& element, TFormMnemo& form);
  static bool EditPump(QWidget& element, TFormMnemo& form);
  static bool EditPoligon(QWidget& element, TFormMnemo& form);

  MnemoSource m_source;
  QString m_appDir;
  TElementEditors* m_editors;
  QString m_styleFile;
  FontPicker m_pickFont;
  std::array<bool, 2> m_sectionRunning{false, false};
  QTimer* m_timerUpdate = nullptr;

  std::array<std::array<QPointer<TOutField>, kBoundCount>, 2> m_valueFields;
  QPointer<TOutField> m_fieldURFK12;
  std::array<QPointer<TConusBox>, 2> m_tanks;
  QPointer<TConusBox> m_tankURFK12;
  std::array<QPointer<TConusBox>, 2> m_pulpBoxes;
  std::array<ModeBinding, 4> m_modes;
  std::array<ManualHiding, 6> m_manualHiding;
  QPointer<TPanel> m_panelLinkError;

  // The connections the edit mode made, by element; other handlers of the
  // elements' clicks are never touched.
  QHash<QWidget*, QMetaObject::Connection> m_editHandlers;
};
