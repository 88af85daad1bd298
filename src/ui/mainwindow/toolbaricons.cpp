#include "ui/mainwindow/toolbaricons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 32;

const QColor kNavy(0, 0, 128);
const QColor kTeal(0, 128, 128);
const QColor kPulp(128, 96, 48);
const QColor kFroth(230, 200, 60);
const QColor kGreen(0, 128, 0);
const QColor kRed(200, 0, 0);

QPixmap Blank(int width = kWidth, int height = kHeight) {
  QPixmap pixmap(width, height);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

void Frame(QPainter& p, const QColor& fill) {
  p.setPen(QPen(kNavy, 1));
  p.setBrush(fill);
  p.drawRoundedRect(QRectF(0.5, 0.5, kWidth - 1, kHeight - 1), 4, 4);
}

// A trend: two lines over a grid, with the section digit when there is one.
void Trend(QPainter& p, const QColor& first, const QColor& second, const QString& digit) {
  Frame(p, Qt::white);
  p.setPen(QPen(QColor(200, 200, 200), 1));
  for (int x = 8; x < kWidth; x += 12) p.drawLine(x, 3, x, kHeight - 4);
  for (int y = 8; y < kHeight; y += 8) p.drawLine(3, y, kWidth - 4, y);
  p.setPen(QPen(first, 2));
  p.drawPolyline(QPolygon({{4, 24}, {14, 18}, {24, 21}, {34, 10}, {44, 14}, {60, 6}}));
  p.setPen(QPen(second, 2));
  p.drawPolyline(QPolygon({{4, 12}, {16, 14}, {28, 26}, {40, 22}, {52, 25}, {60, 20}}));
  if (!digit.isEmpty()) {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(14);
    font.setBold(true);
    p.setFont(font);
    p.setPen(kNavy);
    p.drawText(QRect(44, 14, 18, 17), Qt::AlignCenter, digit);
  }
}

// A flotation machine: a tank of pulp with froth on top and a pipe.
void Mnemo(QPainter& p) {
  Frame(p, QColor(230, 240, 255));
  p.setPen(QPen(kNavy, 1));
  p.setBrush(kPulp);
  p.drawRect(8, 12, 30, 15);
  p.setBrush(kFroth);
  p.drawRect(8, 8, 30, 5);
  p.setPen(QPen(kTeal, 3));
  p.drawLine(38, 20, 56, 20);
  p.drawLine(56, 20, 56, 6);
}

void Levels(QPainter& p) {
  Frame(p, Qt::white);
  const int levels[] = {18, 10, 22};
  for (int i = 0; i < 3; ++i) {
    const int left = 8 + i * 18;
    p.setPen(QPen(kNavy, 1));
    p.setBrush(Qt::white);
    p.drawRect(left, 5, 12, 22);
    p.setPen(Qt::NoPen);
    p.setBrush(kFroth);
    p.drawRect(left + 1, 5 + 22 - levels[i], 11, levels[i]);
  }
}

void MainMenu(QPainter& p) {
  Frame(p, QColor(230, 240, 255));
  p.setPen(QPen(kNavy, 3));
  for (int y = 9; y <= 23; y += 7) {
    p.drawPoint(12, y);
    p.drawLine(18, y, 52, y);
  }
}

void ControlForm(QPainter& p) {
  Frame(p, QColor(240, 240, 240));
  const int knobs[] = {40, 20, 30};
  for (int i = 0; i < 3; ++i) {
    const int y = 8 + i * 8;
    p.setPen(QPen(QColor(90, 90, 90), 2));
    p.drawLine(8, y, 56, y);
    p.setPen(QPen(kNavy, 1));
    p.setBrush(i == 1 ? kGreen : kTeal);
    p.drawRect(knobs[i] - 3, y - 3, 6, 6);
  }
}

void Table(QPainter& p) {
  Frame(p, Qt::white);
  p.setPen(QPen(kNavy, 1));
  p.setBrush(QColor(200, 220, 255));
  p.drawRect(6, 5, 52, 6);
  p.setBrush(Qt::NoBrush);
  for (int y = 11; y <= 27; y += 8) p.drawLine(6, y, 58, y);
  for (int x = 6; x <= 58; x += 13) p.drawLine(x, 5, x, 27);
}

// A printer with a sheet coming out of it.
void Print(QPainter& p) {
  Frame(p, Qt::white);
  p.setPen(QPen(kNavy, 1));
  p.setBrush(Qt::white);
  p.drawRect(22, 3, 20, 10);
  p.setBrush(QColor(160, 170, 190));
  p.drawRoundedRect(QRectF(12.5, 11.5, 39, 12), 2, 2);
  p.setBrush(Qt::white);
  p.drawRect(20, 19, 24, 10);
  p.setPen(QPen(kNavy, 1));
  for (int y = 22; y <= 26; y += 2) p.drawLine(23, y, 41, y);
  p.setPen(Qt::NoPen);
  p.setBrush(kGreen);
  p.drawEllipse(QPointF(47, 15), 1.5, 1.5);
}

void About(QPainter& p) {
  Frame(p, kTeal);
  QFont font(QStringLiteral("Times New Roman"));
  font.setPixelSize(26);
  font.setBold(true);
  p.setFont(font);
  p.setPen(QColor(0, 255, 255));
  p.drawText(QRect(0, 0, kWidth, kHeight), Qt::AlignCenter, QStringLiteral("?"));
}

}  // namespace

QIcon ActionIcon(const QString& actionName) {
  QPixmap pixmap = Blank();
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  if (actionName == u"ActionMainMenu")
    MainMenu(p);
  else if (actionName == u"ActionMnemo")
    Mnemo(p);
  else if (actionName == u"ActionGraphFlot1")
    Trend(p, kRed, kGreen, QStringLiteral("1"));
  else if (actionName == u"ActionGraphFlot2")
    Trend(p, kRed, kGreen, QStringLiteral("2"));
  else if (actionName == u"ActionGraphFlok")
    Trend(p, kTeal, kPulp, QString());
  else if (actionName == u"ActionGraphLevel")
    Levels(p);
  else if (actionName == u"ActionControlForm")
    ControlForm(p);
  else if (actionName == u"ActionSvodTable")
    Table(p);
  else if (actionName == u"ActionPrint")
    Print(p);
  else if (actionName == u"ActionAbout")
    About(p);
  p.end();
  return QIcon(pixmap);
}

QIcon ConnectIcon() {
  QPixmap pixmap = Blank(32, 32);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  // A database drum with a plug.
  p.setPen(QPen(kNavy, 1));
  p.setBrush(QColor(200, 220, 255));
  p.drawRect(QRectF(4, 8, 16, 18));
  p.drawEllipse(QRectF(4, 4, 16, 8));
  p.drawEllipse(QRectF(4, 22, 16, 8));
  p.setPen(QPen(kGreen, 3));
  p.drawLine(20, 17, 28, 17);
  p.drawLine(26, 12, 26, 22);
  p.end();
  return QIcon(pixmap);
}
