#include "ui/trends/formwebprint.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "ui/trends/printableview.h"

namespace {

const QString kCaption = u"Печать графиков работы"_qs;
const QString kNoView = u"Нет окна для печати: откройте таблицу или графики"_qs;
const QString kSaving = u"Сохранение…"_qs;

QString StandardChooseSavePath(QWidget* parent, const QString& caption, const QString& suggestedPath,
                               const QString& filter, const QString& suffix) {
  QFileDialog dialog(parent, caption, suggestedPath, filter);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(suffix);
  dialog.selectFile(suggestedPath);
  if (dialog.exec() != QDialog::Accepted) return QString();
  return dialog.selectedFiles().value(0);
}

void StandardShowMessage(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text) {
  QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
  box.exec();
}

bool StandardPrintDialog(QPrinter& printer, QWidget* parent) {
  QPrintDialog dialog(&printer, parent);
  return dialog.exec() == QDialog::Accepted;
}

bool StandardPageSetup(QPrinter& printer, QWidget* parent) {
  QPageSetupDialog dialog(&printer, parent);
  return dialog.exec() == QDialog::Accepted;
}

void StandardPreview(QPrinter& printer, QWidget* parent, const std::function<void(QPrinter*)>& paint) {
  QPrintPreviewDialog dialog(&printer, parent);
  // Big enough to read a page of figures; its own default is a small window.
  if (const QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen())
    dialog.resize(screen->availableGeometry().size() * 4 / 5);
  QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, paint);
  dialog.exec();
}

QPushButton* MakeButton(QWidget* owner, const QString& name, const QString& text) {
  auto* button = new QPushButton(text, owner);
  button->setObjectName(name);
  // Enter must not print by surprise.
  button->setAutoDefault(false);
  return button;
}

}  // namespace

TFormWebPrint::TFormWebPrint(ActiveViewSource activeView, QWidget* parent, PrintDialogs dialogs, Clock clock)
    : QDialog(parent),
      m_activeView(std::move(activeView)),
      m_dialogs(std::move(dialogs)),
      m_clock(std::move(clock)),
      m_lastFolder(QDir::homePath()) {
  if (!m_dialogs.ChooseSavePath) m_dialogs.ChooseSavePath = StandardChooseSavePath;
  if (!m_dialogs.ShowMessage) m_dialogs.ShowMessage = StandardShowMessage;
  if (!m_dialogs.ExecPrintDialog) m_dialogs.ExecPrintDialog = StandardPrintDialog;
  if (!m_dialogs.ExecPageSetup) m_dialogs.ExecPageSetup = StandardPageSetup;
  if (!m_dialogs.ExecPreview) m_dialogs.ExecPreview = StandardPreview;

  setObjectName(u"FormWebPrint"_qs);
  setWindowTitle(kCaption);
  setModal(false);
  m_printer.setPageLayout(ReportPageLayout());

  m_labelView = new QLabel(this);
  m_labelView->setObjectName(u"LabelView"_qs);
  m_labelView->setWordWrap(true);
  QFont viewFont = m_labelView->font();
  viewFont.setBold(true);
  m_labelView->setFont(viewFont);
  m_labelStatus = new QLabel(this);
  m_labelStatus->setObjectName(u"LabelStatus"_qs);

  m_butPrint = MakeButton(this, u"ButPrint"_qs, u"Печать"_qs);
  m_butPageSetup = MakeButton(this, u"ButPageSetup"_qs, u"Параметры страницы"_qs);
  m_butPreview = MakeButton(this, u"ButPreview"_qs, u"Предварительный просмотр"_qs);
  m_butSavePdf = MakeButton(this, u"ButSavePdf"_qs, u"Сохранить в PDF…"_qs);
  m_butSaveCsv = MakeButton(this, u"ButSaveCsv"_qs, u"Сохранить в CSV…"_qs);
  m_butClose = MakeButton(this, u"ButClose"_qs, u"Закрыть"_qs);

  auto* buttons = new QGridLayout;
  buttons->addWidget(m_butPrint, 0, 0);
  buttons->addWidget(m_butPageSetup, 0, 1);
  buttons->addWidget(m_butPreview, 0, 2);
  buttons->addWidget(m_butSavePdf, 1, 0);
  buttons->addWidget(m_butSaveCsv, 1, 1);
  buttons->addWidget(m_butClose, 1, 2);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_labelView);
  layout->addWidget(m_labelStatus);
  layout->addSpacing(6);
  layout->addLayout(buttons);
  for (int column = 0; column < 3; ++column) buttons->setColumnStretch(column, 1);
  setMinimumWidth(660);

  connect(m_butPrint, &QPushButton::clicked, this, &TFormWebPrint::ButPrintClick);
  connect(m_butPageSetup, &QPushButton::clicked, this, &TFormWebPrint::ButPageSetupClick);
  connect(m_butPreview, &QPushButton::clicked, this, &TFormWebPrint::ButPreviewClick);
  connect(m_butSavePdf, &QPushButton::clicked, this, &TFormWebPrint::ButSavePdfClick);
  connect(m_butSaveCsv, &QPushButton::clicked, this, &TFormWebPrint::ButSaveCsvClick);
  connect(m_butClose, &QPushButton::clicked, this, &QWidget::close);

  m_followTimer.setInterval(kFollowIntervalMs);
  connect(&m_followTimer, &QTimer::timeout, this, &TFormWebPrint::ActiveViewChanged);
  ActiveViewChanged();
}

void TFormWebPrint::ActiveViewChanged() {
  QWidget* active = m_activeView ? m_activeView() : nullptr;
  QWidget* printable = dynamic_cast<TPrintableView*>(active) != nullptr ? active : nullptr;
  if (printable != m_view) {
    disconnect(m_viewGone);
    m_view = printable;
    if (printable != nullptr)
      m_viewGone = connect(printable, &QObject::destroyed, this, [this] { ViewDestroyed(); });
  }
  UpdateControls();
}

void TFormWebPrint::ViewDestroyed() {
  // The widget is half destroyed now: forget it without looking at it, and
  // ask the main window again once it has settled.
  m_view = nullptr;
  disconnect(m_viewGone);
  UpdateControls();
  QMetaObject::invokeMethod(this, &TFormWebPrint::ActiveViewChanged, Qt::QueuedConnection);
}

void TFormWebPrint::showEvent(QShowEvent* event) {
  ActiveViewChanged();
  m_followTimer.start();
  QDialog::showEvent(event);
}

void TFormWebPrint::hideEvent(QHideEvent* event) {
  m_followTimer.stop();
  QDialog::hideEvent(event);
}

TPrintableView* TFormWebPrint::CurrentView() const {
  return dynamic_cast<TPrintableView*>(m_view.data());
}

void TFormWebPrint::UpdateControls() {
  const TPrintableView* view = CurrentView();
  QString text = kNoView;
  if (view != nullptr) {
    const QStringList heading = view->PrintHeading();
    text = heading.isEmpty() || heading.first().isEmpty() ? m_view->windowTitle() : heading.first();
  }
  m_labelView->setText(text);
  m_labelStatus->setText(m_exporting ? kSaving : QString());
  const bool enabled = view != nullptr && !m_exporting;
  for (QPushButton* button : {m_butPrint, m_butPageSetup, m_butPreview, m_butSavePdf, m_butSaveCsv})
    button->setEnabled(enabled);
}

ReportPageInfo TFormWebPrint::PageInfo() const {
  ReportPageInfo info;
  if (m_clock) info.PrintedAt = m_clock();
  return info;
}

void TFormWebPrint::Message(QMessageBox::Icon icon, const QString& text) {
  m_dialogs.ShowMessage(this, icon, kCaption, text);
}

void TFormWebPrint::ButPrintClick() {
  if (CurrentView() == nullptr) return;
  if (!m_dialogs.ExecPrintDialog(m_printer, this)) return;
  // The dialog ran an event loop: the view may have gone meanwhile.
  const TPrintableView* view = CurrentView();
  if (view == nullptr) {
    Message(QMessageBox::Warning, u"Окно для печати закрыто: ничего не напечатано."_qs);
    return;
  }
  if (PrinterMissing(m_printer) || !PrintReport(m_printer, *view, PageInfo())) {
    const QString name = m_printer.printerName();
    Message(
        QMessageBox::Warning,
        name.isEmpty()
            ? u"Печать не выполнена: принтер не выбран или недоступен. Выберите принтер в окне печати."_qs
            : u"Печать не выполнена: принтер «%1» недоступен. Выберите другой принтер в окне печати."_qs.arg(
                  name));
  }
}

void TFormWebPrint::ButPageSetupClick() {
  m_dialogs.ExecPageSetup(m_printer, this);
}

void TFormWebPrint::ButPreviewClick() {
  if (CurrentView() == nullptr) return;
  // The preview repaints on every zoom or page change: it keeps to the view
  // it was opened for, and draws an empty page once that view is gone.
  const QPointer<QWidget> pinned = m_view;
  const ReportPageInfo info = PageInfo();
  m_dialogs.ExecPreview(m_printer, this, [pinned, info](QPrinter* printer) {
    const auto* view = dynamic_cast<const TPrintableView*>(pinned.data());
    if (view != nullptr && printer != nullptr) PrintReport(*printer, *view, info);
  });
}

QString TFormWebPrint::ChooseSavePath(const QString& caption, const QString& filter, const QString& suffix) {
  const TPrintableView* view = CurrentView();
  if (view == nullptr) return QString();
  const QString suggested = QDir(m_lastFolder).filePath(view->ExportFileStem() + u'.' + suffix);
  const QString path = m_dialogs.ChooseSavePath(this, caption, suggested, filter, suffix);
  if (!path.isEmpty()) m_lastFolder = QFileInfo(path).absolutePath();
  return path;
}

void TFormWebPrint::ButSavePdfClick() {
  const QPointer<QWidget> pinned = m_view;
  const QString path = ChooseSavePath(u"Сохранить в PDF"_qs, u"Документы PDF (*.pdf)"_qs, u"pdf"_qs);
  if (path.isEmpty()) return;
  const auto* view = dynamic_cast<const TPrintableView*>(pinned.data());
  if (view == nullptr) {
    Message(QMessageBox::Warning, u"Окно для печати закрыто: файл не сохранён."_qs);
    return;
  }
  QString error;
  if (WritePdf(path, *view, PageInfo(), &error))
    Message(QMessageBox::Information, u"Файл сохранён: %1"_qs.arg(QDir::toNativeSeparators(path)));
  else
    Message(QMessageBox::Warning, error);
}

void TFormWebPrint::ButSaveCsvClick() {
  const QPointer<QWidget> pinned = m_view;
  const QString path = ChooseSavePath(u"Сохранить в CSV"_qs, u"Таблицы CSV (*.csv)"_qs, u"csv"_qs);
  if (path.isEmpty()) return;
  auto* view = dynamic_cast<TPrintableView*>(pinned.data());
  if (view == nullptr) {
    Message(QMessageBox::Warning, u"Окно для печати закрыто: файл не сохранён."_qs);
    return;
  }
  // A view destroyed before it reports may never report: the export ends
  // then, so that the window never stays busy for good.
  const int token = ++m_exportToken;
  m_exporting = true;
  QObject* exported = pinned.data();
  m_exportViewGone = connect(exported, &QObject::destroyed, this, [this, token, path, exported] {
    // Half destroyed: compared, never looked at.
    if (m_view == exported) m_view = nullptr;
    FinishCsvExport(token, path, false,
                    u"Сохранение в файл %1 прервано: окно закрыто."_qs.arg(QDir::toNativeSeparators(path)));
  });
  UpdateControls();
  view->ExportCsv(path, [self = QPointer<TFormWebPrint>(this), token, path](bool ok, const QString& error) {
    if (self) self->FinishCsvExport(token, path, ok, error);
  });
}

void TFormWebPrint::FinishCsvExport(int token, const QString& path, bool ok, const QString& error) {
  if (!m_exporting || token != m_exportToken) return;
  m_exporting = false;
  disconnect(m_exportViewGone);
  UpdateControls();
  // "done" may run deep inside the view's code; a modal message there would
  // let the view be destroyed under its own feet, so it waits for the loop.
  const QMessageBox::Icon icon = ok ? QMessageBox::Information : QMessageBox::Warning;
  const QString text = ok ? u"Файл сохранён: %1"_qs.arg(QDir::toNativeSeparators(path))
                          : (error.isEmpty() ? u"Файл %1 не сохранён."_qs.arg(path) : error);
  QMetaObject::invokeMethod(
      this, [this, icon, text] { Message(icon, text); }, Qt::QueuedConnection);
}
