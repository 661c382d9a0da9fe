// The capture engine against a private server: the default sink as the server
// reports it, and sinks or sources that it does not have. What the record
// stream carries is pinned through the HAL (pulse_hal_capture_test).

#include <gtest/gtest.h>

#include "shared_server.h"
#include "system_audio/coreaudio/standin/pulse/pulse_capture.h"
#include "system_audio/coreaudio/standin/pulse/pulse_connection.h"

namespace {

using system_audio::pulse::CaptureFormat;
using system_audio::pulse::PulseCapture;
using system_audio::pulse::PulseConnection;
using test_support::PrivateAudioServer;

std::shared_ptr<PulseConnection> connect_or_fail() {
  auto connection = PulseConnection::connect();
  EXPECT_TRUE(connection.has_value()) << connection.error();
  return connection ? *connection : nullptr;
}

TEST(PulseConnection, ReportsTheDefaultSinkWithItsFormatAndMonitor) {
  auto connection = connect_or_fail();
  ASSERT_TRUE(connection);
  auto sink = connection->default_sink();
  ASSERT_TRUE(sink.has_value()) << sink.error();
  ASSERT_TRUE(sink->has_value());
  EXPECT_EQ((*sink)->name, PrivateAudioServer::kSinkName);
  EXPECT_EQ((*sink)->monitor_source, std::string(PrivateAudioServer::kSinkName) + ".monitor");
  EXPECT_EQ((*sink)->rate, PrivateAudioServer::kSinkRate);
  EXPECT_EQ((*sink)->channels, PrivateAudioServer::kSinkChannels);
  EXPECT_TRUE(connection->alive());
}

TEST(PulseConnection, ASinkNameTheServerDoesNotKnowIsNoSinkRatherThanAnError) {
  auto connection = connect_or_fail();
  ASSERT_TRUE(connection);
  for (const char* name : {"no_such_sink", "", "vantle_null.monitor"}) {
    auto sink = connection->sink_named(name);
    ASSERT_TRUE(sink.has_value()) << name << ": " << sink.error();
    EXPECT_FALSE(sink->has_value()) << name;
  }
}

TEST(PulseCapture, AMonitorThatDoesNotExistFailsToOpenWithoutHanging) {
  auto connection = connect_or_fail();
  ASSERT_TRUE(connection);
  CaptureFormat format;
  format.source = "no_such_source";
  format.rate = 48000;
  format.channels = 2;
  format.stream_name = "engine test";
  auto capture = PulseCapture::open(connection, format, [](std::span<const float>) {});
  EXPECT_FALSE(capture.has_value());
  EXPECT_TRUE(connection->alive());
}

}  // namespace
