// The real frame with scripted backends in place of the platform ones, so the
// frame's whole life can be tested as a process. "--script=NAME[,chunks=N]
// [,size=S]" chooses the script; the frame's own argument scan ignores it.
#include <chrono>
#include <cstdint>
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

std::size_t option(std::string_view name, std::size_t fallback) {
  const auto at = script.find(name);
  return at == std::string_view::npos ? fallback
                                      : std::stoul(std::string(script.substr(at + name.size())));
}

struct ScriptedSession {};

template <const char* Backend>
Result<OwnedSession> scripted_start(PcmSender pcm_tx, StatusSender status_tx) {
  write_diagnostic(std::string("test: start ") + Backend);
  if (script.starts_with("fail")) {
    return fail(std::string(Backend) + " refused:\nsecond line\r with ünïcödé");
  }
  std::uint32_t first = 1;
  if (script.starts_with("early")) {  // sent while the start still runs, before "READY"
    (void)status_tx.send("receiving");
    for (; first <= 3; ++first) (void)pcm_tx.send(numbered_chunk(first, 8));
  }
  const std::size_t count = option("chunks=", 2);
  const std::size_t size = option("size=", 12);
  std::thread([=, pcm_tx = std::move(pcm_tx), status_tx = std::move(status_tx)] {
    const bool forever = script.starts_with("forever");
    for (std::uint32_t n = first; !script.starts_with("silent") && (forever || n < first + count);
         ++n) {
      if (!pcm_tx.send(numbered_chunk(n, size))) return;
      if (forever) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (script.starts_with("stream-stopped")) {
      (void)status_tx.send("failed: ScreenCaptureKit stream stopped: gone");
    }
    // The others end here, dropping both senders: the pump ends.
    if (script.starts_with("silent") || script.starts_with("stream-stopped")) {
      std::this_thread::sleep_for(std::chrono::hours(1));
    }
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
