#pragma once

#include <span>

#include "system_audio/frame/owned_session.h"
#include "system_audio/result.h"

namespace system_audio {

// The helper's whole life: boot, the start of the backend the command line
// names in `backends`, "READY", statuses and the PCM pump until the PCM channel
// closes. An error means nothing reached stdout.
Result<void> run_stdio_helper(int argc, const char* const* argv,
                              std::span<const BackendStart> backends);

// What main does: runs the helper and turns an error into the "ERROR" line,
// after which the process ends at once with exit status 1. Returns the exit
// status of an orderly end.
int helper_main(int argc, const char* const* argv, std::span<const BackendStart> backends);

}  // namespace system_audio
