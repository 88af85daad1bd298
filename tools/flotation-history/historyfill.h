#pragma once

#include <QDateTime>
#include <QString>
#include <cstdint>

#include "stationdatabase.h"

struct FillRequest {
  StationDatabaseSettings Database;
  uint64_t Seed = 1;
  int Days = 31;
  // The first minute after the history (local or UTC); the fill ends just before it.
  QDateTime End;
  // Leave a puf_data that holds any row alone.
  bool IfEmpty = false;
};

struct FillResult {
  bool Ok = false;
  bool LeftAlone = false;  // IfEmpty and the table had rows
  int64_t Rows = 0;
  QDateTime First;  // the first minute of the stretch that was replayed
  QString Error;
};

// Replays the Days days before End (GenerateHistory) into puf_data (HistoryStore) in one
// transaction. One thread at a time per database connection; blocking.
FillResult FillHistory(const FillRequest& request);
