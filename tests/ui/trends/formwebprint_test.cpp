#include "ui/trends/formwebprint.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QPageSize>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "printfixtures.h"
#include "support/files.h"
#include "support/waitfor.h"

namespace {

const QString kNoView = u"Нет окна для печати: откройте таблицу или графики"_qs;
const QStringList kViewButtons{u"ButPrint"_qs, u"ButPageSetup"_qs, u"ButPreview"_qs, u"ButSavePdf"_qs,
                               u"ButSaveCsv"_qs};

struct Shown {
  QMessageBox::Icon icon;
  QString title;
  QString text;
};

struct SaveAsked {
  QString suggestedPath;
  QString suffix;
};

// The print window over a main window whose active view is m_active; every
// dialog is answered by the test and every message recorded.
class FormWebPrintTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.isValid());
    m_view = std::make_unique<FakePrintableView>();
    m_active = m_view.get();
    PrintDialogs dialogs;
    dialogs.ChooseSavePath = [this](QWidget*, const QString&, const QString& suggested, const QString&,
                                    const QString& suffix) {
      m_asked.push_back({suggested, suffix});
      return m_answerPath;
    };
    dialogs.ShowMessage = [this](QWidget*, QMessageBox::Icon icon, const QString& title,
                                 const QString& text) {
      m_messages.push_back({icon, title, text});
    };
    dialogs.ExecPrintDialog = [this](QPrinter& printer, QWidget*) { return m_printDialog(printer); };
    dialogs.ExecPageSetup = [this](QPrinter& printer, QWidget*) { return m_pageSetup(printer); };
    dialogs.ExecPreview = [this](QPrinter& printer, QWidget*, const std::function<void(QPrinter*)>& paint) {
      m_previewPaint(printer, paint);
    };
    m_form = std::make_unique<TFormWebPrint>([this]() -> QWidget* { return m_active; }, nullptr, dialogs,
                                             [] { return QDateTime(QDate(2026, 12, 10), QTime(14, 3, 7)); });
  }

  void TearDown() override { m_form.reset(); }

  QPushButton* Button(const QString& name) const { return m_form->findChild<QPushButton*>(name); }
  QString LabelText(const QString& name = u"LabelView"_qs) const {
    auto* label = m_form->findChild<QLabel*>(name);
    return label != nullptr ? label->text() : u"<no label>"_qs;
  }
  // True when the buttons that need a view are all "enabled" and the close button is enabled.
  bool ViewButtonsAre(bool enabled) const {
    for (const QString& name : kViewButtons)
      if (Button(name) == nullptr || Button(name)->isEnabled() != enabled) return false;
    return Button(u"ButClose"_qs) != nullptr && Button(u"ButClose"_qs)->isEnabled();
  }
  void Click(const QString& name) {
    QPushButton* button = Button(name);
    ASSERT_NE(button, nullptr) << name.toStdString();
    ASSERT_TRUE(button->isEnabled()) << name.toStdString();
    button->click();
  }
  QString Path(const QString& name) const { return m_dir.filePath(name); }

  QTemporaryDir m_dir;
  std::unique_ptr<FakePrintableView> m_view;
  QWidget* m_active = nullptr;
  std::unique_ptr<TFormWebPrint> m_form;

  QString m_answerPath;
  std::vector<SaveAsked> m_asked;
  std::vector<Shown> m_messages;
  std::function<bool(QPrinter&)> m_printDialog = [](QPrinter&) { return false; };
  std::function<bool(QPrinter&)> m_pageSetup = [](QPrinter&) { return false; };
  std::function<void(QPrinter&, const std::function<void(QPrinter*)>&)> m_previewPaint;
};

TEST_F(FormWebPrintTest, NamesCaptionAndButtonTexts) {
  EXPECT_EQ(m_form->objectName(), u"FormWebPrint"_qs);
  EXPECT_EQ(m_form->windowTitle(), u"Печать графиков работы"_qs);
  EXPECT_FALSE(m_form->isModal());
  const std::pair<QString, QString> buttons[] = {
      {u"ButPrint"_qs, u"Печать"_qs},
      {u"ButPageSetup"_qs, u"Параметры страницы"_qs},
      {u"ButPreview"_qs, u"Предварительный просмотр"_qs},
      {u"ButClose"_qs, u"Закрыть"_qs},
      {u"ButSavePdf"_qs, u"Сохранить в PDF…"_qs},
      {u"ButSaveCsv"_qs, u"Сохранить в CSV…"_qs},
  };
  for (const auto& [name, text] : buttons) {
    ASSERT_NE(Button(name), nullptr) << name.toStdString();
    EXPECT_EQ(Button(name)->text(), text);
  }
  const QPageLayout layout = m_form->Printer().pageLayout();
  EXPECT_EQ(layout.orientation(), QPageLayout::Landscape);
  EXPECT_EQ(layout.pageSize().id(), QPageSize::A4);
  EXPECT_EQ(m_form->LastFolder(), QDir::homePath());
}

TEST_F(FormWebPrintTest, FollowsTheActiveView) {
  // A printable view at construction.
  EXPECT_EQ(LabelText(), u"Сводная таблица за 10.12.2026"_qs);
  EXPECT_TRUE(ViewButtonsAre(true));

  // A view that cannot be printed: only "Закрыть" stays.
  QWidget plain;
  m_active = &plain;
  m_form->ActiveViewChanged();
  EXPECT_EQ(LabelText(), kNoView);
  EXPECT_TRUE(ViewButtonsAre(false));

  // No view at all, then back to the printable one, found by the window itself while shown.
  m_active = nullptr;
  m_form->ActiveViewChanged();
  EXPECT_EQ(LabelText(), kNoView);
  m_form->show();
  EXPECT_EQ(LabelText(), kNoView);
  m_view->m_heading[0] = u"График расхода флокулянта"_qs;
  m_active = m_view.get();
  ASSERT_TRUE(WaitFor([&] { return LabelText() == u"График расхода флокулянта"_qs; }));
  EXPECT_TRUE(ViewButtonsAre(true));

  // The view closes for good: the window lets go of it at once.
  m_active = nullptr;
  m_view.reset();
  EXPECT_EQ(LabelText(), kNoView);
  EXPECT_TRUE(ViewButtonsAre(false));
  Button(u"ButClose"_qs)->click();
  EXPECT_FALSE(m_form->isVisible());
}

TEST_F(FormWebPrintTest, SavePdf_WritesTheFileWhereTheOperatorChoseAndSaysWhere) {
  m_answerPath = Path(u"report.pdf"_qs);
  Click(u"ButSavePdf"_qs);
  ASSERT_EQ(m_asked.size(), 1u);
  EXPECT_EQ(m_asked[0].suggestedPath, QDir(QDir::homePath()).filePath(u"svod-2026-12-10.pdf"_qs));
  EXPECT_EQ(m_asked[0].suffix, u"pdf"_qs);
  ASSERT_TRUE(ReadFileBytes(m_answerPath).startsWith("%PDF"));
  EXPECT_TRUE(PdfText(m_answerPath).contains(u"Напечатано 10.12.2026 в 14:03:07"_qs));
  ASSERT_EQ(m_messages.size(), 1u);
  EXPECT_EQ(m_messages[0].icon, QMessageBox::Information);
  EXPECT_EQ(m_messages[0].title, u"Печать графиков работы"_qs);
  EXPECT_TRUE(m_messages[0].text.contains(QDir::toNativeSeparators(m_answerPath)));

  // The next dialog starts in that folder; a cancelled one does nothing.
  m_answerPath.clear();
  Click(u"ButSaveCsv"_qs);
  ASSERT_EQ(m_asked.size(), 2u);
  EXPECT_EQ(m_asked[1].suggestedPath, Path(u"svod-2026-12-10.csv"_qs));
  EXPECT_TRUE(m_view->m_exportPaths.empty());
  EXPECT_EQ(m_messages.size(), 1u);
  EXPECT_TRUE(ViewButtonsAre(true));
}

TEST_F(FormWebPrintTest, SavePdf_UnwritablePath_ShowsTheReason) {
  ASSERT_TRUE(WriteFileBytes(Path(u"plain-file"_qs), "x"));
  m_answerPath = Path(u"plain-file/report.pdf"_qs);
  Click(u"ButSavePdf"_qs);
  ASSERT_EQ(m_messages.size(), 1u);
  EXPECT_EQ(m_messages[0].icon, QMessageBox::Warning);
  EXPECT_TRUE(m_messages[0].text.startsWith(u"Не удалось сохранить файл "_qs))
      << m_messages[0].text.toStdString();
}

TEST_F(FormWebPrintTest, SaveCsv_BusyUntilTheViewReportsThenTellsTheOutcome) {
  struct Case {
    bool ok;
    QString error;
    QMessageBox::Icon icon;
    QString expectedText;
  };
  const QString path = Path(u"svod.csv"_qs);
  const Case cases[] = {
      {true, QString(), QMessageBox::Information, u"Файл сохранён: "_qs + QDir::toNativeSeparators(path)},
      {false, u"Не удалось прочитать данные."_qs, QMessageBox::Warning, u"Не удалось прочитать данные."_qs},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ok);
    m_messages.clear();
    m_answerPath = path;
    Click(u"ButSaveCsv"_qs);
    ASSERT_EQ(m_view->m_exportPaths.back(), path);
    EXPECT_TRUE(m_form->Exporting());
    EXPECT_TRUE(ViewButtonsAre(false));
    EXPECT_EQ(LabelText(u"LabelStatus"_qs), u"Сохранение…"_qs);
    // Still busy after the follow timer looked at the view again.
    m_form->ActiveViewChanged();
    EXPECT_TRUE(ViewButtonsAre(false));

    auto done = std::move(m_view->m_pendingDone);
    done(c.ok, c.error);
    EXPECT_FALSE(m_form->Exporting());
    EXPECT_TRUE(ViewButtonsAre(true));
    EXPECT_TRUE(LabelText(u"LabelStatus"_qs).isEmpty());
    // The message waits for the event loop, out of the view's own code.
    EXPECT_TRUE(m_messages.empty());
    ASSERT_TRUE(WaitFor([&] { return !m_messages.empty(); }));
    EXPECT_EQ(m_messages[0].icon, c.icon);
    EXPECT_EQ(m_messages[0].text, c.expectedText);
    // A second "done" is not believed.
    done(!c.ok, u"again"_qs);
    QCoreApplication::processEvents();
    EXPECT_EQ(m_messages.size(), 1u);
  }
}

TEST_F(FormWebPrintTest, SaveCsv_ViewDestroyedBeforeItReports_EndsTheExportSafely) {
  m_answerPath = Path(u"svod.csv"_qs);
  Click(u"ButSaveCsv"_qs);
  ASSERT_TRUE(m_form->Exporting());
  auto done = std::move(m_view->m_pendingDone);
  m_active = nullptr;
  m_view.reset();
  EXPECT_FALSE(m_form->Exporting());
  EXPECT_EQ(LabelText(), kNoView);
  EXPECT_TRUE(ViewButtonsAre(false));
  ASSERT_TRUE(WaitFor([&] { return !m_messages.empty(); }));
  EXPECT_EQ(m_messages[0].icon, QMessageBox::Warning);
  EXPECT_TRUE(m_messages[0].text.contains(u"прервано"_qs)) << m_messages[0].text.toStdString();
  // A late report from the vanished view changes nothing, nor does one after the window is gone.
  done(true, QString());
  QCoreApplication::processEvents();
  EXPECT_EQ(m_messages.size(), 1u);
  m_form.reset();
  done(false, u"late"_qs);
  QCoreApplication::processEvents();
  EXPECT_EQ(m_messages.size(), 1u);
}

TEST_F(FormWebPrintTest, Print_InvalidPrinter_SaysSoAndPrintsNothing) {
  int asked = 0;
  m_printDialog = [&](QPrinter& printer) {
    ++asked;
    // What Qt leaves when no printer is installed: PDF output with no file.
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString());
    return true;
  };
  Click(u"ButPrint"_qs);
  EXPECT_EQ(asked, 1);
  ASSERT_EQ(m_messages.size(), 1u);
  EXPECT_EQ(m_messages[0].icon, QMessageBox::Warning);
  EXPECT_TRUE(m_messages[0].text.startsWith(u"Печать не выполнена"_qs)) << m_messages[0].text.toStdString();

  // A cancelled print dialog is no failure.
  m_printDialog = [](QPrinter&) { return false; };
  Click(u"ButPrint"_qs);
  EXPECT_EQ(m_messages.size(), 1u);
}

TEST_F(FormWebPrintTest, PageSetupHoldsForTheNextPrint) {
  m_pageSetup = [](QPrinter& printer) {
    printer.setPageOrientation(QPageLayout::Portrait);
    return true;
  };
  Click(u"ButPageSetup"_qs);
  const QString path = Path(u"printed.pdf"_qs);
  QPageLayout::Orientation seen = QPageLayout::Landscape;
  m_printDialog = [&](QPrinter& printer) {
    seen = printer.pageLayout().orientation();
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    return true;
  };
  Click(u"ButPrint"_qs);
  EXPECT_EQ(seen, QPageLayout::Portrait);
  EXPECT_TRUE(m_messages.empty()) << m_messages[0].text.toStdString();
  const QSizeF size = PdfPageSize(path);
  EXPECT_NEAR(size.width(), 595.28, 1.0);
  EXPECT_NEAR(size.height(), 841.89, 1.0);
  // A printer's page is lines and text too, not a picture of the widgets.
  EXPECT_EQ(PdfImageCount(path), 0);
  EXPECT_TRUE(PdfText(path).contains(u"Сводная таблица за 10.12.2026"_qs));
}

TEST_F(FormWebPrintTest, Preview_PaintsThePageOfTheView) {
  const QString path = Path(u"preview.pdf"_qs);
  int paints = 0;
  m_previewPaint = [&](QPrinter& printer, const std::function<void(QPrinter*)>& paint) {
    EXPECT_EQ(&printer, &m_form->Printer());
    // A preview asks again on every zoom; here both times into a file.
    for (int i = 0; i < 2; ++i) {
      QPrinter file(QPrinter::HighResolution);
      file.setPageLayout(printer.pageLayout());
      file.setOutputFormat(QPrinter::PdfFormat);
      file.setOutputFileName(path);
      paint(&file);
      ++paints;
    }
  };
  Click(u"ButPreview"_qs);
  EXPECT_EQ(paints, 2);
  const QString text = PdfText(path);
  EXPECT_TRUE(text.contains(u"Сводная таблица за 10.12.2026"_qs)) << text.toStdString();
  EXPECT_TRUE(text.contains(u"31415"_qs));
  EXPECT_EQ(PdfImageCount(path), 0);
  EXPECT_TRUE(m_messages.empty());
}

}  // namespace

namespace {

// Qt's own preview dialog, on the window's own printer as it stands on a
// computer without a printer (PDF output and no file): it must show the page.
TEST(FormWebPrintPreview, TheStandardPreviewShowsOnePageWithoutAnyPrinterInstalled) {
  FakePrintableView view;
  TFormWebPrint form([&]() -> QWidget* { return &view; });
  form.ActiveViewChanged();
  int pages = -1;
  bool found = false;
  QElapsedTimer waited;
  waited.start();
  std::function<void()> look = [&] {
    for (QWidget* top : QApplication::topLevelWidgets()) {
      auto* dialog = qobject_cast<QPrintPreviewDialog*>(top);
      if (dialog == nullptr || !dialog->isVisible()) continue;
      found = true;
      auto* preview = dialog->findChild<QPrintPreviewWidget*>();
      pages = preview != nullptr ? preview->pageCount() : -1;
      if (pages > 0 || waited.elapsed() > 3000) {
        dialog->reject();
        return;
      }
    }
    QTimer::singleShot(20, look);
  };
  QTimer::singleShot(0, look);
  auto* button = form.findChild<QPushButton*>(u"ButPreview"_qs);
  ASSERT_NE(button, nullptr);
  ASSERT_TRUE(button->isEnabled());
  button->click();
  EXPECT_TRUE(found);
  EXPECT_EQ(pages, 1);
}

}  // namespace
