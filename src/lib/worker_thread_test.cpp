#include "lib/worker_thread.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>

namespace corvane_manager_resident_lab {
namespace {

template <class Result>
void wait_finished(const WorkerThread<Result>& worker) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!worker.finished() && std::chrono::steady_clock::now() < limit) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

TEST(WorkerThread, JoinReportsTheResultOrAnAbnormalEnd) {
  auto normal = WorkerThread<int>::spawn([] { return 7; });
  auto abnormal = WorkerThread<int>::spawn([]() -> int { throw std::runtime_error("boom"); });
  auto silent = WorkerThread<>::spawn([] {});
  auto odd = WorkerThread<>::spawn([] { throw 3; });

  EXPECT_EQ(normal.join(), std::optional<int>(7));
  EXPECT_EQ(abnormal.join(), std::nullopt);
  EXPECT_TRUE(silent.join().has_value());
  EXPECT_FALSE(odd.join().has_value());
}

TEST(WorkerThread, FinishedOnlyOnceTheBodyAndWhatItHeldAreGone) {
  auto release = std::make_shared<std::atomic<bool>>(false);
  auto held = std::make_shared<int>(1);
  std::weak_ptr<int> watch = held;
  auto worker = WorkerThread<>::spawn([release, held = std::move(held)] {
    while (!release->load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(worker.finished());
  release->store(true);
  wait_finished(worker);
  ASSERT_TRUE(worker.finished());
  EXPECT_TRUE(watch.expired());
  EXPECT_TRUE(worker.join().has_value());
}

TEST(WorkerThreadDeathTest, AFailedSpawnStopsTheProcessWithTheSystemReason) {
  EXPECT_DEATH(abort_thread_spawn(std::system_error(EAGAIN, std::generic_category())),
               "failed to spawn thread: Resource temporarily unavailable \\(os error 11\\)");
}

}  // namespace
}  // namespace corvane_manager_resident_lab
