#include "console/lastsetwriter.h"

#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <cmath>
#include <limits>
#include <mutex>
#include <vector>

#include "support/eventlogcapture.h"
#include "support/waitfor.h"

namespace {

// Stands for the INI file: records what reached it, fails on request.
class FakeFile {
 public:
  TLastSetWriter::WriteFunction Function() {
    return [this](const TLastSetWriter::Values& values) {
      std::lock_guard lock(m_mutex);
      ++m_attempts;
      if (m_failing) return false;
      m_written.push_back(values);
      return true;
    };
  }
  void SetFailing(bool failing) {
    std::lock_guard lock(m_mutex);
    m_failing = failing;
  }
  int Attempts() const {
    std::lock_guard lock(m_mutex);
    return m_attempts;
  }
  std::vector<TLastSetWriter::Values> Written() const {
    std::lock_guard lock(m_mutex);
    return m_written;
  }

 private:
  mutable std::mutex m_mutex;  // guards the members below
  bool m_failing = false;
  int m_attempts = 0;
  std::vector<TLastSetWriter::Values> m_written;
};

class LastSetWriterTest : public testing::Test {
 protected:
  void SetUp() override { DrainEventLog(); }
  void TearDown() override { DrainEventLog(); }

  QStringList LoggedTexts() {
    QStringList texts;
    for (const TEventFIFO_Rec& record : DrainEventLog()) texts << record.Text;
    return texts;
  }

  SetpointBlock m_setpoints;
  FakeFile m_file;
  TLastSetWriter m_writer{m_setpoints, m_file.Function(), u"/plant/flotation-console.INI"_qs};
};

TEST_F(LastSetWriterTest, WritesEachChangeOnceAndNothingWhenUnchanged) {
  EXPECT_FALSE(m_writer.Poll()) << "the block as constructed counts as written";
  m_setpoints.Set(kZRRS1, 45);
  EXPECT_TRUE(m_writer.Poll());
  EXPECT_FALSE(m_writer.Poll());
  // A value that is not a number never equals itself; it must not be
  // written again at every check.
  m_setpoints.Set(kTRFL2, std::numeric_limits<float>::quiet_NaN());
  EXPECT_TRUE(m_writer.Poll());
  EXPECT_FALSE(m_writer.Poll());
  m_setpoints.Set(kTRFL2, -0.0f);
  EXPECT_TRUE(m_writer.Poll()) << "-0 and the NaN before it differ";
  m_setpoints.Set(kTRFL2, 0.0f);
  EXPECT_TRUE(m_writer.Poll()) << "the file would show 0 instead of -0";

  const std::vector<TLastSetWriter::Values> written = m_file.Written();
  ASSERT_EQ(written.size(), 4u);
  EXPECT_EQ(written[0][kZRRS1], 45);
  EXPECT_EQ(written[0][kZRRS2], kDefaultSetpoints[kZRRS2]);
  EXPECT_TRUE(std::isnan(written[1][kTRFL2]));
  EXPECT_TRUE(LoggedTexts().isEmpty());
}

TEST_F(LastSetWriterTest, AFailureIsLoggedOnceAndRetriedAtTheNextChange) {
  m_file.SetFailing(true);
  m_setpoints.Set(kZRRS1, 45);
  EXPECT_FALSE(m_writer.Poll());
  EXPECT_EQ(LoggedTexts(), QStringList{u"Не удалось записать уставки в файл /plant/flotation-console.INI; "
                                       u"повторная попытка при следующем изменении уставок."_qs});

  // Without a change the file is left alone, also once it could be written.
  for (int i = 0; i < 3; ++i) m_writer.Poll();
  m_file.SetFailing(false);
  m_writer.Poll();
  EXPECT_EQ(m_file.Attempts(), 1);

  m_file.SetFailing(true);
  m_setpoints.Set(kZRRS1, 46);
  EXPECT_FALSE(m_writer.Poll());
  EXPECT_EQ(m_file.Attempts(), 2);
  EXPECT_TRUE(LoggedTexts().isEmpty()) << "the second failure in a row says nothing";

  m_file.SetFailing(false);
  m_setpoints.Set(kZRRS1, 47);
  EXPECT_TRUE(m_writer.Poll());
  EXPECT_EQ(LoggedTexts(),
            QStringList{u"Уставки снова записываются в файл /plant/flotation-console.INI."_qs});
  ASSERT_EQ(m_file.Written().size(), 1u);
  EXPECT_EQ(m_file.Written().back()[kZRRS1], 47);

  // A new failure after a success is news again.
  m_file.SetFailing(true);
  m_setpoints.Set(kZRRS1, 48);
  m_writer.Poll();
  EXPECT_EQ(LoggedTexts().size(), 1);
}

TEST_F(LastSetWriterTest, ABurstOfChangesReachesTheFileWithinASecondInAWriteOrTwo) {
  m_writer.Start(TLastSetWriter::Read(m_setpoints));
  QElapsedTimer elapsed;
  elapsed.start();
  // Like 1000 station Set commands arriving at once.
  for (int i = 1; i <= 1000; ++i) m_setpoints.Set(kZRRS1, static_cast<float>(i));
  ASSERT_TRUE(WaitFor([&] {
    const std::vector<TLastSetWriter::Values> written = m_file.Written();
    return !written.empty() && written.back()[kZRRS1] == 1000;
  }));
  EXPECT_LT(elapsed.elapsed(), 1000);
  // One check may fall inside the burst, so two writes at most.
  EXPECT_LE(m_file.Written().size(), 2u);
}

}  // namespace
