// The ring-buffer queue keeps FIFO order through growth in any wrapped state.
#include <deque>
#include <random>

#include <gtest/gtest.h>

#include "modes/region/kernels/TQueue.h"

TEST(TQueue, GrowsOnlyWhenFullAndKeepsOrder) {
  TQueue<int> q(40, 80);
  for (int i = 0; i < 79; ++i) q.push(i);
  EXPECT_EQ(q.capacity, 80);
  q.push(79);
  EXPECT_EQ(q.capacity, 120);
  for (int i = 0; i < 80; ++i) ASSERT_EQ(q.pop(), i);
  EXPECT_TRUE(q.isEmpty());
}

TEST(TQueue, PushFrontAtSlotZeroWrapsAndRandomMixMatchesDeque) {
  TQueue<int> q(3, 4);
  q.pushFront(7);
  EXPECT_EQ(q.head, 3);
  q.push(8);
  EXPECT_EQ(q.pop(), 7);
  EXPECT_EQ(q.pop(), 8);

  // Random pushes, front pushes and pops against std::deque, through many wrapped growths.
  std::mt19937 rng(5);
  TQueue<TQueueVoxel> v(5, 3);
  std::deque<int> ref;
  for (int k = 0; k < 20000; ++k) {
    const int op = rng() % 5;
    if (op < 2) {
      v.push(TQueueVoxel(k, 0, 0, k));
      ref.push_back(k);
    } else if (op == 2) {
      v.pushFront(TQueueVoxel(k, 0, 0, k));
      ref.push_front(k);
    } else if (!ref.empty()) {
      ASSERT_FALSE(v.isEmpty());
      ASSERT_EQ(v.pop().idx, ref.front());
      ref.pop_front();
    }
    ASSERT_EQ(v.size(), static_cast<int>(ref.size()));
    ASSERT_LT(v.size(), v.capacity);
  }
}
