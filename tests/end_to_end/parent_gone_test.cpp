// A parent that stops reading: the helper must not capture on for nobody.
#include <gtest/gtest.h>

#include "helper_under_test.h"

namespace end_to_end {
namespace {

using namespace std::chrono_literals;

TEST(ParentGone, ClosingStandardOutputEndsTheHelperWithinASecond) {
  auto server = start_server();
  ASSERT_TRUE(server);
  auto helper = start_helper(server->environment_entry());
  Captured out;
  // Audio is flowing (a chunk every ~10 ms), so the next write comes soon.
  ASSERT_TRUE(read_until(*helper, out, 15s, [&] { return out.pcm_lines() >= 2; }))
      << helper->error_text();
  helper->close_output();
  const auto closed = Clock::now();
  const auto status = helper->wait_exit(1s);
  ASSERT_TRUE(status) << "still running (or killed by a signal) "
                      << std::chrono::duration<double>(Clock::now() - closed).count()
                      << " s after its output was closed";
  EXPECT_NE(*status, 0);
}

}  // namespace
}  // namespace end_to_end
