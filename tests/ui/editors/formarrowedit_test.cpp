#include "ui/editors/formarrowedit.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <optional>
#include <vector>

#include "common/inifile.h"
#include "support/modaldialogs.h"
#include "support/waitfor.h"

namespace {

// Stands in for the colour picker and the error box.
struct FakeDialogs {
  std::vector<TColor> colorsOffered;
  std::optional<TColor> nextColor;
  QStringList errors;

  EditorDialogs Make() {
    EditorDialogs dialogs;
    dialogs.PickColor = [this](TColor initial, QWidget*) {
      colorsOffered.push_back(initial);
      return nextColor;
    };
    dialogs.ShowError = [this](QWidget*, const QString& text) { errors << text; };
    return dialogs;
  }
};

class FormArrowEditTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.isValid());
    m_diagram.setObjectName(u"FormMnemo"_qs);
    m_target = new TArrow(&m_diagram);
    m_target->setObjectName(u"Arrow5"_qs);
    m_target->SetConfigName(m_dir.filePath(u"FormMnemo.INI"_qs));
    m_target->SetArrowWidth(5);
    m_target->SetColor(clLime);
    m_editor.SetTarget(m_target);
  }

  QPushButton& Button(const char* name) {
    auto* button = m_editor.findChild<QPushButton*>(QString::fromLatin1(name));
    EXPECT_NE(button, nullptr) << name;
    return *button;
  }
  QLineEdit& Edit1() { return *m_editor.findChild<QLineEdit*>(u"Edit1"_qs); }
  TArrow& Arrow1() { return *m_editor.findChild<TArrow*>(u"Arrow1"_qs); }

  void Open() {
    m_editor.show();
    ASSERT_TRUE(m_editor.isVisible());
  }
  void EnterWidth(const QString& text) {
    Edit1().setText(text);
    QTest::keyClick(&Edit1(), Qt::Key_Return);
  }
  // The target's stored style.
  int StoredWidth() const {
    return IniFile(m_target->ConfigName()).ReadInteger(u"Arrow5"_qs, u"ArrowWidth"_qs, -1);
  }
  int StoredColor() const {
    return IniFile(m_target->ConfigName()).ReadInteger(u"Arrow5"_qs, u"Color"_qs, -1);
  }

  QTemporaryDir m_dir;
  QWidget m_diagram;
  TArrow* m_target = nullptr;
  FakeDialogs m_dialogs;
  TFormArrowEdit m_editor{nullptr, m_dialogs.Make()};
};

TEST_F(FormArrowEditTest, Window_HasItsCaptionPreviewAndButtons) {
  EXPECT_EQ(m_editor.objectName(), u"FormArrowEdit"_qs);
  EXPECT_EQ(m_editor.windowTitle(), u"Свойства стрелок:"_qs);
  EXPECT_TRUE(m_editor.windowFlags().testFlag(Qt::Tool));
  EXPECT_TRUE(m_editor.windowFlags().testFlag(Qt::WindowCloseButtonHint));
  EXPECT_EQ(Arrow1().size(), QSize(50, 23));
  EXPECT_EQ(m_editor.Preview(), &Arrow1());
  const std::pair<const char*, QString> buttons[] = {{"ButColor", u"Цвет"_qs},
                                                     {"ButUse", u"Применить"_qs},
                                                     {"BitBtn2", u"Отменить"_qs},
                                                     {"BitBtn3", u"Сохранить для всей группы"_qs},
                                                     {"BitBtn1", u"Закрыть"_qs}};
  for (const auto& [name, text] : buttons) EXPECT_EQ(Button(name).text(), text) << name;
  EXPECT_EQ(m_editor.font().pixelSize(), 13);
  EXPECT_TRUE(m_editor.font().bold());
  EXPECT_EQ(m_editor.palette().color(QPalette::WindowText), ColorFromTColor(clNavy));
}

TEST_F(FormArrowEditTest, Opening_CopiesTargetIntoPreviewAndStoresUndoPoint) {
  Open();
  EXPECT_EQ(Arrow1().ArrowWidth(), 5);
  EXPECT_EQ(Arrow1().Color(), clLime);
  EXPECT_EQ(Edit1().text(), u"5"_qs);
  EXPECT_EQ(StoredWidth(), 5);
  EXPECT_EQ(StoredColor(), static_cast<int>(clLime));
}

TEST_F(FormArrowEditTest, CancelAtOnce_LeavesTargetAndItsStoredStyle) {
  int result = -1;
  WhenModalShows([this](QWidget&) { Button("BitBtn2").click(); });
  result = m_editor.exec();
  EXPECT_EQ(result, QDialog::Rejected);
  EXPECT_EQ(m_target->ArrowWidth(), 5);
  EXPECT_EQ(m_target->Color(), clLime);
  EXPECT_EQ(StoredWidth(), 5);
  EXPECT_EQ(StoredColor(), static_cast<int>(clLime));
}

TEST_F(FormArrowEditTest, ApplyThenCancel_RestoresTheStyleOfTheOpening) {
  Open();
  m_dialogs.nextColor = clBlue;
  Button("ButColor").click();
  ASSERT_EQ(m_dialogs.colorsOffered, std::vector<TColor>{clLime});
  EXPECT_EQ(Arrow1().Color(), clBlue);
  EXPECT_EQ(m_target->Color(), clLime);  // only the preview so far
  Edit1().setText(u"7"_qs);              // "Применить" takes the edit without Enter
  Button("ButUse").click();
  EXPECT_EQ(m_target->ArrowWidth(), 7);
  EXPECT_EQ(m_target->Color(), clBlue);

  Button("BitBtn2").click();
  EXPECT_FALSE(m_editor.isVisible());
  EXPECT_EQ(m_editor.result(), QDialog::Rejected);
  EXPECT_EQ(m_target->ArrowWidth(), 5);
  EXPECT_EQ(m_target->Color(), clLime);
}

TEST_F(FormArrowEditTest, ApplyThenClose_KeepsNewLookUntilStylesReload) {
  Open();
  m_dialogs.nextColor = clFuchsia;
  Button("ButColor").click();
  EnterWidth(u"9"_qs);
  Button("ButUse").click();
  Button("BitBtn1").click();
  EXPECT_FALSE(m_editor.isVisible());
  EXPECT_EQ(m_editor.result(), QDialog::Rejected);
  EXPECT_EQ(m_target->ArrowWidth(), 9);
  EXPECT_EQ(m_target->Color(), clFuchsia);
  EXPECT_EQ(StoredWidth(), 5);  // not stored

  m_target->LoadConfig();
  EXPECT_EQ(m_target->ArrowWidth(), 5);
  EXPECT_EQ(m_target->Color(), clLime);
}

TEST_F(FormArrowEditTest, SaveForGroup_StoresAndClosesWithOk) {
  WhenModalShows([this](QWidget&) {
    m_dialogs.nextColor = clAqua;
    Button("ButColor").click();
    Edit1().setText(u"2"_qs);
    Button("ButUse").click();
    Button("BitBtn3").click();
  });
  EXPECT_EQ(m_editor.exec(), QDialog::Accepted);
  EXPECT_EQ(m_target->ArrowWidth(), 2);
  EXPECT_EQ(StoredWidth(), 2);
  EXPECT_EQ(StoredColor(), static_cast<int>(clAqua));
}

TEST_F(FormArrowEditTest, ColourPickerCancelled_ChangesNothing) {
  Open();
  m_dialogs.nextColor.reset();
  Button("ButColor").click();
  EXPECT_EQ(Arrow1().Color(), clLime);
}

TEST_F(FormArrowEditTest, BadWidth_IsRefusedAndPreviewAndTargetKeepTheirWidth) {
  Open();
  for (const QString& bad : {u"abc"_qs, QString(), u"-5"_qs, u"10000"_qs, u"3.5"_qs, u"101"_qs}) {
    m_dialogs.errors.clear();
    EnterWidth(bad);
    ASSERT_EQ(m_dialogs.errors.size(), 1) << bad.toStdString();
    EXPECT_TRUE(m_dialogs.errors[0].contains(u"от 0 до 100"_qs)) << m_dialogs.errors[0].toStdString();
    EXPECT_EQ(Arrow1().ArrowWidth(), 5) << bad.toStdString();

    m_dialogs.errors.clear();
    Button("ButUse").click();
    EXPECT_EQ(m_dialogs.errors.size(), 1) << bad.toStdString();
    EXPECT_EQ(m_target->ArrowWidth(), 5) << bad.toStdString();
  }
  EXPECT_TRUE(m_editor.isVisible());  // Enter never closes the window

  for (const QString& good : {u"0"_qs, u" 100 "_qs, u"12"_qs}) {
    m_dialogs.errors.clear();
    EnterWidth(good);
    EXPECT_TRUE(m_dialogs.errors.isEmpty()) << good.toStdString();
    EXPECT_EQ(Arrow1().ArrowWidth(), good.trimmed().toInt());
  }
  EXPECT_TRUE(m_editor.isVisible());
}

TEST_F(FormArrowEditTest, BadWidth_PlatformBoxSaysErrorWithCriticalIcon) {
  TFormArrowEdit editor;  // the platform's dialogs
  editor.show();
  editor.findChild<QLineEdit*>(u"Edit1"_qs)->setText(u"толстая"_qs);
  MessageBoxSeen seen;
  AnswerMessageBox(QMessageBox::Ok, &seen);
  editor.findChild<QPushButton*>(u"ButUse"_qs)->click();
  EXPECT_TRUE(seen.shown);
  EXPECT_EQ(seen.title, u"Ошибка"_qs);
  EXPECT_EQ(seen.icon, QMessageBox::Critical);
  EXPECT_TRUE(seen.text.contains(u"«толстая»"_qs)) << seen.text.toStdString();
}

TEST_F(FormArrowEditTest, EscapeMeansCancel) {
  Open();
  Edit1().setText(u"8"_qs);
  Button("ButUse").click();
  QTest::keyClick(&Edit1(), Qt::Key_Escape);
  EXPECT_FALSE(m_editor.isVisible());
  EXPECT_EQ(m_target->ArrowWidth(), 5);
}

TEST_F(FormArrowEditTest, UnwritableStyleFile_IsReportedAndSaveForGroupStaysOpen) {
  m_target->SetConfigName(m_dir.filePath(u"missing folder/FormMnemo.INI"_qs));
  WhenModalShows([this](QWidget&) {
    // The failed undo point at opening is reported once the window is up.
    EXPECT_TRUE(WaitFor([this] { return m_dialogs.errors.size() == 1; }));
    Button("BitBtn3").click();
    EXPECT_EQ(m_dialogs.errors.size(), 2);
    EXPECT_TRUE(m_editor.isVisible());
    Button("BitBtn1").click();
  });
  EXPECT_EQ(m_editor.exec(), QDialog::Rejected);
  EXPECT_TRUE(m_dialogs.errors.value(1).contains(u"missing folder"_qs));
}

TEST_F(FormArrowEditTest, WithoutTarget_EditsPreviewAndWritesNoFile) {
  m_editor.SetTarget(nullptr);
  EXPECT_EQ(m_editor.Target(), &Arrow1());
  Open();
  EnterWidth(u"6"_qs);
  Button("ButUse").click();
  Button("BitBtn3").click();
  EXPECT_EQ(m_editor.result(), QDialog::Accepted);
  EXPECT_EQ(Arrow1().ArrowWidth(), 6);
  EXPECT_TRUE(m_dialogs.errors.isEmpty());
}

TEST_F(FormArrowEditTest, DestroyedTarget_FallsBackToPreview) {
  delete m_target;
  m_target = nullptr;
  EXPECT_EQ(m_editor.Target(), &Arrow1());
  Open();
  Button("BitBtn2").click();
  EXPECT_EQ(m_editor.result(), QDialog::Rejected);
}

}  // namespace
