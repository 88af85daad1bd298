#include "common/formatfloat.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "common/floattext.h"

// Rounding works on the exact decimal value of the double, half away from
// zero: 2.5 gives 3 and 0.125 with two decimals 0.13 (both are exact in
// binary), while 1.005 gives 1.00 because the stored double lies just below
// it. Rounding through 18 significant digits first would agree everywhere
// except where digits past the 18th decide a tie; the exact value needs no
// such cut-off and gives the same result on every platform.

namespace {

constexpr int kMaxSections = 3;
constexpr int kGroupSize = 3;

enum class ItemKind { IntegerDigit, FractionDigit, DecimalPoint, Exponent, GroupingComma, Literal };

struct PictureItem {
  ItemKind Kind = ItemKind::Literal;
  QChar Placeholder;  // '0' or '#' for digits, 'E' or 'e' for the exponent
  QString Text;       // literal text
  bool ExponentPlus = false;
  int ExponentDigits = 0;
};

// One section of a picture, taken apart once per call.
struct Picture {
  std::vector<PictureItem> Items;
  int IntegerPlaceholders = 0;
  int MinIntegerDigits = 0;  // placeholders from the leftmost integer '0' on
  int FractionPlaceholders = 0;
  int MinFractionDigits = 0;  // placeholders up to the rightmost fraction '0'
  int MantissaIntegerZeros = 0;
  bool Grouping = false;
  bool Scientific = false;

  bool HasPlaceholders() const { return IntegerPlaceholders + FractionPlaceholders > 0; }
};

bool IsQuote(QChar c) {
  return c == u'\'' || c == u'"';
}

QStringList SplitSections(const QString& format) {
  QStringList sections;
  QString current;
  QChar quote;
  for (const QChar c : format) {
    if (!quote.isNull()) {
      if (c == quote) {
        quote = QChar();
      }
    } else if (IsQuote(c)) {
      quote = c;
    } else if (c == u';') {
      sections.append(current);
      current.clear();
      continue;
    }
    current += c;
  }
  sections.append(current);
  return sections;
}

void AppendLiteral(Picture& picture, const QString& text) {
  if (!picture.Items.empty() && picture.Items.back().Kind == ItemKind::Literal) {
    picture.Items.back().Text += text;
    return;
  }
  PictureItem item;
  item.Text = text;
  picture.Items.push_back(item);
}

Picture ParsePicture(const QString& section) {
  Picture picture;
  bool seenPoint = false;
  bool seenExponent = false;
  const qsizetype length = section.size();
  for (qsizetype i = 0; i < length; ++i) {
    const QChar c = section[i];
    if (IsQuote(c)) {
      const qsizetype end = section.indexOf(c, i + 1);
      const qsizetype stop = end < 0 ? length : end;
      AppendLiteral(picture, section.mid(i + 1, stop - i - 1));
      i = stop;
      continue;
    }
    if (seenExponent) {
      AppendLiteral(picture, QString(c));
      continue;
    }
    PictureItem item;
    item.Placeholder = c;
    if (c == u'0' || c == u'#') {
      item.Kind = seenPoint ? ItemKind::FractionDigit : ItemKind::IntegerDigit;
    } else if (c == u'.' && !seenPoint) {
      item.Kind = ItemKind::DecimalPoint;
      seenPoint = true;
    } else if (c == u',' && !seenPoint) {
      item.Kind = ItemKind::GroupingComma;
    } else if ((c == u'E' || c == u'e') && i + 1 < length &&
               (section[i + 1] == u'+' || section[i + 1] == u'-') &&
               std::any_of(picture.Items.begin(), picture.Items.end(), [](const PictureItem& seen) {
                 return seen.Kind == ItemKind::IntegerDigit || seen.Kind == ItemKind::FractionDigit;
               })) {
      item.Kind = ItemKind::Exponent;
      item.ExponentPlus = section[i + 1] == u'+';
      i += 1;
      while (i + 1 < length && section[i + 1] == u'0') {
        ++item.ExponentDigits;
        ++i;
      }
      item.ExponentDigits = std::max(item.ExponentDigits, 1);
      seenExponent = true;
    } else {
      AppendLiteral(picture, QString(c));
      continue;
    }
    picture.Items.push_back(item);
  }

  // A comma groups thousands only where it stands among the integer digit
  // placeholders; elsewhere it is text.
  for (std::size_t i = 0; i < picture.Items.size(); ++i) {
    if (picture.Items[i].Kind != ItemKind::GroupingComma) {
      continue;
    }
    const auto isIntegerDigit = [](const PictureItem& item) { return item.Kind == ItemKind::IntegerDigit; };
    const auto before = picture.Items.begin() + static_cast<std::ptrdiff_t>(i);
    if (std::any_of(picture.Items.begin(), before, isIntegerDigit) &&
        std::any_of(before + 1, picture.Items.end(), isIntegerDigit)) {
      picture.Grouping = true;
    } else {
      picture.Items[i].Kind = ItemKind::Literal;
      picture.Items[i].Text = QStringLiteral(",");
    }
  }

  bool seenIntegerZero = false;
  bool hasFractionDigits = false;
  for (const PictureItem& item : picture.Items) {
    if (item.Kind == ItemKind::IntegerDigit) {
      ++picture.IntegerPlaceholders;
      seenIntegerZero = seenIntegerZero || item.Placeholder == u'0';
      if (seenIntegerZero) {
        ++picture.MinIntegerDigits;
      }
      if (item.Placeholder == u'0') {
        ++picture.MantissaIntegerZeros;
      }
    } else if (item.Kind == ItemKind::FractionDigit) {
      ++picture.FractionPlaceholders;
      hasFractionDigits = true;
      if (item.Placeholder == u'0') {
        picture.MinFractionDigits = picture.FractionPlaceholders;
      }
    } else if (item.Kind == ItemKind::Exponent) {
      picture.Scientific = true;
    }
  }

  // ".00" still has to show the integer digits of 12.5 somewhere: before the point.
  if (picture.IntegerPlaceholders == 0 && hasFractionDigits) {
    const auto point = std::find_if(picture.Items.begin(), picture.Items.end(), [](const PictureItem& item) {
      return item.Kind == ItemKind::DecimalPoint;
    });
    PictureItem hidden;
    hidden.Kind = ItemKind::IntegerDigit;
    hidden.Placeholder = u'#';
    picture.Items.insert(point, hidden);
    picture.IntegerPlaceholders = 1;
  }
  return picture;
}

int MantissaIntegerDigits(const Picture& picture) {
  return std::max(picture.MantissaIntegerZeros, 1);
}

// Rounds as the picture shows the number: to its decimals, or to its
// significant digits when it has an exponent.
DecimalDigits RoundForPicture(double value, const Picture& picture) {
  DecimalDigits number = ExactDecimalDigits(value);
  if (picture.Scientific) {
    RoundDecimalDigits(number, MantissaIntegerDigits(picture) + picture.FractionPlaceholders);
  } else {
    RoundDecimalDigits(number, number.PointPosition + picture.FractionPlaceholders);
  }
  return number;
}

QString LiteralText(const Picture& picture) {
  QString text;
  for (const PictureItem& item : picture.Items) {
    if (item.Kind == ItemKind::Literal) {
      text += item.Text;
    } else if (item.Kind != ItemKind::GroupingComma) {
      text += item.Placeholder;
    }
  }
  return text;
}

QString DigitRange(const std::string& digits, int from, int count) {
  QString text;
  for (int i = from; i < from + count; ++i) {
    text += (i >= 0 && i < static_cast<int>(digits.size()))
                ? QChar::fromLatin1(digits[static_cast<std::size_t>(i)])
                : QChar(u'0');
  }
  return text;
}

QString Render(const Picture& picture, const DecimalDigits& number, bool negative,
               const TFormatSettings& settings) {
  const bool isZero = number.Digits.empty();
  int exponent = 0;
  QString integerDigits;
  QString fractionDigits;
  if (picture.Scientific) {
    const int mantissaDigits = MantissaIntegerDigits(picture);
    if (!isZero) {
      exponent = number.PointPosition - mantissaDigits;
      integerDigits = DigitRange(number.Digits, 0, mantissaDigits);
    }
    fractionDigits = DigitRange(number.Digits, isZero ? 0 : mantissaDigits, picture.FractionPlaceholders);
  } else {
    if (number.PointPosition > 0) {
      integerDigits = DigitRange(number.Digits, 0, number.PointPosition);
    }
    fractionDigits = DigitRange(number.Digits, number.PointPosition, picture.FractionPlaceholders);
  }
  if (integerDigits.size() < picture.MinIntegerDigits) {
    integerDigits.prepend(QString(picture.MinIntegerDigits - integerDigits.size(), u'0'));
  }
  while (fractionDigits.size() > picture.MinFractionDigits && fractionDigits.endsWith(u'0')) {
    fractionDigits.chop(1);
  }

  QString text;
  bool signPending = negative && !isZero;
  const auto startNumber = [&] {
    if (signPending) {
      text += u'-';
      signPending = false;
    }
  };
  const int integerLength = static_cast<int>(integerDigits.size());
  // Digits are right-aligned on the placeholders; those that do not fit go to
  // the first one. Text between placeholders stays where it stands.
  const int unusedSlots = picture.IntegerPlaceholders - integerLength;
  int integerSlot = 0;
  int fractionSlot = 0;
  for (const PictureItem& item : picture.Items) {
    switch (item.Kind) {
      case ItemKind::IntegerDigit: {
        const int first = integerSlot == 0 ? 0 : integerSlot - unusedSlots;
        const int last = integerSlot - unusedSlots;
        for (int i = std::max(first, 0); i <= last; ++i) {
          startNumber();
          text += integerDigits[i];
          const int fromRight = integerLength - 1 - i;
          if (picture.Grouping && !picture.Scientific && fromRight > 0 && fromRight % kGroupSize == 0) {
            text += settings.ThousandSeparator;
          }
        }
        ++integerSlot;
        break;
      }
      case ItemKind::DecimalPoint:
        if (!fractionDigits.isEmpty()) {
          startNumber();
          text += settings.DecimalSeparator;
        }
        break;
      case ItemKind::FractionDigit:
        if (fractionSlot < fractionDigits.size()) {
          text += fractionDigits[fractionSlot];
        }
        ++fractionSlot;
        break;
      case ItemKind::Exponent: {
        text += item.Placeholder;
        if (exponent < 0) {
          text += u'-';
        } else if (item.ExponentPlus) {
          text += u'+';
        }
        const QString digits = QString::number(std::abs(exponent));
        text += QString(std::max<qsizetype>(item.ExponentDigits - digits.size(), 0), u'0');
        text += digits;
        break;
      }
      case ItemKind::GroupingComma:
        break;
      case ItemKind::Literal:
        text += item.Text;
        break;
    }
  }
  return text;
}

}  // namespace

const TFormatSettings& DefaultFormatSettings() {
  static const TFormatSettings kSettings;
  return kSettings;
}

QString FormatFloat(const QString& format, double value, const TFormatSettings& settings) {
  if (std::isnan(value)) {
    return QStringLiteral("NAN");
  }
  if (std::isinf(value)) {
    return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
  }
  QStringList sections = SplitSections(format);
  if (sections.size() > kMaxSections) {
    sections.resize(kMaxSections);
  }
  if (sections.front().isEmpty()) {
    return FloatToStrGeneral(value, settings.DecimalSeparator);
  }
  const Picture positive = ParsePicture(sections.front());
  const bool hasNegativeSection = sections.size() > 1 && !sections[1].isEmpty();
  const bool hasZeroSection = sections.size() > 2 && !sections[2].isEmpty();

  const bool negative = value < 0;
  const Picture chosen = negative && hasNegativeSection ? ParsePicture(sections[1]) : positive;
  const DecimalDigits number = RoundForPicture(value, chosen);
  if (number.Digits.empty()) {
    // Whatever rounds to zero shows as zero, never as "-0".
    const Picture& zero = hasZeroSection ? ParsePicture(sections[2]) : positive;
    if (!zero.HasPlaceholders()) {
      return LiteralText(zero);
    }
    return Render(zero, DecimalDigits(), false, settings);
  }
  if (!chosen.HasPlaceholders()) {
    return LiteralText(chosen);
  }
  // The negative section writes its own sign, if any.
  const bool printSign = negative && !hasNegativeSection;
  return Render(chosen, number, printSign, settings);
}
