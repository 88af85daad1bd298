#pragma once

#include <vector>

#include "storage/eventlog.h"

// Takes every message waiting in the program's event-log queue, oldest first.
// Tests that check what the code under test posted drain the queue before
// and after.
inline std::vector<TEventFIFO_Rec> DrainEventLog() {
  std::vector<TEventFIFO_Rec> records;
  TEventFIFO_Rec record;
  while (EventFIFO().Get(record)) records.push_back(record);
  return records;
}
