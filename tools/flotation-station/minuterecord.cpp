#include "minuterecord.h"

#include <QDate>
#include <QTime>
#include <cmath>
#include <cstdlib>

#include "common/cp1251.h"

namespace {

constexpr char kRecMomentName[] = "RecMoment";

std::array<QByteArray, kRecordValueCount> MakeValueNames() {
  static constexpr const char* kBaseNames[] = {"PLF", "RVF",  "URFK", "URFK12_", "OARS", "OARP", "OAFL",
                                               "RGF", "TRRS", "TRRP", "TRFL",    "ZRRS", "ZRRP", "ZRFL"};
  std::array<QByteArray, kRecordValueCount> names;
  int index = 0;
  for (const char section : {'1', '2'})
    for (const char* base : kBaseNames) names[index++] = QByteArray(base) + section;
  return names;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Consumes one or more digits starting at `at`.
bool SkipDigits(const QByteArray& text, qsizetype& at) {
  const qsizetype start = at;
  while (at < text.size() && IsDigit(text[at])) ++at;
  return at > start;
}

// The console's general number format and nothing more lenient: no blanks, no thousands
// separators, no hexadecimal, no comma for a point. strtod alone would accept all of those.
bool IsPlainNumber(const QByteArray& text) {
  qsizetype at = 0;
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
  if (!SkipDigits(text, at)) return false;
  if (at < text.size() && text[at] == '.') {
    ++at;
    if (!SkipDigits(text, at)) return false;
  }
  if (at < text.size() && (text[at] == 'E' || text[at] == 'e')) {
    ++at;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
    if (!SkipDigits(text, at)) return false;
  }
  return at == text.size();
}

bool IsNonFiniteWord(const QByteArray& text) {
  const QByteArray word = text.toUpper();
  return word == "NAN" || word == "INF" || word == "-INF" || word == "+INF";
}

bool ParseFlag(const QByteArray& text, uint8_t& flag) {
  if (text.isEmpty() || text.size() > 3) return false;
  for (const char c : text)
    if (!IsDigit(c)) return false;
  const int value = text.toInt();
  if (value > 255) return false;
  flag = static_cast<uint8_t>(value);
  return true;
}

// Bytes of a name or value quoted into an error message: printable ASCII only, shortened.
QString Shown(const QByteArray& text) {
  QString shown;
  for (const char c : text.left(40)) shown += (c >= 0x20 && c < 0x7F) ? QChar(c) : QChar(u'?');
  if (text.size() > 40) shown += QStringLiteral("...");
  return shown;
}

}  // namespace

const std::array<QByteArray, kRecordValueCount>& RecordValueNames() {
  static const std::array<QByteArray, kRecordValueCount> kNames = MakeValueNames();
  return kNames;
}

const std::array<QByteArray, kRecordFlagCount>& RecordFlagNames() {
  static const std::array<QByteArray, kRecordFlagCount> kNames = {"F1AR",  "F2AR",  "F1RR",  "F2RR",
                                                                  "F1AFL", "F2AFL", "F1RFL", "F2RFL"};
  return kNames;
}

bool IsValidMomentText(const QByteArray& text) {
  // yyyy-mm-dd hh:nn:ss
  static constexpr char kPattern[] = "dddd-dd-dd dd:dd:dd";
  if (text.size() != qsizetype(sizeof(kPattern) - 1)) return false;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (kPattern[i] == 'd' ? !IsDigit(text[i]) : text[i] != kPattern[i]) return false;
  }
  const int year = text.mid(0, 4).toInt();
  const QDate date(year, text.mid(5, 2).toInt(), text.mid(8, 2).toInt());
  const QTime time(text.mid(11, 2).toInt(), text.mid(14, 2).toInt(), text.mid(17, 2).toInt());
  // DATETIME starts at year 1000.
  return year >= 1000 && date.isValid() && time.isValid();
}

bool ParseMinuteRecord(const QByteArray& text, MinuteRecord& record, QString& error) {
  record = MinuteRecord{};
  const auto& valueNames = RecordValueNames();
  const auto& flagNames = RecordFlagNames();
  std::array<bool, kRecordValueCount> haveValue{};
  std::array<bool, kRecordFlagCount> haveFlag{};
  bool haveMoment = false;

  if (text.isEmpty()) {
    error = QStringLiteral("empty record");
    return false;
  }
  for (const QByteArray& item : text.split(',')) {
    const qsizetype equals = item.indexOf('=');
    if (equals <= 0) {
      error = QStringLiteral("item without name=value: \"%1\"").arg(Shown(item));
      return false;
    }
    const QByteArray name = item.left(equals);
    const QByteArray value = item.mid(equals + 1);

    if (name == kRecMomentName) {
      if (haveMoment) {
        error = QStringLiteral("RecMoment given twice");
        return false;
      }
      const QByteArray moment = value.size() >= 2 && value.startsWith('\'') && value.endsWith('\'')
                                    ? value.mid(1, value.size() - 2)
                                    : QByteArray();
      if (!IsValidMomentText(moment)) {
        error = QStringLiteral("RecMoment is not 'yyyy-mm-dd hh:nn:ss': \"%1\"").arg(Shown(value));
        return false;
      }
      record.RecMoment = moment;
      haveMoment = true;
      continue;
    }

    const auto valueAt = std::find(valueNames.begin(), valueNames.end(), name);
    if (valueAt != valueNames.end()) {
      const auto index = std::distance(valueNames.begin(), valueAt);
      if (haveValue[index]) {
        error = QStringLiteral("%1 given twice").arg(Shown(name));
        return false;
      }
      haveValue[index] = true;
      if (IsNonFiniteWord(value)) {
        record.NonFiniteNames << QString::fromLatin1(name);
        continue;
      }
      if (!IsPlainNumber(value)) {
        error = QStringLiteral("%1 is not a number: \"%2\"").arg(Shown(name), Shown(value));
        return false;
      }
      const double number = std::strtod(value.constData(), nullptr);
      if (std::isfinite(number)) {
        record.Values[index] = number;
      } else {
        record.NonFiniteNames << QString::fromLatin1(name);  // e.g. 1E400
      }
      continue;
    }

    const auto flagAt = std::find(flagNames.begin(), flagNames.end(), name);
    if (flagAt != flagNames.end()) {
      const auto index = std::distance(flagNames.begin(), flagAt);
      if (haveFlag[index]) {
        error = QStringLiteral("%1 given twice").arg(Shown(name));
        return false;
      }
      haveFlag[index] = true;
      if (!ParseFlag(value, record.Flags[index])) {
        error = QStringLiteral("%1 is not a flag 0..255: \"%2\"").arg(Shown(name), Shown(value));
        return false;
      }
      continue;
    }

    error = QStringLiteral("unknown name \"%1\"").arg(Shown(name));
    return false;
  }

  QStringList missing;
  if (!haveMoment) missing << QString::fromLatin1(kRecMomentName);
  for (int i = 0; i < kRecordValueCount; ++i)
    if (!haveValue[i]) missing << QString::fromLatin1(valueNames[i]);
  for (int i = 0; i < kRecordFlagCount; ++i)
    if (!haveFlag[i]) missing << QString::fromLatin1(flagNames[i]);
  if (!missing.isEmpty()) {
    error = QStringLiteral("missing %1").arg(missing.join(u", "));
    return false;
  }
  return true;
}

QByteArray FindRecMoment(const QByteArray& text) {
  static const QByteArray kStart = QByteArray(kRecMomentName) + "='";
  const qsizetype start = text.indexOf(kStart);
  if (start < 0) return {};
  const qsizetype from = start + kStart.size();
  const qsizetype end = text.indexOf('\'', from);
  if (end < 0) return {};
  const QByteArray moment = text.mid(from, end - from);
  // Only a well-formed time can match a record on the console; anything else is not worth sending.
  return IsValidMomentText(moment) ? moment : QByteArray();
}

QByteArray FindLogTick(const QByteArray& line) {
  qsizetype at = 0;
  if (at < line.size() && line[at] == '-') ++at;
  if (!SkipDigits(line, at)) return {};
  return line.left(at);
}

bool ParseLogLine(const QByteArray& line, LogLine& parsed, QString& error) {
  parsed = LogLine{};
  const qsizetype firstTab = line.indexOf('\t');
  const qsizetype secondTab = firstTab < 0 ? -1 : line.indexOf('\t', firstTab + 1);
  if (secondTab < 0) {
    error = QStringLiteral("log line without tick, time and text");
    return false;
  }
  const QByteArray tick = line.left(firstTab);
  bool ok = false;
  const qlonglong tickValue = tick.toLongLong(&ok);
  if (!ok || tick != FindLogTick(tick) || tickValue < INT32_MIN || tickValue > INT32_MAX) {
    error = QStringLiteral("log tick is not a 32-bit number: \"%1\"").arg(Shown(tick));
    return false;
  }
  const QByteArray moment = line.mid(firstTab + 1, secondTab - firstTab - 1);
  if (!IsValidMomentText(moment)) {
    error = QStringLiteral("log time is not yyyy-mm-dd hh:nn:ss: \"%1\"").arg(Shown(moment));
    return false;
  }
  parsed.Tick = static_cast<int32_t>(tickValue);
  parsed.TickText = tick;
  parsed.Moment = moment;
  parsed.Message = FromCp1251(line.mid(secondTab + 1));
  return true;
}
