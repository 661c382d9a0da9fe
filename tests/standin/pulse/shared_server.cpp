#include "shared_server.h"

#include <gtest/gtest.h>

#include <memory>

namespace pulse_test {
namespace {

std::unique_ptr<test_support::PrivateAudioServer> server;

class SharedServerEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    auto started = test_support::PrivateAudioServer::start();
    ASSERT_TRUE(started.has_value()) << started.error();
    server = std::move(*started);
    server->use_in_this_process();
  }
  void TearDown() override { server.reset(); }
};

[[maybe_unused]] const auto* registered =
    ::testing::AddGlobalTestEnvironment(new SharedServerEnvironment());

}  // namespace

test_support::PrivateAudioServer& shared_server() {
  return *server;
}

}  // namespace pulse_test
