#include "ui/trends/formeditgraph.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "station/commandset.h"
#include "support/modaldialogs.h"
#include "ui/trends/levelgraph.h"

namespace {

const char* const kEditNames[] = {"EditYMin", "EditYMax", "EditYLabelStep", "EditRightYMin",
                                  "EditRightScaleStep"};

// "text" with its "." as the system's decimal separator, the way the operator
// types it there.
QString Typed(const char* text) {
  return QString::fromLatin1(text).replace(u'.', SystemDecimalSeparator());
}

QChar OtherSeparator() {
  return SystemDecimalSeparator() == u'.' ? u',' : u'.';
}

// The five numbers in edit order, then the four flags.
struct Scales {
  std::array<double, 5> Numbers;
  std::array<bool, 4> Flags;  // AutoYMin, AutoYMax, AutoYScale, ShowRightScale
};

const Scales kOld = {{-2.5, 40, 5, 0.25, 1e-5}, {true, false, true, true}};
const Scales kNew = {{10, 90, 20, 3.5, 0.5}, {false, true, false, false}};
const char* const kNewTexts[] = {"10", "90", "20", "3.5", "0.5"};

Scales Read(const TLevelGraph& graph) {
  return {{graph.YMin(), graph.YMax(), graph.YLabelStep(), graph.RightYMin(), graph.RightScaleStep()},
          {graph.AutoYMin(), graph.AutoYMax(), graph.AutoYScale(), graph.ShowRightScale()}};
}

void ExpectScales(const Scales& expected, const Scales& actual) {
  for (size_t i = 0; i < expected.Numbers.size(); ++i) {
    EXPECT_DOUBLE_EQ(expected.Numbers[i], actual.Numbers[i]) << kEditNames[i];
  }
  EXPECT_EQ(expected.Flags, actual.Flags);
}

struct ErrorSeen {
  int Count = 0;
  QWidget* Parent = nullptr;
  QString Caption;
  QString Text;
};

// A graph with a distinct value in every scale property, inside an owner
// window, and a recording error sink.
class EditGraphScaleTest : public ::testing::Test {
 protected:
  EditGraphScaleTest() : m_owner(std::make_unique<QWidget>()), m_graph(new TLevelGraph(m_owner.get())) {
    RestoreOld();
  }

  void RestoreOld() {
    m_graph->SetYMax(kOld.Numbers[1]);  // first, so the minimum does not push it
    m_graph->SetYMin(kOld.Numbers[0]);
    m_graph->SetYLabelStep(kOld.Numbers[2]);
    m_graph->SetRightYMin(kOld.Numbers[3]);
    m_graph->SetRightScaleStep(kOld.Numbers[4]);
    m_graph->SetAutoYMin(kOld.Flags[0]);
    m_graph->SetAutoYMax(kOld.Flags[1]);
    m_graph->SetAutoYScale(kOld.Flags[2]);
    m_graph->SetShowRightScale(kOld.Flags[3]);
  }

  // Runs the dialog; "answer" sees it while it is open and must close it.
  bool Run(std::function<void(TFormEditGraph&)> answer) {
    WhenModalShows([answer = std::move(answer)](QWidget& modal) {
      if (auto* form = qobject_cast<TFormEditGraph*>(&modal)) {
        answer(*form);
        if (form->isVisible()) form->reject();  // never leave the test hanging
      } else {
        modal.close();
      }
    });
    return EditGraphScale(m_graph, m_owner.get(),
                          [this](QWidget* parent, const QString& caption, const QString& text) {
                            ++m_error.Count;
                            m_error.Parent = parent;
                            m_error.Caption = caption;
                            m_error.Text = text;
                          });
  }

  static QLineEdit& Edit(TFormEditGraph& form, int index) {
    auto* edit = form.findChild<QLineEdit*>(QString::fromLatin1(kEditNames[index]));
    EXPECT_NE(edit, nullptr) << kEditNames[index];
    return edit != nullptr ? *edit : form.EditYMin();
  }

  static QCheckBox& Box(TFormEditGraph& form, const char* name) {
    auto* box = form.findChild<QCheckBox*>(QString::fromLatin1(name));
    EXPECT_NE(box, nullptr) << name;
    return box != nullptr ? *box : form.CheckBoxAutoYMin();
  }

  static void Press(TFormEditGraph& form, const char* name) {
    auto* button = form.findChild<QPushButton*>(QString::fromLatin1(name));
    ASSERT_NE(button, nullptr) << name;
    button->click();
  }

  // Types kNew into the dialog; the edit at "badIndex" gets "badText".
  static void TypeNew(TFormEditGraph& form, int badIndex = -1, const QString& badText = {}) {
    for (int i = 0; i < 5; ++i) Edit(form, i).setText(i == badIndex ? badText : Typed(kNewTexts[i]));
    const char* const boxes[] = {"CheckBoxAutoYMin", "CheckBoxAutoYMax", "CheckBoxAutoYScale",
                                 "CheckBoxShowRightScale"};
    for (int i = 0; i < 4; ++i) Box(form, boxes[i]).setChecked(kNew.Flags[i]);
  }

  int FormsLeft() const { return static_cast<int>(m_owner->findChildren<TFormEditGraph*>().size()); }

  std::unique_ptr<QWidget> m_owner;
  TLevelGraph* m_graph;
  ErrorSeen m_error;
};

TEST_F(EditGraphScaleTest, FillsTheDialogFromTheGraph) {
  bool seen = false;
  const bool result = Run([&](TFormEditGraph& form) {
    seen = true;
    EXPECT_EQ(form.parentWidget(), m_owner.get());
    EXPECT_EQ(Edit(form, 0).text(), Typed("-2.5"));
    EXPECT_EQ(Edit(form, 1).text(), u"40"_qs);
    EXPECT_EQ(Edit(form, 2).text(), u"5"_qs);
    EXPECT_EQ(Edit(form, 3).text(), Typed("0.25"));
    EXPECT_EQ(Edit(form, 4).text(), u"1E-5"_qs);
    EXPECT_TRUE(Box(form, "CheckBoxAutoYMin").isChecked());
    EXPECT_FALSE(Box(form, "CheckBoxAutoYMax").isChecked());
    EXPECT_TRUE(Box(form, "CheckBoxAutoYScale").isChecked());
    EXPECT_TRUE(Box(form, "CheckBoxShowRightScale").isChecked());
    // The handlers ran for the boxes that became checked.
    EXPECT_FALSE(Edit(form, 0).isVisible());
    EXPECT_TRUE(Edit(form, 1).isVisible());
    EXPECT_FALSE(Edit(form, 2).isVisible());
    EXPECT_TRUE(Edit(form, 3).isVisible());
    EXPECT_TRUE(Edit(form, 4).isVisible());
    Press(form, "ButtonCancel");
  });
  EXPECT_TRUE(seen);
  EXPECT_FALSE(result);
  EXPECT_EQ(FormsLeft(), 0);
}

TEST_F(EditGraphScaleTest, UnshownRightScaleStillShowsItsEdits) {
  m_graph->SetShowRightScale(false);
  m_graph->SetAutoYMin(false);
  bool seen = false;
  Run([&](TFormEditGraph& form) {
    seen = true;
    EXPECT_FALSE(Box(form, "CheckBoxShowRightScale").isChecked());
    EXPECT_TRUE(Edit(form, 0).isVisible());
    EXPECT_TRUE(Edit(form, 3).isVisible());
    EXPECT_TRUE(Edit(form, 4).isVisible());
    Press(form, "ButtonCancel");
  });
  EXPECT_TRUE(seen);
}

TEST_F(EditGraphScaleTest, OkWritesEveryValueAndFlag) {
  const bool result = Run([](TFormEditGraph& form) {
    TypeNew(form);
    Press(form, "ButtonOK");
  });
  EXPECT_TRUE(result);
  ExpectScales(kNew, Read(*m_graph));
  EXPECT_EQ(m_error.Count, 0);
  EXPECT_EQ(FormsLeft(), 0);
}

TEST_F(EditGraphScaleTest, EnterAcceptsLikeOk) {
  const bool result = Run([](TFormEditGraph& form) {
    TypeNew(form);
    QTest::keyClick(&Edit(form, 0), Qt::Key_Return);
  });
  EXPECT_TRUE(result);
  ExpectScales(kNew, Read(*m_graph));
}

TEST_F(EditGraphScaleTest, CancelOrEscapeWritesNothing) {
  for (const bool escape : {false, true}) {
    SCOPED_TRACE(escape ? "Esc" : "Отменить");
    const bool result = Run([escape](TFormEditGraph& form) {
      TypeNew(form);
      if (escape)
        QTest::keyClick(&Edit(form, 1), Qt::Key_Escape);
      else
        Press(form, "ButtonCancel");
    });
    EXPECT_FALSE(result);
    ExpectScales(kOld, Read(*m_graph));
    EXPECT_EQ(m_error.Count, 0);
    EXPECT_EQ(FormsLeft(), 0);
  }
}

TEST_F(EditGraphScaleTest, BadNumberStopsTheWritingThereAndSaysSo) {
  struct Case {
    int BadIndex;
    QString Text;
  };
  const std::vector<Case> cases = {
      {0, u"abc"_qs},
      {1, QString()},
      {2, u"1"_qs + OtherSeparator() + u"5"_qs},  // the separator of another locale
      {2, u"12x"_qs},
      {3, u"1e39"_qs},  // beyond what the scales can hold
      {4, u" "_qs},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << kEditNames[c.BadIndex] << " = \"" << c.Text.toStdString() << "\"");
    RestoreOld();
    m_error = {};
    const bool result = Run([&c](TFormEditGraph& form) {
      TypeNew(form, c.BadIndex, c.Text);
      Press(form, "ButtonOK");
    });
    EXPECT_FALSE(result);
    Scales expected = kOld;
    for (int i = 0; i < c.BadIndex; ++i) expected.Numbers[i] = kNew.Numbers[i];
    ExpectScales(expected, Read(*m_graph));
    EXPECT_EQ(m_error.Count, 1);
    EXPECT_EQ(m_error.Parent, m_owner.get());
    EXPECT_EQ(m_error.Caption, u"Ошибка"_qs);
    EXPECT_EQ(m_error.Text, u"Правильно вводите числа."_qs);
    EXPECT_EQ(FormsLeft(), 0);
  }
}

TEST_F(EditGraphScaleTest, BadNumberShowsACriticalMessageBoxByDefault) {
  MessageBoxSeen seen;
  QWidget* boxParent = nullptr;
  WhenModalShows([&](QWidget& modal) {
    auto* form = qobject_cast<TFormEditGraph*>(&modal);
    if (form == nullptr) {
      modal.close();
      return;
    }
    TypeNew(*form, 2, u"много"_qs);
    // accept() hides the dialog at once, so the next modal is the message box.
    WhenModalShows([&](QWidget& next) {
      auto* box = qobject_cast<QMessageBox*>(&next);
      if (box != nullptr) {
        seen.shown = true;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        boxParent = box->parentWidget();
      }
      next.close();
    });
    Press(*form, "ButtonOK");
  });
  EXPECT_FALSE(EditGraphScale(m_graph, m_owner.get()));
  EXPECT_TRUE(seen.shown);
  EXPECT_EQ(seen.title, u"Ошибка"_qs);
  EXPECT_EQ(seen.text, u"Правильно вводите числа."_qs);
  EXPECT_EQ(seen.icon, QMessageBox::Critical);
  EXPECT_EQ(boxParent, m_owner.get());
  EXPECT_DOUBLE_EQ(m_graph->YMax(), kNew.Numbers[1]);
  EXPECT_DOUBLE_EQ(m_graph->YLabelStep(), kOld.Numbers[2]);
}

TEST_F(EditGraphScaleTest, OwnerClosingWhileOpenWritesNothing) {
  TLevelGraph graph;  // not a child of the owner, so it outlives it
  graph.SetYMax(7);
  QPointer<QWidget> owner = new QWidget;
  bool seen = false;
  WhenModalShows([&](QWidget& modal) {
    seen = qobject_cast<TFormEditGraph*>(&modal) != nullptr;
    if (auto* form = qobject_cast<TFormEditGraph*>(&modal)) TypeNew(*form);
    delete owner.data();  // takes the dialog with it
  });
  EXPECT_FALSE(EditGraphScale(&graph, owner.data(), [](QWidget*, const QString&, const QString&) {}));
  EXPECT_TRUE(seen);
  EXPECT_TRUE(owner.isNull());
  EXPECT_DOUBLE_EQ(graph.YMax(), 7);
  EXPECT_FALSE(graph.AutoYMax());
}

TEST_F(EditGraphScaleTest, AnythingButALevelGraphIsLeftAlone) {
  // Had a dialog opened, this closes it and says so instead of hanging.
  bool dialogShown = false;
  QTimer closer;
  closer.setSingleShot(true);
  QObject::connect(&closer, &QTimer::timeout, [&dialogShown] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      dialogShown = true;
      modal->close();
    }
  });
  QWidget plain(m_owner.get());
  for (QWidget* graph : {&plain, static_cast<QWidget*>(nullptr), m_owner.get()}) {
    closer.start(0);
    EXPECT_FALSE(EditGraphScale(graph, m_owner.get()));
    QCoreApplication::processEvents();
    EXPECT_FALSE(dialogShown);
    EXPECT_EQ(FormsLeft(), 0);
  }
  ExpectScales(kOld, Read(*m_graph));
}

TEST(FormEditGraphTest, FreshDialogShowsEveryEdit) {
  TFormEditGraph form;
  EXPECT_EQ(form.objectName(), u"FormEditGraph"_qs);
  EXPECT_EQ(form.windowTitle(), u"Параметры шкалы графика"_qs);
  EXPECT_EQ(form.size(), QSize(288, 280));
  EXPECT_EQ(form.font().pixelSize(), 13);
  EXPECT_TRUE(form.font().bold());
  for (const char* name : kEditNames) {
    auto* edit = form.findChild<QLineEdit*>(QString::fromLatin1(name));
    ASSERT_NE(edit, nullptr) << name;
    EXPECT_FALSE(edit->isHidden()) << name;
  }
  auto* ok = form.findChild<QPushButton*>(u"ButtonOK"_qs);
  auto* cancel = form.findChild<QPushButton*>(u"ButtonCancel"_qs);
  ASSERT_NE(ok, nullptr);
  ASSERT_NE(cancel, nullptr);
  EXPECT_EQ(ok->text(), u"Установить"_qs);
  EXPECT_TRUE(ok->isDefault());
  EXPECT_EQ(cancel->text(), u"Отменить"_qs);
}

TEST(FormEditGraphTest, CheckBoxesHideAndShowTheirEdits) {
  struct Case {
    const char* Box;
    std::vector<const char*> Edits;
    bool HiddenWhenChecked;
  };
  const std::vector<Case> cases = {
      {"CheckBoxAutoYMin", {"EditYMin"}, true},
      {"CheckBoxAutoYMax", {"EditYMax"}, true},
      {"CheckBoxAutoYScale", {"EditYLabelStep"}, true},
      {"CheckBoxShowRightScale", {"EditRightYMin", "EditRightScaleStep"}, false},
  };
  TFormEditGraph form;
  form.show();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Box);
    auto* box = form.findChild<QCheckBox*>(QString::fromLatin1(c.Box));
    ASSERT_NE(box, nullptr);
    for (const bool checked : {true, false, true}) {
      QTest::mouseClick(box, Qt::LeftButton);
      ASSERT_EQ(box->isChecked(), checked);
      for (const char* name : c.Edits) {
        auto* edit = form.findChild<QLineEdit*>(QString::fromLatin1(name));
        ASSERT_NE(edit, nullptr) << name;
        EXPECT_EQ(edit->isHidden(), checked == c.HiddenWhenChecked) << name;
      }
    }
    // Only that box's edits moved: the others are as the fresh dialog had them.
    for (const char* name : kEditNames) {
      const bool own = std::find_if(c.Edits.begin(), c.Edits.end(), [name](const char* e) {
                         return QLatin1String(e) == QLatin1String(name);
                       }) != c.Edits.end();
      if (!own) {
        EXPECT_FALSE(form.findChild<QLineEdit*>(QString::fromLatin1(name))->isHidden()) << name;
      }
    }
    box->setChecked(!c.HiddenWhenChecked);  // every edit shown again for the next case
  }
}

}  // namespace
