#include "common/trimblanks.h"

namespace {

template <typename Text, typename IsBlank>
Text Trim(const Text& text, IsBlank isBlank) {
  qsizetype first = 0;
  qsizetype last = text.size();
  while (first < last && isBlank(text[first])) ++first;
  while (last > first && isBlank(text[last - 1])) --last;
  return text.mid(first, last - first);
}

}  // namespace

QByteArray TrimBlanks(const QByteArray& text) {
  return Trim(text, [](char c) { return static_cast<unsigned char>(c) <= 0x20; });
}

QString TrimBlanks(const QString& text) {
  return Trim(text, [](QChar c) { return c.unicode() <= 0x20; });
}
