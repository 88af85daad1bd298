#include "common/formatfloat.h"

#include <algorithm>

namespace {

constexpr int kLongNameCount = 4;
constexpr int kShortNameCount = 3;
constexpr int kMillisecondDigits = 3;
constexpr int kDaysInWeek = 7;
constexpr int kCentury = 100;

QString Padded(int number, int width) {
  return QStringLiteral("%1").arg(number, width, 10, QChar(u'0'));
}

QString NameAt(const QStringList& names, int index) {
  return index >= 0 && index < names.size() ? names[index] : QString();
}

// Length of the run of `letter` (either case) starting at `position`.
qsizetype RunLength(const QString& format, qsizetype position, QChar letter) {
  qsizetype end = position;
  while (end < format.size() && format[end].toLower() == letter) {
    ++end;
  }
  return end - position;
}

QString FormatFields(const QString& format, const DateTimeFields& fields, const TFormatSettings& settings) {
  QString text;
  // An "m" or "mm" after an hour token means minutes ("hh:mm"); only tokens
  // count here, the text between them does not.
  QChar previousToken;
  const qsizetype length = format.size();
  qsizetype i = 0;
  while (i < length) {
    const QChar c = format[i];
    if (c == u'\'' || c == u'"') {
      const qsizetype end = format.indexOf(c, i + 1);
      const qsizetype stop = end < 0 ? length : end;
      text += format.mid(i + 1, stop - i - 1);
      i = stop + 1;
      continue;
    }
    const QChar letter = c.toLower();
    const qsizetype run = RunLength(format, i, letter);
    qsizetype used = 1;
    if (letter == u'd') {
      used = std::min<qsizetype>(run, kLongNameCount);
      const int weekDay = fields.DayOfWeek % kDaysInWeek;  // Sunday first, as the names are
      if (used == kLongNameCount) {
        text += NameAt(settings.LongDayNames, weekDay);
      } else if (used == kShortNameCount) {
        text += NameAt(settings.ShortDayNames, weekDay);
      } else {
        text += Padded(fields.Day, static_cast<int>(used));
      }
    } else if (letter == u'm') {
      used = std::min<qsizetype>(run, kLongNameCount);
      if (used <= 2 && previousToken == u'h') {
        text += Padded(fields.Minute, static_cast<int>(used));
      } else if (used == kLongNameCount) {
        text += NameAt(settings.LongMonthNames, fields.Month - 1);
      } else if (used == kShortNameCount) {
        text += NameAt(settings.ShortMonthNames, fields.Month - 1);
      } else {
        text += Padded(fields.Month, static_cast<int>(used));
      }
    } else if (letter == u'y') {
      used = run;
      text += run <= 2 ? Padded(fields.Year % kCentury, 2) : Padded(fields.Year, 4);
    } else if (letter == u'h' || letter == u'n' || letter == u's') {
      used = std::min<qsizetype>(run, 2);
      const int value = letter == u'h' ? fields.Hour : letter == u'n' ? fields.Minute : fields.Second;
      text += Padded(value, static_cast<int>(used));
    } else if (letter == u'z') {
      const bool padded = run >= kMillisecondDigits;
      used = padded ? kMillisecondDigits : run;
      text += Padded(fields.Millisecond, padded ? kMillisecondDigits : 1);
    } else {
      text += c;
      ++i;
      continue;
    }
    previousToken = letter;
    i += used;
  }
  return text;
}

}  // namespace

QString FormatDateTime(const QString& format, TDateTime moment, const TFormatSettings& settings) {
  return FormatFields(format, DecodeDateTime(moment), settings);
}

QString FormatDateTime(const QString& format, const QDateTime& moment, const TFormatSettings& settings) {
  if (!moment.isValid()) {
    return FormatDateTime(format, TDateTime(0), settings);
  }
  // Straight from the fields, so nothing is lost on the way through a day count.
  const QDateTime local = moment.toLocalTime();
  DateTimeFields fields;
  fields.Year = local.date().year();
  fields.Month = local.date().month();
  fields.Day = local.date().day();
  fields.DayOfWeek = local.date().dayOfWeek();
  fields.Hour = local.time().hour();
  fields.Minute = local.time().minute();
  fields.Second = local.time().second();
  fields.Millisecond = local.time().msec();
  return FormatFields(format, fields, settings);
}
