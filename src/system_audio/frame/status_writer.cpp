#include "system_audio/frame/status_writer.h"

#include "system_audio/frame/detached_thread.h"
#include "system_audio/frame/line_writer.h"

namespace system_audio {

Result<std::future<void>> start_status_writer(StatusReceiver status_rx) {
  std::promise<void> drained;
  std::future<void> done = drained.get_future();
  auto started =
      start_detached([status_rx = std::move(status_rx), drained = std::move(drained)]() mutable {
        while (auto text = status_rx.receive()) {
          write_diagnostic("helper: status " + *text);
          write_protocol_line("STATUS " + *text);
        }
        drained.set_value();
      });
  if (!started) return fail(std::move(started.error()));
  return done;
}

}  // namespace system_audio
