// The main window's costs in one process, on a real display (Xvfb):
//   - one TimerGetLog tick with nothing to drain (median and 99th percentile
//     of many ticks: snapshot, clock, action states, drain check);
//   - the resident memory after a run of --seconds (default 60) with every
//     window of the frame created: the main window with the main menu, the
//     About window, the shared warning window and 20 separate ones.
// Usage: ui_mainwindow_bench [--seconds N] [--ticks N]

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "common/inifile.h"
#include "console/consolecontroller.h"
#include "storage/eventlog.h"
#include "ui/displays/formabout.h"
#include "ui/mainwindow/formmain.h"

namespace {

long ResidentKb() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
  }
  return -1;
}

double Percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  return values[static_cast<size_t>(fraction * static_cast<double>(values.size() - 1))];
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  int seconds = 60;
  int ticks = 5000;
  const QStringList arguments = QCoreApplication::arguments();
  for (int i = 1; i + 1 < arguments.size(); ++i) {
    if (arguments[i] == u"--seconds") seconds = arguments[i + 1].toInt();
    if (arguments[i] == u"--ticks") ticks = std::max(10, arguments[i + 1].toInt());
  }

  QTemporaryDir home;
  {
    IniFile ini(home.filePath(u"flotation-console.INI"_qs));
    IniUpdate update(ini);
    ini.WriteString(u"MySQL"_qs, u"Host"_qs, u"127.0.0.1:1"_qs);
    ini.WriteInteger(u"System"_qs, u"LanServer"_qs, 0);
    update.Commit();
  }
  const long startKb = ResidentKb();
  TConsoleController controller(home.path());
  controller.Open(true);
  TFormMain form(controller);
  form.showMaximized();
  controller.Start();
  QEventLoop started;
  QObject::connect(&controller, &TConsoleController::StartedUp, &started, &QEventLoop::quit);
  started.exec();

  TFormAbout about(&form);
  about.show();
  AddLogMessage(u"Общее окно предупреждений"_qs, kLogFlagShowWindow);
  for (int i = 0; i < 20; ++i) {
    AddLogMessage(u"Отдельное окно №"_qs + QString::number(i + 1), kLogFlagShowWindow | kLogFlagOwnWindow);
  }
  // Let the timer drain them (10 a tick) and everything paint.
  QElapsedTimer settle;
  settle.start();
  while (EventFIFO().GetCount() > 0 || settle.elapsed() < 3000) app.processEvents(QEventLoop::AllEvents, 50);

  std::vector<double> tickUs;
  tickUs.reserve(static_cast<size_t>(ticks));
  for (int i = 0; i < ticks; ++i) {
    QElapsedTimer timer;
    timer.start();
    controller.Tick();
    tickUs.push_back(static_cast<double>(timer.nsecsElapsed()) / 1000.0);
    if (i % 100 == 0) app.processEvents();
  }
  std::printf("TimerGetLog tick, nothing to drain: median %.1f us, p99 %.1f us (%d ticks)\n",
              Percentile(tickUs, 0.5), Percentile(tickUs, 0.99), ticks);

  QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
  QApplication::exec();
  std::printf("resident memory: %ld kB at start, %ld kB after %d s with all windows created\n", startKb,
              ResidentKb(), seconds);
  about.close();
  form.close();
  return 0;
}
