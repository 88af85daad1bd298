#include "station/commandset.h"

#include <QLocale>
#include <cmath>
#include <limits>

#include "common/floattext.h"
#include "common/formatfloat.h"
#include "common/trimblanks.h"
#include "fieldbus/threadcontrol.h"
#include "storage/eventlog.h"

namespace {

// Base names of a section's values in record order, with their slots.
struct RecordItem {
  const char* Base;
  const int* Slots;
};
constexpr RecordItem kRecordItems[] = {
    {"PLF", Slot::PLF},   {"RVF", Slot::RVF},   {"URFK", Slot::URFK}, {"URFK12_", Slot::URFK12},
    {"OARS", Slot::OARS}, {"OARP", Slot::OARP}, {"OAFL", Slot::OAFL}, {"RGF", Slot::RGF},
    {"TRRS", Slot::TRRS}, {"TRRP", Slot::TRRP}, {"TRFL", Slot::TRFL}, {"ZRRS", Slot::ZRRS},
    {"ZRRP", Slot::ZRRP}, {"ZRFL", Slot::ZRFL},
};
constexpr const char* kFlagNames[kModeFlagCount] = {"F1AR",  "F2AR",  "F1RR",  "F2RR",
                                                    "F1AFL", "F2AFL", "F1RFL", "F2RFL"};

// Strict decimal syntax: sign, digits with at most one separator (at least
// one digit), optional exponent with at least one digit.
bool IsPlainNumber(const QString& text, QChar separator) {
  qsizetype i = 0;
  const qsizetype n = text.size();
  if (i < n && (text[i] == u'+' || text[i] == u'-')) ++i;
  int digits = 0;
  bool separatorSeen = false;
  for (; i < n; ++i) {
    const QChar c = text[i];
    if (c >= u'0' && c <= u'9') {
      ++digits;
    } else if (c == separator && !separatorSeen) {
      separatorSeen = true;
    } else {
      break;
    }
  }
  if (digits == 0) return false;
  if (i < n && (text[i] == u'e' || text[i] == u'E')) {
    ++i;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) ++i;
    int exponentDigits = 0;
    for (; i < n && text[i] >= u'0' && text[i] <= u'9'; ++i) ++exponentDigits;
    if (exponentDigits == 0) return false;
  }
  return i == n;
}

std::optional<double> ConvertWith(const QString& text, QChar separator) {
  if (!IsPlainNumber(text, separator)) return std::nullopt;
  QString plain = text;
  if (separator != u'.') plain.replace(separator, u'.');
  bool ok = false;
  const double value = plain.toLatin1().toDouble(&ok);  // locale-independent
  if (!ok || !std::isfinite(value)) return std::nullopt;
  return value;
}

// Setpoint commands: name, setpoint of section 1, log text.
struct SetpointCommand {
  const char16_t* Base;
  SetpointIndex First;
  const char16_t* LogText;
};
constexpr SetpointCommand kSetpointCommands[] = {
    {u"SetZRRS", kZRRS1, u"удельный расход собирателя "},
    {u"SetZRRP", kZRRP1, u"удельный расход пенообразователя "},
    {u"SetZRFL", kZRFL1, u"удельный расход флокулянта "},
    {u"SetTRRS", kTRRS1, u"текущий расход собирателя "},
    {u"SetTRRP", kTRRP1, u"текущий расход пенообразователя "},
    {u"SetTRFL", kTRFL1, u"текущий расход флокулянта "},
};

struct ModeCommand {
  const char16_t* Base;
  ReagentGroup Group;
  const char16_t* LogText;
};
constexpr ModeCommand kModeCommands[] = {
    {u"SetModeR", kGroupR, u"режим управления дозатором реагента секции №"},
    {u"SetModeFL", kGroupFL, u"режим управления дозатором флокулянта секции №"},
};

// What a change is called in log records and audit lines, by who made it.
QString ChangePrefix(ChangeSource source) {
  return source == ChangeSource::Station ? u"Новое задание c ЦСБ: "_qs : u"Новое задание от оператора: "_qs;
}

// The code of a mode as the texts write it: whole codes as integers; a code
// beyond the integers (only a station can send one) in the general form.
QString ModeCodeText(double code, QChar decimalSeparator) {
  return std::fabs(code) < 9.0e18 ? QString::number(static_cast<qint64>(code))
                                  : FloatToStrGeneral(code, decimalSeparator);
}

// The section digit that ends a Set command name of the table, or 0.
int SectionOf(const QString& command, const char16_t* base) {
  const QString prefix = QString::fromUtf16(base);
  if (command.size() != prefix.size() + 1 || !command.startsWith(prefix)) return 0;
  const QChar digit = command.back();
  return digit == u'1' ? 1 : digit == u'2' ? 2 : 0;
}

}  // namespace

QChar SystemDecimalSeparator() {
  const QString point = QLocale::system().decimalPoint();
  return point.size() == 1 ? point[0] : QChar(u'.');
}

QString RecordToText(const StateRecord& record, bool minuteForm) {
  const QString pattern = minuteForm ? u"yyyy-mm-dd hh:nn:00"_qs : u"yyyy-mm-dd hh:nn:ss"_qs;
  QString text;
  text.reserve(1024);  // a record with long values stays well below this
  text += u"RecMoment='"_qs;
  text += FormatDateTime(pattern, record.RecMoment);
  text += u"',"_qs;
  for (int section = 0; section < 2; ++section) {
    for (const RecordItem& item : kRecordItems) {
      text += QLatin1StringView(item.Base);
      text += QChar(u'1' + section);
      text += u'=';
      text += FloatToStrGeneral(static_cast<double>(record.Values[item.Slots[section]]));
      text += u',';
    }
  }
  for (int flag = 0; flag < kModeFlagCount; ++flag) {
    if (flag > 0) text += u',';
    text += QLatin1StringView(kFlagNames[flag]);
    text += u'=';
    text += QString::number(record.Mode(static_cast<ModeFlag>(flag)));
  }
  return text;
}

std::optional<double> TextToNumber(const QString& text, QChar decimalSeparator) {
  const QString trimmed = TrimBlanks(text);
  if (trimmed.isEmpty()) return std::nullopt;
  if (auto value = ConvertWith(trimmed, decimalSeparator)) return value;
  QString swapped = trimmed;
  if (const qsizetype point = swapped.indexOf(u'.'); point >= 0) {
    swapped[point] = u',';
  } else if (const qsizetype comma = swapped.indexOf(u','); comma >= 0) {
    swapped[comma] = u'.';
  } else {
    return std::nullopt;
  }
  return ConvertWith(swapped, decimalSeparator);
}

TCommandSet::TCommandSet(ProcessState& state, LogRecList& logRecs, ThreadControl& linkControl)
    : m_state(state), m_logRecs(logRecs), m_linkControl(linkControl) {}

CommandReply TCommandSet::ExecCommand(const QString& command, const QString& data, const QString& origin,
                                      QChar decimalSeparator) {
  if (command == u"GetStateRec") {
    return {u"GetStateRec_OK:"_qs + RecordToText(m_state.StateRecord.Load(), false), true};
  }
  if (command == u"GetUnsavedCount") {
    return {u"GetUnsavedCount_OK:"_qs + QString::number(m_state.MinuteRecords.UnsavedCount()), true};
  }
  if (command == u"GetUnsavedRecord") {
    const std::optional<MinuteRecord> record = m_state.MinuteRecords.OldestUnsaved();
    if (!record) return {u"Error:no records"_qs, true};
    return {u"GetUnsavedRecord_OK:"_qs + RecordToText(*record, true), true};
  }
  if (command == u"SetSaveFlag") {
    const QString pattern = u"yyyy-mm-dd hh:nn:00"_qs;
    const bool found = m_state.MinuteRecords.SetSavedFirst(
        [&](const MinuteRecord& record) { return FormatDateTime(pattern, record.RecMoment) == data; });
    return {found ? u"SetSaveFlag_OK:"_qs : u"Error:record not found"_qs, true};
  }
  if (command == u"GetLogRecCount") {
    return {u"GetLogRecCount_OK:"_qs + QString::number(m_logRecs.Count()), true};
  }
  if (command == u"GetLogRec") {
    const std::optional<QString> line = m_logRecs.Oldest();
    return {line ? u"GetLogRec_OK:"_qs + *line : QString(), true};
  }
  if (command == u"DeleteLogRec") {
    const bool deleted = m_logRecs.DeleteFirstWithPrefix(data);
    return {u"DeleteLogRec_OK:"_qs + (deleted ? u'1' : u'0'), true};
  }

  // The Set commands, in the table's order: setpoints, then modes.
  for (const SetpointCommand& set : kSetpointCommands) {
    const int section = SectionOf(command, set.Base);
    if (section == 0) continue;
    const QString base = QString::fromUtf16(set.Base);
    const std::optional<double> number = SetCommandNumber(data);
    const float value = number ? static_cast<float>(*number) : 0.0f;
    // A number beyond single precision would be stored as infinity.
    if (!number || !std::isfinite(value)) return DataError(base, data);
    const SetpointIndex index = SetpointOf(set.First, section);
    m_state.Setpoints.Set(index, value);
    return Accept(base, SetpointChangeText(index, value, ChangeSource::Station, decimalSeparator), origin);
  }
  for (const ModeCommand& set : kModeCommands) {
    const int section = SectionOf(command, set.Base);
    if (section == 0) continue;
    const QString base = QString::fromUtf16(set.Base);
    const std::optional<double> number = SetCommandNumber(data);
    if (!number) return DataError(base, data);
    // Truncated toward zero; only 1 and 2 select a mode, so a code beyond
    // the integers is simply "off" and never converted.
    const double code = std::trunc(*number);
    const ReagentMode mode = code == 2.0 ? kModeAutomatic : code == 1.0 ? kModeManual : kModeOff;
    m_state.AveragedValues.SetGroupMode(set.Group, section, mode);
    return Accept(base,
                  ChangePrefix(ChangeSource::Station) + QString::fromUtf16(set.LogText) +
                      QString::number(section) + u" = "_qs + ModeCodeText(code, decimalSeparator),
                  origin);
  }
  return {QString::fromUtf16(kUnknownCommandReply), false};
}

std::optional<double> TCommandSet::SetCommandNumber(const QString& data) {
  return data.isEmpty() ? std::nullopt : TextToNumber(data);
}

CommandReply TCommandSet::DataError(const QString& base, const QString& data) {
  ++m_linkControl.ErrorCount;
  return {base + (data.isEmpty() ? u"_Error:no data"_qs : u"_Error:bad data"_qs), true};
}

CommandReply TCommandSet::Accept(const QString& base, const QString& record, const QString& origin) {
  m_logRecs.AddLogRec(record);
  PostAuditLine(record, origin);
  return {base + u"_OK:"_qs, true};
}

QString SetpointChangeText(SetpointIndex index, float value, ChangeSource source, QChar decimalSeparator) {
  for (const SetpointCommand& set : kSetpointCommands) {
    for (int section = 1; section <= 2; ++section) {
      if (SetpointOf(set.First, section) != index) continue;
      return ChangePrefix(source) + QString::fromUtf16(set.LogText) + QString::number(section) + u" = "_qs +
             FloatToStrGeneral(static_cast<double>(value), decimalSeparator);
    }
  }
  return {};
}

QString ModeChangeText(ReagentGroup group, int section, ReagentMode mode, ChangeSource source) {
  for (const ModeCommand& set : kModeCommands) {
    if (set.Group != group) continue;
    return ChangePrefix(source) + QString::fromUtf16(set.LogText) + QString::number(section) + u" = "_qs +
           QString::number(static_cast<int>(mode));
  }
  return {};
}

void PostAuditLine(const QString& text, const QString& origin) {
  AddAuditMessage(text + u" ("_qs + origin + u')');
}
