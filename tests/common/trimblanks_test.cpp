#include "common/trimblanks.h"

#include <gtest/gtest.h>

namespace {

TEST(TrimBlanks, RemovesControlsAndBlanksButKeepsCyrillicBytes) {
  EXPECT_EQ(TrimBlanks(QByteArray("\n\r \x01PUF1:x \t\r")), "PUF1:x");
  EXPECT_EQ(TrimBlanks(QByteArray("\xE0\xFF")), "\xE0\xFF");
  EXPECT_EQ(TrimBlanks(QByteArray(" \r\n")), "");
}

}  // namespace
