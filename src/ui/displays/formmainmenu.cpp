#include "ui/displays/formmainmenu.h"

#include <QEvent>
#include <QHBoxLayout>
#include <algorithm>

#include "ui/elements/actionbound.h"
#include "ui/elements/elementfont.h"
#include "ui/elements/tcolor.h"

namespace {

const QColor kNavy = ColorFromTColor(clNavy);
const QColor kBlue = ColorFromTColor(clBlue);
const QColor kGray = ColorFromTColor(clGray);

constexpr int kTitleHeight = 47;
constexpr int kSideMargin = 60;
constexpr int kBottomMargin = 28;
constexpr int kImageWidth = 64;
constexpr int kImageToCaption = 20;
constexpr int kKeyWidth = 50;

QFont MenuFont(int pixelSize) {
  return PixelFont(QStringLiteral("Times New Roman"), pixelSize, true);
}

}  // namespace

TFormMainMenu::TFormMainMenu(const MainMenuActions& actions, std::function<bool()> summaryAvailable,
                             QWidget* parent)
    : QWidget(parent), m_summaryAvailable(std::move(summaryAvailable)) {
  setObjectName(QStringLiteral("FormMainMenu"));
  setWindowTitle(u"Главное меню"_qs);
  setFont(MenuFont(19));
  QPalette navy = palette();
  navy.setColor(QPalette::WindowText, kNavy);
  // A row whose command is unavailable reads as such, like a greyed menu item.
  navy.setColor(QPalette::Disabled, QPalette::WindowText, kGray);
  setPalette(navy);

  m_title = new QLabel(u"ГЛАВНОЕ МЕНЮ"_qs, this);
  m_title->setObjectName(QStringLiteral("LabelTitle"));
  QFont titleFont = MenuFont(32);
  titleFont.setUnderline(true);
  m_title->setFont(titleFont);
  m_title->setAlignment(Qt::AlignCenter);

  m_panelCenter = new QWidget(this);
  m_panelCenter->setObjectName(QStringLiteral("PanelCenter"));
  m_panelCenter->installEventFilter(this);

  m_rows = {
      CreateRow(actions.Mnemo, u"PanelF1"_qs, u"F2"_qs),
      CreateRow(actions.GraphFlot1, u"PanelF2"_qs, u"F3"_qs),
      CreateRow(actions.GraphFlot2, u"PanelF3"_qs, u"F4"_qs),
      CreateRow(actions.GraphFlok, u"PanelF4"_qs, u"F5"_qs),
      CreateRow(actions.GraphLevel, u"PanelF5"_qs, u"F6"_qs),
      CreateRow(actions.ControlForm, u"PanelF6"_qs, u"F7"_qs),
      CreateRow(actions.SvodTable, u"PanelF8"_qs, u"F8"_qs),
  };
  m_summaryRow = m_rows.back();

  // The design-time size; the main window shows the menu maximized anyway.
  resize(717 + 2 * kSideMargin, kTitleHeight + 7 * 88 + kBottomMargin);
  LayoutPanels();
  PanelCenterResize();
}

QWidget* TFormMainMenu::CreateRow(QAction* action, const QString& rowName, const QString& keyText) {
  auto* row = new QWidget(m_panelCenter);
  row->setObjectName(rowName);
  const QString suffix = rowName.mid(QStringLiteral("Panel").size());

  auto* image = new TActionImage(row);
  image->setObjectName(u"Image"_qs + suffix);
  image->setFixedWidth(kImageWidth);
  image->setCursor(Qt::PointingHandCursor);
  image->SetAction(action);

  auto* caption = new TActionLabel(row);
  caption->setObjectName(u"Label"_qs + suffix);
  caption->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  caption->setWordWrap(true);  // a narrow window wraps the long captions instead of cutting them
  caption->setCursor(Qt::PointingHandCursor);
  caption->SetAction(action);

  auto* key = new QLabel(keyText, row);
  key->setObjectName(u"LabelKey"_qs + suffix);
  key->setFixedWidth(kKeyWidth);
  key->setAlignment(Qt::AlignCenter);
  key->setFont(MenuFont(19));
  QPalette blue = key->palette();
  blue.setColor(QPalette::WindowText, kBlue);
  key->setPalette(blue);

  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(image);
  layout->addSpacing(kImageToCaption);
  layout->addWidget(caption, 1);
  layout->addWidget(key);
  return row;
}

void TFormMainMenu::PanelCenterResize() {
  m_summaryRow->setVisible(m_summaryAvailable && m_summaryAvailable());

  int visibleRows = 0;
  for (const QWidget* row : m_rows)
    if (!row->isHidden()) ++visibleRows;
  if (visibleRows == 0) return;

  const int rowHeight = m_panelCenter->height() / visibleRows;
  int top = 0;
  for (QWidget* row : m_rows) {
    row->setGeometry(0, top, m_panelCenter->width(), rowHeight);
    if (!row->isHidden()) top += rowHeight;
  }
}

void TFormMainMenu::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayoutPanels();
}

void TFormMainMenu::LayoutPanels() {
  m_title->setGeometry(0, 0, width(), kTitleHeight);
  m_panelCenter->setGeometry(kSideMargin, kTitleHeight, std::max(0, width() - 2 * kSideMargin),
                             std::max(0, height() - kTitleHeight - kBottomMargin));
}

bool TFormMainMenu::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_panelCenter && event->type() == QEvent::Resize) PanelCenterResize();
  return QWidget::eventFilter(watched, event);
}
