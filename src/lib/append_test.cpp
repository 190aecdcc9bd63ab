#include "lib/append.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace corvane_manager_resident_lab {
namespace {

using namespace std::chrono_literals;

class AppendTest : public ::testing::Test {
 protected:
  std::string start(const AppendBody& body, Clock::duration until_deadline = 250ms) {
    return start_append_observation(configuration_, shared_, request_,
                                    Clock::now() + until_deadline, pending_, body);
  }

  Configuration configuration_;
  std::shared_ptr<Shared> shared_ = std::make_shared<Shared>(PeerEntries{});
  AppendObservationRequest request_{"op-1", "site/r1", "door", "open"};
  AppendWorkers pending_;
};

TEST_F(AppendTest, ACompletionWithinTheWaitIsAnsweredAndTheWorkerJoined) {
  struct Case {
    AppendCompletion completion;
    std::string answer;
  };
  const std::vector<Case> cases = {
      {AppendStored{R"({"response":{},"receipt":null,"replayed":false})"},
       R"({"response":{},"receipt":null,"replayed":false})"},
      {AppendRefused{}, R"({"error":"append_observation_refused"})"},
      {AppendUncertain{}, R"({"error":"append_observation_uncertain"})"},
  };
  for (const auto& c : cases) {
    AppendObservationRequest seen;
    const std::string answer = start([&](const Configuration&, const AppendObservationRequest& r) {
      seen = r;
      return c.completion;
    });
    EXPECT_EQ(answer, c.answer);
    EXPECT_EQ(seen, request_);
    EXPECT_FALSE(shared_->append_busy.load());
    EXPECT_TRUE(pending_.empty());
  }
}

TEST_F(AppendTest, ASlowWorkerIsUncertainListedAndKeepsLaterAppendsBusy) {
  std::atomic<bool> release{false};
  std::atomic<int> runs{0};
  auto slow = [&](const Configuration&, const AppendObservationRequest&) -> AppendCompletion {
    ++runs;
    while (!release.load()) std::this_thread::sleep_for(1ms);
    return AppendStored{"late"};
  };
  const auto started = Clock::now();
  EXPECT_EQ(start(slow), R"({"error":"append_observation_uncertain"})");
  const auto waited = Clock::now() - started;
  EXPECT_GE(waited, 200ms);
  EXPECT_LT(waited, 5s);
  ASSERT_EQ(pending_.size(), 1u);
  EXPECT_TRUE(shared_->append_busy.load());

  EXPECT_EQ(start(slow), R"({"error":"append_observation_busy"})");
  EXPECT_EQ(runs.load(), 1);

  release = true;
  EXPECT_TRUE(pending_.front().join().has_value());
  EXPECT_FALSE(shared_->append_busy.load());
  EXPECT_EQ(shared_->append_worker_failures.load(), 0u);
}

TEST_F(AppendTest, AWorkerThatEndsAbnormallyIsUncertainCountedAndFreesTheFlag) {
  auto crash = [](const Configuration&, const AppendObservationRequest&) -> AppendCompletion {
    throw std::runtime_error("append crashed");
  };
  EXPECT_EQ(start(crash), R"({"error":"append_observation_uncertain"})");
  EXPECT_EQ(shared_->append_worker_failures.load(), 1u);
  EXPECT_FALSE(shared_->append_busy.load());
  EXPECT_TRUE(pending_.empty());
}

TEST_F(AppendTest, LessThanTheAnswerReserveLeftMeansNoWaitAtAll) {
  std::atomic<bool> release{false};
  auto slow = [&](const Configuration&, const AppendObservationRequest&) -> AppendCompletion {
    while (!release.load()) std::this_thread::sleep_for(1ms);
    return AppendRefused{};
  };
  const auto started = Clock::now();
  EXPECT_EQ(start(slow, 20ms), R"({"error":"append_observation_uncertain"})");
  EXPECT_LT(Clock::now() - started, 2s);
  ASSERT_EQ(pending_.size(), 1u);
  release = true;
  pending_.front().join();
  EXPECT_FALSE(shared_->append_busy.load());
}

}  // namespace
}  // namespace corvane_manager_resident_lab
