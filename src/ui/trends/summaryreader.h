#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <memory>
#include <vector>

#include "common/tdatetime.h"
#include "configuration/config.h"

class TDatabaseThread;

// The weights of a minute value in the sums, [quantity][section], as the
// configuration's SummationConstants hold them (KVF_1 is [kKVF][0]).
using SummaryConstants = std::array<std::array<double, 2>, kSummationConstantCount>;

// Every weight 1/60: a minute of an hourly rate counts as a sixtieth of an
// hour's quantity.
SummaryConstants DefaultSummaryConstants();

// One interval to sum over, both ends as the query writes them (hour-aligned).
struct SummaryInterval {
  TDateTime Start = 0;
  TDateTime Stop = 0;
};

// The sums of one interval, or why there are none.
struct SummaryResult {
  // The result columns in their order: VF1 GF1 VRRS1 VRRP1 VRFL1 VF2 ... VRFL2.
  static constexpr int kColumnCount = 10;
  bool Ok = false;
  // A NULL sum (no row in the interval) and a value that is not a finite
  // number both read as 0; the latter sets BadValues.
  std::array<double, kColumnCount> Values{};
  bool BadValues = false;
  QString Error;
};

// Sums puf_data over a list of intervals for the summary table without ever
// making the window wait: one query per interval runs on the database thread,
// in order, and each interval's result comes back to this object's thread as
// soon as it is in (BlockFinished), then Finished once after the last one. A
// query that fails says so in its own result and the next interval is still
// asked; a connection lost on the way is closed, so the intervals after it
// fail at once instead of each waiting for the server.
//
// One read at a time. A read whose reader is destroyed or abandoned first is
// dropped: the queries still waiting are skipped and late results are thrown
// away. User-interface thread only.
class TSummaryReader : public QObject {
  Q_OBJECT

 public:
  // "database" must outlive the reader; nullptr reads nothing (every interval
  // fails).
  explicit TSummaryReader(TDatabaseThread* database, QObject* parent = nullptr);
  ~TSummaryReader() override;

  // Starts a read; false (and nothing happens) while one runs.
  bool Start(const std::vector<SummaryInterval>& intervals, const SummaryConstants& constants);
  bool Running() const { return m_running; }
  // Drops the running read: no signal of it arrives any more.
  void Abandon();

  // The result column names in their order ("VF1" ... "VRFL2").
  static const QStringList& ColumnNames();

  // The query of one interval: the weighted sums of section 1's and then
  // section 2's five quantities from the hour of "start" (":00:00") to the
  // end of the hour of "stop" (":59:59").
  static QString QueryText(TDateTime start, TDateTime stop, const SummaryConstants& constants);

 signals:
  // "index" is the interval's place in the list given to Start.
  void BlockFinished(int index, const SummaryResult& result);
  void Finished();

 private:
  struct Shared;
  void Collect();

  TDatabaseThread* m_database;
  std::shared_ptr<Shared> m_shared;
  bool m_running = false;
};
