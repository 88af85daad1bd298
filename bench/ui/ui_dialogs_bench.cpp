// The operator's and the engineer's dialogs: how long one takes from the
// command to its first paint (construction, loading from the running console,
// show, layout, paint), and what the hardware monitor's 500 ms refresh costs
// the user-interface thread. Runs a console controller on a temporary folder
// with module emulation; no workers, no database.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

#include "console/consolecontroller.h"
#include "ui/displays/formcontrolset.h"
#include "ui/displays/formemul.h"
#include "ui/displays/formhardcontrol.h"
#include "ui/settings/formsetuphard.h"
#include "ui/settings/formsetupmain.h"

namespace {

// One controller for the whole run, as the console has.
TConsoleController& Controller() {
  static QTemporaryDir home;
  static TConsoleController controller(home.path());
  static bool opened = [] {
    controller.Open(true);
    return true;
  }();
  (void)opened;
  return controller;
}

// Shows a window and waits until it has been painted once.
void ShowAndPaint(QWidget& window) {
  window.show();
  QApplication::sendPostedEvents();
  QApplication::processEvents();
  window.grab();  // the paint the operator sees, on the offscreen platform too
}

template <typename Make>
void OpenDialog(benchmark::State& state, Make make) {
  for (auto _ : state) {
    auto dialog = make();
    ShowAndPaint(*dialog);
    dialog->hide();
  }
}

void BM_OpenControlSet(benchmark::State& state) {
  OpenDialog(state, [] {
    auto form = std::make_unique<TFormControlSet>([](const QString&) {});
    form->Load(Controller().Snapshot().AveragedValues);
    return form;
  });
}
void BM_OpenHardControl(benchmark::State& state) {
  OpenDialog(state, [] { return std::make_unique<TFormHardControl>(Controller()); });
}
void BM_OpenEmul(benchmark::State& state) {
  OpenDialog(state, [] { return std::make_unique<TFormEmul>(Controller()); });
}
void BM_OpenSetupMain(benchmark::State& state) {
  OpenDialog(state, [] { return std::make_unique<TFormSetupMain>(Controller()); });
}
void BM_OpenSetupHard(benchmark::State& state) {
  OpenDialog(state, [] { return std::make_unique<TFormSetupHard>(Controller()); });
}

// The monitor's timer tick with values that change every tick, shown on its
// second page (the grids) and then on its first (the thread states).
void BM_HardControlRefresh(benchmark::State& state) {
  TFormHardControl form(Controller());
  ShowAndPaint(form);
  auto* timer = form.findChild<QTimer*>(QStringLiteral("TimerUpdate"));
  if (timer == nullptr) {
    state.SkipWithError("no TimerUpdate");
    return;
  }
  for (auto _ : state) {
    Controller().Tick();
    QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection);
    QApplication::processEvents();  // the repaints the refresh caused
  }
}

BENCHMARK(BM_OpenControlSet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenHardControl)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenEmul)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenSetupMain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenSetupHard)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HardControlRefresh)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
