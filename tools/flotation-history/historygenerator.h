#pragma once

#include <QByteArray>
#include <QDateTime>
#include <cstdint>
#include <functional>

// Makes the minute records of a stretch of the past the way a console would have made them:
// two simulated input modules (the module simulator's process model, shaped by HistoryPlan)
// feed the console's own acquisition cycle once a second - TranslateIn, UpdateStateRecord and
// CalcWorks with the built-in configuration - while the plan sets the modes and setpoints as
// the operators would have, and the last state of every minute is handed on as the record
// text the console gives the central station.
//
// The header keeps the console's types to itself, so that a caller may also include the
// station tool's headers. Any thread; calls share nothing.

// One minute record as the console writes it for the station
// ("RecMoment='yyyy-mm-dd hh:nn:00',PLF1=...,F2RFL=0"). Returning false ends the run.
using MinuteSink = std::function<bool(const QByteArray& recordText)>;

// Replays minuteCount minutes from firstMinute (cut to the minute; the records carry local
// time). The same seed and firstMinute give the same records. Minutes the plan leaves without
// a record reach no sink. False when the sink ended the run.
bool GenerateHistory(uint64_t seed, const QDateTime& firstMinute, int64_t minuteCount,
                     const MinuteSink& sink);
