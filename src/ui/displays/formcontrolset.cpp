#include "ui/displays/formcontrolset.h"

#include <QCheckBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStringList>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <optional>

#include "common/formatfloat.h"
#include "configuration/signaledit.h"
#include "station/commandset.h"
#include "ui/common/modecaption.h"
#include "ui/elements/elementfont.h"
#include "ui/elements/outfield.h"
#include "ui/elements/tcolor.h"

namespace {

constexpr int kButtonBarHeight = 41;
constexpr int kTitleHeight = 41;
constexpr int kRowHeight = 28;
constexpr int kCaptionX = 12;
constexpr int kSubCaptionX = 28;
constexpr int kEditX = 236;
constexpr int kEditWidth = 150;
constexpr int kUnitX = 396;
constexpr int kFlotationPanelHeight = 280;

// The edited quantities. Edit i is quantity i / 2 of section i % 2 + 1, which
// is the order the edits are loaded and read in (ZRRS1, ZRRS2, TRRS1, ...).
struct Quantity {
  const char16_t* Name;
  const int* Slots;
};
constexpr Quantity kQuantities[] = {
    {u"ZRRS", Slot::ZRRS}, {u"TRRS", Slot::TRRS}, {u"ZRRP", Slot::ZRRP},
    {u"TRRP", Slot::TRRP}, {u"ZRFL", Slot::ZRFL}, {u"TRFL", Slot::TRFL},
};
enum QuantityIndex { kQZRRS = 0, kQTRRS, kQZRRP, kQTRRP, kQZRFL, kQTRFL };

constexpr int EditIndex(QuantityIndex quantity, int section) {
  return 2 * quantity + (section - 1);
}
int EditSlot(int edit) {
  return kQuantities[edit / 2].Slots[edit % 2];
}
QString EditName(int edit) {
  return QString::fromUtf16(kQuantities[edit / 2].Name) + QString::number(edit % 2 + 1);
}

// A section's edits as the change line lists them: the order the window was
// laid out in, flocculant first.
constexpr QuantityIndex kChangeOrder[] = {kQZRFL, kQTRFL, kQZRRS, kQTRRS, kQZRRP, kQTRRP};

// The working block slot of each setpoint, in SetpointIndex order.
constexpr int kSetpointSlots[kSetpointCount] = {
    Slot::TRRS[0], Slot::TRRS[1], Slot::TRRP[0], Slot::TRRP[1], Slot::TRFL[0], Slot::TRFL[1],
    Slot::ZRRS[0], Slot::ZRRS[1], Slot::ZRRP[0], Slot::ZRRP[1], Slot::ZRFL[0], Slot::ZRFL[1],
};

constexpr int GroupIndex(ReagentGroup group, int section) {
  return (group == kGroupR ? 0 : 2) + (section - 1);
}

// Values are shown the way the operator types them back: the system's
// decimal separator.
TFormatSettings EditFormatSettings() {
  TFormatSettings settings = DefaultFormatSettings();
  settings.DecimalSeparator = SystemDecimalSeparator();
  return settings;
}

void SetTextColour(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  for (const auto group : {QPalette::Active, QPalette::Inactive}) {
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
      palette.setColor(group, role, colour);
    }
  }
  widget->setPalette(palette);
}

QLabel* AddLabel(const QString& text, int x, int y, int width, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(x, y, width, kRowHeight);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  return label;
}

}  // namespace

int SetpointSlot(SetpointIndex index) {
  return kSetpointSlots[index];
}

TFormControlSet::TFormControlSet(std::function<void(const QString&)> addLogRec, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_addLogRec(std::move(addLogRec)) {
  setObjectName(QStringLiteral("FormControlSet"));
  setWindowTitle(u"Корректировка заданий"_qs);
  setFixedSize(kClientWidth, kClientHeight);
  setFont(PixelFont(QStringLiteral("Courier New"), 16, true));
  SetTextColour(this, ColorFromTColor(clNavy));

  for (int section = 1; section <= 2; ++section) {
    for (const ReagentGroup group : {kGroupR, kGroupFL}) {
      ModeGroup& modeGroup = m_groups[static_cast<size_t>(GroupIndex(group, section))];
      modeGroup.Automatic = AutomaticFlag(group, section);
      modeGroup.Manual = ManualFlag(group, section);
    }
  }

  auto* pages = new QTabWidget(this);
  pages->setObjectName(QStringLiteral("PageControl"));
  pages->setGeometry(0, 0, kClientWidth, kClientHeight - kButtonBarHeight);
  pages->addTab(BuildPage(1), u"Секция &1"_qs);
  pages->addTab(BuildPage(2), u"Секция &2"_qs);

  auto* buttonBar = new QWidget(this);
  buttonBar->setObjectName(QStringLiteral("PanelButtons"));
  buttonBar->setGeometry(0, kClientHeight - kButtonBarHeight, kClientWidth, kButtonBarHeight);
  constexpr int kButtonWidth = 140;
  constexpr int kButtonGap = 16;
  const int buttonsX = (kClientWidth - 2 * kButtonWidth - kButtonGap) / 2;
  auto* buttonSet = new QPushButton(u"Установить"_qs, buttonBar);
  buttonSet->setObjectName(QStringLiteral("ButSet"));
  buttonSet->setGeometry(buttonsX, 5, kButtonWidth, 31);
  buttonSet->setDefault(true);
  connect(buttonSet, &QPushButton::clicked, this, [this] {
    ButSetClick();
    accept();
  });
  auto* buttonCancel = new QPushButton(u"Отменить"_qs, buttonBar);
  buttonCancel->setObjectName(QStringLiteral("ButCancel"));
  buttonCancel->setGeometry(buttonsX + kButtonWidth + kButtonGap, 5, kButtonWidth, 31);
  buttonCancel->setAutoDefault(false);
  connect(buttonCancel, &QPushButton::clicked, this, &QDialog::reject);

  m_timerUpdate = new QTimer(this);
  m_timerUpdate->setObjectName(QStringLiteral("TimerUpdate"));
  m_timerUpdate->setInterval(kUpdateIntervalMs);
  connect(m_timerUpdate, &QTimer::timeout, this, &TFormControlSet::TimerUpdateTimer);

  // Placed once: moving the window explicitly also keeps the dialog from
  // re-centring itself over its parent when it is shown.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - kClientWidth) / 2, area.y() + (area.height() - kClientHeight) / 2);
  }
}

QWidget* TFormControlSet::BuildPage(int section) {
  auto* page = new QWidget;
  page->setObjectName(u"TabSheet"_qs + QString::number(section));
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  QWidget* flotation = BuildPanel(kGroupR, section, page);
  flotation->setFixedHeight(kFlotationPanelHeight);
  layout->addWidget(flotation);
  layout->addWidget(BuildPanel(kGroupFL, section, page), 1);
  return page;
}

QWidget* TFormControlSet::BuildPanel(ReagentGroup group, int section, QWidget* parent) {
  const QString number = QString::number(section);
  auto* panel = new QFrame(parent);
  panel->setObjectName((group == kGroupR ? u"PanelFlot"_qs : u"PanelFlok"_qs) + number);
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  QPalette background = panel->palette();
  background.setColor(QPalette::Window, ColorFromTColor(section == 1 ? clSilver : clMoneyGreen));
  panel->setPalette(background);
  panel->setAutoFillBackground(true);

  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(0);

  auto* title = new TOutField(panel);
  title->setObjectName((group == kGroupR ? u"OutFieldFlot"_qs : u"OutFieldFlok"_qs) + number);
  title->SetFont(ElementFont(QStringLiteral("Times New Roman"), 21, clNavy));
  title->SetVAlign(tm_VAlignTop);
  title->SetCaption((group == kGroupR ? u"Ф Л О Т А Ц И Я   С Е К Ц И Я   №"_qs
                                      : u"Ф Л О К У Л Я Ц И Я   С Е К Ц И Я   №"_qs) +
                    number);
  title->setFixedHeight(kTitleHeight);
  layout->addWidget(title);

  auto* body = new QWidget(panel);
  layout->addWidget(body, 1);

  AddModeRow(GroupIndex(group, section), 6, body);
  if (group == kGroupR) {
    AddLabel(u"Реагент-собиратель:"_qs, kCaptionX, 40, kEditX - kCaptionX, body);
    AddEditRow(u"- удельный расход:"_qs, EditIndex(kQZRRS, section), u"мл/т"_qs, 70, body);
    AddEditRow(u"- текущий расход:"_qs, EditIndex(kQTRRS, section), u"л/час"_qs, 102, body);
    AddLabel(u"Реагент-пенообразователь:"_qs, kCaptionX, 136, 400, body);
    AddEditRow(u"- удельный расход:"_qs, EditIndex(kQZRRP, section), u"мл/т"_qs, 166, body);
    AddEditRow(u"- текущий расход:"_qs, EditIndex(kQTRRP, section), u"л/час"_qs, 198, body);
  } else {
    AddEditRow(u"- удельный расход:"_qs, EditIndex(kQZRFL, section), u"мл/т"_qs, 40, body);
    AddEditRow(u"- текущий расход:"_qs, EditIndex(kQTRFL, section), u"л/час"_qs, 72, body);
  }
  return panel;
}

void TFormControlSet::AddModeRow(int groupIndex, int y, QWidget* parent) {
  ModeGroup& group = m_groups[static_cast<size_t>(groupIndex)];
  // CheckBoxControlF1A ... CheckBoxControlFL2Z
  const QString name =
      u"CheckBoxControl"_qs + (groupIndex < 2 ? u"F"_qs : u"FL"_qs) + QString::number(groupIndex % 2 + 1);
  AddLabel(u"Режим управления:"_qs, kCaptionX, y, 186, parent);
  const auto addBox = [&](const QString& text, const QString& letter, int x, int width) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(name + letter);
    box->setGeometry(x, y, width, kRowHeight);
    return box;
  };
  group.BoxAutomatic = addBox(u"Автомат"_qs, u"A"_qs, 204, 110);
  group.BoxManual = addBox(u"Ручной"_qs, u"R"_qs, 320, 104);
  group.BoxOff = addBox(u"Отключено"_qs, u"Z"_qs, 430, 126);
  // toggled, not clicked: setting a box from code must run its handler too.
  connect(group.BoxAutomatic, &QCheckBox::toggled, this,
          [this, groupIndex] { CheckBoxAutomaticClick(groupIndex); });
  connect(group.BoxManual, &QCheckBox::toggled, this,
          [this, groupIndex] { CheckBoxManualClick(groupIndex); });
  connect(group.BoxOff, &QCheckBox::toggled, this, [this, groupIndex] { CheckBoxOffClick(groupIndex); });
}

void TFormControlSet::AddEditRow(const QString& caption, int edit, const QString& unit, int y,
                                 QWidget* parent) {
  AddLabel(caption, kSubCaptionX, y, kEditX - kSubCaptionX, parent);
  auto* lineEdit = new QLineEdit(parent);
  lineEdit->setObjectName(u"Edit"_qs + EditName(edit));
  lineEdit->setGeometry(kEditX, y, kEditWidth, kRowHeight);
  m_edits[static_cast<size_t>(edit)] = lineEdit;
  AddLabel(unit, kUnitX, y, 80, parent);
}

void TFormControlSet::CheckBoxAutomaticClick(int groupIndex) {
  ModeGroup& group = m_groups[static_cast<size_t>(groupIndex)];
  group.Changed = true;
  const bool checked = group.BoxAutomatic->isChecked();
  SetModeByte(m_workingBlock, group.Automatic, checked ? 1 : 0);
  if (!checked) return;
  group.BoxManual->setChecked(false);
  group.BoxOff->setChecked(false);
}

void TFormControlSet::CheckBoxManualClick(int groupIndex) {
  ModeGroup& group = m_groups[static_cast<size_t>(groupIndex)];
  group.Changed = true;
  const bool checked = group.BoxManual->isChecked();
  SetModeByte(m_workingBlock, group.Manual, checked ? 1 : 0);
  if (!checked) return;
  group.BoxAutomatic->setChecked(false);
  group.BoxOff->setChecked(false);
}

void TFormControlSet::CheckBoxOffClick(int groupIndex) {
  ModeGroup& group = m_groups[static_cast<size_t>(groupIndex)];
  group.Changed = true;
  if (!group.BoxOff->isChecked()) return;
  SetModeByte(m_workingBlock, group.Automatic, 0);
  SetModeByte(m_workingBlock, group.Manual, 0);
  group.BoxAutomatic->setChecked(false);
  group.BoxManual->setChecked(false);
}

void TFormControlSet::Load(const std::array<float, kValueSlotCount>& averagedValues) {
  m_workingBlock = averagedValues;
  for (int section = 1; section <= 2; ++section) LoadGroup(GroupIndex(kGroupR, section));
  for (const QuantityIndex quantity : {kQZRRS, kQTRRS, kQZRRP, kQTRRP}) {
    for (int section = 1; section <= 2; ++section) LoadEdit(EditIndex(quantity, section));
  }
  for (int section = 1; section <= 2; ++section) LoadGroup(GroupIndex(kGroupFL, section));
  for (const QuantityIndex quantity : {kQZRFL, kQTRFL}) {
    for (int section = 1; section <= 2; ++section) LoadEdit(EditIndex(quantity, section));
  }
  // Loading clicked boxes on its own; only the operator's changes count.
  for (ModeGroup& group : m_groups) group.Changed = false;
  for (QLineEdit* edit : m_edits) edit->setModified(false);
  // The window opens with the right edits enabled rather than a tick later.
  TimerUpdateTimer();
}

void TFormControlSet::LoadGroup(int groupIndex) {
  const ModeGroup& group = m_groups[static_cast<size_t>(groupIndex)];
  group.BoxAutomatic->setChecked(ModeByte(m_workingBlock, group.Automatic) != 0);
  group.BoxManual->setChecked(ModeByte(m_workingBlock, group.Manual) != 0);
  group.BoxOff->setChecked(ModeByte(m_workingBlock, group.Manual) ==
                           ModeByte(m_workingBlock, group.Automatic));
}

void TFormControlSet::LoadEdit(int edit) {
  static const TFormatSettings settings = EditFormatSettings();
  const double value = m_workingBlock[static_cast<size_t>(EditSlot(edit))];
  m_edits[static_cast<size_t>(edit)]->setText(FormatFloat(u"##0.####"_qs, value, settings));
}

ModeFlags TFormControlSet::Modes() const {
  ModeFlags modes{};
  for (int flag = 0; flag < kModeFlagCount; ++flag) {
    modes[static_cast<size_t>(flag)] = ModeByte(m_workingBlock, static_cast<ModeFlag>(flag));
  }
  return modes;
}

SetpointValues TFormControlSet::Setpoints() const {
  SetpointValues setpoints{};
  for (int i = 0; i < kSetpointCount; ++i) {
    setpoints[static_cast<size_t>(i)] = m_workingBlock[static_cast<size_t>(kSetpointSlots[i])];
  }
  return setpoints;
}

void TFormControlSet::ButSetClick() {
  const QChar separator = SystemDecimalSeparator();
  std::array<bool, kEditCount> stored{};
  for (int edit = 0; edit < kEditCount; ++edit) {
    // The settings windows' reading: the system's separator only, and
    // nothing a setpoint cannot hold.
    const std::optional<double> number =
        ParseOperatorDecimal(m_edits[static_cast<size_t>(edit)]->text(), separator);
    if (!number) {
      QMessageBox::critical(this, u"Ошибка"_qs, u"Одно или несколько чисел указаны неверно."_qs);
      break;
    }
    m_workingBlock[static_cast<size_t>(EditSlot(edit))] = static_cast<float>(*number);
    stored[static_cast<size_t>(edit)] = true;
  }
  const QString changes = ChangeList(stored);
  if (!changes.isEmpty() && m_addLogRec) m_addLogRec(u"Новое задание от оператора => "_qs + changes);
}

QString TFormControlSet::ChangeList(const std::array<bool, kEditCount>& stored) const {
  QStringList items;
  for (int section = 1; section <= 2; ++section) {
    for (const QuantityIndex quantity : kChangeOrder) {
      const int edit = EditIndex(quantity, section);
      const QLineEdit* lineEdit = m_edits[static_cast<size_t>(edit)];
      // An edit whose number did not reach the block is no new task.
      if (lineEdit->isModified() && stored[static_cast<size_t>(edit)]) {
        items << EditName(edit) + u" = "_qs + lineEdit->text();
      }
    }
  }
  for (int section = 1; section <= 2; ++section) {
    for (const ReagentGroup group : {kGroupR, kGroupFL}) {
      const ModeGroup& modeGroup = m_groups[static_cast<size_t>(GroupIndex(group, section))];
      if (!modeGroup.Changed) continue;
      // The mode the flags now give, which is the word of the checked box
      // and, with every box of the group cleared, off.
      const ReagentMode mode = ModeFromFlags(ModeByte(m_workingBlock, modeGroup.Automatic),
                                             ModeByte(m_workingBlock, modeGroup.Manual));
      items << (group == kGroupR ? u"Режим флотации "_qs : u"Режим флокуляции "_qs) +
                   QString::number(section) + u": "_qs + QString::fromUtf16(ModeCaption(mode));
    }
  }
  return items.join(u", "_qs);
}

void TFormControlSet::TimerUpdateTimer() {
  for (int section = 1; section <= 2; ++section) {
    const bool flotationManual =
        m_groups[static_cast<size_t>(GroupIndex(kGroupR, section))].BoxManual->isChecked();
    for (const QuantityIndex quantity : {kQTRRS, kQTRRP}) {
      m_edits[static_cast<size_t>(EditIndex(quantity, section))]->setEnabled(flotationManual);
    }
    for (const QuantityIndex quantity : {kQZRRS, kQZRRP}) {
      m_edits[static_cast<size_t>(EditIndex(quantity, section))]->setEnabled(!flotationManual);
    }
    const bool flocculantManual =
        m_groups[static_cast<size_t>(GroupIndex(kGroupFL, section))].BoxManual->isChecked();
    m_edits[static_cast<size_t>(EditIndex(kQTRFL, section))]->setEnabled(flocculantManual);
    m_edits[static_cast<size_t>(EditIndex(kQZRFL, section))]->setEnabled(!flocculantManual);
  }
}

void TFormControlSet::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) m_timerUpdate->start();
}

void TFormControlSet::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  if (!event->spontaneous()) m_timerUpdate->stop();
}
