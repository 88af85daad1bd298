#pragma once

#include <QDateTime>
#include <QDialog>
#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>
#include <QPrinter>
#include <QString>
#include <QTimer>
#include <functional>

#include "ui/trends/reportprinter.h"

class QLabel;
class QPushButton;
class TPrintableView;

// The modal dialogs and message boxes of the print window. An empty member
// means the standard Qt dialog; tests answer them without a display.
struct PrintDialogs {
  // A path to save to, or empty when the operator cancelled. "suffix" is
  // added to a name typed without it.
  std::function<QString(QWidget* parent, const QString& caption, const QString& suggestedPath,
                        const QString& filter, const QString& suffix)>
      ChooseSavePath;
  std::function<void(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text)>
      ShowMessage;
  // True when the operator chose to print; the printer holds the choices.
  std::function<bool(QPrinter& printer, QWidget* parent)> ExecPrintDialog;
  // True when the operator accepted; the printer holds the new layout.
  std::function<bool(QPrinter& printer, QWidget* parent)> ExecPageSetup;
  // Shows a preview that calls "paint" whenever it needs the pages.
  std::function<void(QPrinter& printer, QWidget* parent, const std::function<void(QPrinter*)>& paint)>
      ExecPreview;
};

// The print window: prints, previews, saves as PDF or CSV whatever view is
// active in the main window, if that view is a TPrintableView. A window of
// its own beside the main window, not modal; made once at start-up and shown
// by the main window's print command.
//
// It follows the active view: on show, every kFollowIntervalMs while shown,
// and whenever ActiveViewChanged is called. It holds the view only through a
// QPointer, so a view destroyed at any time (even in the middle of a CSV
// export) is simply gone. The printer lives as long as the window, so the
// page setup and printer choices hold for the whole run.
//
// The parent (the main window) owns the window; "activeView" must stay
// callable for the window's lifetime. User-interface thread only.
class TFormWebPrint : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kFollowIntervalMs = 500;

  // The main window's active view, or nullptr.
  using ActiveViewSource = std::function<QWidget*()>;
  // The moment printed on the page; empty: the system clock.
  using Clock = std::function<QDateTime()>;

  explicit TFormWebPrint(ActiveViewSource activeView, QWidget* parent = nullptr, PrintDialogs dialogs = {},
                         Clock clock = {});

  // The printer used by print, page setup and preview.
  QPrinter& Printer() { return m_printer; }
  // The folder the save dialogs start in: the last one used, at first the
  // home folder.
  const QString& LastFolder() const { return m_lastFolder; }
  bool Exporting() const { return m_exporting; }

 public slots:
  // Looks at the main window's active view again and updates the label and
  // the buttons.
  void ActiveViewChanged();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  TPrintableView* CurrentView() const;
  void UpdateControls();
  ReportPageInfo PageInfo() const;
  void Message(QMessageBox::Icon icon, const QString& text);
  // A save path for the current view's file stem with "suffix", or empty.
  QString ChooseSavePath(const QString& caption, const QString& filter, const QString& suffix);

  void ButPrintClick();
  void ButPageSetupClick();
  void ButPreviewClick();
  void ButSavePdfClick();
  void ButSaveCsvClick();
  void ViewDestroyed();
  void FinishCsvExport(int token, const QString& path, bool ok, const QString& error);

  ActiveViewSource m_activeView;
  PrintDialogs m_dialogs;
  Clock m_clock;
  QPrinter m_printer;
  QString m_lastFolder;

  // The active view when it is printable, else null.
  QPointer<QWidget> m_view;
  bool m_exporting = false;
  // Tells a late "done" of an export from the current one.
  int m_exportToken = 0;
  QMetaObject::Connection m_exportViewGone;
  QMetaObject::Connection m_viewGone;

  QTimer m_followTimer;
  QLabel* m_labelView = nullptr;
  QLabel* m_labelStatus = nullptr;
  QPushButton* m_butPrint = nullptr;
  QPushButton* m_butPageSetup = nullptr;
  QPushButton* m_butPreview = nullptr;
  QPushButton* m_butSavePdf = nullptr;
  QPushButton* m_butSaveCsv = nullptr;
  QPushButton* m_butClose = nullptr;
};
