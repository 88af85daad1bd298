#include "ui/editors/formcolorconfig.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

#include "ui/common/elementeditmode.h"
#include "ui/elements/elementfont.h"
#include "ui/elements/outfield.h"

namespace {

constexpr int kMargin = 8;
constexpr int kCaptionColumnWidth = 164;
constexpr int kSampleColumnWidth = 213;
constexpr int kSampleWidth = 156;
constexpr int kSampleHeight = 28;
constexpr int kHeaderTop = 8;
constexpr int kHeaderHeight = 24;
constexpr int kFirstRowTop = 38;
constexpr int kRowPitch = 32;
constexpr int kButtonHeight = 30;

// Row captions in ColorGroup order.
const char* const kGroupCaptions[kColorGroupCount] = {"Пульпа",     "Собиратель",  "Вспениватель",
                                                      "Концентрат", "Флотоотходы", "Флокулянт"};

QString OnSampleName(int group) {
  return u"OutFieldOn%1"_qs.arg(group + 1);
}

QString OffSampleName(int group) {
  return u"OutFieldOff%1"_qs.arg(group + 1);
}

}  // namespace

TFormColorConfig::TFormColorConfig(TConfig& config, std::function<bool()> saveConfig, ColorConfigHooks hooks,
                                   QWidget* parent, EditorDialogs dialogs)
    : QDialog(parent),
      m_config(config),
      m_saveConfig(std::move(saveConfig)),
      m_hooks(std::move(hooks)),
      m_dialogs(dialogs.Completed()) {
  setObjectName(u"FormColorConfig"_qs);
  setWindowTitle(u"Настройки оформления"_qs);
  setFixedSize(kClientWidth, kClientHeight);
  setFont(PixelFont(u"Times New Roman"_qs, 16, true));
  QPalette palette = this->palette();
  const QColor navy = ColorFromTColor(clNavy);
  palette.setColor(QPalette::WindowText, navy);
  palette.setColor(QPalette::ButtonText, navy);
  setPalette(palette);

  const int onLeft = kMargin + kCaptionColumnWidth;
  const int offLeft = onLeft + kSampleColumnWidth;
  const QString headers[] = {u"Группа компонентов"_qs, u"Цвет в активном режиме"_qs,
                             u"Цвет в режиме выключено"_qs};
  const int headerLeft[] = {kMargin, onLeft, offLeft};
  const int headerWidth[] = {kCaptionColumnWidth, kSampleColumnWidth, kSampleColumnWidth};
  for (int column = 0; column < 3; ++column) {
    auto* header = new QLabel(headers[column], this);
    header->setObjectName(u"LabelHeader%1"_qs.arg(column + 1));
    header->setAlignment(Qt::AlignCenter);
    header->setGeometry(headerLeft[column], kHeaderTop, headerWidth[column], kHeaderHeight);
  }

  const int sampleInset = (kSampleColumnWidth - kSampleWidth) / 2;
  for (int group = 0; group < kColorGroupCount; ++group) {
    const int top = kFirstRowTop + group * kRowPitch;
    auto* caption = new QLabel(QString::fromUtf8(kGroupCaptions[group]), this);
    caption->setObjectName(u"LabelGroup%1"_qs.arg(group + 1));
    caption->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
    caption->setGeometry(kMargin + 8, top, kCaptionColumnWidth - 8, kSampleHeight);
    for (const bool running : {true, false}) {
      auto* sample = new TOutField(this);
      sample->setObjectName(running ? OnSampleName(group) : OffSampleName(group));
      sample->setGeometry((running ? onLeft : offLeft) + sampleInset, top, kSampleWidth, kSampleHeight);
      sample->SetCaption(u" "_qs);
      sample->setCursor(Qt::PointingHandCursor);
      sample->setToolTip(u"Выбрать другой цвет..."_qs);
      connect(sample, &TOutField::clicked, this, [this, sample] { OnColorConfigClick(*sample); });
    }
  }

  auto* group = new QGroupBox(u"Режим интерактивной настройки других компонентов"_qs, this);
  group->setObjectName(u"GroupBoxEditMode"_qs);
  const int groupTop = kFirstRowTop + kColorGroupCount * kRowPitch + 4;
  group->setGeometry(kMargin + 4, groupTop, kClientWidth - 2 * kMargin - 8, 64);
  auto* buttonOn = new QPushButton(u"Включить"_qs, group);
  buttonOn->setObjectName(u"ButColorConfigOn"_qs);
  buttonOn->setGeometry(16, 26, 180, kButtonHeight);
  buttonOn->setDefault(true);
  connect(buttonOn, &QPushButton::clicked, this, &TFormColorConfig::ButColorConfigOnClick);
  m_buttonOff = new QPushButton(u"Выключить"_qs, group);
  m_buttonOff->setObjectName(u"ButColorConfigOff"_qs);
  m_buttonOff->setGeometry(212, 26, 180, kButtonHeight);
  m_buttonOff->setAutoDefault(false);
  connect(m_buttonOff, &QPushButton::clicked, this, &TFormColorConfig::ButColorConfigOffClick);

  const int bottomTop = kClientHeight - kMargin - kButtonHeight;
  auto* buttonClose = new QPushButton(u"Закрыть"_qs, this);
  buttonClose->setObjectName(u"ButClose"_qs);
  buttonClose->setGeometry(kClientWidth - kMargin - 4 - 140, bottomTop, 140, kButtonHeight);
  buttonClose->setAutoDefault(false);
  connect(buttonClose, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttonApply = new QPushButton(u"Принять изменения"_qs, this);
  buttonApply->setObjectName(u"ButApplyNewColors"_qs);
  buttonApply->setGeometry(kClientWidth - kMargin - 4 - 140 - 12 - 200, bottomTop, 200, kButtonHeight);
  buttonApply->setAutoDefault(false);
  connect(buttonApply, &QPushButton::clicked, this, &TFormColorConfig::ButApplyNewColorsClick);
}

TOutField* TFormColorConfig::Sample(const QString& name) const {
  return findChild<TOutField*>(name, Qt::FindDirectChildrenOnly);
}

void TFormColorConfig::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TFormColorConfig::FormShow() {
  for (int group = 0; group < kColorGroupCount; ++group) {
    const auto index = static_cast<size_t>(group);
    if (TOutField* sample = Sample(OnSampleName(group))) sample->SetBrushColor(m_config.OnColors[index]);
    if (TOutField* sample = Sample(OffSampleName(group))) sample->SetBrushColor(m_config.OffColors[index]);
  }
}

void TFormColorConfig::OnColorConfigClick(TOutField& sample) {
  if (const std::optional<TColor> chosen = m_dialogs.PickColor(sample.Brush().Color, this)) {
    sample.SetBrushColor(*chosen);
  }
}

void TFormColorConfig::ButApplyNewColorsClick() {
  for (int group = 0; group < kColorGroupCount; ++group) {
    const auto index = static_cast<size_t>(group);
    if (TOutField* sample = Sample(OnSampleName(group))) m_config.OnColors[index] = sample->Brush().Color;
    if (TOutField* sample = Sample(OffSampleName(group))) m_config.OffColors[index] = sample->Brush().Color;
  }
  if (m_saveConfig && !m_saveConfig()) {
    m_dialogs.ShowError(this,
                        u"Не удалось записать файл настроек.\n"
                        u"Новые цвета действуют до закрытия программы."_qs);
  }
  if (m_hooks.ColorsApplied) m_hooks.ColorsApplied();
}

void TFormColorConfig::ButColorConfigOnClick() {
  SetElementEditMode(true);
  if (m_hooks.ApplyEditMode) m_hooks.ApplyEditMode();
}

void TFormColorConfig::ButColorConfigOffClick() {
  SetElementEditMode(false);
  if (m_hooks.ApplyEditMode) m_hooks.ApplyEditMode();
}

// Esc is the cancel button's key here, as the window was laid out: it
// switches editing off and leaves the window open.
void TFormColorConfig::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    m_buttonOff->click();
    return;
  }
  QDialog::keyPressEvent(event);
}
