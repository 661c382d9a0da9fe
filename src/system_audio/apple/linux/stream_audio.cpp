#include "system_audio/apple/linux/stream_audio.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace system_audio::pulse {
namespace {

// Under the 2.5 s in which a parent learns that there is no server to capture.
constexpr std::chrono::milliseconds kContentBound{1500};

constexpr const char* kStreamName = "screen capture audio";

// A thread of the binding's own. When none can be made, the work (and with it
// the handler it would answer) is dropped: the handler is disposed of uncalled.
template <class Work>
void run_detached(Work work) {
  try {
    std::thread(std::move(work)).detach();
  } catch (const std::system_error&) {
  }
}

}  // namespace

struct StreamAudioCore {
  std::mutex mutex;
  AudioRequest request;
  std::unique_ptr<QueuedCapture> capture;
  std::condition_variable opened;
  bool started = false;
  bool opening = false;  // a start thread is opening the record stream
};

ServerSlot& screen_capture_server() {
  static ServerSlot* const slot = new ServerSlot();  // outlives threads at exit
  return *slot;
}

void ask_server(std::function<void(std::optional<std::string>)> answer) {
  run_detached([answer = std::move(answer)] {
    auto server = screen_capture_server().get(kContentBound);
    answer(server ? std::nullopt : std::optional<std::string>(server.error()));
  });
}

namespace {

// Opens the record stream of the default sink's monitor on capture.
std::optional<std::string> open_capture(QueuedCapture* capture, const AudioRequest& request) {
  auto server = screen_capture_server().get();
  if (!server) return server.error();
  if (capture == nullptr || !request.captures_audio) return std::nullopt;
  auto sink = (*server)->default_sink();
  if (!sink) return sink.error();
  if (!*sink) return std::string("the audio server has no default sink");
  CaptureFormat format;
  format.source = (*sink)->monitor_source;
  format.rate = request.rate;
  format.channels = std::uint8_t(request.channels);
  format.channel_map = (*sink)->channel_map;
  format.stream_name = kStreamName;
  if (request.channels == 0 || request.channels > PA_CHANNELS_MAX) {
    return std::string("unusable capture format");
  }
  auto opened = capture->start(*server, format);
  if (!opened) return opened.error();
  return std::nullopt;
}

}  // namespace

StreamAudio::StreamAudio(AudioRequest request) : core_(std::make_shared<StreamAudioCore>()) {
  core_->request = request;
}

StreamAudio::~StreamAudio() {
  std::unique_ptr<QueuedCapture> capture;
  {
    // A stream being opened is waited for (bounded by the server waits), so
    // that it is never left delivering to an output that goes next.
    std::unique_lock lock(core_->mutex);
    core_->opened.wait(lock, [this] { return !core_->opening; });
    capture = std::move(core_->capture);
  }
  // Outside the lock: finishing waits for a delivery in progress.
  capture.reset();
}

bool StreamAudio::attach(dispatch_queue_t queue, QueuedCapture::Deliver deliver,
                         QueuedCapture::Failed failed) {
  std::lock_guard lock(core_->mutex);
  if (core_->capture || core_->started) return false;
  core_->capture = std::make_unique<QueuedCapture>(queue, std::move(deliver), std::move(failed));
  return true;
}

void StreamAudio::start(Started started) {
  run_detached([core = core_, started = std::move(started)] {
    QueuedCapture* capture = nullptr;
    AudioRequest request;
    {
      std::lock_guard lock(core->mutex);
      if (core->started) {
        started(std::string("the stream is already running"));
        return;
      }
      core->started = true;
      core->opening = true;
      capture = core->capture.get();
      request = core->request;
    }
    // Unlocked: opening waits for the server; the capture stays in place until
    // opening is cleared.
    auto error = open_capture(capture, request);
    {
      std::lock_guard lock(core->mutex);
      core->opening = false;
    }
    core->opened.notify_all();
    started(std::move(error));
  });
}

}  // namespace system_audio::pulse
