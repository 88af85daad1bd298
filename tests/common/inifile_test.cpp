#include "common/inifile.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "common/cp1251.h"
#include "support/files.h"

namespace {

class IniFileTest : public ::testing::Test {
 protected:
  QString PathOf(const QString& name) const { return m_dir.filePath(name); }

  void WriteBytes(const QString& name, const QByteArray& bytes) {
    ASSERT_TRUE(WriteFileBytes(PathOf(name), bytes));
  }
  QByteArray ReadBytes(const QString& name) const { return ReadFileBytes(PathOf(name)); }

  QTemporaryDir m_dir;
};

TEST_F(IniFileTest, MissingFileReadsDefaultsAndFirstWriteCreatesIt) {
  IniFile ini(PathOf("a.INI"));
  EXPECT_EQ(ini.ReadString("MySQL", "Host", "127.0.0.1"), "127.0.0.1");
  EXPECT_EQ(ini.ReadInteger("COM", "ReadPortSpeed", 38400), 38400);
  EXPECT_FALSE(ini.SectionExists("MySQL"));
  ASSERT_TRUE(ini.WriteString("MySQL", "Host", "10.0.0.5"));
  EXPECT_EQ(ReadBytes("a.INI"), QByteArray("[MySQL]\r\nHost=10.0.0.5\r\n"));
}

TEST_F(IniFileTest, LookupIsCaseInsensitiveAndTolerant) {
  WriteBytes("a.ini",
             "; comment line\n"
             "stray=before any section\n"
             "[ MySQL ]\n"
             "  Host =  db.plant  \n"
             "Login=\"temp master\"\n"
             "Login=second wins never\n"
             "garbage line without equals\n"
             "[mysql]\n"
             "Extra=in a second copy of the section\n"
             "[COM]\r\n"
             "HardReadPort=COM7\r\n");
  IniFile ini(PathOf("a.ini"));
  EXPECT_EQ(ini.ReadString("mysql", "HOST", ""), "db.plant");
  EXPECT_EQ(ini.ReadString("MySQL", "Login", ""), "temp master");
  EXPECT_EQ(ini.ReadString("MySQL", "Extra", "absent"), "absent");
  EXPECT_EQ(ini.ReadString("com", "hardreadport", ""), "COM7");
  EXPECT_EQ(ini.ReadString("", "stray", "none"), "none");
  EXPECT_EQ(ini.ReadSection("MYSQL"), QStringList({"Host", "Login"}));
  EXPECT_EQ(ini.ReadSections(), QStringList({"MySQL", "COM"}));
}

TEST_F(IniFileTest, NumbersThatDoNotParseGiveTheDefault) {
  struct Case {
    const char* text;
    int integer;    // default 77
    double number;  // default 7.5
  };
  const Case cases[] = {
      {"12", 12, 12},
      {"-3", -3, -3},
      {"0x00C0C0C0", 0xC0C0C0, 7.5},
      {"$FF", 255, 7.5},
      {"0xFFFFFFFF", -1, 7.5},
      {"12.5", 77, 12.5},
      {"12,5", 77, 12.5},
      {"1e3", 77, 1000},
      {"-2.5E-2", 77, -0.025},
      {"abc", 77, 7.5},
      {"12abc", 77, 7.5},
      {"", 77, 7.5},
      {"nan", 77, 7.5},
      {"inf", 77, 7.5},
      {"1e999", 77, 7.5},
      {"0x1p3", 77, 7.5},
      {"1,234.5", 77, 7.5},
      {"99999999999", 77, 99999999999.0},
      {"2147483648", 77, 2147483648.0},
      {"-2147483648", INT32_MIN, -2147483648.0},
  };
  QByteArray file = "[S]\n";
  for (size_t i = 0; i < std::size(cases); ++i)
    file += "k" + QByteArray::number(qulonglong(i)) + "=" + cases[i].text + "\n";
  WriteBytes("n.ini", file);
  IniFile ini(PathOf("n.ini"));
  for (size_t i = 0; i < std::size(cases); ++i) {
    const QString key = "k" + QString::number(i);
    EXPECT_EQ(ini.ReadInteger("S", key, 77), cases[i].integer) << cases[i].text;
    EXPECT_DOUBLE_EQ(ini.ReadFloat("S", key, 7.5), cases[i].number) << cases[i].text;
  }
  EXPECT_TRUE(ini.ReadBool("S", "k0", false));
  EXPECT_FALSE(ini.ReadBool("S", "k9", false));  // "abc": the default
}

TEST_F(IniFileTest, WritesKeepOtherLinesAndInsertIntoTheSection) {
  WriteBytes("w.ini", "; engineer's note\r\n[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");
  IniFile ini(PathOf("w.ini"));
  ASSERT_TRUE(ini.WriteInteger("a", "z", 3));
  ASSERT_TRUE(ini.WriteInteger("A", "X", 9));
  ASSERT_TRUE(ini.WriteBool("C", "flag", true));
  EXPECT_EQ(ReadBytes("w.ini"),
            QByteArray("; engineer's note\r\n[A]\r\nX=9\r\nz=3\r\n\r\n[B]\r\ny=2\r\n[C]\r\nflag=1\r\n"));
  ASSERT_TRUE(ini.DeleteKey("B", "y"));
  ASSERT_TRUE(ini.EraseSection("A"));
  EXPECT_EQ(ReadBytes("w.ini"), QByteArray("; engineer's note\r\n[B]\r\n[C]\r\nflag=1\r\n"));
}

TEST_F(IniFileTest, TextIsWindows1251AndLineBreaksCannotSplitAValue) {
  IniFile ini(PathOf("t.ini"));
  ASSERT_TRUE(ini.WriteString("Текст", "Ключ", "Значение\r\nвторая=строка"));
  const QByteArray bytes = ReadBytes("t.ini");
  EXPECT_EQ(FromCp1251(bytes), u"[Текст]\r\nКлюч=Значение  вторая=строка\r\n"_qs);
  EXPECT_EQ(IniFile(PathOf("t.ini")).ReadString("ТЕКСТ", "ключ", ""), u"Значение  вторая=строка"_qs);
}

TEST_F(IniFileTest, FloatsUseTheChosenSeparatorAndReadBackExactly) {
  IniFile ini(PathOf("f.ini"));
  ini.SetDecimalSeparator(u',');
  const double values[] = {1.0 / 60.0, 12.5, -0.001, 1e-7, 300};
  for (size_t i = 0; i < std::size(values); ++i)
    ASSERT_TRUE(ini.WriteFloat("F", "v" + QString::number(i), values[i]));
  EXPECT_EQ(ini.ReadString("F", "v0", ""), "0,0166666666666667");
  EXPECT_EQ(ini.ReadString("F", "v1", ""), "12,5");
  IniFile other(PathOf("f.ini"));
  other.SetDecimalSeparator(u'.');
  EXPECT_DOUBLE_EQ(other.ReadFloat("F", "v1", 0), 12.5);
  EXPECT_NEAR(other.ReadFloat("F", "v0", 0), 1.0 / 60.0, 1e-15);
  EXPECT_DOUBLE_EQ(other.ReadFloat("F", "v3", 0), 1e-7);
}

TEST_F(IniFileTest, SeesChangesMadeByAnotherWriter) {
  IniFile first(PathOf("s.ini"));
  IniFile second(PathOf("s.ini"));
  ASSERT_TRUE(first.WriteInteger("S", "a", 1));
  EXPECT_EQ(second.ReadInteger("S", "a", 0), 1);
  ASSERT_TRUE(second.WriteInteger("S", "b", 2));
  ASSERT_TRUE(first.WriteInteger("S", "a", 3));
  EXPECT_EQ(second.ReadInteger("S", "b", 0), 2);
  EXPECT_EQ(second.ReadInteger("S", "a", 0), 3);
}

TEST_F(IniFileTest, FailedWriteKeepsTheOldFileWhole) {
  // A folder that does not exist stands for any failure to create the
  // temporary file; /dev/full stands for a full disk.
  IniFile nowhere(PathOf("missing/x.ini"));
  EXPECT_FALSE(nowhere.WriteString("S", "k", "v"));
  EXPECT_EQ(nowhere.ReadString("S", "k", "default"), "default");

  WriteBytes("keep.ini", "[S]\r\nk=old\r\n");
  IniFile ini(PathOf("keep.ini"));
  ASSERT_TRUE(QDir(m_dir.path()).mkdir("keep.ini.dir"));
  // Make the rename fail: the target becomes a non-empty directory.
  QFile::remove(PathOf("keep.ini"));
  ASSERT_TRUE(QDir(m_dir.path()).rename("keep.ini.dir", "keep.ini"));
  WriteBytes("keep.ini/inside", "x");
  EXPECT_FALSE(ini.WriteString("S", "k", "new"));
  EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files).size(), 0);  // no temporary left behind
}

TEST_F(IniFileTest, BinaryGarbageReadsWithoutHarm) {
  QByteArray garbage;
  for (int i = 0; i < 4096; ++i) garbage.append(static_cast<char>((i * 7919) & 0xFF));
  garbage.append("\n[S]\nk=5\n[");
  WriteBytes("g.ini", garbage);
  IniFile ini(PathOf("g.ini"));
  EXPECT_EQ(ini.ReadInteger("S", "k", 0), 5);
  ASSERT_TRUE(ini.WriteInteger("S", "k", 6));
  EXPECT_EQ(IniFile(PathOf("g.ini")).ReadInteger("S", "k", 0), 6);
}

}  // namespace

namespace {

TEST_F(IniFileTest, GroupedWritesReachTheDiskTogetherOrNotAtAll) {
  WriteBytes("u.ini", "[S]\r\nk=old\r\n");
  IniFile ini(PathOf("u.ini"));
  {
    IniUpdate update(ini);
    ASSERT_TRUE(ini.WriteString("S", "k", "new"));
    ini.BeginUpdate();  // nested: the inner end writes nothing yet
    ASSERT_TRUE(ini.WriteString("S", "j", "2"));
    ASSERT_TRUE(ini.EndUpdate());
    EXPECT_EQ(ini.ReadString("S", "j", ""), "2");
    EXPECT_EQ(ReadBytes("u.ini"), QByteArray("[S]\r\nk=old\r\n"));
    ASSERT_TRUE(update.Commit());
  }
  EXPECT_EQ(ReadBytes("u.ini"), QByteArray("[S]\r\nk=new\r\nj=2\r\n"));

  // The file's place taken by a non-empty folder: the grouped write fails and
  // the pending changes are not reported as stored.
  IniFile blocked(PathOf("blocked.ini"));
  ASSERT_TRUE(QDir(m_dir.path()).mkpath("blocked.ini/inside"));
  IniUpdate update(blocked);
  EXPECT_TRUE(blocked.WriteString("S", "k", "v"));
  EXPECT_FALSE(update.Commit());
  EXPECT_EQ(blocked.ReadString("S", "k", "default"), "default");
}

}  // namespace
