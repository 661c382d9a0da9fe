#include "system_audio/frame/output_pump.h"

#include <string>

#if defined(__linux__)
#include <pthread.h>
#include <sched.h>
#endif

#include "system_audio/frame/base64.h"
#include "system_audio/frame/line_writer.h"

namespace system_audio {

void run_output_pump(PcmReceiver& pcm_rx) {
#if defined(__linux__)
  // Woken by each chunk a capture thread sends, the pump need not preempt
  // that thread, which goes back to sleep right after: a switch saved a chunk.
  const sched_param batch{};
  pthread_setschedparam(pthread_self(), SCHED_BATCH, &batch);
#endif
  std::uint64_t chunks = 0;
  std::uint64_t bytes = 0;
  while (auto chunk = pcm_rx.receive()) {
    chunks += 1;
    bytes += chunk->size();
    if (chunks == 1 || chunks % PROGRESS_INTERVAL_CHUNKS == 0) {
      write_diagnostic("helper: pcm frames=" + std::to_string(chunks) +
                       " bytes=" + std::to_string(bytes));
    }
    std::string line;
    // Room for the line feed too, so the writer never reallocates.
    line.reserve(4 + base64_length(chunk->size()) + 1);
    line.append("PCM ");
    append_base64(line, *chunk);
    chunk.reset();
    write_protocol_line(std::move(line));
  }
}

}  // namespace system_audio
