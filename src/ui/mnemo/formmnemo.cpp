#include "ui/mnemo/formmnemo.h"

#include <QDialog>
#include <QDir>
#include <QFontDialog>
#include <QLabel>
#include <QPalette>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "configuration/config.h"
#include "ui/common/elementeditmode.h"
#include "ui/editors/elementeditors.h"
#include "ui/editors/formarrowedit.h"
#include "ui/editors/formeditbarrel.h"
#include "ui/editors/formeditpoligon.h"
#include "ui/editors/formeditpump.h"
#include "ui/editors/formoutfieldedit.h"
#include "ui/editors/labelfont.h"
#include "ui/elements/actionbound.h"
#include "ui/elements/arrow.h"
#include "ui/elements/barrel.h"
#include "ui/elements/conusbox.h"
#include "ui/elements/elementfont.h"
#include "ui/elements/label.h"
#include "ui/elements/outfield.h"
#include "ui/elements/poligon.h"
#include "ui/elements/pump.h"
#include "ui/elements/shape.h"
#include "ui/elements/valve.h"
#include "ui/mnemo/mnemolayout.h"
#include "ui/mnemo/panel.h"

namespace {

constexpr int kTickMs = 500;
constexpr int kWidth = 1012;
constexpr int kHeight = 723;

// The quantities of "OutField" + name + section, in the order the tick sets them.
struct BoundQuantity {
  const char* Name;
  const int* Slots;  // section 1, section 2
};
constexpr BoundQuantity kBound[] = {
    {"TRRS", Slot::TRRS}, {"TRRP", Slot::TRRP}, {"ZRRS", Slot::ZRRS}, {"ZRRP", Slot::ZRRP},
    {"PLF", Slot::PLF},   {"RGF", Slot::RGF},   {"RVF", Slot::RVF},   {"TRFL", Slot::TRFL},
    {"ZRFL", Slot::ZRFL}, {"URFK", Slot::URFK},
};

// A mode field's look for its (automatic, manual) flags.
struct ModeLook {
  const char16_t* Text;
  TColor Fill;
  TColor TextColor;
};
ModeLook ModeLookOf(bool automatic, bool manual) {
  if (automatic && manual) return {u"  ", clYellow, clBlack};
  if (automatic) return {u"АВТОМАТ", clSkyBlue, clNavy};
  if (manual) return {u"РУЧНОЙ", clLime, clBlack};
  return {u"ВЫКЛ", clRed, clBlack};
}

// A tank's level: percent truncated towards zero. Values a vessel cannot
// show (below empty, above full, not a number) are held at its edges.
int LevelPercent(float value) {
  if (!std::isfinite(value)) return 0;
  return static_cast<int>(std::trunc(std::clamp(value, 0.0f, 100.0f)));
}

// A value that is no number keeps what the field shows.
void PushValue(TOutField* field, float value) {
  if (field != nullptr && !std::isnan(value)) field->SetOutValue(value);
}

bool IsClass(const QWidget& widget, const char* className) {
  return std::strcmp(widget.metaObject()->className(), className) == 0;
}

void SetForeground(QWidget& widget, TColor color) {
  const QColor wanted = ColorFromTColor(color);
  if (widget.palette().color(widget.foregroundRole()) == wanted) return;
  QPalette palette = widget.palette();
  palette.setColor(widget.foregroundRole(), wanted);
  widget.setPalette(palette);
}

void SetBackground(QWidget& widget, TColor color) {
  const QColor wanted = ColorFromTColor(color);
  widget.setAutoFillBackground(true);
  if (widget.palette().color(widget.backgroundRole()) == wanted) return;
  QPalette palette = widget.palette();
  palette.setColor(widget.backgroundRole(), wanted);
  widget.setPalette(palette);
}

std::optional<QFont> PlatformFontPicker(const QFont& initial, QWidget* parent) {
  bool ok = false;
  const QFont font = QFontDialog::getFont(&ok, initial, parent);
  if (!ok) return std::nullopt;
  return font;
}

}  // namespace

TFormMnemo::TFormMnemo(MnemoSource source, QString appDir, TElementEditors* editors, QWidget* parent)
    : QWidget(parent), m_source(std::move(source)), m_appDir(std::move(appDir)), m_editors(editors) {
  setObjectName(u"FormMnemo"_qs);
  setWindowTitle(u"Мнемосхема "_qs);
  setFixedSize(kWidth, kHeight);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, ColorFromTColor(clBlack));
  palette.setColor(QPalette::WindowText, ColorFromTColor(clYellow));
  setPalette(palette);
  setAutoFillBackground(true);
  setFont(PixelFont(u"Times New Roman"_qs, 16, true));

  const QString configDir = m_appDir + u"/config"_qs;
  QDir().mkpath(configDir);
  m_styleFile = configDir + u"/"_qs + objectName() + u".INI"_qs;

  BuildMnemoLayout(*this, MnemoLayout(), m_styleFile);
  BindElements();

  m_timerUpdate = new QTimer(this);
  m_timerUpdate->setObjectName(u"TimerUpdate"_qs);
  m_timerUpdate->setInterval(kTickMs);
  connect(m_timerUpdate, &QTimer::timeout, this, &TFormMnemo::TimerUpdateTimer);
  m_timerUpdate->start();
}

void TFormMnemo::BindElements() {
  const auto field = [this](const QString& name) { return findChild<TOutField*>(name); };
  for (int s = 0; s < 2; ++s) {
    const QString section = QString::number(s + 1);
    for (int q = 0; q < kBoundCount; ++q)
      m_valueFields[s][q] = field(u"OutField"_qs + QLatin1String(kBound[q].Name) + section);
    m_tanks[s] = findChild<TConusBox*>(u"ConusBoxURFK"_qs + section);
    m_pulpBoxes[s] = findChild<TConusBox*>(u"ConusBoxPulp"_qs + section);
  }
  m_fieldURFK12 = field(u"OutFieldURFK12"_qs);
  // A field skips a value equal to the one it holds, and a new field holds 0
  // without showing it: a quantity that is 0 from the start would stay blank.
  // Holding "no number" until the first tick makes every first value show.
  const auto showFirstValue = [](TOutField* bound) {
    if (bound == nullptr) return;
    bound->SetOutValue(std::numeric_limits<double>::quiet_NaN());
    bound->SetCaption(QString());
  };
  showFirstValue(m_fieldURFK12);
  for (const auto& section : m_valueFields) std::for_each(section.begin(), section.end(), showFirstValue);
  m_tankURFK12 = findChild<TConusBox*>(u"ConusBoxURFK12"_qs);
  m_panelLinkError = findChild<TPanel*>(u"PanelLinkError"_qs);

  m_modes = {{
      {field(u"OutField_P_mode1"_qs), F1AR, F1RR},
      {field(u"OutField_P_mode2"_qs), F2AR, F2RR},
      {field(u"OutField_F_mode1"_qs), F1AFL, F1RFL},
      {field(u"OutField_F_mode2"_qs), F2AFL, F2RFL},
  }};

  const auto widget = [this](const char16_t* name) { return findChild<QWidget*>(QString::fromUtf16(name)); };
  m_manualHiding = {{
      {field(u"OutFieldZRRP1"_qs),
       F1RR,
       {widget(u"LabelZRRP1"), widget(u"ArrowZRRP1_1"), widget(u"ArrowZRRP1_2")}},
      {field(u"OutFieldZRRS1"_qs), F1RR, {widget(u"LabelZRRS1"), nullptr, nullptr}},
      {field(u"OutFieldZRRP2"_qs),
       F2RR,
       {widget(u"LabelZRRP2"), widget(u"ArrowZRRP2_1"), widget(u"ArrowZRRP2_2")}},
      {field(u"OutFieldZRRS2"_qs), F2RR, {widget(u"LabelZRRS2"), nullptr, nullptr}},
      {field(u"OutFieldZRFL1"_qs),
       F1RFL,
       {widget(u"LabelZRFL1"), widget(u"ArrowZRFL1_1"), widget(u"ArrowZRFL1_2")}},
      {field(u"OutFieldZRFL2"_qs),
       F2RFL,
       {widget(u"LabelZRFL2"), widget(u"ArrowZRFL2_1"), widget(u"ArrowZRFL2_2")}},
  }};
}

bool TFormMnemo::SectionRunning(int section) const {
  if (section < 1 || section > 2) return false;
  return m_sectionRunning[static_cast<size_t>(section - 1)];
}

void TFormMnemo::TimerUpdateTimer() {
  if (!m_source.Snapshot) return;
  UpdateSectionStates(false);
  const ConsoleSnapshot& snapshot = m_source.Snapshot();
  UpdateLinkPanel(snapshot);

  PushValue(m_fieldURFK12, snapshot.Value(Slot::URFK12[0]));
  for (int s = 0; s < 2; ++s) {
    for (int q = 0; q < kBoundCount; ++q) PushValue(m_valueFields[s][q], snapshot.Value(kBound[q].Slots[s]));
  }

  if (m_tankURFK12) m_tankURFK12->SetWaterH(LevelPercent(snapshot.Value(Slot::URFK12[0])));
  for (int s = 0; s < 2; ++s) {
    if (m_tanks[s]) m_tanks[s]->SetWaterH(LevelPercent(snapshot.Value(Slot::URFK[s])));
  }

  UpdateModes(snapshot);
}

void TFormMnemo::UpdateLinkPanel(const ConsoleSnapshot& snapshot) {
  if (!m_panelLinkError) return;
  if (snapshot.StateFresh) {
    m_panelLinkError->hide();
    return;
  }
  const QDateTime now = m_source.Now ? m_source.Now() : QDateTime::currentDateTime();
  const bool oddSecond = now.time().second() % 2 == 1;
  m_panelLinkError->SetColor(oddSecond ? clRed : clWhite);
  m_panelLinkError->SetFontColor(oddSecond ? clWhite : clRed);
  m_panelLinkError->show();
}

void TFormMnemo::UpdateModes(const ConsoleSnapshot& snapshot) {
  for (const ModeBinding& mode : m_modes) {
    if (!mode.Field) continue;
    const ModeLook look = ModeLookOf(snapshot.Mode(mode.Automatic) != 0, snapshot.Mode(mode.Manual) != 0);
    const QString text = QString::fromUtf16(look.Text);
    mode.Field->SetCaption(text);
    mode.Field->SetOutFormat(text);
    mode.Field->SetBrushColor(look.Fill);
    mode.Field->SetFontColor(look.TextColor);
  }
  for (const ManualHiding& hiding : m_manualHiding) {
    if (!hiding.Field) continue;
    const bool visible = snapshot.Mode(hiding.Manual) == 0;
    hiding.Field->setVisible(visible);
    for (QWidget* follower : hiding.Followers) {
      if (follower != nullptr) follower->setVisible(visible);
    }
  }
}

void TFormMnemo::UpdateSectionStates(bool force) {
  if (!m_source.Snapshot || !m_source.Config) return;
  const ConsoleSnapshot& snapshot = m_source.Snapshot();
  const TConfig& config = m_source.Config();
  for (int s = 0; s < 2; ++s) {
    const bool running = static_cast<double>(snapshot.Value(Slot::RVF[s])) > config.MIN_RVF.Get();
    if (running == m_sectionRunning[s] && !force) continue;
    if (!force && m_source.AddLogRec) {
      m_source.AddLogRec(
          u"ФЛОТАЦИЯ СЕКЦИИ %1 %2"_qs.arg(s + 1).arg(running ? u"ВКЛЮЧЕНА"_qs : u"ВЫКЛЮЧЕНА"_qs));
    }
    m_sectionRunning[s] = running;
    const ColorSet& colors = running ? config.OnColors : config.OffColors;
    for (int group = 0; group < kColorGroupCount; ++group)
      SetColorByTag((5 + group) * 100 + s, colors[static_cast<size_t>(group)].Get());
    if (TConusBox* pulp = m_pulpBoxes[s]) {
      pulp->SetWaterColor(colors[kPulpa].Get());
      pulp->SetPenColor(colors[kPulpa].Get());
    }
  }
  const TColor concentrate = config.OnColors[kFlotoConc].Get();
  for (TConusBox* tank : {m_tankURFK12.data(), m_tanks[0].data(), m_tanks[1].data()}) {
    if (tank != nullptr) tank->SetWaterColor(concentrate);
  }
}

void TFormMnemo::SetColorByTag(int tag, TColor color) {
  for (QWidget* element : findChildren<QWidget*>()) {
    const char* className = element->metaObject()->className();
    // Exact classes only: a subclass is some other element.
    if (std::strcmp(className, "TArrow") == 0) {
      auto* arrow = static_cast<TArrow*>(element);
      if (arrow->Tag() == tag) arrow->SetColor(color);
    } else if (std::strcmp(className, "TOutField") == 0) {
      auto* field = static_cast<TOutField*>(element);
      if (field->Tag() == tag) field->SetPenColor(color);
    } else if (std::strcmp(className, "TLabel") == 0) {
      auto* label = static_cast<TLabel*>(element);
      if (label->Tag() == tag) SetForeground(*label, color);
    } else if (std::strcmp(className, "TConusBox") == 0) {
      auto* box = static_cast<TConusBox*>(element);
      if (box->Tag() == tag) box->SetWaterColor(color);
    } else if (std::strcmp(className, "TPump") == 0) {
      auto* pump = static_cast<TPump*>(element);
      if (pump->Tag() == tag) pump->SetBrushColor(color);
    } else if (std::strcmp(className, "TValve") == 0) {
      auto* valve = static_cast<TValve*>(element);
      if (valve->Tag() != tag) continue;
      // The valve does not repaint on its own for pen and brush.
      if (valve->Pen().Color() == color && valve->Brush().Color == color) continue;
      valve->SetPenColor(color);
      valve->SetBrushColor(color);
      valve->update();
    } else if (std::strcmp(className, "TPoligon") == 0) {
      auto* poligon = static_cast<TPoligon*>(element);
      if (poligon->Tag() == tag) poligon->SetBrushColor(color);
    } else if (std::strcmp(className, "TPanel") == 0) {
      auto* panel = static_cast<TPanel*>(element);
      if (panel->Tag() == tag) panel->SetColor(color);
    } else if (std::strcmp(className, "TActionPanel") == 0) {
      auto* panel = static_cast<TActionPanel*>(element);
      if (panel->Tag() == tag) SetBackground(*panel, color);
    } else if (std::strcmp(className, "TShape") == 0) {
      auto* shape = static_cast<TShape*>(element);
      if (shape->Tag() == tag) shape->SetBrushColor(color);
    }
  }
}

template <class T>
void TFormMnemo::SetEditHandler(T& element, bool on) {
  const auto found = m_editHandlers.find(&element);
  const bool attached = found != m_editHandlers.end() && static_cast<bool>(found.value());
  if (on) {
    if (!attached) {
      m_editHandlers.insert(
          &element, connect(&element, &T::clicked, this, [this, target = &element] { EditElement(target); }));
    }
    element.setCursor(Qt::CrossCursor);
  } else if (attached) {
    disconnect(found.value());
    m_editHandlers.erase(found);
    element.unsetCursor();
  }
}

void TFormMnemo::ApplyEditMode() {
  const bool on = ElementEditMode();
  for (QWidget* element : findChildren<QWidget*>()) {
    if (IsClass(*element, "TArrow")) {
      auto& arrow = static_cast<TArrow&>(*element);
      arrow.SetConfigName(m_styleFile);
      SetEditHandler(arrow, on);
      arrow.LoadConfig();
    } else if (IsClass(*element, "TLabel")) {
      auto& label = static_cast<TLabel&>(*element);
      SetEditHandler(label, on);
      LoadLabelFont(label, m_appDir);
    } else if (IsClass(*element, "TOutField")) {
      auto& field = static_cast<TOutField&>(*element);
      field.SetConfigName(m_styleFile);
      SetEditHandler(field, on);
      field.LoadConfig();
    }
  }
  // Handlers of elements that are gone disconnected themselves.
  for (auto it = m_editHandlers.begin(); it != m_editHandlers.end();) {
    it = static_cast<bool>(it.value()) ? std::next(it) : m_editHandlers.erase(it);
  }
}

const std::array<TEditRouterRec, 7>& TFormMnemo::EditRouter() {
  static const std::array<TEditRouterRec, 7> router = {{
      {"TArrow", &TFormMnemo::EditArrow},
      {"TBarrel", &TFormMnemo::EditBarrel},
      {"TLabel", &TFormMnemo::EditCaption},
      {"TOutField", &TFormMnemo::EditOutField},
      {"TPump", &TFormMnemo::EditPump},
      {"TPoligon", &TFormMnemo::EditPoligon},
      {"", nullptr},
  }};
  return router;
}

bool TFormMnemo::EditElement(QWidget* element) {
  if (element == nullptr) return false;
  const QLatin1String className(element->metaObject()->className());
  for (const TEditRouterRec& entry : EditRouter()) {
    const QLatin1String name(entry.ClassName);
    if (name.isEmpty()) return false;
    if (name.compare(className, Qt::CaseInsensitive) == 0) return entry.Handler(*element, *this);
  }
  return false;
}

template <class T>
void TFormMnemo::PropagateGroup(const T& edited) {
  if (edited.Tag() == 0) return;
  const QString section = edited.objectName();
  const int tag = edited.Tag();
  for (QWidget* widget : findChildren<QWidget*>()) {
    if (!IsClass(*widget, T::staticMetaObject.className())) continue;
    auto& member = static_cast<T&>(*widget);
    if (member.Tag() != tag) continue;
    member.LoadConfig(section);
    member.SaveConfig();
  }
}

template <class Editor, class T>
bool TFormMnemo::RunGroupEditor(Editor& editor, T& element) {
  editor.SetTarget(&element);
  if (editor.exec() != QDialog::Accepted) return false;
  PropagateGroup(element);
  return true;
}

bool TFormMnemo::EditArrow(QWidget& element, TFormMnemo& form) {
  if (form.m_editors == nullptr) return false;
  return form.RunGroupEditor(form.m_editors->ArrowEdit(), static_cast<TArrow&>(element));
}

bool TFormMnemo::EditOutField(QWidget& element, TFormMnemo& form) {
  if (form.m_editors == nullptr) return false;
  return form.RunGroupEditor(form.m_editors->OutFieldEdit(), static_cast<TOutField&>(element));
}

bool TFormMnemo::EditPump(QWidget& element, TFormMnemo& form) {
  if (form.m_editors == nullptr) return false;
  return form.RunGroupEditor(form.m_editors->EditPump(), static_cast<TPump&>(element));
}

bool TFormMnemo::EditPoligon(QWidget& element, TFormMnemo& form) {
  if (form.m_editors == nullptr) return false;
  return form.RunGroupEditor(form.m_editors->EditPoligon(), static_cast<TPoligon&>(element));
}

bool TFormMnemo::EditBarrel(QWidget& element, TFormMnemo& form) {
  if (form.m_editors == nullptr) return false;
  TFormEditBarrel& editor = form.m_editors->EditBarrel();
  editor.SetTarget(&static_cast<TBarrel&>(element));
  return editor.exec() == QDialog::Accepted;
}

bool TFormMnemo::EditCaption(QWidget& element, TFormMnemo& form) {
  auto& caption = static_cast<QLabel&>(element);
  const FontPicker& pick = form.m_pickFont ? form.m_pickFont : FontPicker(PlatformFontPicker);
  const std::optional<QFont> chosen = pick(caption.font(), &form);
  if (!chosen) return true;
  // The dialog speaks points; the diagram's fonts are set in pixels at 96 dpi.
  const TColor color = TColorFromColor(caption.palette().color(caption.foregroundRole()));
  caption.setFont(ElementFont::FromQFont(*chosen, color).ToQFont());
  return SaveLabelFont(caption, form.m_appDir);
}
