#pragma once

#include "common/tdatetime.h"

class TConfig;
struct ProcessState;

// Steps 2 and 3 of the read thread's cycle. Both post their failure to the
// event log and return false; they run on the read thread.

// Calibrates every input signal's raw count into InstantValues. A signal
// whose module or RecIndex has no slot is skipped.
bool TranslateIn(ProcessState& state, const TConfig& config);

// Copies AveragedValues with the time "now" into the state record and into
// the current minute's record (limit: the configuration's minute-record limit).
bool UpdateStateRecord(ProcessState& state, const TConfig& config, TDateTime now);
