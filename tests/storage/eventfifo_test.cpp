#include "storage/eventfifo.h"

#include <gtest/gtest.h>

#include <QString>

namespace {

QString Text(int n) {
  return QStringLiteral("message %1").arg(n);
}

TEST(EventFIFOTest, CapacityBelowMinimumIsRaisedToTen) {
  TEventFIFO fifo(5);
  EXPECT_EQ(fifo.Capacity(), 10);
  for (int i = 0; i < 10; ++i) EXPECT_TRUE(fifo.Put(Text(i), i, i, 0)) << i;
  EXPECT_FALSE(fifo.Put(Text(10), 10, 10, 0));
  EXPECT_EQ(fifo.GetCount(), 10);

  // The refused record is lost; the waiting ones are all kept.
  TEventFIFO_Rec record;
  for (int i = 0; i < 10; ++i) {
    ASSERT_TRUE(fifo.Get(record));
    EXPECT_EQ(record.Text, Text(i));
  }
  EXPECT_FALSE(fifo.Get(record));
}

TEST(EventFIFOTest, RecordsComeOutWholeAndOldestFirstAcrossWrapAround) {
  TEventFIFO fifo(10);
  int nextPut = 0;
  int nextGet = 0;
  // Uneven batches move the read and write indexes around the ring several
  // times and through the full and empty states.
  const int batches[][2] = {{10, 3}, {3, 7}, {4, 4}, {6, 9}, {10, 10}, {1, 1}, {9, 5}, {6, 10}};
  for (const auto& batch : batches) {
    for (int i = 0; i < batch[0]; ++i, ++nextPut) {
      ASSERT_TRUE(fifo.Put(Text(nextPut), 1000.0 + nextPut, 100u + nextPut, 1u << (nextPut % 32)));
    }
    for (int i = 0; i < batch[1]; ++i, ++nextGet) {
      QString text;
      TDateTime moment = 0;
      uint32_t tick = 0;
      uint32_t flags = 0;
      ASSERT_TRUE(fifo.Get(text, moment, tick, flags));
      EXPECT_EQ(text, Text(nextGet));
      EXPECT_EQ(moment, 1000.0 + nextGet);
      EXPECT_EQ(tick, 100u + nextGet);
      EXPECT_EQ(flags, 1u << (nextGet % 32));
    }
    EXPECT_EQ(fifo.GetCount(), nextPut - nextGet);
  }
  EXPECT_EQ(fifo.GetCount(), 0);
}

}  // namespace
