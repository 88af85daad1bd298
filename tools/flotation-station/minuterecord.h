#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>

// The texts a console hands the station: minute records ("RecMoment='...',PLF1=...,F2RFL=0") and
// log lines ("tick<TAB>yyyy-mm-dd hh:nn:ss<TAB>text"). Parsing is strict on purpose: whatever
// passes here is bound into prepared statements as typed values, and whatever fails is kept
// aside as raw text, never guessed at. Plain functions and value types, any thread.

inline constexpr int kRecordValueCount = 28;
inline constexpr int kRecordFlagCount = 8;

// The record's names in the console's order; they are also the columns of puf_data.
const std::array<QByteArray, kRecordValueCount>& RecordValueNames();
const std::array<QByteArray, kRecordFlagCount>& RecordFlagNames();

struct MinuteRecord {
  // "yyyy-mm-dd hh:nn:ss" exactly as the console wrote it between the quotes; the same text
  // acknowledges the record with SetSaveFlag.
  QByteArray RecMoment;
  // In RecordValueNames() order; empty where the console sent NAN or INF (stored as NULL).
  std::array<std::optional<double>, kRecordValueCount> Values;
  std::array<uint8_t, kRecordFlagCount> Flags{};
  // Names whose values were not finite numbers, for the warning.
  QStringList NonFiniteNames;
};

// Parses one record text. Every known name must occur exactly once and nothing else; values
// are plain decimal or scientific numbers ("12.5", "-3", "1.5E-7", "1E20") or NAN / INF / -INF;
// flags are integers 0..255. On failure returns false and says why in `error`.
bool ParseMinuteRecord(const QByteArray& text, MinuteRecord& record, QString& error);

// The text between the quotes of "RecMoment='...'" wherever it stands, or empty. Used to
// acknowledge a record that failed to parse, so that one bad record cannot block collection.
QByteArray FindRecMoment(const QByteArray& text);

struct LogLine {
  int32_t Tick = 0;
  QByteArray TickText;  // as sent: the DeleteLogRec identifier
  QByteArray Moment;    // "yyyy-mm-dd hh:nn:ss"
  QString Message;      // decoded from Windows-1251
};

// Parses one log line (Windows-1251 bytes). The message is everything after the second tab.
bool ParseLogLine(const QByteArray& line, LogLine& parsed, QString& error);

// The leading signed decimal number of a log line, or empty: enough to delete a line that
// could not be parsed otherwise.
QByteArray FindLogTick(const QByteArray& line);

// True for "yyyy-mm-dd hh:nn:ss" naming a real date and time that a DATETIME column holds.
bool IsValidMomentText(const QByteArray& text);
