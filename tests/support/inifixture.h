#pragma once

#include <gtest/gtest.h>
#include <QTemporaryDir>

#include "support/eventlogcapture.h"
#include "support/files.h"

// One INI file in a fresh temporary folder, and an event-log queue that is
// empty when the test starts and emptied again when it ends.
class IniFixture : public testing::Test {
 protected:
  explicit IniFixture(QString fileName) : m_fileName(std::move(fileName)) {}

  void SetUp() override {
    ASSERT_TRUE(m_dir.isValid());
    DrainEventLog();
  }
  void TearDown() override { DrainEventLog(); }

  QString Path() const { return m_dir.filePath(m_fileName); }
  void WriteFile(const QByteArray& bytes) { ASSERT_TRUE(WriteFileBytes(Path(), bytes)); }

  QTemporaryDir m_dir;

 private:
  QString m_fileName;
};
