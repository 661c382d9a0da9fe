#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "system_audio/frame/channel.h"

namespace system_audio {
namespace {

using std::chrono::milliseconds;
using Numbered = std::pair<int, int>;  // sender, running number

TEST(ChannelSenders, ConcurrentSendersAllArriveEachInItsOwnOrder) {
  constexpr int kSenders = 8;
  constexpr int kMessages = 20000;
  auto [tx, rx] = make_channel<Numbered>();
  std::vector<std::thread> threads;
  for (int s = 0; s < kSenders; ++s) {
    threads.emplace_back([s, sender = tx] {
      for (int m = 0; m < kMessages; ++m) {
        if (!sender.send({s, m})) ADD_FAILURE() << "send failed while the receiver lives";
      }
    });
  }
  tx = Sender<Numbered>();

  std::vector<int> next(kSenders, 0);
  int total = 0;
  // receive() ends only once every sender is gone: all messages must be in by then.
  while (auto message = rx.receive()) {
    ASSERT_EQ(message->second, next[message->first]) << "sender " << message->first;
    ++next[message->first];
    ++total;
  }
  EXPECT_EQ(total, kSenders * kMessages);
  for (auto& thread : threads) thread.join();
}

TEST(ChannelSenders, ClosesOnlyWhenTheLastSenderIsGone) {
  auto [tx, rx] = make_channel<std::string>();
  Sender<std::string> last = tx;
  std::thread early([sender = std::move(tx)] { (void)sender.send("early"); });
  early.join();

  auto got = rx.receive_for(milliseconds(1000));
  ASSERT_EQ(got.status, ReceiveStatus::message);
  EXPECT_EQ(*got.message, "early");
  // One sender is still alive: an empty channel times out instead of closing.
  EXPECT_EQ(rx.receive_for(milliseconds(20)).status, ReceiveStatus::timed_out);

  std::thread finisher([sender = std::move(last)]() mutable {
    (void)sender.send("last words");
    sender = Sender<std::string>();
  });
  got = rx.receive_for(milliseconds(5000));
  ASSERT_EQ(got.status, ReceiveStatus::message);
  EXPECT_EQ(*got.message, "last words");
  EXPECT_EQ(rx.receive_for(milliseconds(5000)).status, ReceiveStatus::closed);
  EXPECT_EQ(rx.receive(), std::nullopt);
  finisher.join();
}

TEST(ChannelSenders, SendsFailAndHandTheMessageBackOnceTheReceiverIsGone) {
  auto [tx, rx] = make_channel<std::string>();
  ASSERT_TRUE(tx.send("queued"));
  rx = Receiver<std::string>();
  std::thread late([sender = tx] {
    const auto result = sender.send("too late");
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), "too late");
  });
  late.join();
}

}  // namespace
}  // namespace system_audio
