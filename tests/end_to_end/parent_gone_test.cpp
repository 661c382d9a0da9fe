// A parent that closes either pipe is gone: the helper ends with status 2
// within a second, though it streams only silence and writes to standard error
// only every 200 chunks. One that merely stops reading is not gone.
#include <gtest/gtest.h>

#include <thread>

#include "helper_under_test.h"

namespace end_to_end {
namespace {

TEST(ParentGone, ClosedPipesEndTheHelperWithStatusTwoStoppedReadingDoesNot) {
  const struct {
    const char* what;
    void (parent::Child::*close)();  // null: stop reading, close nothing
  } rows[] = {
      {"stdout closed", &parent::Child::close_output},
      {"stderr closed", &parent::Child::close_errors},
      {"reading stopped", nullptr},
  };
  auto server = start_server();
  ASSERT_TRUE(server);
  std::vector<std::unique_ptr<parent::Child>> helpers;
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    helpers.push_back(start_helper({server->environment_entry()}));
    Captured out;
    ASSERT_TRUE(helpers.back() &&
                read_until(*helpers.back(), out, 15s, [&] { return out.reader.pcm_lines() > 0; }));
  }
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    if (rows[i].close) (helpers[i].get()->*rows[i].close)();
  }
  const auto closed = Clock::now();
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    if (!rows[i].close) continue;
    const auto end =
        helpers[i]->wait(std::chrono::ceil<std::chrono::milliseconds>(closed + 1s - Clock::now()));
    EXPECT_EQ(end ? end->describe() : "running", "exit status 2") << rows[i].what;
  }
  std::this_thread::sleep_until(closed + 2s);
  EXPECT_EQ(helpers.back()->wait(0ms), std::nullopt) << "ended though its pipes are open";
}

}  // namespace
}  // namespace end_to_end
