#include "ui/displays/formabout.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTextEdit>
#include <QTimer>

#include "common/buildinfo.h"
#include "ui/elements/elementfont.h"
#include "ui/elements/tcolor.h"

namespace {

const QColor kTeal = ColorFromTColor(clTeal);
const QColor kAqua = ColorFromTColor(clAqua);

constexpr int kClientWidth = 544;
constexpr int kClientHeight = 301;
constexpr int kShadowOffset = 3;
constexpr int kFadeStep = 20;
constexpr int kFadeLastStepBelow = 236;
constexpr int kFadeIntervalMs = 100;

QFont TimesFont(int pixelSize, bool bold) {
  return PixelFont(QStringLiteral("Times New Roman"), pixelSize, bold);
}

QLabel* TitleLabel(const QString& name, const QColor& colour, QRect geometry, QWidget* parent) {
  auto* label = new QLabel(u"Пульт флотации"_qs, parent);
  label->setObjectName(name);
  label->setFont(TimesFont(37, true));
  label->setAlignment(Qt::AlignCenter);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, colour);
  label->setPalette(palette);
  label->setGeometry(geometry);
  return label;
}

}  // namespace

TFormAbout::TFormAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName(QStringLiteral("FormAbout"));
  setWindowTitle(u"О программе"_qs);
  setFixedSize(kClientWidth, kClientHeight);
  QPalette teal = palette();
  teal.setColor(QPalette::Window, kTeal);
  setPalette(teal);
  setAutoFillBackground(true);

  // The shadow first, so that the aqua title is drawn over it.
  const QRect titleRect(8, 10, kClientWidth - 16, 42);
  TitleLabel(u"LabelShadow"_qs, Qt::black, titleRect.translated(kShadowOffset, kShadowOffset), this);
  TitleLabel(u"LabelTitle"_qs, kAqua, titleRect, this);

  auto* memo = new QTextEdit(this);
  memo->setObjectName(QStringLiteral("MemoInfo"));
  memo->setGeometry(16, 64, kClientWidth - 32, 182);
  memo->setFrameShape(QFrame::NoFrame);
  memo->setReadOnly(true);
  // The button keeps the focus, so Enter closes the window at once.
  memo->setFocusPolicy(Qt::NoFocus);
  memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  memo->setFont(TimesFont(21, false));
  QPalette memoPalette = memo->palette();
  for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    memoPalette.setColor(group, QPalette::Base, kTeal);
    memoPalette.setColor(group, QPalette::Text, Qt::white);
  }
  memo->setPalette(memoPalette);
  QTextOption centred = memo->document()->defaultTextOption();
  centred.setAlignment(Qt::AlignHCenter);
  memo->document()->setDefaultTextOption(centred);
  memo->setPlainText(u"Пульт управления флотацией\n"_qs + u"Версия "_qs + BuildVersion() + u"\n"_qs +
                     u"Сборка "_qs + BuildCommit() + u"\n\n"_qs +
                     u"Поставщик: служба автоматизации\nобогатительной фабрики"_qs);

  m_buttonClose = new QPushButton(u"Закрыть"_qs, this);
  m_buttonClose->setObjectName(QStringLiteral("ButtonClose"));
  m_buttonClose->setGeometry((kClientWidth - 100) / 2, 256, 100, 32);
  m_buttonClose->setDefault(true);
  m_buttonClose->setFocus();
  connect(m_buttonClose, &QPushButton::clicked, this, &QDialog::accept);

  m_timerShow = new QTimer(this);
  m_timerShow->setObjectName(QStringLiteral("TimerShow"));
  m_timerShow->setInterval(kFadeIntervalMs);
  connect(m_timerShow, &QTimer::timeout, this, &TFormAbout::TimerShowTimer);

  // Placed once: moving the window explicitly also keeps the dialog from
  // re-centring itself over its parent when it is shown.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - kClientWidth) / 2, area.y() + (area.height() - kClientHeight) / 2);
  }
}

void TFormAbout::FormShow() {
  if (!m_fadeEnabled) return;
  m_alpha = 0;
  setWindowOpacity(0.0);
  m_timerShow->start();
}

void TFormAbout::TimerShowTimer() {
  if (m_alpha < kFadeLastStepBelow) {
    m_alpha += kFadeStep;
  } else {
    m_alpha = 255;
    m_timerShow->stop();
  }
  setWindowOpacity(m_alpha / 255.0);
}

void TFormAbout::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // The window system reports the mapping once more; one fade per show.
  if (!event->spontaneous()) FormShow();
}

void TFormAbout::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  if (!event->spontaneous()) m_timerShow->stop();
}

void TFormAbout::keyPressEvent(QKeyEvent* event) {
  // Esc is the close button too, with the same result, rather than a cancel.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    m_buttonClose->click();
    return;
  }
  QDialog::keyPressEvent(event);
}
