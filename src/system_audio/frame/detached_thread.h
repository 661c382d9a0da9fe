#pragma once

#include <system_error>
#include <thread>
#include <utility>

#include "system_audio/result.h"

namespace system_audio {

// Runs `body` on a thread that nobody joins: it lives as long as the process
// needs it. Fails with the system's reason when no thread can be made.
template <class Body>
Result<void> start_detached(Body&& body) {
  try {
    std::thread(std::forward<Body>(body)).detach();
  } catch (const std::system_error& error) {
    return fail(error.what());
  }
  return {};
}

}  // namespace system_audio
