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
  void (parent::Child::*const closes[])() = {&parent::Child::close_output,
                                             &parent::Child::close_errors, nullptr};
  std::vector<std::unique_ptr<parent::Child>> helpers;
  for (auto close : closes) {
    Captured out;
    helpers.push_back(start_streaming(*server, out));
    ASSERT_TRUE(helpers.back()) << (close ? "" : "a helper that is not read");
  }
  for (std::size_t i = 0; i < 2; ++i) (helpers[i].get()->*closes[i])();
  const auto closed = Clock::now();
  for (std::size_t i = 0; i < 2; ++i) {
    const auto end =
        helpers[i]->wait(std::chrono::ceil<std::chrono::milliseconds>(closed + 1s - Clock::now()));
    EXPECT_EQ(end ? end->describe() : "running", "exit status 2") << (i == 0 ? "stdout" : "stderr");
  }
  std::this_thread::sleep_until(closed + 2s);
  EXPECT_EQ(helpers[2]->wait(0ms), std::nullopt) << "ended though its pipes are open";
}

}  // namespace
}  // namespace end_to_end
