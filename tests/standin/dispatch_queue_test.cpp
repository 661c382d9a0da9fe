#include <atomic>
#include <future>
#include <mutex>
#include <numeric>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "runtime_fixture.h"

namespace system_audio::standin {
namespace {

using namespace platform;

class DispatchQueue : public RuntimeTest {
 protected:
  void TearDown() override {
    EXPECT_TRUE(alive().empty());
    EXPECT_TRUE(faults().empty());
    RuntimeTest::TearDown();
  }
};

TEST_F(DispatchQueue, TasksRunInOrderOnOneThreadThatKnowsItsQueue) {
  dispatch_queue_t queue =
      dispatch_queue_create("com.vantle.test.audio-tap", DISPATCH_QUEUE_SERIAL);
  ASSERT_NE(queue, nullptr);
  EXPECT_EQ(queue_label(queue), "com.vantle.test.audio-tap");
  EXPECT_EQ(current_queue(), nullptr);
  std::mutex mutex;
  std::vector<int> order;
  std::set<std::thread::id> threads;
  std::atomic<int> strangers = 0;
  for (int i = 0; i < 200; ++i) {
    dispatch_async(queue, [&, i] {
      if (current_queue() != queue) ++strangers;
      std::lock_guard lock(mutex);
      order.push_back(i);
      threads.insert(std::this_thread::get_id());
    });
  }
  wait_until_idle(queue);
  std::vector<int> expected(200);
  std::iota(expected.begin(), expected.end(), 0);
  std::lock_guard lock(mutex);
  EXPECT_EQ(order, expected);
  EXPECT_EQ(threads.size(), 1u);
  EXPECT_EQ(threads.count(std::this_thread::get_id()), 0u);
  EXPECT_EQ(strangers, 0);
  dispatch_release(queue);
}

TEST_F(DispatchQueue, TheLastReleaseRunsWhatIsQueuedThenEnds) {
  dispatch_queue_t queue = dispatch_queue_create("drain", nullptr);
  std::promise<void> gate;
  std::atomic<int> ran = 0;
  dispatch_async(queue, [opened = gate.get_future().share()] { opened.wait(); });
  for (int i = 0; i < 50; ++i) dispatch_async(queue, [&] { ++ran; });
  std::thread opener([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    gate.set_value();
  });
  dispatch_release(queue);  // returns only after the worker has finished
  EXPECT_EQ(ran, 50);
  opener.join();
}

TEST_F(DispatchQueue, AQueueMayBeReleasedFromItsOwnTask) {
  dispatch_queue_t queue = dispatch_queue_create("self", nullptr);
  // Everything is queued before the release can run: afterwards the queue takes no more work.
  std::promise<void> gate;
  std::promise<void> last_ran;
  dispatch_async(queue, [opened = gate.get_future().share()] { opened.wait(); });
  dispatch_async(queue, [queue] { dispatch_release(queue); });
  dispatch_async(queue, [&] { last_ran.set_value(); });
  gate.set_value();
  last_ran.get_future().wait();
}

TEST_F(DispatchQueue, WorkForAReleasedQueueIsDroppedAndRecorded) {
  dispatch_queue_t queue = dispatch_queue_create("gone", nullptr);
  dispatch_release(queue);
  bool ran = false;
  dispatch_async(queue, [&] { ran = true; });
  dispatch_release(queue);
  EXPECT_FALSE(ran);
  EXPECT_EQ(faults(),
            (std::vector<std::string>{"dispatch_async on released dispatch_queue \"gone\"",
                                      "dispatch_release of released dispatch_queue \"gone\""}));
  reset_ledger();
}

}  // namespace
}  // namespace system_audio::standin
