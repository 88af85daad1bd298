#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDateTime>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

#include "configuration/config.h"
#include "console/consolesnapshot.h"
#include "ui/common/elementeditmode.h"
#include "ui/mnemo/formmnemo.h"

// The diagram over a snapshot, a configuration, a log and a clock the test
// sets. The refresh timer is stopped: tests run the tick themselves.
class MnemoFixture : public testing::Test {
 protected:
  static constexpr TColor kOn[kColorGroupCount] = {0x00FFFF00, 0x00008000, 0x000000FF,
                                                   0x00FF00FF, 0x0000FF00, 0x0000FFFF};
  static constexpr TColor kOff[kColorGroupCount] = {0x00404040, 0x00004000, 0x00000080,
                                                    0x00800080, 0x00008000, 0x00008080};

  void SetUp() override {
    ASSERT_TRUE(m_home.isValid());
    SetElementEditMode(false);
    for (int group = 0; group < kColorGroupCount; ++group) {
      m_config.OnColors[static_cast<size_t>(group)] = kOn[group];
      m_config.OffColors[static_cast<size_t>(group)] = kOff[group];
    }
    m_config.MIN_RVF = 40;
    m_snapshot.StateFresh = true;
    m_form = MakeForm(nullptr);
  }

  void TearDown() override { SetElementEditMode(false); }

  std::unique_ptr<TFormMnemo> MakeForm(TElementEditors* editors) {
    MnemoSource source{
        .Snapshot = [this]() -> const ConsoleSnapshot& { return m_snapshot; },
        .Config = [this]() -> const TConfig& { return m_config; },
        .AddLogRec = [this](const QString& text) { m_log << text; },
        .Now = [this] { return m_now; },
    };
    auto form = std::make_unique<TFormMnemo>(std::move(source), m_home.path(), editors);
    if (auto* timer = form->findChild<QTimer*>(u"TimerUpdate"_qs)) timer->stop();
    return form;
  }

  void SetValue(const int* slotPair, int section, float value) {
    m_snapshot.AveragedValues[static_cast<size_t>(slotPair[section - 1])] = value;
  }
  void SetMode(ModeFlag flag, bool on) { SetModeByte(m_snapshot.AveragedValues, flag, on ? 1 : 0); }

  // The element, or null (and a failure) when the diagram has none.
  template <class T>
  T* Find(const char* name) {
    T* element = m_form->findChild<T*>(QString::fromLatin1(name));
    if (element == nullptr) ADD_FAILURE() << "no " << T::staticMetaObject.className() << " " << name;
    return element;
  }

  // Every element of exact class T with "tag".
  template <class T>
  QList<T*> Tagged(int tag) {
    QList<T*> found;
    for (T* element : m_form->findChildren<T*>()) {
      if (qstrcmp(element->metaObject()->className(), T::staticMetaObject.className()) == 0 &&
          element->Tag() == tag)
        found << element;
    }
    return found;
  }

  QTemporaryDir m_home;
  TConfig m_config;
  ConsoleSnapshot m_snapshot;
  QStringList m_log;
  QDateTime m_now = QDateTime(QDate(2026, 3, 5), QTime(10, 0, 0));
  std::unique_ptr<TFormMnemo> m_form;
};
