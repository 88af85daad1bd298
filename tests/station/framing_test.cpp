#include "station/framing.h"

#include <gtest/gtest.h>

namespace {

QByteArray Frame(const QByteArray& body) {
  return body + CalcCRC(body);
}

TEST(CalcCRC, SumsBytesIntoFourUpperCaseHexDigits) {
  struct Case {
    QByteArray Text;
    QByteArray Field;
  };
  const Case cases[] = {
      {"abc", "<0126>"},
      {"PUF1:GetUnsavedCount:", "<078F>"},
      {"PUF1:GetUnsavedCount_OK:3", "<08BB>"},
      {"PUF1:SetTRRS1:12.5", "<04FE>"},
      {"PUF1:Error:BAD CRC", "<0559>"},
      {"PUF1:Error:Cmd", "<04AE>"},
      {"", "<0000>"},
      // Bytes count unsigned: Windows-1251 letters are above 0x7F.
      {"\xD0\xE5\xE6\xE8\xEC", "<046F>"},
      // The 16-bit sum wraps: 300 * 0xFF = 76500 = 0x12AD4.
      {QByteArray(300, '\xFF'), "<2AD4>"},
  };
  for (const Case& c : cases) EXPECT_EQ(CalcCRC(c.Text), c.Field) << c.Text.toStdString();
}

TEST(BuildFrame, PrefixColonReplyAndChecksumWithoutTerminator) {
  EXPECT_EQ(BuildFrame("PUF1", "GetUnsavedCount_OK:3"), "PUF1:GetUnsavedCount_OK:3<08BB>");
  // The line break of the unknown-command reply lies inside the frame.
  EXPECT_EQ(BuildFrame("PUF1", ":)\r\n"), Frame("PUF1::)\r\n"));
}

TEST(ParseRequestLine, ClassifiesEveryKindOfLine) {
  const QByteArray good = Frame("PUF1:GetUnsavedCount:");
  QByteArray lowerCase = good;
  lowerCase.replace("<078F>", "<078f>");
  struct Case {
    const char* Name;
    QByteArray Line;
    RequestKind Kind;
    QByteArray Command;
    QByteArray Data;
  };
  const Case cases[] = {
      {"good", good, RequestKind::Command, "GetUnsavedCount", ""},
      {"carriage return and line feed around", "\n  " + good + "\r", RequestKind::Command, "GetUnsavedCount",
       ""},
      {"text after the checksum", good + "junk", RequestKind::Command, "GetUnsavedCount", ""},
      {"data trimmed", Frame("PUF1:SetTRRS1: 12.5 "), RequestKind::Command, "SetTRRS1", "12.5"},
      {"data with colons and spaces", Frame("PUF1:SetSaveFlag:2008-01-17 11:43:00"), RequestKind::Command,
       "SetSaveFlag", "2008-01-17 11:43:00"},
      {"lower-case checksum digits", lowerCase, RequestKind::BadCrc, "", ""},
      {"wrong checksum", "PUF1:GetUnsavedCount:<0000>", RequestKind::BadCrc, "", ""},
      {"another console, wrong checksum", "PUF2:GetUnsavedCount:<0000>", RequestKind::Ignored, "", ""},
      {"another console, right checksum", Frame("PUF2:GetUnsavedCount:"), RequestKind::Ignored, "", ""},
      {"longer prefix", Frame("PUF12:GetUnsavedCount:"), RequestKind::Ignored, "", ""},
      {"no second colon", Frame("PUF1:GetUnsavedCount"), RequestKind::BadCommand, "", ""},
      {"command of three characters", Frame("PUF1:Get:"), RequestKind::BadCommand, "", ""},
      {"command of four characters", Frame("PUF1:Gets:"), RequestKind::Command, "Gets", ""},
      {"too short", "PUF1:ab<0000>", RequestKind::Ignored, "", ""},
      {"no checksum field", "PUF1:GetUnsavedCount:", RequestKind::Ignored, "", ""},
      {"checksum field cut off", "PUF1:GetUnsavedCount:<078F", RequestKind::Ignored, "", ""},
      {"checksum field without >", "PUF1:GetUnsavedCount:<078FX", RequestKind::Ignored, "", ""},
      {"< too early", "PUF1<:GetUnsavedCount:<078F>", RequestKind::Ignored, "", ""},
      {"empty", "", RequestKind::Ignored, "", ""},
      {"blanks only", " \r\n\t", RequestKind::Ignored, "", ""},
  };
  for (const Case& c : cases) {
    const ParsedRequest request = ParseRequestLine(c.Line, "PUF1");
    EXPECT_EQ(request.Kind, c.Kind) << c.Name;
    EXPECT_EQ(request.Command, c.Command) << c.Name;
    EXPECT_EQ(request.Data, c.Data) << c.Name;
  }
}

}  // namespace
