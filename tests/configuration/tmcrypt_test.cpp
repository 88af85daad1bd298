#include "configuration/tmcrypt.h"

#include <gtest/gtest.h>

#include <QSet>
#include <cmath>
#include <random>

// Secrets print as their first characters in test names and failures.
void PrintTo(const QString& text, std::ostream* out) {
  *out << text.left(12).toStdString()
       << (text.size() > 12 ? "... (" + std::to_string(text.size()) + " characters)" : "");
}

namespace {

constexpr int kAlphabetSize = 16;

bool AllInAlphabetRange(const QString& text) {
  for (const QChar c : text) {
    if (c.unicode() < u'0' || c.unicode() > u'Z') return false;
  }
  return true;
}

class TmcryptRoundTrip : public testing::TestWithParam<QString> {};

TEST_P(TmcryptRoundTrip, UnscramblesToTheSecret) {
  Tmcrypt crypt(12345);
  const QString secret = GetParam();
  const QString scrambled = crypt.ScrambleText(secret);

  EXPECT_EQ(scrambled.size(), 50 + 4 * secret.size());
  EXPECT_TRUE(AllInAlphabetRange(scrambled)) << scrambled.toStdString();
  const QString alphabet = scrambled.right(kAlphabetSize);
  EXPECT_EQ(QSet<QChar>(alphabet.begin(), alphabet.end()).size(), kAlphabetSize) << "alphabet repeats";

  bool ok = false;
  EXPECT_EQ(crypt.UnscrambleText(scrambled, &ok), secret);
  EXPECT_TRUE(ok);
}

INSTANTIATE_TEST_SUITE_P(Secrets, TmcryptRoundTrip,
                         testing::Values(QString(), QStringLiteral("secret"), QStringLiteral("Пароль№1"),
                                         QStringLiteral("ёЁ «»—€ яЯ"), QString(200, u'Я'),
                                         QStringLiteral("with space, \"quotes\" = ; [x]")));

TEST(Tmcrypt, SameSecretScramblesDifferentlyEachTime) {
  Tmcrypt crypt(7);
  const QString first = crypt.ScrambleText(QStringLiteral("temp_master"));
  const QString second = crypt.ScrambleText(QStringLiteral("temp_master"));
  EXPECT_NE(first, second);
  EXPECT_EQ(crypt.UnscrambleText(first), QStringLiteral("temp_master"));
  EXPECT_EQ(crypt.UnscrambleText(second), QStringLiteral("temp_master"));
}

TEST(Tmcrypt, ClockSeededInstancesUnscrambleEachOther) {
  Tmcrypt writer;
  Tmcrypt reader;
  EXPECT_EQ(reader.UnscrambleText(writer.ScrambleText(QStringLiteral("Пароль№1"))),
            QStringLiteral("Пароль№1"));
}

TEST(Tmcrypt, LeadByteDoesNotMatter) {
  Tmcrypt crypt(99);
  const QString scrambled = crypt.ScrambleText(QStringLiteral("Пароль№1"));
  const QString alphabet = scrambled.right(kAlphabetSize);
  for (int first = 0; first < kAlphabetSize; first += 5) {
    for (int second = 0; second < kAlphabetSize; second += 3) {
      QString changed = scrambled;
      changed[0] = alphabet[first];
      changed[1] = alphabet[second];
      EXPECT_EQ(crypt.UnscrambleText(changed), QStringLiteral("Пароль№1")) << first << " " << second;
    }
  }
}

TEST(Tmcrypt, DecodesAHandBuiltText) {
  // Alphabet in digit order, so the body reads as plain hexadecimal: lead 7F,
  // seed 00 01 02 ... 0F, then the pairs (21, 40) and (0F, D1). Only the low
  // four bits of a row selector count, and columns wrap at 256.
  const QString text = QStringLiteral("7F000102030405060708090A0B0C0D0E0F") + QStringLiteral("2140") +
                       QStringLiteral("0FD1") + QStringLiteral("0123456789ABCDEF");
  Tmcrypt crypt(1);
  bool ok = false;
  // Row 1 holds 1 + column: 0x41 'A'. Row 15: (15 + 0xD1) mod 256 = 0xE0, 'а' in Windows-1251.
  EXPECT_EQ(crypt.UnscrambleText(text, &ok), QStringLiteral("Aа"));
  EXPECT_TRUE(ok);
}

TEST(Tmcrypt, CharactersOutsideTheAlphabetAreDropped) {
  Tmcrypt crypt(5);
  const QString scrambled = crypt.ScrambleText(QStringLiteral("Пароль№1"));
  QString padded;
  const QString body = scrambled.left(scrambled.size() - kAlphabetSize);
  for (const QChar c : body) padded += c + QStringLiteral(" \r\n~ж");
  padded += scrambled.right(kAlphabetSize);
  EXPECT_EQ(crypt.UnscrambleText(padded), QStringLiteral("Пароль№1"));
}

TEST(Tmcrypt, ShortOrCutTextsGiveWhatTheyHold) {
  Tmcrypt crypt(3);
  const QString scrambled = crypt.ScrambleText(QStringLiteral("abc"));
  const QString alphabet = scrambled.right(kAlphabetSize);
  const QString body = scrambled.left(scrambled.size() - kAlphabetSize);

  bool ok = true;
  EXPECT_EQ(crypt.UnscrambleText(QStringLiteral("ABC"), &ok), QString());
  EXPECT_FALSE(ok);
  EXPECT_EQ(crypt.UnscrambleText(QString(), &ok), QString());
  EXPECT_FALSE(ok);
  EXPECT_EQ(crypt.UnscrambleText(alphabet, &ok), QString());
  EXPECT_TRUE(ok);

  // A cut body loses the characters whose four digits are incomplete.
  EXPECT_EQ(crypt.UnscrambleText(body.left(body.size() - 1) + alphabet), QStringLiteral("ab"));
  EXPECT_EQ(crypt.UnscrambleText(body.left(34 + 4) + alphabet), QStringLiteral("a"));
  EXPECT_EQ(crypt.UnscrambleText(body.left(20) + alphabet), QString());
}

TEST(Tmcrypt, GarbageNeverBreaksIt) {
  std::mt19937 random(2024);
  std::uniform_int_distribution<int> length(0, 300);
  std::uniform_int_distribution<int> character(1, 0xFFFF);
  Tmcrypt crypt(8);
  for (int round = 0; round < 500; ++round) {
    QString text;
    const int size = length(random);
    for (int i = 0; i < size; ++i) {
      // Mostly the scrambler's own characters, so that the decoding paths run.
      const int c = (i % 3 == 0) ? character(random) : u'0' + static_cast<int>(random() % 43);
      text.append(QChar(static_cast<char16_t>(c)));
    }
    bool ok = false;
    const QString result = crypt.UnscrambleText(text, &ok);
    EXPECT_EQ(ok, text.size() >= kAlphabetSize);
    EXPECT_LE(result.size(), std::max<qsizetype>(0, (text.size() - 50) / 4 + 1));
  }
}

TEST(Tmcrypt, RandomByteFollowsTheNormalLaw) {
  Tmcrypt crypt(42);
  constexpr int kSamples = 50000;
  double sum = 0;
  double squares = 0;
  for (int i = 0; i < kSamples; ++i) {
    const double value = crypt.RandomByte();
    sum += value;
    squares += value * value;
  }
  const double mean = sum / kSamples;
  const double deviation = std::sqrt(squares / kSamples - mean * mean);
  EXPECT_NEAR(mean, 128, 1.0);
  EXPECT_NEAR(deviation, 43, 1.0);
}

}  // namespace
