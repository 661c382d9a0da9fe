// A parent that closes either pipe is gone: the helper ends with status 2
// within a second, though it streams only silence and writes to standard error
// only every 200 chunks. One that merely stops reading is not gone.
#include <gtest/gtest.h>

#include <thread>

#include "helper_under_test.h"

namespace end_to_end {
namespace {

TEST(ParentGone, ClosedPipesEndTheHelperWithStatusTwoStoppedReadingDoesNot) {
  auto server = start_server();
  ASSERT_TRUE(server);
  std::vector<std::unique_ptr<parent::Child>> helpers;
  for (const char* which : {"stdout closed", "stderr closed", "not read"}) {
    Captured out;
    helpers.push_back(start_streaming(*server, out));
    ASSERT_TRUE(helpers.back()) << which;
  }
  helpers[0]->close_output();
  helpers[1]->close_errors();
  const auto closed = Clock::now();
  for (const char* which : {"stdout", "stderr"}) {
    auto& helper = helpers[which[3] == 'o' ? 0 : 1];
    const auto end =
        helper->wait(std::chrono::ceil<std::chrono::milliseconds>(closed + 1s - Clock::now()));
    EXPECT_EQ(end ? end->describe() : "running", "exit status 2") << which << " closed";
  }
  std::this_thread::sleep_until(closed + 2s);
  EXPECT_EQ(helpers[2]->wait(0ms), std::nullopt) << "ended though its pipes are open";
}

}  // namespace
}  // namespace end_to_end
