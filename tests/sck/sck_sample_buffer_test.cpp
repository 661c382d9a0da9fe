// The output object: which sample buffers become audio, at which source rate,
// and the status a stopped stream leaves.

#include <cmath>
#include <limits>

#include "sck_fixture.h"
#include "system_audio/sck/audio_output.h"
#include "system_audio/sck/audio_output_class.h"

namespace system_audio {
namespace {

using platform::SCStreamOutputType;

// One buffer of 480 mono frames and how it is handed over.
struct Buffer {
  standin::SampleBufferSpec spec;
  SCStreamOutputType type = platform::SCStreamOutputTypeAudio;
  bool null = false;
};

Buffer at(double rate) {
  Buffer buffer;
  buffer.spec.samples.assign(480, 0.5f);
  buffer.spec.rate = rate;
  return buffer;
}

template <class Change>
Buffer with(Change change) {
  Buffer buffer = at(48000.0);
  change(buffer);
  return buffer;
}

struct BufferRow {
  const char* name;
  std::vector<Buffer> buffers;
  std::vector<std::string> lines;    // the source-rate diagnostics
  std::vector<std::size_t> samples;  // per chunk sent
};

void PrintTo(const BufferRow& row, std::ostream* out) {
  *out << row.name;
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();

const std::string kAt16000 = "sck: source format rate=16000";

// clang-format off
const BufferRow kRows[] = {
    {"Null", {with([](Buffer& b) { b.null = true; })}, {}, {}},
    {"ScreenType", {with([](Buffer& b) { b.type = platform::SCStreamOutputTypeScreen; })}, {}, {}},
    {"MicrophoneType", {with([](Buffer& b) { b.type = platform::SCStreamOutputTypeMicrophone; })}, {}, {}},
    {"NotReady", {with([](Buffer& b) { b.spec.ready = false; })}, {}, {}},
    {"SizeQueryStatus", {with([](Buffer& b) { b.spec.size_status = -12731; })}, {}, {}},
    {"SizeZero", {with([](Buffer& b) { b.spec.size = 0; })}, {}, {}},
    {"FillFails", {with([](Buffer& b) { b.spec.fill_status = -12737; })}, {}, {}},
    {"At48000", {at(48000.0)}, {"sck: source format rate=48000"}, {160}},
    {"At44100", {at(44100.0)}, {"sck: source format rate=44100"}, {174}},
    {"ZeroRate", {at(0.0)}, {kAt16000}, {479}},
    {"NegativeRate", {at(-48000.0)}, {kAt16000}, {479}},
    {"NoFormatDescription", {with([](Buffer& b) { b.spec.format_description = false; })}, {kAt16000}, {479}},
    {"NoStreamDescription", {with([](Buffer& b) { b.spec.stream_description = false; })}, {kAt16000}, {479}},
    {"NotANumberRateKeepsItsResampler", {at(kNaN), at(kNaN)}, {"sck: source format rate=NaN"}, {479, 480}},
    {"SameRateKeepsItsResampler", {at(48000.0), at(48000.0)}, {"sck: source format rate=48000"}, {160, 160}},
    {"RateChangeStartsAFreshResampler", {at(48000.0), at(44100.0)},
     {"sck: source format rate=48000", "sck: source format rate=44100"}, {160, 174}},
};
// clang-format on

class SampleBuffers : public testing::SckFakeTest,
                      public ::testing::WithParamInterface<BufferRow> {};

TEST_P(SampleBuffers, BecomeAudioAtTheirSourceRate) {
  const BufferRow& row = GetParam();
  auto [pcm_tx, status_tx] = senders();
  auto output = make_audio_output(pcm_tx, status_tx);
  ASSERT_TRUE(output);
  testing::capture_diagnostics();
  for (const Buffer& buffer : row.buffers) {
    CMSampleBufferRef made = buffer.null ? nullptr : standin::make_sample_buffer(buffer.spec);
    stream_did_output_sample_buffer(output.get(), nullptr, made, buffer.type);
    if (made != nullptr) CFRelease(made);
  }
  EXPECT_EQ(testing::captured_diagnostics(), row.lines);
  std::vector<std::size_t> samples;
  while (auto chunk = pcm_rx_.receive_for(std::chrono::seconds(0)).message) {
    samples.push_back(chunk->size() / 4);
  }
  EXPECT_EQ(samples, row.samples);
  const auto status = status_rx_.receive_for(std::chrono::seconds(0)).message;
  EXPECT_EQ(status, row.samples.empty() ? std::nullopt : std::optional<std::string>("receiving"));
  output.reset();
  EXPECT_TRUE(pcm_channel_closed());
  expect_nothing_left();
}

INSTANTIATE_TEST_SUITE_P(EachKind, SampleBuffers, ::testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(SampleBuffers, AStoppedStreamLeavesOneFailedStatusAndKeepsItsChannels) {
  auto [pcm_tx, status_tx] = senders();
  auto output = make_audio_output(pcm_tx, status_tx);
  platform::NSError* error = standin::make_error("Audio device disconnected");
  stream_did_stop_with_error(output.get(), nullptr, error);
  CFRelease(error);
  EXPECT_EQ(status_rx_.receive_for(std::chrono::seconds(0)).message,
            "failed: ScreenCaptureKit stream stopped: Audio device disconnected");
  EXPECT_EQ(status_rx_.receive_for(std::chrono::seconds(0)).status, ReceiveStatus::timed_out);
  EXPECT_FALSE(pcm_channel_closed());
}

}  // namespace
}  // namespace system_audio
