#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "common/tdatetime.h"
#include "storage/database.h"
#include "trenddb.h"
#include "ui/trends/summaryreader.h"

// Minute rows of the summed columns for the summary table's tests, and the
// sums a database should give for them: the test writes the rows, then
// compares the window's figures with Expected. Values left empty are NULL.
class SummaryRows {
 public:
  // The summed columns, in the order of the result columns they feed.
  using Values = std::array<std::optional<double>, SummaryResult::kColumnCount>;
  static const QStringList& Columns() {
    static const QStringList columns{"RVF1", "RGF1", "TRRS1", "TRRP1", "TRFL1",
                                     "RVF2", "RGF2", "TRRS2", "TRRP2", "TRFL2"};
    return columns;
  }

  void Add(TDateTime moment, const Values& values) { m_rows.push_back({moment, values}); }

  // A row every "stepMinutes" from "from" up to (not including) "to", with
  // values that differ from row to row; "section2" false leaves section 2
  // NULL, as when it does not run.
  void AddSeries(TDateTime from, TDateTime to, int stepMinutes, bool section2 = true) {
    const int64_t first = Ms(from);
    const int64_t last = Ms(to);
    for (int64_t at = first; at < last; at += int64_t{stepMinutes} * 60000) {
      const int i = m_counter++;
      Values values;
      const double rvf = 400 + (i * 37 % 200) + 0.3;
      values[0] = rvf;
      values[1] = rvf * 0.12 + (i % 5) * 0.01;
      values[2] = 50 + i % 13 + 0.7;
      values[3] = 20 + (i % 7) * 0.5;
      values[4] = 10 + (i % 11) * 0.25;
      if (section2) {
        for (int k = 0; k < 5; ++k) values[5 + k] = *values[k] * 0.8 + 1.7;
      }
      Add(static_cast<double>(at) / kMsPerDay, values);
    }
  }

  // Writes the rows added since the last Write.
  bool Write(TrendDatabase& database) {
    while (m_written < m_rows.size()) {
      QStringList tuples;
      for (; m_written < m_rows.size() && tuples.size() < 500; ++m_written) {
        const Row& row = m_rows[m_written];
        QStringList texts{u"'"_qs + TrendDatabase::FormatMoment(row.Moment) + u"'"_qs};
        for (const std::optional<double>& value : row.Data)
          texts << (value ? FloatToSqlText(*value) : u"NULL"_qs);
        tuples << u"("_qs + texts.join(u", "_qs) + u")"_qs;
      }
      const QString sql = u"INSERT INTO puf_data (RecMoment, "_qs + Columns().join(u", "_qs) +
                          u") VALUES "_qs + tuples.join(u", "_qs);
      if (!database.Exec(sql)) return false;
    }
    return true;
  }

  // The weighted sums over the rows from the hour of "interval.Start" to the
  // end of the hour of "interval.Stop".
  std::array<double, SummaryResult::kColumnCount> Expected(const SummaryInterval& interval,
                                                           const SummaryConstants& constants) const {
    const int64_t hour = 3600000;
    const int64_t from = Ms(interval.Start) / hour * hour;
    const int64_t to = Ms(interval.Stop) / hour * hour + hour - 1000;
    std::array<double, SummaryResult::kColumnCount> sums{};
    for (const Row& row : m_rows) {
      const int64_t at = Ms(row.Moment);
      if (at < from || at > to) continue;
      for (int i = 0; i < SummaryResult::kColumnCount; ++i) sums[i] += row.Data[i].value_or(0);
    }
    for (int i = 0; i < SummaryResult::kColumnCount; ++i) sums[i] *= constants[i % 5][i / 5];
    return sums;
  }

 private:
  struct Row {
    TDateTime Moment;
    Values Data;
  };
  static int64_t Ms(TDateTime moment) { return std::llround(moment * kMsPerDay); }

  std::vector<Row> m_rows;
  size_t m_written = 0;
  int m_counter = 0;
};
