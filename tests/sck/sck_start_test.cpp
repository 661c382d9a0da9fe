// The sck start: every way it can fail, with its text, where the diagnostics
// stop and what it gave back in which order; then a start that runs.

#include <algorithm>
#include <chrono>
#include <future>
#include <mutex>

#include "sck_fixture.h"

namespace system_audio {
namespace {

using fake::ContentAnswer;
using fake::StartAnswer;
using testing::capture_diagnostics;
using testing::captured_diagnostics;

// clang-format off
const std::vector<std::string> kLines = {
    "sck: start", "sck: display id=69733382 size=3024x1964", "sck: create display filter",
    "sck: configure stream", "sck: set captures_audio", "sck: set excludes_current_process_audio",
    "sck: set sample_rate", "sck: set channel_count", "sck: set queue_depth", "sck: set width",
    "sck: set height", "sck: set minimum_frame_interval", "sck: create output/delegate",
    "sck: create stream", "sck: attach audio output", "sck: start capture request", "sck: ready"};

const char kContentHandler[] = "Block_release(SCShareableContentCompletionHandler)";
const char kStartHandler[] = "Block_release(SCStreamCompletionHandler)";
// Everything a start made, newest first: the order of every teardown.
const std::vector<std::string> kTeardown = {
    "dispatch_release(dispatch_queue \"com.vantle.audio-helper.sck-audio\")",
    "NSObject_release(SCStream)", "NSObject_release(VantleSckAudioOutput)",
    "NSObject_release(SCStreamConfiguration)", "NSObject_release(SCContentFilter)",
    "NSObject_release(NSArray[0])", "NSObject_release(SCDisplay 69733382)",
    "NSObject_release(NSArray[1])", "NSObject_release(SCShareableContent)"};
// clang-format on

// The content handler's release, then `extra`, then the last n of kTeardown.
std::vector<std::string> releases_of(std::size_t n, std::vector<std::string> extra = {}) {
  extra.insert(extra.begin(), kContentHandler);
  extra.insert(extra.end(), kTeardown.end() - std::ptrdiff_t(n), kTeardown.end());
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
  bool output_gone_in_init = false;  // its dealloc ran inside the failed init
};

// Where the senders go: with the output object, else after everything else.
std::vector<std::string> with_senders_gone(std::vector<std::string> releases,
                                           const FailureRow& row) {
  auto at = std::find(releases.begin(), releases.end(), "NSObject_release(VantleSckAudioOutput)");
  if (at != releases.end()) ++at;
  if (row.output_gone_in_init) at = releases.end() - 6;
  releases.insert(at, "senders gone");
  return releases;
}

void PrintTo(const FailureRow& row, std::ostream* out) {
  *out << row.name;
}

const std::string kDenied =
    "ScreenCaptureKit content access failed: The user declined TCCs for application, window, "
    "display capture";
const std::string kStartTimedOut =
    "ScreenCaptureKit start callback timed out before computer audio became ready";

// clang-format off
const FailureRow kRows[] = {
    {"ContentError", nullptr, [] { sck().content = ContentAnswer::error; }, kDenied, 1, releases_of(0)},
    {"ContentAndError", nullptr, [] { sck().content = ContentAnswer::content_and_error; }, kDenied, 1,
     releases_of(0)},
    {"Neither", nullptr, [] { sck().content = ContentAnswer::neither; },
     "ScreenCaptureKit returned neither content nor an error", 1, releases_of(0)},
    {"NoDisplay", nullptr, [] { sck().displays.clear(); },
     "ScreenCaptureKit did not report an available display", 1,
     releases_of(1, {"NSObject_release(NSArray[0])"})},
    {"LockBrokenBeforeTheWait", nullptr, [] { sck().content = ContentAnswer::broken_before_wait; },
     "ScreenCaptureKit content wait lock was poisoned", 1, releases_of(0)},
    {"LockBrokenInTheWait", nullptr, [] { sck().content = ContentAnswer::broken_in_wait; },
     "ScreenCaptureKit content wait was poisoned", 1, releases_of(0)},
    {"AttachFails", nullptr, [] { sck().attach = false; },
     "attach ScreenCaptureKit audio output failed: The operation couldn't be completed. (invalid output)",
     15, releases_of(9, {"NSObject_release(NSError \"The operation couldn't be completed. (invalid output)\")"})},
    {"StartError", nullptr, [] { sck().start = StartAnswer::error; },
     "ScreenCaptureKit audio capture failed to start: Failed to start the audio capture", 16,
     releases_of(9, {kStartHandler})},
    {"StartHandlerDropped", nullptr, [] { sck().start = StartAnswer::dropped; }, kStartTimedOut, 16,
     releases_of(9, {kStartHandler})},
    // Objects the platform could not make.
    {"NoContentHandler", "SCShareableContentCompletionHandler_create", nullptr,
     "ScreenCaptureKit could not create the content completion handler", 1, {}},
    {"NoExcludedWindows", "NSArray_new", nullptr,
     "ScreenCaptureKit could not create the excluded-windows list", 3, releases_of(3)},
    {"NoFilterObject", "SCContentFilter_alloc", nullptr,
     "ScreenCaptureKit could not create the display filter", 3, releases_of(4)},
    {"NoFilter", "SCContentFilter_initWithDisplay_excludingWindows", nullptr,
     "ScreenCaptureKit could not create the display filter", 3, releases_of(4)},
    {"NoConfiguration", "SCStreamConfiguration_new", nullptr,
     "ScreenCaptureKit could not create the stream configuration", 4, releases_of(5)},
    {"NoOutputObject", "VantleSckAudioOutput_alloc", nullptr,
     "ScreenCaptureKit could not create the audio output object", 13, releases_of(6)},
    {"NoOutput", "VantleSckAudioOutput_init", nullptr,
     "ScreenCaptureKit could not create the audio output object", 13, releases_of(6), true},
    {"NoStreamObject", "SCStream_alloc", nullptr,
     "ScreenCaptureKit could not create the stream", 14, releases_of(7)},
    {"NoStream", "SCStream_initWithFilter_configuration_delegate", nullptr,
     "ScreenCaptureKit could not create the stream", 14, releases_of(7)},
    {"NoQueue", "dispatch_queue_create", nullptr,
     "ScreenCaptureKit could not create the sample-buffer queue", 14, releases_of(8)},
    {"NoStartHandler", "SCStreamCompletionHandler_create", nullptr,
     "ScreenCaptureKit could not create the start completion handler", 16, releases_of(9)},
};
// clang-format on

class FailedStart : public testing::SckFakeTest, public ::testing::WithParamInterface<FailureRow> {
 protected:
  std::mutex mutex_;
  std::vector<std::string> seen_;  // the releases, and where the PCM channel closed

  void note(const std::string& line) {
    std::lock_guard lock(mutex_);
    const bool gone = std::ranges::count(seen_, "senders gone") > 0;
    if (!gone && pcm_channel_closed()) seen_.push_back("senders gone");
    if (line.find("elease(") != std::string::npos) seen_.push_back(line);
  }

  // Starts expecting `error` and the first `lines` diagnostics; the channels
  // must close with the start.
  void start_expecting(const std::string& error, std::size_t lines) {
    auto [pcm_tx, status_tx] = senders();
    capture_diagnostics();
    fake::set_observer([this](const std::string& line) { note(line); });
    auto session = SckAudioSession::start(std::move(pcm_tx), std::move(status_tx));
    fake::set_observer(nullptr);
    note("");
    EXPECT_EQ(session ? std::string("<started>") : session.error(), error);
    EXPECT_EQ(captured_diagnostics(),
              std::vector<std::string>(kLines.begin(), kLines.begin() + std::ptrdiff_t(lines)));
    EXPECT_TRUE(pcm_channel_closed());
    EXPECT_TRUE(status_channel_closed());
  }
};

TEST_P(FailedStart, EndsWithItsTextHavingGivenBackEverythingNewestFirst) {
  const FailureRow& row = GetParam();
  if (row.fails != nullptr) script.failing_calls.push_back(row.fails);
  if (row.script != nullptr) row.script();
  const auto began = std::chrono::steady_clock::now();
  start_expecting(row.error, row.lines);
  // A dropped handler ends the wait at once, not at the deadline.
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(4));
  EXPECT_EQ(seen_, with_senders_gone(row.releases, row));
  expect_nothing_left();
}

INSTANTIATE_TEST_SUITE_P(EachStep, FailedStart, ::testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.name); });

// The two fixed waits, run for real once each; the late answer changes nothing
// but gives back what it held.
TEST_F(FailedStart, ContentNeverAnsweredTimesOutAndALateAnswerIsReleased) {
  sck().content = ContentAnswer::kept;
  start_expecting(
      "ScreenCaptureKit content callback timed out; Screen Recording permission may be missing", 1);
  fake::answer_kept_content();
  EXPECT_EQ(releases(), releases_of(1));
  expect_nothing_left();
}

TEST_F(FailedStart, StartNeverAnsweredTimesOutAndALateAnswerIsDropped) {
  sck().start = StartAnswer::kept;
  start_expecting(kStartTimedOut, 16);
  EXPECT_EQ(releases(), releases_of(9, {kStartHandler}));
  fake::answer_kept_start();
  expect_nothing_left();
}

// ---- A start that runs ----------------------------------------------------------------

TEST_F(FailedStart, RunningStartStreamsFromTheFirstDisplayUntilTheSessionGoes) {
  sck().displays = {{69733382, 3024, 1964}, {2, 1280, 720}};
  auto [pcm_tx, status_tx] = senders();
  std::optional<SckAudioSession> session;
  capture_diagnostics();
  auto started = SckAudioSession::start(std::move(pcm_tx), std::move(status_tx));
  EXPECT_EQ(captured_diagnostics(), kLines);
  ASSERT_TRUE(started) << started.error();
  session.emplace(std::move(*started));
  EXPECT_EQ(standin::content(session->configuration.get()),
            "SCStreamConfiguration{audio YES, exclude self YES, 16000 Hz, 1 ch, depth 8, 2x2, "
            "interval 1/1}");
  EXPECT_EQ(standin::queue_label(session->queue.get()), "com.vantle.audio-helper.sck-audio");

  // Audio arrives on the stream's queue and reaches the channels.
  standin::SampleBufferSpec spec;
  spec.samples.assign(480, 0.25f);
  CMSampleBufferRef buffer = standin::make_sample_buffer(spec);
  capture_diagnostics();
  ASSERT_TRUE(standin::deliver_sample_buffer(fake::last_stream(), buffer,
                                             platform::SCStreamOutputTypeAudio));
  std::promise<void> delivered;  // the queue runs in order: the delivery is over
  standin::dispatch_async(session->queue.get(), [&] { delivered.set_value(); });
  delivered.get_future().wait();
  captured_diagnostics();
  CFRelease(buffer);
  EXPECT_EQ(status_rx_.receive_for(std::chrono::seconds(0)).message, "receiving");
  EXPECT_EQ(pcm_rx_.receive_for(std::chrono::seconds(0)).message->size(), 160u * 4);

  const auto before = std::ptrdiff_t(releases().size());
  session.reset();
  const auto after = releases();
  EXPECT_EQ(std::vector<std::string>(after.begin() + before, after.end()),
            (std::vector<std::string>{
                "NSObject_release(SCStream)",
                "NSObject_release(VantleSckAudioOutput)",
                "NSObject_release(SCContentFilter)",
                "NSObject_release(SCStreamConfiguration)",
                "dispatch_release(dispatch_queue \"com.vantle.audio-helper.sck-audio\")",
            }));
  EXPECT_TRUE(pcm_channel_closed());
  expect_nothing_left();
}

}  // namespace
}  // namespace system_audio
