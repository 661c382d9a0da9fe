// The real frame with scripted backends in place of the platform ones, so the
// frame's whole life can be tested as a process. The script is chosen with
// "--script=NAME", which the frame's own argument scan ignores.
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

std::size_t option_value(std::string_view name, std::size_t fallback) {
  const auto at = script.find(name);
  if (at == std::string_view::npos) return fallback;
  return std::stoul(std::string(script.substr(at + name.size())));
}

template <class Session>
Result<Session> scripted_start(const char* backend, PcmSender pcm_tx, StatusSender status_tx) {
  write_diagnostic(std::string("test: start ") + backend);
  if (script.starts_with("fail")) {
    return fail(std::string(backend) + " refused:\nsecond line\r with ünïcödé");
  }
  if (script.starts_with("early")) {
    // Sent while the start is still running, before "READY".
    (void)status_tx.send("receiving");
    for (std::uint32_t n = 1; n <= 3; ++n) (void)pcm_tx.send(numbered_chunk(n, 8));
  }
  const std::size_t count = option_value("chunks=", 2);
  const std::size_t size = option_value("size=", 12);
  const bool forever = script.starts_with("forever");
  std::thread([=, pcm_tx = std::move(pcm_tx), status_tx = std::move(status_tx)] {
    const std::uint32_t first = script.starts_with("early") ? 4 : 1;
    for (std::uint32_t n = first; forever || n < first + count; ++n) {
      if (!pcm_tx.send(numbered_chunk(n, size))) return;
      if (forever) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (script.starts_with("stream-stopped")) {
      (void)status_tx.send("failed: ScreenCaptureKit stream stopped: gone");
      std::this_thread::sleep_for(std::chrono::hours(1));
    }
    // Dropping both senders here closes the channels and ends the pump.
  }).detach();
  return Session{};
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--script=", 9) == 0) script = argv[i] + 9;
  }
  BackendStarts backends;
  backends.coreaudio = [](PcmSender pcm, StatusSender status) {
    return scripted_start<CoreAudioSession>("coreaudio", std::move(pcm), std::move(status));
  };
  backends.sck = [](PcmSender pcm, StatusSender status) {
    return scripted_start<SckAudioSession>("sck", std::move(pcm), std::move(status));
  };
  return helper_main(argc, argv, backends);
}
