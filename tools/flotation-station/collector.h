#pragma once

#include <QString>
#include <atomic>
#include <functional>

#include "stationdatabase.h"
#include "stationlink.h"

// What one drain did. Ok is false when an exchange or a store failed; everything counted was
// stored and acknowledged before that.
struct DrainResult {
  bool Ok = true;
  int MinutesStored = 0;
  int RecordsRejected = 0;
  int LogLinesStored = 0;
  QString Error;
};

// Messages for the operator: Progress lines only with --verbose, warnings and errors always.
struct CollectorOutput {
  std::function<void(const QString&)> Write;
  bool Verbose = false;
};

// The station's side of the exchange: collects the minute records and log records that a
// console holds and stores them, one at a time, each acknowledged (SetSaveFlag, DeleteLogRec)
// only after its COMMIT succeeded. A failed exchange or store ends the drain with nothing
// acknowledged that is not stored; the next drain reconnects and takes up where this one
// stopped, and the upsert makes a minute that is offered twice one row.
// The link and the database must outlive the collector; all three are used by one thread.
// `stopRequested` (may be null) is read between exchanges: a set flag ends the drain early,
// never in the middle of a store-then-acknowledge step.
class Collector {
 public:
  Collector(StationLink& link, StationDatabase& database, CollectorOutput output,
            const std::atomic<bool>* stopRequested = nullptr);

  // Collects what waits now: as many minute records as GetUnsavedCount reports (the current
  // minute comes back after every acquisition cycle, so "until none is left" would never end),
  // then as many log lines as GetLogRecCount reports.
  DrainResult Drain();

 private:
  bool DrainMinutes(DrainResult& result);
  bool DrainLogLines(DrainResult& result);
  // One exchange whose reply must begin with `expected`; the rest of the reply is returned.
  bool Ask(const QByteArray& command, const QByteArray& data, const QByteArray& expected, QByteArray& rest,
           DrainResult& result);
  bool AskCount(const QByteArray& command, int& count, DrainResult& result);
  bool Failed(DrainResult& result, const QString& error);
  bool StopRequested() const;
  void Progress(const QString& line) const;
  void Warn(const QString& line) const;

  StationLink& m_link;
  StationDatabase& m_database;
  CollectorOutput m_output;
  const std::atomic<bool>* m_stopRequested;
};
