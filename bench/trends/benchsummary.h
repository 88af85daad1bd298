#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

// Google Benchmark's console table, and after it a few lines that set the
// medians (or the single runs, without repetitions) against their goals.
// Times are kept in milliseconds of real time under the benchmark's name
// and arguments ("BM_Name/arg", without "/real_time" and the like). One
// thread: the benchmark runner's.
class BenchSummary : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type == Run::RT_Aggregate && !median) continue;
      const std::string& args = run.run_name.args;
      const std::string name = run.run_name.function_name + (args.empty() ? "" : "/" + args);
      if (median || !m_fromMedian[name]) {
        m_ms[name] = run.GetAdjustedRealTime() * Millis(run.time_unit);
        m_fromMedian[name] = m_fromMedian[name] || median;
      }
    }
  }

  // Milliseconds of a run, or a negative number when it did not run or failed.
  double Ms(const std::string& name) const {
    const auto found = m_ms.find(name);
    return found == m_ms.end() ? -1 : found->second;
  }

  // "what  12.345 ms  PASS (goal: ...)"; nothing for a run that is missing.
  // Returns whether the goal was met (true for a missing run: nothing to say).
  static bool Line(const char* what, double ms, bool met, const char* goal) {
    if (ms < 0) return true;
    if (goal == nullptr) {
      std::printf("%-64s %9.3f ms\n", what, ms);
      return true;
    }
    std::printf("%-64s %9.3f ms  %s (goal: %s)\n", what, ms, met ? "PASS" : "MISS", goal);
    return met;
  }

 private:
  static double Millis(benchmark::TimeUnit unit) {
    switch (unit) {
      case benchmark::kNanosecond:
        return 1e-6;
      case benchmark::kMicrosecond:
        return 1e-3;
      case benchmark::kMillisecond:
        return 1;
      default:
        return 1e3;
    }
  }

  std::map<std::string, double> m_ms;
  std::map<std::string, bool> m_fromMedian;
};
