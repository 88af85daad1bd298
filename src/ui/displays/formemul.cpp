#include "ui/displays/formemul.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#include "configuration/config.h"
#include "console/consolecontroller.h"
#include "ui/elements/elementfont.h"

namespace {

constexpr int kMarginX = 16;
constexpr int kFieldWidth = TFormEmul::kClientWidth - 2 * kMarginX;
constexpr int kButtonWidth = 120;
constexpr int kButtonHeight = 28;

}  // namespace

TFormEmul::TFormEmul(TConsoleController& controller, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint),
      m_controller(controller) {
  setObjectName(QStringLiteral("FormEmul"));
  setWindowTitle(u"Эмулятор"_qs);
  setFixedSize(kClientWidth, kClientHeight);
  setFont(PixelFont(QStringLiteral("Arial"), 13));

  m_emulFlag = new QCheckBox(u"Включить эмулятор модулей RIO"_qs, this);
  m_emulFlag->setObjectName(QStringLiteral("CheckBoxICP_emul_flag"));
  m_emulFlag->setGeometry(kMarginX, 12, kFieldWidth, 24);

  // The answers are hexadecimal groups of four: a fixed-pitch face lines them up.
  const QFont answerFont = PixelFont(QStringLiteral("Courier New"), 13);
  for (int module = 0; module < 2; ++module) {
    const QString number = QString::number(module + 1);
    const int y = 46 + module * 54;
    auto* label = new QLabel(u"Ответ I-7017 №"_qs + number + u":"_qs, this);
    label->setObjectName(u"Label7017_"_qs + number);
    label->setGeometry(kMarginX, y, kFieldWidth, 20);
    auto* edit = new QLineEdit(this);
    edit->setObjectName(u"Edit7017_"_qs + number);
    edit->setGeometry(kMarginX, y + 22, kFieldWidth, 26);
    edit->setFont(answerFont);
    m_answers[static_cast<size_t>(module)] = edit;
  }

  const int buttonsY = kClientHeight - kButtonHeight - 14;
  const int buttonsX = (kClientWidth - 2 * kButtonWidth - 16) / 2;
  auto* buttonApply = new QPushButton(u"Применить"_qs, this);
  buttonApply->setObjectName(QStringLiteral("ButApply"));
  buttonApply->setGeometry(buttonsX, buttonsY, kButtonWidth, kButtonHeight);
  buttonApply->setDefault(true);
  connect(buttonApply, &QPushButton::clicked, this, &TFormEmul::ButApplyClick);
  auto* buttonClose = new QPushButton(u"Закрыть"_qs, this);
  buttonClose->setObjectName(QStringLiteral("ButClose"));
  buttonClose->setGeometry(buttonsX + kButtonWidth + 16, buttonsY, kButtonWidth, kButtonHeight);
  buttonClose->setAutoDefault(false);
  // Esc rejects, which hides the window as well.
  connect(buttonClose, &QPushButton::clicked, this, &QWidget::hide);

  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - kClientWidth) / 2, area.y() + (area.height() - kClientHeight) / 2);
  }
}

void TFormEmul::FormShow() {
  m_emulFlag->setChecked(m_controller.Snapshot().EmulationOn);
  for (int module = 0; module < 2; ++module) {
    m_answers[static_cast<size_t>(module)]->setText(
        m_controller.Config().EmulI7017Answer[static_cast<size_t>(module)]);
  }
}

void TFormEmul::ButApplyClick() {
  const bool on = m_emulFlag->isChecked();
  TConfig& config = m_controller.Core().Config();
  // Answers and flags first: the read thread, once emulation is on, finds
  // them in force from its next module on.
  for (int module = 0; module < 2; ++module) {
    config.EmulI7017Answer[static_cast<size_t>(module)] = m_answers[static_cast<size_t>(module)]->text();
    config.EmulI7017Flag[static_cast<size_t>(module)] = on;
  }
  m_controller.SetEmulationOn(on);
}

void TFormEmul::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}
