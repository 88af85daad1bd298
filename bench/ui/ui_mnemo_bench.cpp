// The plant diagram's refresh tick as the plant drives it twice a second:
// with a steady plant (nothing may repaint), with every value and mode
// changing (the repaints included), and recolouring every material group.
// Offscreen unless QT_QPA_PLATFORM says otherwise.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <array>
#include <memory>

#include "configuration/config.h"
#include "console/consolesnapshot.h"
#include "ui/mnemo/formmnemo.h"

namespace {

class PaintCounter : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return QObject::eventFilter(watched, event);
  }
};

// The 21 values a tick shows (URFK12 of the first module and ten of each section).
constexpr std::array kShownSlots = {
    Slot::URFK12[0], Slot::TRRS[0], Slot::TRRP[0], Slot::ZRRS[0], Slot::ZRRP[0], Slot::PLF[0],
    Slot::RGF[0],    Slot::RVF[0],  Slot::TRFL[0], Slot::ZRFL[0], Slot::URFK[0], Slot::TRRS[1],
    Slot::TRRP[1],   Slot::ZRRS[1], Slot::ZRRP[1], Slot::PLF[1],  Slot::RGF[1],  Slot::RVF[1],
    Slot::TRFL[1],   Slot::ZRFL[1], Slot::URFK[1]};

class Diagram {
 public:
  Diagram() {
    m_snapshot.StateFresh = true;
    MnemoSource source{
        .Snapshot = [this]() -> const ConsoleSnapshot& { return m_snapshot; },
        .Config = [this]() -> const TConfig& { return m_config; },
        .AddLogRec = [](const QString&) {},
        .Now = [] { return QDateTime(QDate(2026, 3, 5), QTime(10, 0, 0)); },
    };
    m_form = std::make_unique<TFormMnemo>(std::move(source), m_home.path(), nullptr);
    m_form->findChild<QTimer*>(QStringLiteral("TimerUpdate"))->stop();
    m_form->installEventFilter(&m_counter);
    for (QWidget* child : m_form->findChildren<QWidget*>()) child->installEventFilter(&m_counter);
    SetValues(100);
    m_form->UpdateSectionStates(true);
    m_form->show();
    QElapsedTimer waited;
    waited.start();
    while (!(m_form->windowHandle() != nullptr && m_form->windowHandle()->isExposed()) &&
           waited.elapsed() < 5000)
      QApplication::processEvents();
    Tick();
  }

  // Every shown value and every mode flag; sections keep running (RVF above MIN_RVF).
  void SetValues(float base) {
    for (size_t i = 0; i < kShownSlots.size(); ++i)
      m_snapshot.AveragedValues[static_cast<size_t>(kShownSlots[i])] = base + static_cast<float>(i) * 7.3f;
    const uint8_t on = static_cast<int>(base) % 2;
    for (ModeFlag flag : {F1AR, F2AR, F1AFL, F2AFL}) SetModeByte(m_snapshot.AveragedValues, flag, on);
    for (ModeFlag flag : {F1RR, F2RR, F1RFL, F2RFL}) SetModeByte(m_snapshot.AveragedValues, flag, 1 - on);
  }

  // One refresh and the paints it causes.
  void Tick() {
    m_form->TimerUpdateTimer();
    QApplication::sendPostedEvents();
    QApplication::processEvents();
  }

  TFormMnemo& Form() { return *m_form; }
  int Paints() const { return m_counter.paints; }

 private:
  QTemporaryDir m_home;
  TConfig m_config;
  ConsoleSnapshot m_snapshot;
  PaintCounter m_counter;
  std::unique_ptr<TFormMnemo> m_form;
};

Diagram& TheDiagram() {
  static Diagram diagram;
  return diagram;
}

void BM_TickUnchanged(benchmark::State& state) {
  Diagram& diagram = TheDiagram();
  diagram.SetValues(100);
  diagram.Tick();
  const int before = diagram.Paints();
  for (auto _ : state) diagram.Tick();
  const int paints = diagram.Paints() - before;
  state.counters["paints_per_tick"] = benchmark::Counter(paints, benchmark::Counter::kAvgIterations);
  if (paints != 0) state.SkipWithError("a steady plant repainted");
}
BENCHMARK(BM_TickUnchanged)->Unit(benchmark::kMicrosecond);

void BM_TickAllChanging(benchmark::State& state) {
  Diagram& diagram = TheDiagram();
  const int before = diagram.Paints();
  float base = 101;
  for (auto _ : state) {
    diagram.SetValues(base);
    base += 1;  // also flips every mode
    diagram.Tick();
  }
  state.counters["paints_per_tick"] =
      benchmark::Counter(diagram.Paints() - before, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_TickAllChanging)->Unit(benchmark::kMicrosecond);

// All twelve groups take a new colour, and the window repaints what changed.
void BM_SetColorByTagAllTags(benchmark::State& state) {
  Diagram& diagram = TheDiagram();
  TColor color = 0x102030;
  for (auto _ : state) {
    color ^= 0x00FFFFFF;
    for (int group = 5; group <= 10; ++group) {
      diagram.Form().SetColorByTag(group * 100, color);
      diagram.Form().SetColorByTag(group * 100 + 1, color);
    }
    QApplication::sendPostedEvents();
    QApplication::processEvents();
  }
}
BENCHMARK(BM_SetColorByTagAllTags)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
