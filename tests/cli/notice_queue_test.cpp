#include "cli/notice_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace std::chrono_literals;

namespace {

// A notice numbered by its handle, so that order and loss can be seen.
WaveNotice numbered(uint32_t n) {
  WaveNotice w;
  w.handle = n;
  return w;
}

// Takes count notices and checks they are numbered first, first + 1, ...
void expectNumbersFrom(NoticeQueue& q, uint32_t first, uint32_t count) {
  WaveNotice n;
  for (uint32_t i = 0; i < count; ++i) {
    ASSERT_TRUE(q.tryNext(n)) << i;
    ASSERT_EQ(n.handle, first + i);
  }
}

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

// Every field comes out as posted, oldest first, also once the positions have
// wrapped round the end of the ring; an empty queue leaves out alone.
TEST(NoticeQueue, NoticesComeOutAsPostedInOrder) {
  NoticeQueue q;
  WaveHeader header;
  q.post({WaveNoticeKind::deviceError, 7, &header, kWaveErrDataLost});
  WaveNotice n;
  ASSERT_TRUE(q.waitNext(n, 0ms));
  EXPECT_EQ(n.kind, WaveNoticeKind::deviceError);
  EXPECT_EQ(n.handle, 7u);
  EXPECT_EQ(n.header, &header);
  EXPECT_EQ(n.error, kWaveErrDataLost);

  // 300 then 400 notices: the second batch runs across the end of the ring.
  for (uint32_t i = 0; i < 300; ++i) q.post(numbered(i));
  expectNumbersFrom(q, 0, 300);
  for (uint32_t i = 0; i < 400; ++i) q.post(numbered(1000 + i));
  EXPECT_EQ(q.size(), 400u);
  expectNumbersFrom(q, 1000, 400);
  EXPECT_EQ(q.dropped(), 0u);

  n = numbered(42);
  EXPECT_FALSE(q.tryNext(n));
  EXPECT_FALSE(q.waitNext(n, -5ms));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(q.waitNext(n, 30ms));
  EXPECT_GE(secondsSince(start), 0.030);
  EXPECT_EQ(n.handle, 42u);
}

// A full ring keeps what it holds and drops the notice being posted.
TEST(NoticeQueue, FullRingDropsTheNewNoticeAndCountsIt) {
  NoticeQueue q;
  for (uint32_t i = 0; i < kNoticeQueueCapacity + 3; ++i) q.post(numbered(i));
  EXPECT_EQ(q.size(), kNoticeQueueCapacity);
  EXPECT_EQ(q.dropped(), 3u);
  expectNumbersFrom(q, 0, 1);
  // One place free again: the first of the next posts is taken, last in line.
  q.post(numbered(9999));
  q.post(numbered(10000));
  EXPECT_EQ(q.dropped(), 4u);
  expectNumbersFrom(q, 1, kNoticeQueueCapacity - 1);
  expectNumbersFrom(q, 9999, 1);
  EXPECT_EQ(q.size(), 0u);
}

// After close, posts are dropped (not counted as overflow) while what is
// queued can still be taken; a waiting call ends at once on an empty closed
// queue, and close wakes one that is already waiting, as a post does.
TEST(NoticeQueue, CloseAndPostWakeAWaitingCall) {
  NoticeQueue q;
  std::thread poster([&q] {
    std::this_thread::sleep_for(20ms);
    q.post(numbered(3));
  });
  WaveNotice n;
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(q.waitNext(n, 10s));
  EXPECT_LT(secondsSince(start), 5.0);
  EXPECT_EQ(n.handle, 3u);
  poster.join();

  std::thread closer([&q] {
    std::this_thread::sleep_for(20ms);
    q.close();
  });
  start = std::chrono::steady_clock::now();
  EXPECT_FALSE(q.waitNext(n, 10s));
  EXPECT_LT(secondsSince(start), 5.0);
  closer.join();
  EXPECT_TRUE(q.isClosed());

  NoticeQueue closed;
  closed.post(numbered(1));
  closed.close();
  closed.post(numbered(2));
  EXPECT_EQ(closed.dropped(), 0u);
  expectNumbersFrom(closed, 1, 1);
  start = std::chrono::steady_clock::now();
  EXPECT_FALSE(closed.waitNext(n, 10s));
  EXPECT_LT(secondsSince(start), 5.0);
}

// One thread posting as fast as it can while another takes: every notice
// either arrives, in order, or is counted as dropped.
TEST(NoticeQueue, ConcurrentPostsArriveInOrderOrAreCounted) {
  NoticeQueue q;
  constexpr uint32_t kTotal = 200000;
  std::atomic<bool> done{false};
  std::thread poster([&] {
    for (uint32_t i = 1; i <= kTotal; ++i) q.post(numbered(i));
    done = true;
  });
  uint64_t received = 0;
  uint32_t last = 0;
  bool ordered = true;
  WaveNotice n;
  while (!done || q.size() > 0) {
    if (!q.waitNext(n, 1ms)) continue;
    ordered = ordered && n.handle > last;
    last = n.handle;
    ++received;
  }
  poster.join();
  EXPECT_TRUE(ordered);
  EXPECT_EQ(received + q.dropped(), kTotal);
}
