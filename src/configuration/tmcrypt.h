#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <random>

// Scrambles a stored secret (the database password) into letters, digits and
// a few punctuation characters, different at every call, and back. It keeps
// the secret from a casual reader of the INI file and nothing more.
//
// Not thread-safe; the configuration uses it from one thread.
class Tmcrypt {
 public:
  // Seeded from the clock.
  Tmcrypt();
  // Seeded for repeatable tests.
  explicit Tmcrypt(uint32_t seed);

  // The secret's Windows-1251 bytes; the result is 50 + 4 n characters.
  QString ScrambleText(const QString& text);
  // Characters outside the text's alphabet are dropped; a short or damaged
  // text gives a shorter or empty result. *ok (when given) is false when the
  // text is shorter than its alphabet.
  QString UnscrambleText(const QString& text, bool* ok = nullptr);

  // Normal deviate, mean 128, standard deviation 43, rounded half to even,
  // limited to 0 ... 255.
  uint8_t RandomByte();

 private:
  std::mt19937 m_random;
  std::normal_distribution<double> m_normal{128.0, 43.0};
};
