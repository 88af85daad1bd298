#include "fieldbus/cyclepacing.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

TEST(CycleRestMs, RestOfThePeriodAtLeast50MsOr200AfterAnOverrun) {
  struct Case {
    uint32_t t0, now, expected;
  };
  const Case cases[] = {
      {1000, 1000, 980},
      {1000, 1100, 880},
      {1000, 1929, 51},
      {1000, 1930, 50},
      {1000, 1975, 50},
      {1000, 1979, 50},
      {1000, 1980, 200},
      {1000, 9000, 200},
      // The tick counter wrapped between the cycle's start and now.
      {0xFFFFFFF0u, 0x00000010u, 948},
      {0xFFFFFC00u, 0x00000100u, 200},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CycleRestMs(c.t0, c.now, kCyclePeriodMs), c.expected) << c.t0 << " " << c.now;
  }
}

TEST(WaitCycleRest, AStopRequestEndsTheWaitWithinOneSlice) {
  std::atomic<bool> stop{false};
  const auto start = std::chrono::steady_clock::now();
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    stop = true;
  });
  WaitCycleRest(TickCount(), 60000, stop);
  stopper.join();
  // Bounded by one slice after the request, far below the requested minute.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

TEST(WaitCycleRest, ReturnsAtOnceWhenAlreadyStopped) {
  std::atomic<bool> stop{true};
  const auto start = std::chrono::steady_clock::now();
  WaitCycleRest(TickCount(), 60000, stop);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

}  // namespace
