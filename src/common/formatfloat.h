#pragma once

#include <QChar>
#include <QString>
#include <QStringList>

#include "common/tdatetime.h"

// Number and date pictures in the notation the console's captions, files and
// protocol use ("###0.0", "# ### ##0.0; ;  ", "+00.000", "dd.mm.yyyy hh:nn:ss").

struct TFormatSettings {
  QChar DecimalSeparator = u'.';
  QChar ThousandSeparator = u',';
  // Short and long month names, January first.
  QStringList ShortMonthNames = {u"янв"_qs, u"фев"_qs, u"мар"_qs, u"апр"_qs, u"май"_qs, u"июн"_qs,
                                 u"июл"_qs, u"авг"_qs, u"сен"_qs, u"окт"_qs, u"ноя"_qs, u"дек"_qs};
  QStringList LongMonthNames = {u"Январь"_qs,   u"Февраль"_qs, u"Март"_qs,   u"Апрель"_qs,
                                u"Май"_qs,      u"Июнь"_qs,    u"Июль"_qs,   u"Август"_qs,
                                u"Сентябрь"_qs, u"Октябрь"_qs, u"Ноябрь"_qs, u"Декабрь"_qs};
  // Short and long day names, Sunday first.
  QStringList ShortDayNames = {u"Вс"_qs, u"Пн"_qs, u"Вт"_qs, u"Ср"_qs, u"Чт"_qs, u"Пт"_qs, u"Сб"_qs};
  QStringList LongDayNames = {u"воскресенье"_qs, u"понедельник"_qs, u"вторник"_qs, u"среда"_qs,
                              u"четверг"_qs,     u"пятница"_qs,     u"суббота"_qs};
};

// Point as decimal separator, comma as thousands separator, Russian names.
const TFormatSettings& DefaultFormatSettings();

// Formats a number by a picture of up to three sections separated by ";":
// positive;negative;zero. A missing or empty negative or zero section falls
// back to the first. In a section: "0" a digit that always shows, "#" a digit
// that shows when significant, the first "." the decimal separator, "," (any
// where among the digit placeholders) switches on thousands grouping,
// "E+"/"E-"/"e+"/"e-" an exponent, text in '...' or "..." literal, any other
// character copied where it stands. Rounds half away from zero. The negative
// section prints no sign of its own; the first section prints "-" before the
// first digit of a negative value. NaN and infinities print as "NAN", "INF",
// "-INF". A picture without any digit placeholder prints as itself.
QString FormatFloat(const QString& format, double value,
                    const TFormatSettings& settings = DefaultFormatSettings());

// Formats a moment by a picture: d dd ddd dddd, m mm mmm mmmm, yy yyyy,
// h hh, n nn, s ss, z zzz; "m"/"mm" right after "h"/"hh" (spaces and
// separators between are allowed) mean minutes; text in '...' or "..." is
// literal; any other character is copied as it stands.
QString FormatDateTime(const QString& format, TDateTime moment,
                       const TFormatSettings& settings = DefaultFormatSettings());
QString FormatDateTime(const QString& format, const QDateTime& moment,
                       const TFormatSettings& settings = DefaultFormatSettings());
