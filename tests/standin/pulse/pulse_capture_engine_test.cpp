// The capture engine against a private server: the default sink as the server
// reports it, and a record stream on its monitor that carries what is played,
// in whole 10 ms pieces, without loss.

#include <gtest/gtest.h>

#include <mutex>

#include "hal_test_objects.h"
#include "shared_server.h"
#include "system_audio/coreaudio/standin/pulse/pulse_capture.h"
#include "system_audio/coreaudio/standin/pulse/pulse_connection.h"
#include "tone_check.h"

namespace {

using namespace std::chrono_literals;
using system_audio::pulse::CaptureFormat;
using system_audio::pulse::PulseCapture;
using system_audio::pulse::PulseConnection;
using test_support::PrivateAudioServer;

struct PieceLog {
  std::mutex mutex;
  std::vector<std::size_t> sizes;
  std::vector<float> samples;

  std::size_t count() {
    std::lock_guard lock(mutex);
    return sizes.size();
  }
};

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

class MonitorCapture : public ::testing::TestWithParam<std::uint8_t> {};

TEST_P(MonitorCapture, PlayedToneArrivesWholeInTenMillisecondPieces) {
  const std::uint8_t channels = GetParam();
  auto connection = connect_or_fail();
  ASSERT_TRUE(connection);
  auto sink = connection->default_sink();
  ASSERT_TRUE(sink && *sink);

  CaptureFormat format;
  format.source = (*sink)->monitor_source;
  format.rate = (*sink)->rate;
  format.channels = channels;
  format.channel_map = (*sink)->channel_map;
  format.stream_name = "engine test";
  PieceLog log;
  auto capture = PulseCapture::open(connection, format, [&log](std::span<const float> piece) {
    std::lock_guard lock(log.mutex);
    log.sizes.push_back(piece.size());
    log.samples.insert(log.samples.end(), piece.begin(), piece.end());
  });
  ASSERT_TRUE(capture.has_value()) << capture.error();
  // Silence flows before anything plays: the capture is continuous.
  ASSERT_TRUE(pulse_test::eventually([&] { return log.count() >= 5; }, 5000ms));

  constexpr std::size_t kToneFrames = 24000;  // 0.5 s
  constexpr std::size_t kLeadInFrames = 4800;
  auto played = pulse_test::shared_server().play(test_support::stereo_sine(440, 0.5, kToneFrames, kLeadInFrames));
  ASSERT_TRUE(played.has_value()) << played.error();
  std::this_thread::sleep_for(200ms);
  (*capture)->stop();
  const std::size_t after_stop = log.count();
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(log.count(), after_stop) << "pieces after stop returned";
  EXPECT_FALSE((*capture)->failed());

  std::lock_guard lock(log.mutex);
  for (std::size_t size : log.sizes) ASSERT_EQ(size, 480u * channels);
  const auto first_channel = pulse_test::channel_of(log.samples, channels, 0);
  const auto tone = pulse_test::find_tone(first_channel, 440, 48000, 0.05f);
  ASSERT_TRUE(tone.found);
  EXPECT_NEAR(double(tone.last - tone.first + 1), double(kToneFrames), 8.0);
  EXPECT_LT(tone.worst_break, 1e-3);
  if (channels == 2) {
    EXPECT_EQ(first_channel, pulse_test::channel_of(log.samples, 2, 1));
  }
}

INSTANTIATE_TEST_SUITE_P(MonoAndStereo, MonitorCapture, ::testing::Values(1, 2));

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
