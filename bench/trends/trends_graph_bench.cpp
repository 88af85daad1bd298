// One level graph at 1000 x 300 with 16 series of 3000 min/max slots each,
// against QtCharts drawing the same polylines at the same size in the same
// run:
//   - a full redraw: the graph marked changed and painted, so that its
//     picture is drawn anew (RedrawCount says it was), into a pixmap the
//     way a paint does (render) and onto the shown window (repaint);
//   - the chart view painted the same two ways, with 16 series of 6000
//     points (the vertices the graph draws: each slot's min and max, in the
//     order the graph's line visits them) and with 32 series of 3000 points
//     (a min line and a max line per series);
//   - a cursor move (a new cursor time, then a paint), and a paint with
//     nothing changed (the copy of the picture alone);
//   - a refill: the same data stored again slot by slot (graph) or handed
//     over as new point lists (chart), then painted.
// Offscreen unless QT_QPA_PLATFORM says otherwise; the summary after the
// table compares the medians with the goals. FLOT_BENCH_PICTURES=DIR saves
// the pictures that were timed there as PNG files.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QElapsedTimer>
#include <QGraphicsLayout>
#include <QImage>
#include <QLineSeries>
#include <QPixmap>
#include <QValueAxis>
#include <QWindow>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "benchsummary.h"
#include "ui/trends/levelgraph.h"

namespace {

constexpr int kWidth = 1000;
constexpr int kHeight = 300;
constexpr int kSeries = TLevelGraph::kSeriesCount;
constexpr int kSlots = TLevelGraph::kSlotCount;
constexpr double kYMax = 1000;
// 3000 one-minute slots from 07:00 of an ordinary day.
constexpr TDateTime kStart = 46086.0 + 7.0 / 24.0;
constexpr TDateTime kStop = kStart + kSlots / 1440.0;
constexpr double kRedrawGoalMs = 10;
constexpr double kChartsFactorGoal = 3;
constexpr double kCursorGoalMs = 1;

// The colours the windows give their series, cycled.
constexpr std::array<TColor, 8> kColors = {clRed,    clBlue,   clGreen, clNavy,
                                           clMaroon, clPurple, clTeal,  clOlive};

struct MinMax {
  double Min;
  double Max;
};
using SeriesData = std::vector<MinMax>;

// A random walk per series with a fixed seed; every slot a range of a few
// units, as a minute of 10-second steps of a noisy flow gives.
const std::vector<SeriesData>& Data() {
  static const std::vector<SeriesData> data = [] {
    std::mt19937 random(20261210);
    std::uniform_real_distribution<double> step(-8, 8);
    std::uniform_real_distribution<double> spread(2, 25);
    std::vector<SeriesData> all(kSeries, SeriesData(kSlots));
    for (int series = 0; series < kSeries; ++series) {
      double value = 100 + 50.0 * series;
      for (MinMax& slot : all[series]) {
        value = std::clamp(value + step(random), 30.0, kYMax - 60);
        slot = {value, value + spread(random)};
      }
    }
    return all;
  }();
  return data;
}

// The vertices of the graph's line through one series: each slot's bar is
// entered at the end nearer to where the line comes from.
QList<QPointF> GraphPolyline(const SeriesData& series) {
  QList<QPointF> points;
  points.reserve(2 * kSlots);
  double previous = series[0].Max;
  for (int slot = 0; slot < kSlots; ++slot) {
    const MinMax& value = series[slot];
    const bool minFirst = std::abs(previous - value.Min) < std::abs(previous - value.Max);
    const double first = minFirst ? value.Min : value.Max;
    const double last = minFirst ? value.Max : value.Min;
    points.append({double(slot), first});
    points.append({double(slot), last});
    previous = last;
  }
  return points;
}

QList<QPointF> Line(const SeriesData& series, bool max) {
  QList<QPointF> points;
  points.reserve(kSlots);
  for (int slot = 0; slot < kSlots; ++slot)
    points.append({double(slot), max ? series[slot].Max : series[slot].Min});
  return points;
}

// Shows the window and waits until the platform has it on the screen, so
// that a repaint reaches it. The windows stay shown from then on: hiding and
// showing again between repetitions would let the platform's first exposure
// fall into the timing.
void WaitExposed(QWidget& widget) {
  if (widget.isVisible()) return;
  widget.show();
  QElapsedTimer waited;
  waited.start();
  while (!(widget.windowHandle() != nullptr && widget.windowHandle()->isExposed()) && waited.elapsed() < 5000)
    QApplication::processEvents();
  QApplication::processEvents();
}

// A graph set up as the flotation windows set theirs up, over a 50-hour
// interval so that all 3000 slots are drawn.
class Graph {
 public:
  Graph() {
    TLevelGraph& g = m_graph;
    g.resize(kWidth, kHeight);
    g.SetGraphTop(20);
    g.SetGraphLeft(50);
    g.SetGraphSubWidth(40);
    g.SetGraphSubHeight(20);
    g.SetShowBorder(true);
    g.SetBorderPen(ElementPen(clBlack, 2));
    g.SetShowCursor(true);
    g.SetMinXLabel(true);
    g.SetMaxXLabel(true);
    g.SetLabelNetPen(ElementPen(clBlack, 1, TPenStyle::psDot));
    g.SetScaleYFormat(QStringLiteral("###0"));
    g.SetXScaleFont(ElementFont(QStringLiteral("Times New Roman"), 16, clNavy, true));
    g.SetYScaleFont(ElementFont(QStringLiteral("Arial"), 13, clBlack, true));
    g.SetGraphCount(kSeries);
    for (int series = 0; series < kSeries; ++series)
      g.SetGraphPen(series, ElementPen(kColors[series % kColors.size()], 2));
    g.SetYMin(0);
    g.SetYMax(kYMax);
    g.SetYLabelStep(200);
    g.SetXLabelStep(4.0 / 24);
    g.SetSecondStep(60);
    g.SetNewIntervalAccepted(false);
    g.SetNewStartTime(kStart);
    g.SetNewStopTime(kStop);
    g.SetNewCursorTime((kStart + kStop) / 2);
    g.SetNewIntervalAccepted(true);
    Fill();
    m_picture = QPixmap(kWidth, kHeight);
  }

  // The load of a window: clear, store every slot's two values, repaint.
  void Fill() {
    m_graph.ResetData();
    m_graph.CalcRegion();
    const std::vector<SeriesData>& data = Data();
    for (int series = 0; series < kSeries; ++series) {
      for (int slot = 0; slot < kSlots; ++slot) {
        const TDateTime at = kStart + (slot + 0.5) / 1440.0;
        m_graph.AddPoint(series, at, data[series][slot].Min);
        m_graph.AddPoint(series, at, data[series][slot].Max);
      }
    }
    m_graph.UpdateChanges();
  }

  // Paints the control into a pixmap through its own paint event.
  void Render() { m_graph.render(&m_picture); }

  TLevelGraph& Control() { return m_graph; }
  const QPixmap& Picture() const { return m_picture; }

 private:
  TLevelGraph m_graph;
  QPixmap m_picture;
};

// A chart with the graph's pens, grid and scales and without a legend or
// animations: a fair picture of the same lines.
class Chart {
 public:
  explicit Chart(bool minMaxLines) : m_minMaxLines(minMaxLines) {
    m_chart = new QChart;
    m_chart->legend()->hide();
    m_chart->setAnimationOptions(QChart::NoAnimation);
    m_chart->setBackgroundRoundness(0);
    m_chart->setMargins(QMargins(0, 0, 0, 0));
    m_chart->layout()->setContentsMargins(0, 0, 0, 0);
    m_axisX = new QValueAxis;
    m_axisX->setRange(0, kSlots);
    m_axisX->setTickCount(13);
    m_axisX->setLabelFormat(QStringLiteral("%d"));
    m_axisY = new QValueAxis;
    m_axisY->setRange(0, kYMax);
    m_axisY->setTickCount(6);
    m_axisY->setLabelFormat(QStringLiteral("%d"));
    QPen grid(Qt::black, 1, Qt::DotLine);
    for (QValueAxis* axis : {m_axisX, m_axisY}) {
      axis->setGridLinePen(grid);
      axis->setLinePen(QPen(Qt::black, 2));
    }
    m_chart->addAxis(m_axisX, Qt::AlignBottom);
    m_chart->addAxis(m_axisY, Qt::AlignLeft);
    const std::vector<SeriesData>& data = Data();
    for (int series = 0; series < kSeries; ++series) {
      for (int line = 0; line < (minMaxLines ? 2 : 1); ++line) {
        auto* lineSeries = new QLineSeries;
        QPen pen(ColorFromTColor(kColors[series % kColors.size()]), 2);
        pen.setCapStyle(Qt::FlatCap);
        lineSeries->setPen(pen);
        m_chart->addSeries(lineSeries);
        lineSeries->attachAxis(m_axisX);
        lineSeries->attachAxis(m_axisY);
        m_series.push_back(lineSeries);
        m_points.push_back(minMaxLines ? Line(data[series], line == 1) : GraphPolyline(data[series]));
      }
    }
    Fill();
    m_view.setChart(m_chart);
    m_view.setRenderHint(QPainter::Antialiasing, false);
    m_view.setFrameShape(QFrame::NoFrame);
    m_view.resize(kWidth, kHeight);
    m_picture = QPixmap(kWidth, kHeight);
  }

  void Fill() {
    for (size_t i = 0; i < m_series.size(); ++i) m_series[i]->replace(m_points[i]);
  }
  // QWidget's render: the view's paint event, as the window system asks for it.
  void Render() { m_view.QWidget::render(&m_picture); }

  QChartView& View() { return m_view; }
  const QPixmap& Picture() const { return m_picture; }
  int PointsPerSeries() const { return m_minMaxLines ? kSlots : 2 * kSlots; }

 private:
  bool m_minMaxLines;
  QChartView m_view;
  QChart* m_chart = nullptr;  // owned by the view
  QValueAxis* m_axisX = nullptr;
  QValueAxis* m_axisY = nullptr;
  std::vector<QLineSeries*> m_series;  // owned by the chart
  std::vector<QList<QPointF>> m_points;
  QPixmap m_picture;
};

// Made on first use, shared by the benchmarks, gone before the application.
struct Widgets {
  std::unique_ptr<Graph> LevelGraph;
  std::array<std::unique_ptr<Chart>, 2> Charts;
};
Widgets g_widgets;

Graph& TheGraph() {
  if (!g_widgets.LevelGraph) g_widgets.LevelGraph = std::make_unique<Graph>();
  return *g_widgets.LevelGraph;
}

Chart& TheChart(bool minMaxLines) {
  std::unique_ptr<Chart>& chart = g_widgets.Charts[minMaxLines ? 1 : 0];
  if (!chart) chart = std::make_unique<Chart>(minMaxLines);
  return *chart;
}

// What a check found wrong, for the summary. The checks report here rather
// than through SkipWithError, so that one failed repetition neither hides
// the figures of the others nor reaches the statistics of Debian 12's
// benchmark library, which was seen to crash in such a run.
std::vector<std::string>& Problems() {
  static std::vector<std::string> problems;
  return problems;
}

void Problem(const char* benchmark, const char* what) {
  const std::string line = std::string(benchmark) + ": " + what;
  std::fprintf(stderr, "%s\n", line.c_str());
  if (std::find(Problems().begin(), Problems().end(), line) == Problems().end()) Problems().push_back(line);
}

// Pixels of a picture that are neither the plot's white nor the border's
// black: proof that lines were drawn at all.
int ColouredPixels(const QPixmap& picture) {
  const QImage image = picture.toImage().convertToFormat(QImage::Format_RGB32);
  int count = 0;
  for (int y = 0; y < image.height(); ++y) {
    const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const int r = qRed(line[x]), g = qGreen(line[x]), b = qBlue(line[x]);
      if (!(r == g && g == b)) ++count;
    }
  }
  return count;
}

void CheckDrawn(benchmark::State& state, const char* benchmark, const QPixmap& picture) {
  const int pixels = ColouredPixels(picture);
  state.counters["line_pixels"] = pixels;
  if (pixels < kWidth * 10) Problem(benchmark, "the picture shows no lines");
}

void BM_LevelGraphRedraw_Render(benchmark::State& state) {
  Graph& graph = TheGraph();
  const int before = graph.Control().RedrawCount();
  for (auto _ : state) {
    graph.Control().UpdateChanges();
    graph.Render();
  }
  const int redraws = graph.Control().RedrawCount() - before;
  state.counters["redraws"] = benchmark::Counter(redraws, benchmark::Counter::kAvgIterations);
  if (redraws != state.iterations()) Problem(__func__, "the picture was not redrawn every time");
  CheckDrawn(state, __func__, graph.Picture());
}
BENCHMARK(BM_LevelGraphRedraw_Render)->Unit(benchmark::kMillisecond);

void BM_LevelGraphRedraw_Repaint(benchmark::State& state) {
  Graph& graph = TheGraph();
  WaitExposed(graph.Control());
  const int before = graph.Control().RedrawCount();
  for (auto _ : state) {
    graph.Control().UpdateChanges();
    graph.Control().repaint();
  }
  const int redraws = graph.Control().RedrawCount() - before;
  state.counters["redraws"] = benchmark::Counter(redraws, benchmark::Counter::kAvgIterations);
  if (redraws != state.iterations()) Problem(__func__, "the picture was not redrawn every time");
}
BENCHMARK(BM_LevelGraphRedraw_Repaint)->Unit(benchmark::kMillisecond);

// Argument: 16 polylines of 6000 points (0) or 32 lines of 3000 (1).
void BM_ChartsRedraw_Render(benchmark::State& state) {
  Chart& chart = TheChart(state.range(0) == 1);
  chart.Render();  // lays the chart out once, outside the timing
  for (auto _ : state) chart.Render();
  state.counters["points_per_series"] = chart.PointsPerSeries();
  CheckDrawn(state, __func__, chart.Picture());
}
BENCHMARK(BM_ChartsRedraw_Render)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ChartsRedraw_Repaint(benchmark::State& state) {
  Chart& chart = TheChart(state.range(0) == 1);
  WaitExposed(chart.View());
  for (auto _ : state) chart.View().viewport()->repaint();
  state.counters["points_per_series"] = chart.PointsPerSeries();
}
BENCHMARK(BM_ChartsRedraw_Repaint)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The operator's arrow key: the cursor one slot on, then the paint.
void BM_LevelGraphCursorMove(benchmark::State& state) {
  Graph& graph = TheGraph();
  TLevelGraph& control = graph.Control();
  WaitExposed(control);
  const int before = control.RedrawCount();
  int step = 0;
  for (auto _ : state) {
    control.SetCursorTime(kStart + (600 + step++ % 1200) / 1440.0);
    control.repaint();
  }
  state.counters["redraws"] =
      benchmark::Counter(control.RedrawCount() - before, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_LevelGraphCursorMove)->Unit(benchmark::kMicrosecond);

// Nothing changed: the paint copies the picture.
void BM_LevelGraphCopy(benchmark::State& state) {
  Graph& graph = TheGraph();
  TLevelGraph& control = graph.Control();
  WaitExposed(control);
  control.repaint();
  const int before = control.RedrawCount();
  for (auto _ : state) control.repaint();
  const int redraws = control.RedrawCount() - before;
  state.counters["redraws"] = benchmark::Counter(redraws, benchmark::Counter::kAvgIterations);
  if (redraws != 0) Problem(__func__, "an unchanged graph redrew its picture");
}
BENCHMARK(BM_LevelGraphCopy)->Unit(benchmark::kMicrosecond);

void BM_LevelGraphRefill(benchmark::State& state) {
  Graph& graph = TheGraph();
  for (auto _ : state) {
    graph.Fill();
    graph.Render();
  }
}
BENCHMARK(BM_LevelGraphRefill)->Unit(benchmark::kMillisecond);

void BM_ChartsRefill(benchmark::State& state) {
  Chart& chart = TheChart(state.range(0) == 1);
  for (auto _ : state) {
    chart.Fill();
    chart.Render();
  }
}
BENCHMARK(BM_ChartsRefill)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The goals of the level graph against the medians of this run.
void PrintSummary(const BenchSummary& summary) {
  const double graph = summary.Ms("BM_LevelGraphRedraw_Render");
  const double polylines = summary.Ms("BM_ChartsRedraw_Render/0");
  const double lines = summary.Ms("BM_ChartsRedraw_Render/1");
  const double cursor = summary.Ms("BM_LevelGraphCursorMove");
  std::printf("\nplatform %s\n", qPrintable(QApplication::platformName()));
  BenchSummary::Line("level graph, full redraw into a pixmap", graph, graph < kRedrawGoalMs, "under 10 ms");
  BenchSummary::Line("QtCharts, 16 polylines of 6000 points into a pixmap", polylines, true, nullptr);
  BenchSummary::Line("QtCharts, 32 lines of 3000 points into a pixmap", lines, true, nullptr);
  const double charts = polylines > 0 && lines > 0 ? std::min(polylines, lines) : std::max(polylines, lines);
  if (graph > 0 && charts > 0) {
    const double factor = charts / graph;
    std::printf("%-64s %9.1f x   %s (goal: at least %.0f x)\n", "QtCharts' faster variant / level graph",
                factor, factor >= kChartsFactorGoal ? "PASS" : "MISS", kChartsFactorGoal);
  }
  BenchSummary::Line("level graph, cursor move and paint", cursor, cursor < kCursorGoalMs, "under 1 ms");
  for (const std::string& problem : Problems()) std::printf("CHECK FAILED %s\n", problem.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  BenchSummary summary;
  benchmark::RunSpecifiedBenchmarks(&summary);
  PrintSummary(summary);
  // The pictures that were timed, to look at.
  const QString pictures = qEnvironmentVariable("FLOT_BENCH_PICTURES");
  if (!pictures.isEmpty()) {
    TheGraph().Render();
    TheGraph().Picture().save(pictures + QStringLiteral("/levelgraph.png"));
    for (const bool minMax : {false, true}) {
      TheChart(minMax).Render();
      TheChart(minMax).Picture().save(
          pictures + (minMax ? QStringLiteral("/charts-32.png") : QStringLiteral("/charts-16.png")));
    }
  }
  g_widgets = {};
  benchmark::Shutdown();
  return 0;
}
