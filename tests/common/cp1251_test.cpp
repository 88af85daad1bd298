#include "common/cp1251.h"

#include <gtest/gtest.h>

TEST(Cp1251, CyrillicAndAsciiRoundTrip) {
  const QString text = u"Ошибка в TFormSvodTable::Reload() №5 ёЁ"_qs;
  const QByteArray bytes = ToCp1251(text);
  EXPECT_EQ(bytes.size(), text.size());
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xCE);  // О
  EXPECT_EQ(FromCp1251(bytes), text);
}

TEST(Cp1251, EveryByteDecodesAndEncodesBack) {
  for (int b = 0; b < 256; ++b) {
    if (b == 0x98) continue;  // unassigned in the code page
    const QByteArray one(1, static_cast<char>(b));
    EXPECT_EQ(ToCp1251(FromCp1251(one)), one) << "byte " << b;
  }
}

TEST(Cp1251, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  EXPECT_EQ(ToCp1251(u"a\u4E2Db"_qs), QByteArray("a?b"));
  // A character outside the basic plane is one question mark, not two.
  EXPECT_EQ(ToCp1251(QString::fromUcs4(U"x\U0001F600y")), QByteArray("x?y"));
  // A lone surrogate too.
  EXPECT_EQ(ToCp1251(QString(QChar(0xD800))), QByteArray("?"));
  EXPECT_EQ(FromCp1251(QByteArray("\x98", 1)), QString(QChar(0xFFFD)));
}
