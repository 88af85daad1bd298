// A window of 60 value fields, refreshed the way the diagram and the summary
// table refresh theirs: every value pushed on every tick. Measures the user
// interface thread's CPU per tick and counts paint events.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QWidget>
#include <QWindow>
#include <ctime>
#include <memory>
#include <vector>

#include "ui/elements/outfield.h"

namespace {

constexpr int kFields = 60;
constexpr int kColumns = 6;
constexpr double kTicksPerSecond = 2;

double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

class PaintCounter : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return QObject::eventFilter(watched, event);
  }
};

// The summary table's cells: 60 navy, bold value fields on cream and yellow.
class FieldWindow {
 public:
  FieldWindow() {
    m_window.resize(1012, 723);
    QPalette palette = m_window.palette();
    palette.setColor(QPalette::Window, Qt::black);
    m_window.setPalette(palette);
    m_window.setAutoFillBackground(true);
    for (int i = 0; i < kFields; ++i) {
      auto* field = new TOutField(&m_window);
      field->setObjectName(QStringLiteral("OutField%1").arg(i));
      field->setGeometry(20 + (i % kColumns) * 160, 20 + (i / kColumns) * 40, 150, 28);
      field->SetOutFormat(QStringLiteral("# ### ##0.0 ;-# ### ##0.0 ;  ;"));
      field->SetBrushColor(i % kColumns == kColumns - 1 ? clYellow : clCream);
      field->SetFont(ElementFont(QStringLiteral("Times New Roman"), 16, clNavy, true));
      field->installEventFilter(&m_counter);
      m_fields.push_back(field);
    }
    m_window.show();
    QElapsedTimer waited;
    waited.start();
    while (!(m_window.windowHandle() != nullptr && m_window.windowHandle()->isExposed()) &&
           waited.elapsed() < 5000)
      QApplication::processEvents();
    Settle();
  }

  // Pushes one value into every field.
  void Push(double base) {
    for (int i = 0; i < kFields; ++i) m_fields[static_cast<size_t>(i)]->SetOutValue(base + i * 17.3);
  }

  // Delivers the pending update requests, so the paints a push caused happen now.
  void Settle() {
    QApplication::sendPostedEvents();
    QApplication::processEvents();
  }

  int Paints() const { return m_counter.paints; }

 private:
  QWidget m_window;
  PaintCounter m_counter;
  std::vector<TOutField*> m_fields;
};

FieldWindow& Window() {
  static FieldWindow window;
  return window;
}

void BM_PushUnchangedValues(benchmark::State& state) {
  FieldWindow& window = Window();
  window.Push(1000);
  window.Settle();
  const int paintsBefore = window.Paints();
  for (auto _ : state) {
    window.Push(1000);
    window.Settle();
  }
  state.counters["paints_per_tick"] =
      benchmark::Counter(window.Paints() - paintsBefore, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_PushUnchangedValues);

// Every value changes on every tick (twice a second on the plant).
void BM_TickWithChangingValues(benchmark::State& state) {
  FieldWindow& window = Window();
  const int paintsBefore = window.Paints();
  double base = 0;
  double cpu = 0;
  for (auto _ : state) {
    const double start = ThreadCpuSeconds();
    base += 0.1;
    window.Push(base);
    window.Settle();
    cpu += ThreadCpuSeconds() - start;
  }
  const auto ticks = static_cast<double>(state.iterations());
  state.counters["paints_per_tick"] =
      benchmark::Counter(window.Paints() - paintsBefore, benchmark::Counter::kAvgIterations);
  state.counters["ui_cpu_us_per_tick"] = cpu / ticks * 1e6;
  state.counters["cpu_share_at_2Hz_pct"] = cpu / ticks * kTicksPerSecond * 100;
}
BENCHMARK(BM_TickWithChangingValues)->Unit(benchmark::kMicrosecond);

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
