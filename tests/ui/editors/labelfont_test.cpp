#include "ui/editors/labelfont.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFontInfo>
#include <QLabel>
#include <QTemporaryDir>

#include "common/inifile.h"
#include "support/files.h"
#include "ui/elements/elementfont.h"

namespace {

class LabelFontTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.isValid());
    ASSERT_TRUE(QDir(m_dir.path()).mkpath(u"config"_qs));
    m_diagram.setObjectName(u"FormMnemo"_qs);
    m_caption = new QLabel(u"Пульпа"_qs, &m_diagram);
    m_caption->setObjectName(u"Label7"_qs);
    SetCaptionFont(u"Times New Roman"_qs, 16, Qt::yellow);
  }

  void SetCaptionFont(const QString& face, int pixels, const QColor& color) {
    m_caption->setFont(PixelFont(face, pixels, true));
    QPalette palette = m_caption->palette();
    palette.setColor(m_caption->foregroundRole(), color);
    m_caption->setPalette(palette);
  }
  QColor CaptionColor() const { return m_caption->palette().color(m_caption->foregroundRole()); }
  QString File() const { return m_dir.filePath(u"config/FormMnemo.INI"_qs); }
  void WriteFile(const char* content) { ASSERT_TRUE(WriteFileBytes(File(), QByteArray(content))); }

  QTemporaryDir m_dir;
  QWidget m_diagram;
  QLabel* m_caption = nullptr;
};

TEST_F(LabelFontTest, File_IsNamedAfterTheCaptionsParent) {
  EXPECT_EQ(LabelFontFile(*m_caption, m_dir.path()), File());
  QWidget vessel(&m_diagram);
  vessel.setObjectName(u"ConusBoxURFK1"_qs);
  QLabel onVessel(&vessel);
  EXPECT_EQ(LabelFontFile(onVessel, m_dir.path()), m_dir.filePath(u"config/ConusBoxURFK1.INI"_qs));
  QLabel orphan;
  EXPECT_TRUE(LabelFontFile(orphan, m_dir.path()).isEmpty());
  EXPECT_FALSE(SaveLabelFont(orphan, m_dir.path()));
  EXPECT_FALSE(LoadLabelFont(orphan, m_dir.path()));
}

TEST_F(LabelFontTest, SaveThenLoad_BringsBackFaceSizeAndColour) {
  ASSERT_TRUE(SaveLabelFont(*m_caption, m_dir.path()));
  const IniFile ini(File());
  EXPECT_EQ(ini.ReadInteger(u"Label7"_qs, u"FontColor"_qs, -1), static_cast<int>(clYellow));
  EXPECT_EQ(ini.ReadInteger(u"Label7"_qs, u"FontSize"_qs, -1), 12);  // 16 px at 96 dpi
  EXPECT_EQ(ini.ReadString(u"Label7"_qs, u"FontName"_qs, {}), u"Times New Roman"_qs);

  SetCaptionFont(u"Arial"_qs, 25, Qt::red);
  ASSERT_TRUE(LoadLabelFont(*m_caption, m_dir.path()));
  EXPECT_EQ(m_caption->font().family(), u"Times New Roman"_qs);
  EXPECT_EQ(m_caption->font().pixelSize(), 16);
  EXPECT_EQ(CaptionColor(), QColor(Qt::yellow));
  EXPECT_TRUE(m_caption->font().bold());  // not stored, not touched
}

TEST_F(LabelFontTest, Load_FaceThatDoesNotExistKeepsTheCaptionsFace) {
  const QString before = QFontInfo(m_caption->font()).family();
  WriteFile("[Label7]\nFontName=No Such Face 4711\nFontSize=15\n");
  ASSERT_TRUE(LoadLabelFont(*m_caption, m_dir.path()));
  EXPECT_EQ(QFontInfo(m_caption->font()).family(), before);
  EXPECT_EQ(m_caption->font().family(), u"Times New Roman"_qs);
  EXPECT_EQ(m_caption->font().pixelSize(), 20);  // the rest of the file still counts

  // A face that exists, by its alias and by its own name, is taken.
  for (const QString& face : {u"Arial"_qs, u"Liberation Mono"_qs}) {
    WriteFile(QStringLiteral("[Label7]\nFontName=%1\n").arg(face).toLatin1().constData());
    ASSERT_TRUE(LoadLabelFont(*m_caption, m_dir.path()));
    EXPECT_EQ(m_caption->font().family(), face);
  }
}

TEST_F(LabelFontTest, Load_GarbageValuesLeaveEachPartAsItWas) {
  const char* const files[] = {
      "[Label7]\nFontColor=yellow\nFontSize=big\nFontName=\n",
      "[Label7]\nFontColor=-5\nFontSize=0\n",
      "[Label7]\nFontColor=16777216\nFontSize=-12\n",
      "[Label7]\nFontColor=0x1FFFFFF\nFontSize=12.5\n",
      "garbage without sections\n\x01\x02\xff",
      "",
  };
  for (const char* content : files) {
    SCOPED_TRACE(content);
    WriteFile(content);
    EXPECT_TRUE(LoadLabelFont(*m_caption, m_dir.path()));
    EXPECT_EQ(m_caption->font().family(), u"Times New Roman"_qs);
    EXPECT_EQ(m_caption->font().pixelSize(), 16);
    EXPECT_EQ(CaptionColor(), QColor(Qt::yellow));
  }
}

TEST_F(LabelFontTest, Load_HugeSizeIsClampedAndMissingFileChangesNothing) {
  WriteFile("[Label7]\nFontSize=100000\nFontColor=255\n");
  ASSERT_TRUE(LoadLabelFont(*m_caption, m_dir.path()));
  EXPECT_EQ(m_caption->font().pixelSize(), ElementFont::kMaxPixelSize);
  EXPECT_EQ(CaptionColor(), QColor(Qt::red));

  SetCaptionFont(u"Times New Roman"_qs, 16, Qt::yellow);
  ASSERT_TRUE(QFile::remove(File()));
  EXPECT_TRUE(LoadLabelFont(*m_caption, m_dir.path()));
  EXPECT_EQ(m_caption->font().pixelSize(), 16);
}

TEST_F(LabelFontTest, Save_WithoutConfigFolderOrNameFails) {
  ASSERT_TRUE(QDir(m_dir.filePath(u"config"_qs)).removeRecursively());
  EXPECT_FALSE(SaveLabelFont(*m_caption, m_dir.path()));
  ASSERT_TRUE(QDir(m_dir.path()).mkpath(u"config"_qs));
  m_caption->setObjectName(QString());
  EXPECT_FALSE(SaveLabelFont(*m_caption, m_dir.path()));
  EXPECT_FALSE(LoadLabelFont(*m_caption, m_dir.path()));
}

TEST_F(LabelFontTest, Save_KeepsTheOtherSectionsOfTheDiagramsStyleFile) {
  WriteFile("[Arrow5]\nArrowWidth=4\n");
  ASSERT_TRUE(SaveLabelFont(*m_caption, m_dir.path()));
  EXPECT_EQ(IniFile(File()).ReadInteger(u"Arrow5"_qs, u"ArrowWidth"_qs, -1), 4);
}

}  // namespace
