// The channels between the capture threads and the frame.
#include <gtest/gtest.h>

#include <string>

#include "system_audio/frame/channel.h"

namespace system_audio {
namespace {

// A capture that keeps sending after the frame let go must learn that nothing
// was delivered, and gets its message back.
TEST(Channel, ASendAfterTheReceiverHasGoneFailsAndHandsTheMessageBack) {
  auto [tx, rx] = make_channel<std::string>();
  EXPECT_TRUE(tx.send("delivered"));
  { const auto gone = std::move(rx); }
  const auto late = tx.send("late");
  ASSERT_FALSE(late);
  EXPECT_EQ(late.error(), "late");
}

}  // namespace
}  // namespace system_audio
