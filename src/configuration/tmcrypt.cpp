#include "configuration/tmcrypt.h"

#include <chrono>
#include <cmath>
#include <vector>

#include "common/cp1251.h"

namespace {

constexpr int kSeedSize = 16;
constexpr int kAlphabetSize = 16;
constexpr int kAlphabetFirst = 48;  // '0'
constexpr int kAlphabetLast = 90;   // 'Z'
constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendHexByte(QByteArray& digits, uint8_t value) {
  digits.append(kHexDigits[value >> 4]);
  digits.append(kHexDigits[value & 0x0F]);
}

// Reads the next pair of digit values; a pair cut short by the end of the
// text reads as far as it goes (nothing left reads as 0).
uint8_t ReadHexByte(const std::vector<uint8_t>& digits, size_t& position) {
  unsigned value = 0;
  for (int k = 0; k < 2 && position < digits.size(); ++k) value = value * 16 + digits[position++];
  return static_cast<uint8_t>(value);
}

}  // namespace

Tmcrypt::Tmcrypt()
    : m_random(static_cast<uint32_t>(std::chrono::system_clock::now().time_since_epoch().count())) {}

Tmcrypt::Tmcrypt(uint32_t seed) : m_random(seed) {}

uint8_t Tmcrypt::RandomByte() {
  const double value = std::nearbyint(m_normal(m_random));
  if (!(value > 0)) return 0;
  if (value > 255) return 255;
  return static_cast<uint8_t>(value);
}

QString Tmcrypt::ScrambleText(const QString& text) {
  const QByteArray secret = ToCp1251(text);

  QByteArray hex;
  hex.reserve(2 + 2 * kSeedSize + 4 * secret.size());
  AppendHexByte(hex, RandomByte());  // the lead byte only makes equal secrets look different
  std::array<uint8_t, kSeedSize> seed{};
  for (uint8_t& value : seed) {
    value = RandomByte();
    AppendHexByte(hex, value);
  }
  for (const char c : secret) {
    const uint8_t row = RandomByte();
    AppendHexByte(hex, row);
    AppendHexByte(hex, static_cast<uint8_t>(static_cast<uint8_t>(c) - seed[row % kSeedSize]));
  }

  QString alphabet;
  while (alphabet.size() < kAlphabetSize) {
    const uint8_t value = RandomByte();
    if (value < kAlphabetFirst || value > kAlphabetLast) continue;
    const QChar candidate(static_cast<char16_t>(value));
    if (!alphabet.contains(candidate)) alphabet.append(candidate);
  }

  QString result;
  result.reserve(hex.size() + kAlphabetSize);
  for (const char digit : hex) {
    const int value = digit <= '9' ? digit - '0' : digit - 'A' + 10;
    result.append(alphabet[value]);
  }
  result.append(alphabet);
  return result;
}

QString Tmcrypt::UnscrambleText(const QString& text, bool* ok) {
  if (ok != nullptr) *ok = text.size() >= kAlphabetSize;
  if (text.size() < kAlphabetSize) return QString();

  const qsizetype bodySize = text.size() - kAlphabetSize;
  const QString alphabet = text.mid(bodySize);
  std::vector<uint8_t> digits;
  digits.reserve(static_cast<size_t>(bodySize));
  for (qsizetype i = 0; i < bodySize; ++i) {
    const qsizetype value = alphabet.indexOf(text[i]);
    if (value >= 0) digits.push_back(static_cast<uint8_t>(value));
  }

  size_t position = 0;
  ReadHexByte(digits, position);  // lead byte
  std::array<uint8_t, kSeedSize> seed{};
  for (uint8_t& value : seed) value = ReadHexByte(digits, position);

  QByteArray secret;
  while (digits.size() - position >= 4) {
    const uint8_t row = ReadHexByte(digits, position);
    const uint8_t column = ReadHexByte(digits, position);
    secret.append(static_cast<char>(static_cast<uint8_t>(seed[row % kSeedSize] + column)));
  }
  return FromCp1251(secret);
}
