#include "system_audio/sck/sck_session.h"

#include <chrono>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "system_audio/apple/cf_text.h"
#include "system_audio/frame/line_writer.h"
#include "system_audio/identifier.h"
#include "system_audio/sck/audio_output.h"
#include "system_audio/sck/shareable_content.h"

namespace system_audio {

using namespace apple;

namespace {

// From the start request to the start handler's answer.
constexpr auto kStartWait = std::chrono::seconds(5);

// What a start holds while it runs. Members go in reverse order of declaration,
// which is the teardown of a failed start: queue, stream, output (unless a
// start was asked for: see keep_to_the_end), configuration, filter, excluded
// windows, display, displays, content, then the senders (when the output has
// not taken them).
struct StartObjects {
  PcmSender pcm_tx;
  StatusSender status_tx;
  NsRef<SCShareableContent> content;
  NsRef<NSArray> displays;
  NsRef<SCDisplay> display;
  NsRef<NSArray> excluded_windows;
  NsRef<SCContentFilter> filter;
  NsRef<SCStreamConfiguration> configuration;
  NsRef<VantleSckAudioOutput> output;
  NsRef<SCStream> stream;
  QueueRef queue;
};

using StartSender = Sender<Result<void>>;

void on_start(void* context, NSError* error) noexcept {
  const StartSender& start_tx = *static_cast<StartSender*>(context);
  try {
    // Nobody may wait any more: then the answer is dropped.
    if (error != nullptr) {
      (void)start_tx.send(
          fail("ScreenCaptureKit audio capture failed to start: " + error_description(error)));
    } else {
      (void)start_tx.send(Result<void>());
    }
  } catch (...) {
    // Nothing may leave the block; the start then ends by its deadline.
  }
}

// The sender goes with the handler, so a handler disposed of unanswered ends
// the wait at once.
void drop_start_sender(void* context) {
  delete static_cast<StartSender*>(context);
}

// A stream whose start was asked for may still call its output after the
// start failed (a buffer on its queue, a stop on a framework thread), and no
// call is promised to end that: a stop is not, and a start that never
// answered need not answer a stop. So the output, with the senders in its
// state, is kept to the end of the process, which after a failed start
// follows the ERROR line at once.
void keep_to_the_end(NsRef<VantleSckAudioOutput> output) {
  static std::mutex mutex;
  static auto* const kept = new std::vector<VantleSckAudioOutput*>();  // never destroyed
  std::lock_guard lock(mutex);
  kept->push_back(output.release());
}

Result<void> choose_display(StartObjects& objects) {
  auto content = current_shareable_content();
  if (!content) return fail(std::move(content.error()));
  objects.content = std::move(*content);
  objects.displays = NsRef<NSArray>(retained(SCShareableContent_displays(objects.content.get())));
  if (objects.displays) {
    objects.display = NsRef<SCDisplay>(retained(
        static_cast<SCDisplay*>(const_cast<void*>(NSArray_firstObject(objects.displays.get())))));
  }
  if (!objects.display) return fail("ScreenCaptureKit did not report an available display");
  SCDisplay* display = objects.display.get();
  write_diagnostic("sck: display id=" + std::to_string(SCDisplay_displayID(display)) +
                   " size=" + std::to_string(SCDisplay_width(display)) + "x" +
                   std::to_string(SCDisplay_height(display)));
  return {};
}

void configure(SCStreamConfiguration* configuration) {
  write_diagnostic("sck: set captures_audio");
  SCStreamConfiguration_setCapturesAudio(configuration, true);
  write_diagnostic("sck: set excludes_current_process_audio");
  SCStreamConfiguration_setExcludesCurrentProcessAudio(configuration, true);
  write_diagnostic("sck: set sample_rate");
  SCStreamConfiguration_setSampleRate(configuration, NSInteger(TARGET_SAMPLE_RATE));
  write_diagnostic("sck: set channel_count");
  SCStreamConfiguration_setChannelCount(configuration, 1);
  write_diagnostic("sck: set queue_depth");
  SCStreamConfiguration_setQueueDepth(configuration, 8);
  write_diagnostic("sck: set width");
  SCStreamConfiguration_setWidth(configuration, 2);
  write_diagnostic("sck: set height");
  SCStreamConfiguration_setHeight(configuration, 2);
  write_diagnostic("sck: set minimum_frame_interval");
  SCStreamConfiguration_setMinimumFrameInterval(configuration, CMTimeMake(1, 1));
}

Result<void> build_stream(StartObjects& objects) {
  write_diagnostic("sck: create display filter");
  objects.excluded_windows = NsRef<NSArray>(NSArray_new());
  if (!objects.excluded_windows) {
    return fail("ScreenCaptureKit could not create the excluded-windows list");
  }
  if (SCContentFilter* allocated = SCContentFilter_alloc()) {
    objects.filter = NsRef<SCContentFilter>(SCContentFilter_initWithDisplay_excludingWindows(
        allocated, objects.display.get(), objects.excluded_windows.get()));
  }
  if (!objects.filter) return fail("ScreenCaptureKit could not create the display filter");

  write_diagnostic("sck: configure stream");
  objects.configuration = NsRef<SCStreamConfiguration>(SCStreamConfiguration_new());
  if (!objects.configuration) {
    return fail("ScreenCaptureKit could not create the stream configuration");
  }
  configure(objects.configuration.get());

  write_diagnostic("sck: create output/delegate");
  objects.output = make_audio_output(objects.pcm_tx, objects.status_tx);
  if (!objects.output) return fail("ScreenCaptureKit could not create the audio output object");

  write_diagnostic("sck: create stream");
  if (SCStream* allocated = SCStream_alloc()) {
    objects.stream = NsRef<SCStream>(SCStream_initWithFilter_configuration_delegate(
        allocated, objects.filter.get(), objects.configuration.get(), objects.output.get()));
  }
  if (!objects.stream) return fail("ScreenCaptureKit could not create the stream");
  const std::string label = std::string(IDENTIFIER_PREFIX) + ".sck-audio";
  objects.queue = QueueRef(dispatch_queue_create(label.c_str(), DISPATCH_QUEUE_SERIAL));
  if (!objects.queue) return fail("ScreenCaptureKit could not create the sample-buffer queue");

  write_diagnostic("sck: attach audio output");
  NSError* attach_error = nullptr;
  const BOOL attached = SCStream_addStreamOutput_type_sampleHandlerQueue_error(
      objects.stream.get(), objects.output.get(), SCStreamOutputTypeAudio, objects.queue.get(),
      &attach_error);
  const NsRef<NSError> error(attach_error);
  if (!attached)
    return fail("attach ScreenCaptureKit audio output failed: " + error_description(error.get()));
  return {};
}

Result<void> start_capture(StartObjects& objects) {
  write_diagnostic("sck: start capture request");
  auto [start_tx, start_rx] = make_channel<Result<void>>();
  // The block owns the sender from here on, made or not.
  BlockRef<SCStreamCompletionHandler> handler(SCStreamCompletionHandler_create(
      &on_start, new StartSender(std::move(start_tx)), &drop_start_sender));
  if (!handler) return fail("ScreenCaptureKit could not create the start completion handler");
  SCStream_startCaptureWithCompletionHandler(objects.stream.get(), handler.get());
  handler.reset();

  auto answer = start_rx.receive_for(kStartWait);
  Result<void> started =
      answer.status == ReceiveStatus::message
          ? std::move(*answer.message)
          : fail("ScreenCaptureKit start callback timed out before computer audio became ready");
  if (!started) keep_to_the_end(std::move(objects.output));
  return started;
}

}  // namespace

SckAudioSession::~SckAudioSession() {
  stream.reset();
  output.reset();
  filter.reset();
  configuration.reset();
  queue.reset();
}

Result<SckAudioSession> SckAudioSession::start(const Options&, PcmSender pcm_tx,
                                               StatusSender status_tx) {
  StartObjects objects;
  objects.pcm_tx = std::move(pcm_tx);
  objects.status_tx = std::move(status_tx);
  write_diagnostic("sck: start");
  if (auto chosen = choose_display(objects); !chosen) return fail(std::move(chosen.error()));
  if (auto built = build_stream(objects); !built) return fail(std::move(built.error()));
  if (auto started = start_capture(objects); !started) return fail(std::move(started.error()));
  write_diagnostic("sck: ready");

  // The excluded windows, the display, the displays and the content go with
  // `objects`, in that order.
  SckAudioSession session;
  session.stream = std::move(objects.stream);
  session.output = std::move(objects.output);
  session.filter = std::move(objects.filter);
  session.configuration = std::move(objects.configuration);
  session.queue = std::move(objects.queue);
  return session;
}

}  // namespace system_audio
