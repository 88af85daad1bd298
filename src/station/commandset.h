#pragma once

#include <QChar>
#include <QString>
#include <optional>

#include "process/processstate.h"
#include "station/logrecs.h"

struct ThreadControl;

// The reply text of an unrecognised command: colon, closing parenthesis,
// carriage return, line feed.
inline constexpr char16_t kUnknownCommandReply[] = u":)\r\n";

// The decimal separator of the system's locale.
QChar SystemDecimalSeparator();

// A state record as the station link writes it: RecMoment='...' followed by
// PLF1 ... ZRFL1, PLF2 ... ZRFL2 and the eight mode flags, name=value
// separated by "," (the names are also the columns of puf_data). Minute form
// writes the seconds as 00. Values are widened to double and written in the
// general 15-digit form with "." whatever the locale.
QString RecordToText(const StateRecord& record, bool minuteForm);

// The number parser of the Set commands: after trimming, an optional sign,
// digits with at most one decimal separator, an optional exponent. The
// locale's separator is tried first, then the text with its first "." and
// "," swapped, so 12.5 and 12,5 both read on any system. "nan", "inf",
// hexadecimal numbers, thousands separators and trailing text fail, and so
// does a number too large for a double: a setpoint never becomes NaN or
// infinite.
std::optional<double> TextToNumber(const QString& text, QChar decimalSeparator = SystemDecimalSeparator());

// Who changed a setpoint or a mode.
enum class ChangeSource { Station, Operator };

// The origin of the audit line of a change made at the console itself.
inline constexpr char16_t kOperatorOrigin[] = u"оператор";

// The text of a change as log records and audit lines carry it, e.g.
// "Новое задание c ЦСБ: удельный расход собирателя 1 = 45" from the station,
// "Новое задание от оператора: ..." from the console's own windows.
QString SetpointChangeText(SetpointIndex index, float value, ChangeSource source,
                           QChar decimalSeparator = SystemDecimalSeparator());
QString ModeChangeText(ReagentGroup group, int section, ReagentMode mode, ChangeSource source);

// Writes the audit line of an accepted change to the audit trail (see
// AddAuditMessage): the text and its origin in parentheses ("(COM1)",
// "(TCP 10.0.0.7:51234)", "(оператор)"). When the audit queue is full the
// calling thread waits for the drain, up to kAuditWait. Any thread.
void PostAuditLine(const QString& text, const QString& origin);

struct CommandReply {
  QString Text;
  bool Recognised = false;
};

// The command interpreter behind the serial station link and the TCP query
// server. Runs in their threads, possibly at the same time, beside the read
// thread and the user-interface thread: the process state and the two lists
// take care of their own sharing.
class TCommandSet {
 public:
  // "linkControl" is the station link's control block: Set commands count
  // their data errors in its ErrorCount whichever server they came through.
  TCommandSet(ProcessState& state, LogRecList& logRecs, ThreadControl& linkControl);

  // Runs the first command of the table whose name equals "command"
  // (case-sensitive). "origin" says where the command came from ("COM1",
  // "TCP 10.0.0.7:51234"); an accepted Set command is also written to the
  // audit trail with it, before the reply is made. The decimal separator is the one log records use.
  CommandReply ExecCommand(const QString& command, const QString& data, const QString& origin,
                           QChar decimalSeparator = SystemDecimalSeparator());

 private:
  // The number of a Set command's data; nothing when it is empty or unreadable.
  static std::optional<double> SetCommandNumber(const QString& data);
  // The "no data" or "bad data" reply of a Set command, counted as an error.
  CommandReply DataError(const QString& base, const QString& data);
  // An accepted change: the station's log record, the audit line with its
  // origin, and the OK reply.
  CommandReply Accept(const QString& base, const QString& record, const QString& origin);

  ProcessState& m_state;
  LogRecList& m_logRecs;
  ThreadControl& m_linkControl;
};
