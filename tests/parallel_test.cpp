#include "core/parallel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using ::testing::ThrowsMessage;

TEST(thread_pool, runs_every_task_and_rethrows_the_lowest_failure) {
  thread_pool pool(3);
  std::vector<std::atomic<int>> hits(100);
  pool.for_ranges(100, thread_pool::kMinWork,
                  [&](std::size_t b, std::size_t e) {
                    for (std::size_t k = b; k < e; ++k) ++hits[k];
                  });
  for (const auto& h : hits) EXPECT_EQ(h.load(), 1);
  EXPECT_THAT(
      [&] {
        pool.run(6, thread_pool::kMinWork, [](std::size_t k) {
          if (k >= 2) throw std::runtime_error("task " + std::to_string(k));
        });
      },
      ThrowsMessage<std::runtime_error>("task 2"));
}

TEST(thread_pool, small_work_stays_on_the_callers_thread) {
  thread_pool pool(4);
  EXPECT_EQ(pool.threads_for(thread_pool::kMinWork - 1), 1u);
  std::vector<std::thread::id> ids(8);
  pool.run(8, 10, [&](std::size_t k) { ids[k] = std::this_thread::get_id(); });
  for (const auto& id : ids) EXPECT_EQ(id, std::this_thread::get_id());
  EXPECT_EQ(pool.threads_for(thread_pool::kMinWork), 4u);
}

TEST(piece_begin, splits_evenly_and_covers_everything) {
  EXPECT_EQ(piece_begin(10, 3, 0), 0u);
  EXPECT_EQ(piece_begin(10, 3, 1), 4u);
  EXPECT_EQ(piece_begin(10, 3, 2), 7u);
  EXPECT_EQ(piece_begin(10, 3, 3), 10u);
  EXPECT_EQ(piece_begin(2, 4, 4), 2u);
}

}  // namespace
