// The output object: which sample buffers become audio, and at which source rate.

#include <limits>

#include "sck_fixture.h"
#include "system_audio/sck/audio_output.h"
#include "system_audio/sck/audio_output_class.h"

namespace system_audio {
namespace {

using namespace platform;

// One buffer of 480 mono frames and how it is handed over.
struct Buffer {
  standin::SampleBufferSpec spec;
  SCStreamOutputType type = SCStreamOutputTypeAudio;
  bool null = false;
};

Buffer at(double rate, void (*change)(Buffer&) = nullptr) {
  Buffer buffer;
  buffer.spec.samples.assign(480, 0.5f);
  buffer.spec.rate = rate;
  if (change != nullptr) change(buffer);
  return buffer;
}
Buffer with(void (*change)(Buffer&)) {
  return at(48000.0, change);
}

const std::string kAt16000 = "sck: source format rate=16000";

using SampleBuffers = testing::SckFakeTest;

// Whether a rate keeps its resampler across buffers is the capture state's
// business; here only what the output reads from each buffer.
TEST_F(SampleBuffers, BecomeAudioAtTheirSourceRate) {
  const struct {
    const char* name;
    Buffer buffer;
    std::string line;  // the source-rate diagnostic; "" for none and no audio
    std::size_t samples = 0;
  } rows[] = {
      // clang-format off
      {"null", with([](Buffer& b) { b.null = true; }), ""},
      {"screen", with([](Buffer& b) { b.type = SCStreamOutputTypeScreen; }), ""},
      {"microphone", with([](Buffer& b) { b.type = SCStreamOutputTypeMicrophone; }), ""},
      {"not ready", with([](Buffer& b) { b.spec.ready = false; }), ""},
      {"size query status", with([](Buffer& b) { b.spec.size_status = -12731; }), ""},
      {"size zero", with([](Buffer& b) { b.spec.size = 0; }), ""},
      {"fill fails", with([](Buffer& b) { b.spec.fill_status = -12737; }), ""},
      {"48000", at(48000.0), "sck: source format rate=48000", 160},
      {"44100", at(44100.0), "sck: source format rate=44100", 174},
      {"zero rate", at(0.0), kAt16000, 479},
      {"negative rate", at(-48000.0), kAt16000, 479},
      {"no format", with([](Buffer& b) { b.spec.format_description = false; }), kAt16000, 479},
      {"no rate", with([](Buffer& b) { b.spec.stream_description = false; }), kAt16000, 479},
      {"NaN", at(std::numeric_limits<double>::quiet_NaN()), "sck: source format rate=NaN", 479},
      // clang-format on
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    auto [pcm_tx, status_tx] = senders();
    auto output = make_audio_output(pcm_tx, status_tx);
    ASSERT_TRUE(output);
    ::testing::internal::CaptureStderr();
    CMSampleBufferRef made =
        row.buffer.null ? nullptr : standin::make_sample_buffer(row.buffer.spec);
    stream_did_output_sample_buffer(output.get(), nullptr, made, row.buffer.type);
    if (made != nullptr) CFRelease(made);
    EXPECT_EQ(testing::captured_diagnostics(),
              row.line.empty() ? std::vector<std::string>{} : std::vector{row.line});
    const auto chunk = pcm_rx_.receive_for(std::chrono::seconds(0)).message;
    EXPECT_EQ(chunk ? chunk->size() / 4 : 0, row.samples);
    EXPECT_EQ(status_rx_.receive_for(std::chrono::seconds(0)).message,
              row.samples ? std::optional<std::string>("receiving") : std::nullopt);
    output.reset();
    EXPECT_TRUE(pcm_channel_closed());  // and no second chunk
    expect_nothing_left();
  }
}

}  // namespace
}  // namespace system_audio
