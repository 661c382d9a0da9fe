#include "system_audio/apple/linux/stream_audio.h"

#include <pulse/channelmap.h>

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
  std::optional<BlockSink> sink;
  std::unique_ptr<RecordStream> stream;
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

// Opens the record stream of the default sink's monitor for the sink.
Result<std::unique_ptr<RecordStream>> open_stream(const std::optional<BlockSink>& sink,
                                                  const AudioRequest& request) {
  auto server = screen_capture_server().get();
  if (!server) return fail(server.error());
  if (!sink || !request.captures_audio) return nullptr;
  auto default_sink = (*server)->default_sink();
  if (!default_sink) return fail(default_sink.error());
  if (!*default_sink) return fail("the audio server has no default sink");
  if (request.channels == 0 || request.channels > PA_CHANNELS_MAX) {
    return fail("unusable capture format");
  }
  CaptureFormat format;
  format.source = (*default_sink)->monitor_source;
  format.rate = request.rate;
  format.channels = std::uint8_t(request.channels);
  format.channel_map = (*default_sink)->channel_map;
  format.stream_name = kStreamName;
  return RecordStream::open(format, *sink);
}

}  // namespace

StreamAudio::StreamAudio(AudioRequest request) : core_(std::make_shared<StreamAudioCore>()) {
  core_->request = request;
}

StreamAudio::~StreamAudio() {
  std::unique_ptr<RecordStream> stream;
  {
    // A stream being opened is waited for (bounded by the server waits), so
    // that it is never left delivering to an output that goes next.
    std::unique_lock lock(core_->mutex);
    core_->opened.wait(lock, [this] { return !core_->opening; });
    stream = std::move(core_->stream);
  }
  // Outside the lock: its end waits for a delivery in progress.
  stream.reset();
}

bool StreamAudio::attach(BlockSink sink) {
  std::lock_guard lock(core_->mutex);
  if (core_->sink || core_->started) return false;
  core_->sink = sink;
  return true;
}

void StreamAudio::start(Started started) {
  run_detached([core = core_, started = std::move(started)] {
    std::optional<BlockSink> sink;
    AudioRequest request;
    {
      std::lock_guard lock(core->mutex);
      if (core->started) {
        started(std::string("the stream is already running"));
        return;
      }
      core->started = true;
      core->opening = true;
      sink = core->sink;
      request = core->request;
    }
    // Unlocked: opening waits for the server.
    auto stream = open_stream(sink, request);
    {
      std::lock_guard lock(core->mutex);
      core->opening = false;
      if (stream) core->stream = std::move(*stream);
    }
    core->opened.notify_all();
    started(stream ? std::nullopt : std::optional<std::string>(stream.error()));
  });
}

}  // namespace system_audio::pulse
