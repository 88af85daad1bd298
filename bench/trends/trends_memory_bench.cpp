// What the trend windows add to the console's resident memory: the two
// flotation windows, the flocculation window and the tank-level window, made
// one after another as maximized children of one 1280 x 1024 frame as the
// console holds them (the one in front shown, those behind hidden), each filled with a whole day (1440 rows)
// from a private MariaDB and painted; then a fifth window, a third flotation window (the largest kind), on
// top. The resident set size (VmRSS) is read before the first window and after each one.
//
//   trends_memory_bench                       starts its own server (scripts/mariadb)
//   FLOT_MARIADB_DIR=DIR trends_memory_bench  uses the running server of DIR/env
//
// One measurement per process (memory a process once took is not given
// back at once); run.sh runs it several times. Offscreen unless
// QT_QPA_PLATFORM says otherwise.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "trendbenchdatabase.h"
#include "ui/trends/formflokgraph.h"
#include "ui/trends/formflotgraph.h"
#include "ui/trends/formgraphbaklevel.h"
#include "ui/trends/levelgraph.h"

namespace {

constexpr int kDeadlineMs = 20000;
constexpr double kGoalMb = 30;

double ResidentMb() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
  }
  return -1;
}

void WaitExposed(QWidget& widget) {
  QElapsedTimer waited;
  waited.start();
  while (!(widget.windowHandle() != nullptr && widget.windowHandle()->isExposed()) && waited.elapsed() < 5000)
    QApplication::processEvents();
}

// Shows a window in the frame, loads the day and waits until every graph of
// it has drawn its picture; false on a time-out.
bool ShowAndLoad(QMdiArea& frame, TTrendWindow& window) {
  window.TimerUpdate().stop();
  QMdiSubWindow* child = frame.addSubWindow(&window, Qt::FramelessWindowHint);
  child->showMaximized();
  frame.setActiveSubWindow(child);
  // As the main window shows a view: the views behind are hidden.
  for (QMdiSubWindow* other : frame.subWindowList()) {
    if (other != child) other->hide();
  }
  QApplication::processEvents();
  window.DateTimePicker1().setDate(QDateTimeFromDateTime(TrendBenchDatabase::Day()).date());
  window.ComboBox1().setCurrentIndex(2);
  QEventLoop loop;
  QObject::connect(&window, &TTrendWindow::LoadFinished, &loop, &QEventLoop::quit);
  QTimer::singleShot(kDeadlineMs, &loop, [&loop] { loop.exit(1); });
  window.Reload();
  if (window.LoadBusy() && loop.exec() != 0) return false;
  const QList<TLevelGraph*> graphs = window.findChildren<TLevelGraph*>();
  QElapsedTimer painting;
  painting.start();
  for (;;) {
    QApplication::processEvents();
    bool waiting = false;
    for (const TLevelGraph* graph : graphs) waiting = waiting || (graph->isVisible() && graph->NeedRepaint());
    if (!waiting) return true;
    if (painting.elapsed() > kDeadlineMs) return false;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  TrendBenchDatabase database;
  QString error;
  if (!database.Open(error)) {
    std::fprintf(stderr, "trends_memory_bench: %s\n", qPrintable(error));
    return 1;
  }
  QTemporaryDir home;
  TrendSource source;
  source.DatabaseConnected = [&database] { return database.Thread().Connected(); };
  source.Database = &database.Thread();
  source.AddLogMessage = [](const QString& line) { std::fprintf(stderr, "log: %s\n", qPrintable(line)); };
  source.Now = [] { return TrendBenchDatabase::Day() + 1.5; };

  QMdiArea frame;
  frame.resize(1280, 1024);
  frame.show();
  WaitExposed(frame);
  QApplication::processEvents();

  struct Kind {
    const char* Name;
    std::function<TTrendWindow*()> Make;
  };
  const QString appDir = home.path();
  const std::vector<Kind> kinds = {
      {"TFormFlotGraph, section 1 (5 graphs)", [&] { return new TFormFlotGraph(0, source, appDir); }},
      {"TFormFlotGraph, section 2 (5 graphs)", [&] { return new TFormFlotGraph(1, source, appDir); }},
      {"TFormFlokGraph (2 graphs)", [&] { return new TFormFlokGraph(source, appDir); }},
      {"TFormGraphBakLevel (1 graph)", [&] { return new TFormGraphBakLevel(source, appDir); }},
      {"TFormFlotGraph once more, section 1 (5 graphs)",
       [&] { return new TFormFlotGraph(0, source, appDir); }},
  };

  const double before = ResidentMb();
  std::printf("resident before the windows: %.1f MB\n", before);
  double previous = before;
  double console = 0;
  for (size_t i = 0; i < kinds.size(); ++i) {
    TTrendWindow* window = kinds[i].Make();  // owned by the frame from here on
    if (!ShowAndLoad(frame, *window)) {
      std::fprintf(stderr, "trends_memory_bench: %s did not load within %d ms\n", kinds[i].Name, kDeadlineMs);
      return 1;
    }
    const double now = ResidentMb();
    std::printf("+ %-48s %+6.1f MB, %6.1f MB in all\n", kinds[i].Name, now - previous, now - before);
    previous = now;
    if (i == 3) console = now - before;
  }
  const double five = previous - before;
  std::printf("the console's four trend windows add %.1f MB\n", console);
  std::printf("five trend windows add %.1f MB  %s (goal: under %.0f MB)\n", five,
              five < kGoalMb ? "PASS" : "MISS", kGoalMb);
  return 0;
}
