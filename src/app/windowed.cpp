#include "app/windowed.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QMessageBox>
#include <QSaveFile>
#include <QScreen>
#include <cstdio>

#include "app/commandline.h"
#include "app/terminationsignal.h"
#include "console/consolecontroller.h"
#include "ui/displays/formmainmenu.h"
#include "ui/elements/outfield.h"
#include "ui/mainwindow/formmain.h"
#include "ui/mainwindow/messageboxnotifier.h"
#include "ui/mainwindow/platform.h"
#include "ui/mainwindow/singleinstance.h"
#include "ui/mnemo/formmnemo.h"

namespace {

// A stop signal while a modal dialog is open must not wait for the operator:
// the dialogs are cancelled first, then the main window closes.
void CloseForSignal(QWidget& form) {
  for (int guard = 0; guard < 16; ++guard) {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) break;
    modal->close();
  }
  form.close();
}

// Says once on stderr when the main menu has first been painted: the end of
// the start-up as the operator sees it (the start-up benchmark waits for it).
class FirstPaintReporter : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      watched->removeEventFilter(this);
      std::fputs("flotation-console: main menu painted\n", stderr);
      std::fflush(stderr);
    }
    return false;
  }
};

// What the diagram shows, for a service engineer who cannot see the screen
// (and for the tests of the whole program): LOG/view.txt, UTF-8, one line per
// value field, name and text separated by a tab, after the active view.
void WriteViewDump(const TFormMain& form, const QString& appDir) {
  const QString path = QDir(appDir).filePath(QStringLiteral("LOG/view.txt"));
  QDir().mkpath(QFileInfo(path).path());
  QString text;
  const QWidget* active = form.ActiveView();
  text += u"ActiveView\t"_qs + (active != nullptr ? active->objectName() : QString()) + u'\n';
  if (const TFormMnemo* mnemo = form.FormMnemo()) {
    for (const TOutField* field : mnemo->findChildren<TOutField*>()) {
      text += mnemo->objectName() + u'.' + field->objectName() + u'\t' + field->Caption() +
              (field->isVisibleTo(mnemo) ? QString() : u"\t(hidden)"_qs) + u'\n';
    }
  }
  QSaveFile file(path);
  if (file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0 && file.commit()) {
    std::fprintf(stderr, "flotation-console: view written to %s\n", qPrintable(path));
  } else {
    std::fprintf(stderr, "flotation-console: cannot write %s\n", qPrintable(path));
  }
  std::fflush(stderr);
}

}  // namespace

int RunWindowed(int& argc, char** argv, const QString& homeDir, bool emulate) {
  QApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("flotation-console"));
  // The application's title, which desktops show in their task bars; on X11
  // Qt also appends it to the main window's caption.
  QGuiApplication::setApplicationDisplayName(u"Пульт управления флотацией Dravo-ФМ"_qs);
  QGuiApplication::setDesktopFileName(QStringLiteral("flotation-console"));
  InstallRussianTranslations(app);

  const QString appDir =
      homeDir.isEmpty() ? DefaultHomeDir() : QDir(homeDir).absolutePath();
  if (!QDir().mkpath(appDir) || !QDir::setCurrent(appDir)) {
    std::fprintf(stderr, "flotation-console: cannot use the folder %s\n", qPrintable(appDir));
    return 1;
  }

  const QString exeName = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
  if (CountProcesses(exeName) >= 2) {
    std::fputs("flotation-console: another instance is running\n", stderr);
    std::fflush(stderr);
    QMessageBox::warning(nullptr, AlreadyRunningCaption(), AlreadyRunningText());
    return 0;
  }

  TConsoleController controller(appDir);
  controller.Open(emulate);
  // The warning windows say it to the operator; this is for a service log.
  for (const StartupProblem& problem : controller.StartupProblems())
    std::fprintf(stderr, "flotation-console: warning: %s\n", qPrintable(problem.ServiceText));
  TFormMain form(controller);
  MessageBoxNotifier notifier(&form);
  SetNotifier(&notifier);

  FirstPaintReporter firstPaint;
  if (QWidget* menu = form.FormMainMenu()) menu->installEventFilter(&firstPaint);

  TerminationSignal termination(nullptr, true);
  QObject::connect(&termination, &TerminationSignal::Received, &form, [&form] { CloseForSignal(form); });
  QObject::connect(&termination, &TerminationSignal::ViewDumpRequested, &form,
                   [&form, appDir] { WriteViewDump(form, appDir); });

  // A bare X server has no window manager to maximize the window: it gets
  // the screen's area beforehand, which a window manager then overrides.
  form.setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
  form.showMaximized();
  controller.Start();
  std::fprintf(stderr, "flotation-console: running windowed in %s\n", qPrintable(appDir));
  std::fflush(stderr);
  QApplication::exec();

  form.close();  // when the loop ended otherwise; a second close does nothing
  SetNotifier(nullptr);
  return form.Saved() ? 0 : 1;
}
