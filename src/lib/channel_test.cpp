#include "lib/channel.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace corvane_manager_resident_lab {
namespace {

using namespace std::chrono_literals;
using Received = std::variant<std::string, SenderGone, TimedOut>;

TEST(Channel, ReceiveEndsWithTheValueTheSendersDepartureOrTheTimeLimit) {
  {
    auto [sender, receiver] = make_channel<std::string>();
    std::thread later([s = std::move(sender)]() mutable {
      std::this_thread::sleep_for(20ms);
      EXPECT_TRUE(s.send("done"));
    });
    EXPECT_EQ(receiver.receive_for(10s), Received("done"));
    later.join();
  }
  {
    auto [sender, receiver] = make_channel<std::string>();
    std::thread later([s = std::move(sender)]() mutable { std::this_thread::sleep_for(20ms); });
    EXPECT_EQ(receiver.receive_for(10s), Received(SenderGone{}));
    later.join();
  }
  {
    auto [sender, receiver] = make_channel<std::string>();
    EXPECT_EQ(receiver.receive_for(30ms), Received(TimedOut{}));
    EXPECT_EQ(receiver.receive_for(0ms), Received(TimedOut{}));
  }
}

TEST(Channel, ADeliveredValueOutlivesItsSender) {
  auto [sender, receiver] = make_channel<std::string>();
  {
    Sender<std::string> gone(std::move(sender));
    EXPECT_TRUE(gone.send("first"));
    EXPECT_FALSE(gone.send("second"));
  }
  EXPECT_EQ(receiver.receive_for(0ms), Received("first"));
  EXPECT_EQ(receiver.receive_for(0ms), Received(SenderGone{}));
}

TEST(Channel, SendingToADroppedReceiverDiscardsTheValue) {
  auto [sender, receiver] = make_channel<std::string>();
  { Receiver<std::string> gone(std::move(receiver)); }
  EXPECT_FALSE(sender.send("lost"));
}

}  // namespace
}  // namespace corvane_manager_resident_lab
