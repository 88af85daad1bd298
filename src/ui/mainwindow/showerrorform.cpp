#include "ui/mainwindow/showerrorform.h"

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>
#include <limits>

#include "common/formatfloat.h"
#include "storage/eventfifo.h"
#include "ui/elements/elementfont.h"
#include "ui/elements/tcolor.h"

namespace {

const QColor kNavy = ColorFromTColor(clNavy);
const QColor kRed = ColorFromTColor(clRed);

constexpr int kFormPixelSize = 16;
constexpr int kMessagePixelSize = 21;
// A message that does not fit at 21 pixels is set smaller, down to this size,
// before the window grows: the operator must see the whole text.
constexpr int kSmallestMessagePixelSize = 14;
constexpr int kMargin = 6;
const QRect kMessageRect(kMargin, 34, 414, 85);
constexpr int kButtonWidth = 100;
constexpr int kButtonHeight = 30;
constexpr int kButtonTop = 126;
constexpr int kWakeSpacingMs = 1000;
constexpr int kMessageFlags = Qt::AlignCenter | Qt::TextWordWrap;

QFont TimesFont(int pixelSize) {
  return PixelFont(QStringLiteral("Times New Roman"), pixelSize, true);
}

QSize MessageSize(const QString& text, const QFont& font) {
  const QRect box(0, 0, kMessageRect.width(), std::numeric_limits<int>::max() / 2);
  return QFontMetrics(font).boundingRect(box, kMessageFlags, text).size();
}

void SetBackground(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, colour);
  widget->setPalette(palette);
}

QLabel* WhiteLabel(const QString& name, const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setTextFormat(Qt::PlainText);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, Qt::white);
  label->setPalette(palette);
  return label;
}

}  // namespace

void ResetScreenSaver() {
  static QElapsedTimer sinceLastStart;
  if (sinceLastStart.isValid() && sinceLastStart.elapsed() < kWakeSpacingMs) return;
  sinceLastStart.start();
  const QString program = QStandardPaths::findExecutable(QStringLiteral("xdg-screensaver"));
  if (program.isEmpty()) return;
  QProcess::startDetached(program, {QStringLiteral("reset")});
}

TShowErrorForm::TShowErrorForm(QWidget* owner, ScreenWake wakeScreen)
    : QDialog(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint),
      m_wakeScreen(wakeScreen ? std::move(wakeScreen) : ScreenWake(&ResetScreenSaver)) {
  setObjectName(QStringLiteral("ShowErrorForm"));
  setWindowTitle(u"Внимание"_qs);
  // Closing hides; only the owner destroys the window.
  setAttribute(Qt::WA_DeleteOnClose, false);
  setFixedSize(kClientWidth, kClientHeight);
  setFont(TimesFont(kFormPixelSize));
  SetBackground(this, kNavy);
  setAutoFillBackground(true);

  QLabel* labelCaption = WhiteLabel(u"Label1"_qs, u"Время:"_qs, this);
  labelCaption->move(kMargin + 2, 8);
  labelCaption->resize(labelCaption->sizeHint());

  m_labelTime = WhiteLabel(u"Label2"_qs, QString(), this);
  const int timeLeft = labelCaption->geometry().right() + 1 + 8;
  m_labelTime->setGeometry(timeLeft, 8, kClientWidth - kMargin - timeLeft, labelCaption->height());

  m_labelText = WhiteLabel(u"Label3"_qs, QString(), this);
  m_labelText->setFont(TimesFont(kMessagePixelSize));
  m_labelText->setAlignment(Qt::Alignment(kMessageFlags & ~Qt::TextWordWrap));
  m_labelText->setWordWrap(true);
  m_labelText->setGeometry(kMessageRect);

  m_buttonHide = new QPushButton(u"Закрыть"_qs, this);
  m_buttonHide->setObjectName(QStringLiteral("ButHide"));
  m_buttonHide->setGeometry((kClientWidth - kButtonWidth) / 2, kButtonTop, kButtonWidth, kButtonHeight);
  m_buttonHide->setDefault(true);
  m_buttonHide->setFocus();
  connect(m_buttonHide, &QPushButton::clicked, this, &TShowErrorForm::ButHideClick);

  m_timer1 = new QTimer(this);
  m_timer1->setObjectName(QStringLiteral("Timer1"));
  m_timer1->setInterval(kFrontIntervalMs);
  connect(m_timer1, &QTimer::timeout, this, &TShowErrorForm::Timer1Timer);
  m_timer1->start();

  // Placed once, so a window the operator moved stays where he put it; an
  // explicit position also keeps the dialog from centring over its owner.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - kClientWidth) / 2, area.y() + (area.height() - kClientHeight) / 2);
  }
}

void TShowErrorForm::ShowError(const QString& text, TDateTime moment, uint32_t flags) {
  m_wakeScreen();
  m_flags = flags;
  SetBackground(this, (flags & kLogFlagRedBackground) != 0 ? kRed : kNavy);
  m_labelText->setText(text);
  m_labelText->setToolTip(text);
  m_labelTime->setText(FormatDateTime(u"dd mmm yyyy в hh:nn:ss"_qs, moment));
  FitMessage();
  show();
}

void TShowErrorForm::FitMessage() {
  const QString text = m_labelText->text();
  int pixelSize = kMessagePixelSize;
  QSize needed = MessageSize(text, TimesFont(pixelSize));
  while (pixelSize > kSmallestMessagePixelSize &&
         (needed.height() > kMessageRect.height() || needed.width() > kMessageRect.width())) {
    --pixelSize;
    needed = MessageSize(text, TimesFont(pixelSize));
  }
  m_labelText->setFont(TimesFont(pixelSize));

  // Still too long at the smallest size: the window grows downwards, at most
  // to the height of the screen.
  int extra = std::max(0, needed.height() - kMessageRect.height());
  const QScreen* screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
  const QRect area = screen != nullptr ? screen->availableGeometry() : QRect();
  if (area.isValid()) extra = std::min(extra, std::max(0, area.height() - kClientHeight));
  m_labelText->resize(kMessageRect.width(), kMessageRect.height() + extra);
  m_buttonHide->move(m_buttonHide->x(), kButtonTop + extra);
  setFixedSize(kClientWidth, kClientHeight + extra);
  if (area.isValid() && extra > 0 && y() + height() > area.bottom() + 1) {
    move(x(), std::max(area.top(), area.bottom() + 1 - height()));
  }
}

void TShowErrorForm::Timer1Timer() {
  if (!isVisible()) return;
  show();
  raise();
}

void TShowErrorForm::ButHideClick() {
  hide();
}

void TShowErrorForm::closeEvent(QCloseEvent* event) {
  event->accept();
  hide();
}
