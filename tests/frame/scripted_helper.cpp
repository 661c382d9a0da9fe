// The real frame with scripted backends in place of the platform ones, so the
// frame's whole life can be tested as a process. "--script=NAME" chooses the
// script; the frame's own argument scan ignores it.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>

#include "system_audio/frame/line_writer.h"
#include "system_audio/frame/run_stdio_helper.h"

namespace {

using namespace system_audio;

std::string_view script;

// A chunk whose bytes say which chunk it is: byte i is (number + i) mod 256.
PcmChunk numbered_chunk(std::uint32_t number, std::size_t size) {
  PcmChunk chunk(size);
  for (std::size_t i = 0; i < size; ++i) chunk[i] = static_cast<std::uint8_t>(number + i);
  return chunk;
}

struct ScriptedSession {};

// Stands for a platform library's own state, which its threads (a late
// completion handler, a queue's worker) go on using until the process ends: a
// call that finds it destroyed crashes.
struct PlatformState {
  std::atomic<bool> alive = true;
  ~PlatformState() { alive = false; }
} platform_state;

// fail: the start fails while a platform thread still calls in. stream:
// "receiving" and three chunks during the start, 397 more after it, then a
// failed status, and it keeps running. ends: two chunks, the PCM channel
// closed, and a status sent as the capture goes. silent: nothing at all.
template <const char* Backend>
Result<OwnedSession> scripted_start(const Options&, PcmSender pcm_tx, StatusSender status_tx) {
  write_diagnostic(std::string("test: start ") + Backend);
  if (script == "fail") {
    std::thread([] {
      while (platform_state.alive) std::this_thread::yield();
      std::abort();
    }).detach();
    return fail(std::string(Backend) + " refused:\nnext line\r ünïcödé");
  }
  std::uint32_t n = 1;
  if (script == "stream") {
    (void)status_tx.send("receiving");
    for (; n <= 3; ++n) (void)pcm_tx.send(numbered_chunk(n, 8));
  }
  std::thread([n, pcm_tx = std::move(pcm_tx), status_tx = std::move(status_tx)]() mutable {
    for (; (script == "stream" && n <= 400) || (script == "ends" && n <= 2); ++n) {
      (void)pcm_tx.send(numbered_chunk(n, 684));
    }
    if (script == "stream") (void)status_tx.send("failed: ScreenCaptureKit stream stopped: gone");
    if (script != "ends") std::this_thread::sleep_for(std::chrono::hours(1));
    { const PcmSender closed = std::move(pcm_tx); }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    (void)status_tx.send("failed: CoreAudio capture stopped");
  }).detach();
  return own_session(ScriptedSession{});
}

constexpr char kCoreAudio[] = "coreaudio";
constexpr char kSck[] = "sck";

}  // namespace

int main(int argc, char** argv) {
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--script=", 9) == 0) script = argv[i] + 9;
  }
  static constexpr BackendStart backends[] = {{kCoreAudio, &scripted_start<kCoreAudio>},
                                              {kSck, &scripted_start<kSck>}};
  return helper_main(argc, argv, backends);
}
