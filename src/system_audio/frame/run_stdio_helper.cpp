#include "system_audio/frame/run_stdio_helper.h"

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <span>
#include <string>

#include "system_audio/frame/exit_status.h"
#include "system_audio/frame/line_writer.h"
#include "system_audio/frame/options.h"
#include "system_audio/frame/output_pump.h"
#include "system_audio/frame/parent_watch.h"
#include "system_audio/frame/status_writer.h"

namespace system_audio {

constexpr auto STATUS_DRAIN_LIMIT = std::chrono::seconds(1);

Result<void> run_stdio_helper(int argc, const char* const* argv,
                              std::span<const BackendStart> backends) {
  write_diagnostic("helper: boot");
  if (auto watching = start_parent_watch(); !watching) {
    // Not fatal: a failed write still ends the helper once audio flows.
    write_diagnostic("helper: parent watch could not start: " + watching.error());
  }
  if (auto catching_up = start_diagnostic_catch_up(); !catching_up) {
    // Not fatal: the count of dropped lines then comes with the next diagnostic.
    write_diagnostic("helper: diagnostic catch-up could not start: " + catching_up.error());
  }
  auto [pcm_tx, pcm_rx] = make_channel<PcmChunk>();
  auto [status_tx, status_rx] = make_channel<StatusText>();
  const Options options = parse_options(std::span(argv, static_cast<std::size_t>(argc)));

  const BackendStart* chosen = nullptr;
  for (const auto& row : backends) {
    if (options.backend == row.name) chosen = &row;
  }
  if (chosen == nullptr) return fail("unknown computer-audio backend: " + options.backend);
  auto session = chosen->start(options, std::move(pcm_tx), std::move(status_tx));
  if (!session) return fail(std::move(session.error()));

  write_diagnostic("helper: ready");
  write_protocol_line("READY");

  auto status_writer = start_status_writer(std::move(status_rx));
  if (!status_writer) {
    // "ERROR" may not follow "READY", and statuses must not vanish silently.
    write_diagnostic("helper: status writer thread could not start: " + status_writer.error());
    std::_Exit(EXIT_STATUS_WRITER_FAILED);
  }
  run_output_pump(pcm_rx);

  // Teardown, in this order: the receiver, the notice, then the session.
  { PcmReceiver released = std::move(pcm_rx); }
  write_diagnostic("helper: audio channel closed");
  session->reset();
  // The session held the last status sender, so the writer is finishing what is
  // queued; let it, rather than lose a status at exit. Bounded, in case a
  // backend kept a sender elsewhere.
  status_writer->wait_for(STATUS_DRAIN_LIMIT);
  return {};
}

int helper_main(int argc, const char* const* argv, std::span<const BackendStart> backends) {
  // A write to a parent that has gone must fail, not kill us silently.
  std::signal(SIGPIPE, SIG_IGN);
  auto result = run_stdio_helper(argc, argv, backends);
  if (!result) {
    write_protocol_line("ERROR " + result.error());
    // Platform threads may still call in (a late completion handler, a queue's
    // worker): no static destructor or atexit handler may run under them.
    ::_exit(EXIT_START_FAILED);
  }
  return 0;
}

}  // namespace system_audio
