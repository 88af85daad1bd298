#include "ui/editors/styleeditor.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/elements/elementfont.h"

namespace {

constexpr int kWidthEditWidth = 48;
constexpr int kButtonHeight = 26;
constexpr int kButtonTextPadding = 28;

}  // namespace

TStyleEditor::TStyleEditor(const QString& name, const QString& title, const QString& widthCaption,
                           int fontPixels, std::optional<TColor> fontColor, bool borderIcons,
                           EditorDialogs dialogs, QWidget* parent)
    : QDialog(parent), m_dialogs(dialogs.Completed()) {
  setObjectName(name);
  setWindowTitle(title);
  Qt::WindowFlags flags = Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if (borderIcons) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  setWindowFlags(flags);
  setFont(PixelFont(u"MS Sans Serif"_qs, fontPixels, true));
  if (fontColor) {
    QPalette palette = this->palette();
    const QColor text = ColorFromTColor(*fontColor);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::Text, text);
    setPalette(palette);
  }

  // The preview sits on black, as the elements do on the diagram.
  m_previewPanel = new QFrame(this);
  m_previewPanel->setObjectName(u"PanelPreview"_qs);
  m_previewPanel->setFrameShape(QFrame::Panel);
  m_previewPanel->setFrameShadow(QFrame::Sunken);
  m_previewPanel->setAutoFillBackground(true);
  QPalette black = m_previewPanel->palette();
  black.setColor(QPalette::Window, Qt::black);
  m_previewPanel->setPalette(black);

  auto* widthCaptionLabel = new QLabel(widthCaption, this);
  widthCaptionLabel->setObjectName(u"LabelWidth"_qs);
  m_edit1 = new QLineEdit(this);
  m_edit1->setObjectName(u"Edit1"_qs);
  m_edit1->setFixedWidth(kWidthEditWidth);
  widthCaptionLabel->setBuddy(m_edit1);
  connect(m_edit1, &QLineEdit::returnPressed, this, [this] { TakeWidthFromEdit(); });
  auto* widthRow = new QHBoxLayout;
  widthRow->addWidget(widthCaptionLabel);
  widthRow->addStretch();
  widthRow->addWidget(m_edit1);

  m_styleButtons = new QVBoxLayout;
  m_closingButtons = new QVBoxLayout;
  auto* commonButtons = new QVBoxLayout;
  commonButtons->addWidget(MakeButton(u"ButUse"_qs, u"Применить"_qs, [this] { ButUseClick(); }));
  commonButtons->addWidget(MakeButton(u"BitBtn2"_qs, u"Отменить"_qs, [this] { BitBtn2Click(); }));
  commonButtons->addWidget(
      MakeButton(u"BitBtn3"_qs, u"Сохранить для всей группы"_qs, [this] { BitBtn3Click(); }));

  auto* column = new QVBoxLayout;
  column->addLayout(widthRow);
  column->addLayout(m_styleButtons);
  column->addStretch();
  column->addSpacing(12);
  column->addLayout(commonButtons);
  column->addLayout(m_closingButtons);

  auto* top = new QHBoxLayout(this);
  top->setSizeConstraint(QLayout::SetFixedSize);
  top->setContentsMargins(10, 10, 10, 10);
  top->setSpacing(12);
  top->addWidget(m_previewPanel, 0, Qt::AlignTop);
  top->addLayout(column);
}

QWidget* TStyleEditor::PreviewArea() const {
  return m_previewPanel;
}

void TStyleEditor::PlacePreview(QWidget& preview, QSize size) {
  preview.setGeometry(kPreviewMargin, kPreviewMargin, size.width(), size.height());
  m_previewPanel->setFixedSize(size.width() + 2 * kPreviewMargin, size.height() + 2 * kPreviewMargin);
}

QPushButton* TStyleEditor::MakeButton(const QString& name, const QString& text, std::function<void()> click) {
  auto* button = new QPushButton(text, this);
  button->setObjectName(name);
  // Enter belongs to the width edit; no button may take it.
  button->setAutoDefault(false);
  button->setDefault(false);
  button->setMinimumHeight(kButtonHeight);
  button->setMinimumWidth(button->fontMetrics().horizontalAdvance(text) + kButtonTextPadding);
  connect(button, &QPushButton::clicked, this, std::move(click));
  return button;
}

QPushButton* TStyleEditor::AddStyleButton(const QString& name, const QString& text,
                                          std::function<void()> click) {
  QPushButton* button = MakeButton(name, text, std::move(click));
  m_styleButtons->addWidget(button);
  return button;
}

QPushButton* TStyleEditor::AddClosingButton(const QString& name, const QString& text,
                                            std::function<void()> click) {
  QPushButton* button = MakeButton(name, text, std::move(click));
  m_closingButtons->addWidget(button);
  return button;
}

void TStyleEditor::PickColor(TColor current, const std::function<void(TColor)>& apply) {
  if (const std::optional<TColor> chosen = m_dialogs.PickColor(current, this)) apply(*chosen);
}

void TStyleEditor::ShowError(const QString& text) {
  m_dialogs.ShowError(this, text);
}

void TStyleEditor::ShowErrorWhenShown(const QString& text) {
  QTimer::singleShot(0, this, [this, text] { ShowError(text); });
}

bool TStyleEditor::TakeWidthFromEdit() {
  const std::optional<int> width = ParsePenWidth(m_edit1->text());
  if (!width) {
    ShowError(PenWidthErrorText(m_edit1->text()));
    m_edit1->setFocus();
    m_edit1->selectAll();
    return false;
  }
  SetPreviewWidth(*width);
  return true;
}

void TStyleEditor::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;  // back from minimised: not a new opening
  Showing();
  m_edit1->setText(QString::number(PreviewWidth()));
}

void TStyleEditor::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    BitBtn2Click();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TStyleEditor::ButUseClick() {
  ApplyToTarget();
}

void TStyleEditor::BitBtn2Click() {
  RestoreTarget();
  reject();
}

void TStyleEditor::BitBtn3Click() {
  if (StoreTarget()) accept();
}
