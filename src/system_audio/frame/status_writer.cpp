#include "system_audio/frame/status_writer.h"

#include <system_error>
#include <thread>

#include "system_audio/frame/line_writer.h"

namespace system_audio {

Result<std::future<void>> start_status_writer(StatusReceiver status_rx) {
  std::promise<void> drained;
  std::future<void> done = drained.get_future();
  try {
    std::thread([status_rx = std::move(status_rx), drained = std::move(drained)]() mutable {
      while (auto text = status_rx.receive()) {
        write_diagnostic("helper: status " + *text);
        write_protocol_line("STATUS " + *text);
      }
      drained.set_value();
    }).detach();
  } catch (const std::system_error& error) {
    return fail(error.what());
  }
  return done;
}

}  // namespace system_audio
