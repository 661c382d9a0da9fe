// The sck backend against the scripted ScreenCaptureKit: every way a start can
// fail, with its text, where the diagnostics stop and what it gave back in
// which order; a start that runs; which sample buffers become audio.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

#include "fake_apple.h"
#include "lines.h"
#include "sck_fake.h"
#include "sck_start_steps.h"
#include "system_audio/apple/audio_output_class.h"
#include "system_audio/frame/messages.h"
#include "system_audio/sck/audio_output.h"
#include "system_audio/sck/sck_session.h"

namespace system_audio {
namespace {

using apple::SCStreamOutputType, apple::SCStreamOutputTypeAudio;
using apple::SCStreamOutputTypeScreen;
using fake::ContentAnswer;
using fake::StartAnswer;
using namespace std::chrono_literals;

// The scripted platform installed afresh for each test, every answer settled after.
class SckFakeTest : public ::testing::Test {
 protected:
  fake::Script& script = fake::install();
  PcmReceiver pcm_rx_;
  StatusReceiver status_rx_;

  void TearDown() override {
    fake::reset_screen_capture();
    fake::uninstall();
  }

  std::pair<PcmSender, StatusSender> senders() {
    auto [pcm_tx, pcm_rx] = make_channel<PcmChunk>();
    auto [status_tx, status_rx] = make_channel<StatusText>();
    pcm_rx_ = std::move(pcm_rx);
    status_rx_ = std::move(status_rx);
    return {std::move(pcm_tx), std::move(status_tx)};
  }
  bool pcm_channel_closed() {
    return pcm_rx_.receive_for(std::chrono::seconds(0)).status == ReceiveStatus::closed;
  }

  // Everything given back once (but what is kept), after the fake's own threads are done.
  static void expect_nothing_left(const std::vector<std::string>& kept = {}) {
    fake::reset_screen_capture();
    EXPECT_EQ(fake::leftovers(), kept);
  }
};

// The diagnostic lines written since ::testing::internal::CaptureStderr().
std::vector<std::string> captured_diagnostics() {
  return split_lines(::testing::internal::GetCapturedStderr());
}

// ---- Failed starts ----------------------------------------------------------------------

const std::vector<std::string> kLines = sck_start_steps("id=69733382 size=3024x1964");

// clang-format off
const char kContentHandler[] = "Block_release(SCShareableContentCompletionHandler)";
const char kStartHandler[] = "Block_release(SCStreamCompletionHandler)";
const char kSendersGone[] = "senders gone";  // the PCM channel closed here
// Everything a start made, newest first: the order of every teardown. The
// output object takes the senders; until it is made, they go last.
const std::vector<std::string> kTeardown = {
    "dispatch_release(dispatch_queue \"com.vantle.audio-helper.sck-audio\")",
    "NSObject_release(SCStream)", "NSObject_release(VantleSckAudioOutput)", kSendersGone,
    "NSObject_release(SCStreamConfiguration)", "NSObject_release(SCContentFilter)",
    "NSObject_release(NSArray[0])", "NSObject_release(SCDisplay 69733382)",
    "NSObject_release(NSArray[1])", "NSObject_release(SCShareableContent)"};
// clang-format on

// The content handler's release, then `extra`, then the last n of kTeardown.
std::vector<std::string> releases_of(std::size_t n, std::vector<std::string> extra = {}) {
  extra.insert(extra.begin(), kContentHandler);
  extra.insert(extra.end(), kTeardown.end() - std::ptrdiff_t(n), kTeardown.end());
  if (std::ranges::count(extra, kSendersGone) == 0) extra.push_back(kSendersGone);
  return extra;
}

fake::ScreenCaptureScript& sck() {
  return fake::screen_capture_script();
}

struct FailureRow {
  const char* name;
  const char* fails;  // the call that returns nil, or the script below
  void (*script)();
  std::string error;
  std::size_t lines;  // the first `lines` of a good start are written
  std::vector<std::string> releases;
  // The wait that runs out, its handler kept and answered after it.
  std::chrono::seconds wait{0};
  // A start asked for and failed keeps its output, which the stream may still
  // call, to the end of the process: neither it nor the senders in it go.
  bool keeps_output = false;
};

void PrintTo(const FailureRow& row, std::ostream* out) {  // names in test lists, not bytes
  *out << row.name;
}

const std::string kDenied =
    "ScreenCaptureKit content access failed: The user declined TCCs for application, window, "
    "display capture";
const std::string kCannot = "ScreenCaptureKit could not create the ";
const std::string kStartTimedOut =
    "ScreenCaptureKit start callback timed out before computer audio became ready";

// clang-format off
const FailureRow kRows[] = {
    {"ContentError", nullptr, [] { sck().content = ContentAnswer::error; }, kDenied, 1, releases_of(0)},
    {"Neither", nullptr, [] { sck().content = ContentAnswer::neither; },
     "ScreenCaptureKit returned neither content nor an error", 1, releases_of(0)},
    {"NoDisplay", nullptr, [] { sck().displays.clear(); },
     "ScreenCaptureKit did not report an available display", 1,
     releases_of(1, {"NSObject_release(NSArray[0])"})},
    {"ContentNeverAnswered", nullptr, [] { sck().content = ContentAnswer::kept; },
     "ScreenCaptureKit content callback timed out; Screen Recording permission may be missing", 1,
     releases_of(0), 6s},
    {"AttachFails", nullptr, [] { sck().attach = false; },
     "attach ScreenCaptureKit audio output failed: The operation couldn't be completed. (invalid output)",
     15, releases_of(10, {"NSObject_release(NSError \"The operation couldn't be completed. (invalid output)\")"})},
    {"StartError", nullptr, [] { sck().start = StartAnswer::error; },
     "ScreenCaptureKit audio capture failed to start: Failed to start the audio capture", 16,
     releases_of(10, {kStartHandler}), 0s, true},
    {"StartHandlerDropped", nullptr, [] { sck().start = StartAnswer::dropped; }, kStartTimedOut, 16,
     releases_of(10, {kStartHandler}), 0s, true},
    {"StartNeverAnswered", nullptr, [] { sck().start = StartAnswer::kept; }, kStartTimedOut, 16,
     releases_of(10, {kStartHandler}), 5s, true},
    // Objects the platform could not make.
    {"NoContentHandler", "SCShareableContentCompletionHandler_create", nullptr,
     kCannot + "content completion handler", 1, {kSendersGone}},
    {"NoFilter", "SCContentFilter_initWithDisplay_excludingWindows", nullptr,
     kCannot + "display filter", 3, releases_of(4)},
    {"NoOutput", "VantleSckAudioOutput_init", nullptr, kCannot + "audio output object", 13,
     releases_of(6, {kSendersGone})},  // the output's dealloc ran inside the failed init
    {"NoStartHandler", "SCStreamCompletionHandler_create", nullptr,
     kCannot + "start completion handler", 16, releases_of(10)},
};
// clang-format on

class FailedStart : public SckFakeTest, public ::testing::WithParamInterface<FailureRow> {
 protected:
  std::mutex mutex_;
  std::vector<std::string> seen_;  // the releases, and where the PCM channel closed

  void note(const std::string& line) {
    std::lock_guard lock(mutex_);
    const bool gone = std::ranges::count(seen_, kSendersGone) > 0;
    if (!gone && pcm_channel_closed()) seen_.push_back(kSendersGone);
    if (line.find("elease(") != std::string::npos) seen_.push_back(line);
  }
  void observe() {
    fake::set_observer([this](const std::string& line) { note(line); });
  }
};

TEST_P(FailedStart, EndsWithItsTextHavingGivenBackEverythingNewestFirst) {
  const FailureRow& row = GetParam();
  if (row.fails != nullptr) script.failing_calls.push_back(row.fails);
  if (row.script != nullptr) row.script();
  auto [pcm_tx, status_tx] = senders();
  ::testing::internal::CaptureStderr();
  observe();
  const auto began = std::chrono::steady_clock::now();
  auto session = SckAudioSession::start({}, std::move(pcm_tx), std::move(status_tx));
  // The content wait is 6 s, the start's 5 s; a dropped handler ends the wait at once.
  const auto took = std::chrono::steady_clock::now() - began;
  EXPECT_GE(took, row.wait);
  EXPECT_LT(took, row.wait + 500ms);
  fake::set_observer(nullptr);
  note("");
  EXPECT_EQ(session ? std::string("<started>") : session.error(), row.error);
  EXPECT_EQ(captured_diagnostics(),
            std::vector<std::string>(kLines.begin(), kLines.begin() + std::ptrdiff_t(row.lines)));
  EXPECT_EQ(status_rx_.receive_for(std::chrono::seconds(0)).status,
            row.keeps_output ? ReceiveStatus::timed_out : ReceiveStatus::closed);
  auto releases = row.releases;
  std::erase_if(releases, [&](const std::string& r) {
    return row.keeps_output && (r == kSendersGone || r.ends_with("AudioOutput)"));
  });
  EXPECT_EQ(seen_, releases);
  if (row.wait > 0s) fake::answer_kept();
  if (!row.keeps_output) return expect_nothing_left();
  // Late calls find the output as it was: under ASan, a released one fails here.
  CMSampleBufferRef buffer = fake::make_sample_buffer({.samples = std::vector(480, 0.5f)});
  fake::call_output_late(buffer);
  CFRelease(buffer);
  expect_nothing_left({"VantleSckAudioOutput"});
}

INSTANTIATE_TEST_SUITE_P(EachStep, FailedStart, ::testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.name); });

// ---- A start that runs ----------------------------------------------------------------

TEST_F(FailedStart, RunningStartStreamsFromTheFirstDisplayUntilTheSessionGoes) {
  sck().displays = {{69733382, 3024, 1964}, {2, 1280, 720}};
  auto [pcm_tx, status_tx] = senders();
  ::testing::internal::CaptureStderr();
  auto session = SckAudioSession::start({}, std::move(pcm_tx), std::move(status_tx));
  EXPECT_EQ(captured_diagnostics(), kLines);
  ASSERT_TRUE(session) << session.error();
  EXPECT_EQ(fake::content(session->configuration.get()),
            "SCStreamConfiguration{audio YES, exclude self YES, 16000 Hz, 1 ch, depth 8, 2x2, "
            "interval 1/1}");

  observe();
  { const SckAudioSession gone = std::move(*session); }
  fake::set_observer(nullptr);
  EXPECT_EQ(seen_, (std::vector<std::string>{
                       "NSObject_release(SCStream)", "NSObject_release(VantleSckAudioOutput)",
                       kSendersGone, "NSObject_release(SCContentFilter)",
                       "NSObject_release(SCStreamConfiguration)", kTeardown[0]}));
  expect_nothing_left();
}

// ---- Sample buffers ---------------------------------------------------------------------

// How a buffer of 480 mono frames is made and handed over.
struct Buffer {
  fake::SampleBufferSpec spec;
  SCStreamOutputType type = SCStreamOutputTypeAudio;
  bool null = false;
};

const std::string kAt16000 = "sck: source format rate=16000";
const double kNaN = std::numeric_limits<double>::quiet_NaN();

using SampleBuffers = SckFakeTest;

// Whether a rate keeps its resampler across buffers is the capture state's
// business; here only what the output reads from each buffer.
TEST_F(SampleBuffers, BecomeAudioAtTheirSourceRate) {
  const struct {
    const char* name;
    double rate;
    void (*change)(Buffer&);
    std::string line;  // the source-rate diagnostic; "" for none and no audio
    std::size_t samples = 0;
  } rows[] = {
      // clang-format off
      {"null", 48000, [](Buffer& b) { b.null = true; }, ""},
      {"screen", 48000, [](Buffer& b) { b.type = SCStreamOutputTypeScreen; }, ""},
      {"not ready", 48000, [](Buffer& b) { b.spec.ready = false; }, ""},
      {"size query status", 48000, [](Buffer& b) { b.spec.size_status = -12731; }, ""},
      {"size zero", 48000, [](Buffer& b) { b.spec.size = 0; }, ""},
      {"fill fails", 48000, [](Buffer& b) { b.spec.fill_status = -12737; }, ""},
      {"48000", 48000, nullptr, "sck: source format rate=48000", 160},
      {"zero rate", 0, nullptr, kAt16000, 479},
      {"no format", 48000, [](Buffer& b) { b.spec.format_description = false; }, kAt16000, 479},
      {"no rate", 48000, [](Buffer& b) { b.spec.stream_description = false; }, kAt16000, 479},
      {"NaN", kNaN, nullptr, "sck: source format rate=NaN", 479},
      // clang-format on
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Buffer buffer;
    buffer.spec.samples.assign(480, 0.5f);
    buffer.spec.rate = row.rate;
    if (row.change != nullptr) row.change(buffer);
    auto [pcm_tx, status_tx] = senders();
    auto output = make_audio_output(pcm_tx, status_tx);
    ASSERT_TRUE(output);
    ::testing::internal::CaptureStderr();
    CMSampleBufferRef made = buffer.null ? nullptr : fake::make_sample_buffer(buffer.spec);
    stream_did_output_sample_buffer(output.get(), nullptr, made, buffer.type);
    if (made != nullptr) CFRelease(made);
    EXPECT_EQ(captured_diagnostics(),
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
