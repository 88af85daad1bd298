#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>

#include "common/cp1251.h"
#include "storage/eventlog.h"
#include "storage/logfile.h"

// A log environment whose clock and tick the test sets; counts beeps. Safe to
// read from several posting threads while the test thread holds it steady.
class FakeLogEnvironment : public LogEnvironment {
 public:
  TDateTime Now() const override { return m_now.load(); }
  uint32_t TickCount() const override { return m_tick.load(); }
  void Beep() override { ++m_beeps; }

  void SetNow(TDateTime now) { m_now.store(now); }
  void SetTickCount(uint32_t tick) { m_tick.store(tick); }
  int Beeps() const { return m_beeps.load(); }

 private:
  std::atomic<TDateTime> m_now{0};
  std::atomic<uint32_t> m_tick{0};
  std::atomic<int> m_beeps{0};
};

// Keeps the lines in memory instead of a file (decoded back from
// Windows-1251, without the CR LF). Used on the draining thread only.
class CapturingLogFileWriter : public LogFileWriter {
 public:
  using LogFileWriter::LogFileWriter;

  QStringList Lines;

 protected:
  bool AppendToFile(const QString&, const QByteArray& bytes) override {
    if (!bytes.endsWith("\r\n")) return false;
    Lines.append(FromCp1251(bytes.chopped(2)));
    return true;
  }
};
